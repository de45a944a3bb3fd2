// The reverse-Polish names of the ternary raster operations 0x00 to 0x7F, and the three
// operand marks the generator reads for each of the 256 codes.
#include "render24/blit/serial/rop_names.h"

namespace marl {

// Each entry is 12 bytes: the name and zero bytes after it. Codes from 0x80 up are compiled
// from the entry of their complement.
const char RopNameTable[128][12] = {
    "0",           // 0x00
    "DPSoon",      // 0x01
    "DPSona",      // 0x02
    "PSon",        // 0x03
    "SDPona",      // 0x04
    "DPon",        // 0x05
    "PDSxnon",     // 0x06
    "PDSaon",      // 0x07
    "SDPnaa",      // 0x08
    "PDSxon",      // 0x09
    "DPna",        // 0x0A
    "PSDnaon",     // 0x0B
    "SPna",        // 0x0C
    "PDSnaon",     // 0x0D
    "PDSonon",     // 0x0E
    "Pn",          // 0x0F
    "PDSona",      // 0x10
    "DSon",        // 0x11
    "SDPxnon",     // 0x12
    "SDPaon",      // 0x13
    "DPSxnon",     // 0x14
    "DPSaon",      // 0x15
    "PSDPSanaxx",  // 0x16
    "SSPxDSxaxn",  // 0x17
    "SPxPDxa",     // 0x18
    "SDPSanaxn",   // 0x19
    "PDSPaox",     // 0x1A
    "SDPSxaxn",    // 0x1B
    "PSDPaox",     // 0x1C
    "DSPDxaxn",    // 0x1D
    "PDSox",       // 0x1E
    "PDSoan",      // 0x1F
    "DPSnaa",      // 0x20
    "SDPxon",      // 0x21
    "DSna",        // 0x22
    "SPDnaon",     // 0x23
    "SPxDSxa",     // 0x24
    "PDSPanaxn",   // 0x25
    "SDPSaox",     // 0x26
    "SDPSxnox",    // 0x27
    "DPSxa",       // 0x28
    "PSDPSaoxxn",  // 0x29
    "DPSana",      // 0x2A
    "SSPxPDxaxn",  // 0x2B
    "SPDSoax",     // 0x2C
    "PSDnox",      // 0x2D
    "PSDPxox",     // 0x2E
    "PSDnoan",     // 0x2F
    "PSna",        // 0x30
    "SDPnaon",     // 0x31
    "SDPSoox",     // 0x32
    "Sn",          // 0x33
    "SPDSaox",     // 0x34
    "SPDSxnox",    // 0x35
    "SDPox",       // 0x36
    "SDPoan",      // 0x37
    "PSDPoax",     // 0x38
    "SPDnox",      // 0x39
    "SPDSxox",     // 0x3A
    "SPDnoan",     // 0x3B
    "PSx",         // 0x3C
    "SPDSonox",    // 0x3D
    "SPDSnaox",    // 0x3E
    "PSan",        // 0x3F
    "PSDnaa",      // 0x40
    "DPSxon",      // 0x41
    "SDxPDxa",     // 0x42
    "SPDSanaxn",   // 0x43
    "SDna",        // 0x44
    "DPSnaon",     // 0x45
    "DSPDaox",     // 0x46
    "PSDPxaxn",    // 0x47
    "SDPxa",       // 0x48
    "PDSPDaoxxn",  // 0x49
    "DPSDoax",     // 0x4A
    "PDSnox",      // 0x4B
    "SDPana",      // 0x4C
    "SSPxDSxoxn",  // 0x4D
    "PDSPxox",     // 0x4E
    "PDSnoan",     // 0x4F
    "PDna",        // 0x50
    "DSPnaon",     // 0x51
    "DPSDaox",     // 0x52
    "SPDSxaxn",    // 0x53
    "DPSonon",     // 0x54
    "Dn",          // 0x55
    "DPSox",       // 0x56
    "DPSoan",      // 0x57
    "PDSPoax",     // 0x58
    "DPSnox",      // 0x59
    "DPx",         // 0x5A
    "DPSDonox",    // 0x5B
    "DPSDxox",     // 0x5C
    "DPSnoan",     // 0x5D
    "DPSDnaox",    // 0x5E
    "DPan",        // 0x5F
    "PDSxa",       // 0x60
    "DSPDSaoxxn",  // 0x61
    "DSPDoax",     // 0x62
    "SDPnox",      // 0x63
    "SDPSoax",     // 0x64
    "DSPnox",      // 0x65
    "DSx",         // 0x66
    "SDPSonox",    // 0x67
    "DSPDSonoxxn", // 0x68
    "PDSxxn",      // 0x69
    "DPSax",       // 0x6A
    "PSDPSoaxxn",  // 0x6B
    "SDPax",       // 0x6C
    "PDSPDoaxxn",  // 0x6D
    "SDPSnoax",    // 0x6E
    "PDSxnan",     // 0x6F
    "PDSana",      // 0x70
    "SSDxPDxaxn",  // 0x71
    "SDPSxox",     // 0x72
    "SDPnoan",     // 0x73
    "DSPDxox",     // 0x74
    "DSPnoan",     // 0x75
    "SDPSnaox",    // 0x76
    "DSan",        // 0x77
    "PDSax",       // 0x78
    "DSPDSoaxxn",  // 0x79
    "DPSDnoax",    // 0x7A
    "SDPxnan",     // 0x7B
    "SPDSnoax",    // 0x7C
    "DPSxnan",     // 0x7D
    "SPxDSxo",     // 0x7E
    "DPSaan",      // 0x7F
};

} // namespace marl

namespace marl {
namespace {

uint8_t MarksOf(const char* name) {
    uint8_t marks = 0;
    bool operatorSeen = false;
    for (const char* c = name; *c; ++c) {
        if (*c == 'S') marks |= kUsesSource;
        if (*c == 'P') marks |= kUsesPattern;
        if (IsRopOperand(*c) && operatorSeen) marks |= kStackOnly;
        if (*c == 'a' || *c == 'o' || *c == 'x' || *c == 'n') operatorSeen = true;
    }
    return marks;
}

RopOperandTable BuildOperandTable() {
    RopOperandTable table{};
    for (uint32_t rop = 0; rop < 256; ++rop) {
        uint32_t entry = rop <= 0x7F ? rop : 0xFF - rop;
        table.Marks[rop] = MarksOf(RopNameTable[entry]);
    }
    return table;
}

} // namespace

const RopOperandTable& RopOperands() {
    static const RopOperandTable table = BuildOperandTable();
    return table;
}

CompiledRopName CompiledNameOf(uint32_t rop) {
    rop &= 0xFF;
    CompiledRopName name{};
    const char* entry = RopNameTable[rop <= 0x7F ? rop : 0xFF - rop];
    while (name.Length < 12 && entry[name.Length] != 0) {
        name.Text[name.Length] = entry[name.Length];
        ++name.Length;
    }
    if (rop >= 0x80) {
        if (name.Text[name.Length - 1] == 'n') {
            name.Text[--name.Length] = 0;
        } else {
            name.Text[name.Length++] = 'n';
        }
    }
    name.Text[name.Length] = 0;
    return name;
}

} // namespace marl
