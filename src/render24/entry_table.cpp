// The entry table the driver asks for, and the two trivial exports.
#include "marlrend/marlrend.h"

extern "C" {

CapabilityTable* RPGetCapabilities(CapabilityTable* table) {
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
