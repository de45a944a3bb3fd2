#include "support/reference_rop.h"

#include <stdexcept>

namespace marltest {
namespace {

// The published names of codes 0x00 to 0x7F, kept here apart from the library's own table so
// that the oracle does not share a typo with the code under test.
const char* const kNames[128] = {
    "0",
    "DPSoon",
    "DPSona",
    "PSon",
    "SDPona",
    "DPon",
    "PDSxnon",
    "PDSaon",
    "SDPnaa",
    "PDSxon",
    "DPna",
    "PSDnaon",
    "SPna",
    "PDSnaon",
    "PDSonon",
    "Pn",
    "PDSona",
    "DSon",
    "SDPxnon",
    "SDPaon",
    "DPSxnon",
    "DPSaon",
    "PSDPSanaxx",
    "SSPxDSxaxn",
    "SPxPDxa",
    "SDPSanaxn",
    "PDSPaox",
    "SDPSxaxn",
    "PSDPaox",
    "DSPDxaxn",
    "PDSox",
    "PDSoan",
    "DPSnaa",
    "SDPxon",
    "DSna",
    "SPDnaon",
    "SPxDSxa",
    "PDSPanaxn",
    "SDPSaox",
    "SDPSxnox",
    "DPSxa",
    "PSDPSaoxxn",
    "DPSana",
    "SSPxPDxaxn",
    "SPDSoax",
    "PSDnox",
    "PSDPxox",
    "PSDnoan",
    "PSna",
    "SDPnaon",
    "SDPSoox",
    "Sn",
    "SPDSaox",
    "SPDSxnox",
    "SDPox",
    "SDPoan",
    "PSDPoax",
    "SPDnox",
    "SPDSxox",
    "SPDnoan",
    "PSx",
    "SPDSonox",
    "SPDSnaox",
    "PSan",
    "PSDnaa",
    "DPSxon",
    "SDxPDxa",
    "SPDSanaxn",
    "SDna",
    "DPSnaon",
    "DSPDaox",
    "PSDPxaxn",
    "SDPxa",
    "PDSPDaoxxn",
    "DPSDoax",
    "PDSnox",
    "SDPana",
    "SSPxDSxoxn",
    "PDSPxox",
    "PDSnoan",
    "PDna",
    "DSPnaon",
    "DPSDaox",
    "SPDSxaxn",
    "DPSonon",
    "Dn",
    "DPSox",
    "DPSoan",
    "PDSPoax",
    "DPSnox",
    "DPx",
    "DPSDonox",
    "DPSDxox",
    "DPSnoan",
    "DPSDnaox",
    "DPan",
    "PDSxa",
    "DSPDSaoxxn",
    "DSPDoax",
    "SDPnox",
    "SDPSoax",
    "DSPnox",
    "DSx",
    "SDPSonox",
    "DSPDSonoxxn",
    "PDSxxn",
    "DPSax",
    "PSDPSoaxxn",
    "SDPax",
    "PDSPDoaxxn",
    "SDPSnoax",
    "PDSxnan",
    "PDSana",
    "SSDxPDxaxn",
    "SDPSxox",
    "SDPnoan",
    "DSPDxox",
    "DSPnoan",
    "SDPSnaox",
    "DSan",
    "PDSax",
    "DSPDSoaxxn",
    "DPSDnoax",
    "SDPxnan",
    "SPDSnoax",
    "DPSxnan",
    "SPxDSxo",
    "DPSaan"};

} // namespace

std::string ReferenceName(uint8_t rop) {
    if (rop < 0x80) return kNames[rop];
    std::string name = kNames[0xFF - rop];
    if (name.back() == 'n') {
        name.pop_back();
    } else {
        name.push_back('n');
    }
    return name;
}

uint8_t EvaluateName(const std::string& name, uint8_t d, uint8_t s, uint8_t p) {
    // A fixed stack rather than a growing one: the evaluator runs once per sample of every
    // band-wide test row, and a name of n characters never holds more than n values.
    uint8_t stack[16];
    size_t depth = 0;
    if (name.size() > sizeof stack) throw std::logic_error("name too long: " + name);
    auto push = [&stack, &depth](uint8_t value) { stack[depth++] = value; };
    auto pop = [&stack, &depth, &name] {
        if (depth == 0) throw std::logic_error("name underflows: " + name);
        return stack[--depth];
    };
    for (char c : name) {
        switch (c) {
        case 'D': push(d); break;
        case 'S': push(s); break;
        case 'P': push(p); break;
        case '0': push(0); break;
        case 'n': push(static_cast<uint8_t>(255 - pop())); break;
        case 'a':
        case 'o':
        case 'x': {
            uint8_t right = pop(), left = pop();
            uint8_t result = c == 'a' ? (left < right ? left : right)
                             : c == 'o' ? (left > right ? left : right)
                                        : static_cast<uint8_t>(left ^ right);
            push(result);
            break;
        }
        default: throw std::logic_error("bad character in name: " + name);
        }
    }
    if (depth != 1) throw std::logic_error("name leaves no single value: " + name);
    return stack[0];
}

uint8_t ReferenceSource(const RopRequest& request, const uint8_t* sourceRow, uint32_t plane,
                        uint32_t x) {
    if (request.SourceBits == 1) {
        uint32_t bit = x + request.BitPhase;
        bool set = (sourceRow[bit / 8] >> (7 - bit % 8)) & 1;
        uint32_t colour = set ? request.SetBitColor : request.ClearBitColor;
        return static_cast<uint8_t>(colour >> (8 * plane));
    }
    if (request.SourceBits == 24) return sourceRow[plane * request.SourcePlaneStride + x];
    return sourceRow[x];
}

uint8_t ReferencePattern(const RopRequest& request, const uint8_t* patternRow, uint32_t plane,
                         uint32_t x) {
    if (!request.BrushPattern) return static_cast<uint8_t>(request.PatternColor >> (8 * plane));
    uint32_t column = (request.PatternPhase + x) % request.PatternWidth;
    return patternRow[plane * request.PatternWidth + column];
}

void ReferenceRow(const RopRequest& request, const uint8_t* sourceRow, uint8_t* destinationRow,
                  const uint8_t* patternRow) {
    const std::string name = ReferenceName(request.Rop);
    bool readsSource = name.find('S') != std::string::npos;
    bool readsPattern = name.find('P') != std::string::npos;
    for (uint32_t plane = 0; plane < 3; ++plane) {
        uint8_t* d = destinationRow + plane * request.DestPlaneStride;
        for (uint32_t x = 0; x < request.RowWidth; ++x) {
            uint8_t s = readsSource ? ReferenceSource(request, sourceRow, plane, x) : 0;
            uint8_t p = readsPattern ? ReferencePattern(request, patternRow, plane, x) : 0;
            d[x] = EvaluateName(name, d[x], s, p);
        }
    }
}

} // namespace marltest
