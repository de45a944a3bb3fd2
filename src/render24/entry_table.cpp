// The entry table the driver asks for, and the two trivial exports.
#include "marlrend/marlrend.h"

extern "C" {

// A null table is answered with null rather than written through.
CapabilityTable* RPGetCapabilities(CapabilityTable* table) {
    if (table == nullptr) return nullptr;
    table->Zero = 0;
    table->RealizeBrush = &RPRealizeBrush;
    table->Pixel = &RPPixel;
    table->DrawLine = &RPDrawLine;
    table->FillScanRows = &RPFillScanRows;
    table->BitBlt = &RPBitBlt;
    table->StretchDIBits = &RPStretchDIBits;
    return table;
}

// Stretched transfers are not drawn: the driver falls back to its own code.
uint32_t RPStretchDIBits(...) { return 1; }

void MODULE(void) {}
}
