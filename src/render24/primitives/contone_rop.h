// Contone raster operations of the pixel, line and span primitives.
//
// The sixteen codes that combine only the pattern colour P with the destination D are given
// a continuous-tone meaning per 8-bit sample: AND keeps the smaller sample, OR the larger,
// NOT is 255 - x, and XOR is the distance |D - P|. That last meaning belongs to these three
// primitives only: block transfers take XOR bitwise, so nothing here is meant for them, and
// the difference operator is deliberately not called "Xor".
//
// Each code is its own type, ContoneRop<Code>, so a writing loop is instantiated once per
// code and the code is looked at once per pixel, run or span (DispatchPatternDest), never
// inside the loop.
#pragma once

#include <cstdint>
#include <type_traits>

namespace marl {

inline constexpr uint8_t ContoneAnd(uint8_t a, uint8_t b) { return a < b ? a : b; }
inline constexpr uint8_t ContoneOr(uint8_t a, uint8_t b) { return a > b ? a : b; }
inline constexpr uint8_t ContoneNot(uint8_t a) { return static_cast<uint8_t>(255 - a); }
// The contone XOR: the absolute difference of the two samples.
inline constexpr uint8_t ContoneDifference(uint8_t a, uint8_t b) {
    return static_cast<uint8_t>(a > b ? a - b : b - a);
}

// The sixteen codes whose result does not depend on a source.
enum PatternDestCode : uint8_t {
    kContoneBlack = 0x00, // 0
    kContoneDPon = 0x05,  // NOT (D OR P)
    kContoneDPna = 0x0A,  // D AND NOT P
    kContonePn = 0x0F,    // NOT P
    kContonePDna = 0x50,  // P AND NOT D
    kContoneDn = 0x55,    // NOT D
    kContoneDPx = 0x5A,   // D XOR P
    kContoneDPan = 0x5F,  // NOT (D AND P)
    kContoneDPa = 0xA0,   // D AND P
    kContoneDPxn = 0xA5,  // NOT (D XOR P)
    kContoneD = 0xAA,     // D: nothing to write
    kContoneDPno = 0xAF,  // D OR NOT P
    kContoneP = 0xF0,     // P
    kContonePDno = 0xF5,  // P OR NOT D
    kContoneDPo = 0xFA,   // D OR P
    kContoneWhite = 0xFF, // 1
};

inline constexpr uint8_t kPatternDestCodes[16] = {
    kContoneBlack, kContoneDPon, kContoneDPna, kContonePn,    kContonePDna, kContoneDn,
    kContoneDPx,   kContoneDPan, kContoneDPa,  kContoneDPxn,  kContoneD,    kContoneDPno,
    kContoneP,     kContonePDno, kContoneDPo,  kContoneWhite,
};

// The new destination sample for code Code: Apply(d, p) for destination d and pattern p.
// kIgnoresDest marks the codes whose result is P, its complement or a constant, which a loop
// may store without reading the destination. Only the fifteen writing codes are defined.
// The codes that read D take any sample type V for which ContoneAnd, ContoneOr, ContoneNot
// and ContoneDifference are defined (deduced from d alone): one sample or sixteen in a vector
// register, so the byte loops and the vector loops share one formula per code.
template <uint8_t Code> struct ContoneRop;

template <uint8_t Code, bool IgnoresDest> struct ContoneRopTraits {
    static constexpr uint8_t kCode = Code;
    static constexpr bool kIgnoresDest = IgnoresDest;
};

template <> struct ContoneRop<kContoneBlack> : ContoneRopTraits<kContoneBlack, true> {
    static constexpr uint8_t Apply(uint8_t, uint8_t) { return 0; }
};
template <> struct ContoneRop<kContoneDPon> : ContoneRopTraits<kContoneDPon, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V> p) {
        return ContoneNot(ContoneOr(d, p));
    }
};
template <> struct ContoneRop<kContoneDPna> : ContoneRopTraits<kContoneDPna, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V> p) {
        return ContoneAnd(d, ContoneNot(p));
    }
};
template <> struct ContoneRop<kContonePn> : ContoneRopTraits<kContonePn, true> {
    static constexpr uint8_t Apply(uint8_t, uint8_t p) { return ContoneNot(p); }
};
template <> struct ContoneRop<kContonePDna> : ContoneRopTraits<kContonePDna, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V> p) {
        return ContoneAnd(p, ContoneNot(d));
    }
};
template <> struct ContoneRop<kContoneDn> : ContoneRopTraits<kContoneDn, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V>) {
        return ContoneNot(d);
    }
};
template <> struct ContoneRop<kContoneDPx> : ContoneRopTraits<kContoneDPx, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V> p) {
        return ContoneDifference(d, p);
    }
};
template <> struct ContoneRop<kContoneDPan> : ContoneRopTraits<kContoneDPan, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V> p) {
        return ContoneNot(ContoneAnd(d, p));
    }
};
template <> struct ContoneRop<kContoneDPa> : ContoneRopTraits<kContoneDPa, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V> p) {
        return ContoneAnd(d, p);
    }
};
template <> struct ContoneRop<kContoneDPxn> : ContoneRopTraits<kContoneDPxn, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V> p) {
        return ContoneNot(ContoneDifference(d, p));
    }
};
template <> struct ContoneRop<kContoneDPno> : ContoneRopTraits<kContoneDPno, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V> p) {
        return ContoneOr(d, ContoneNot(p));
    }
};
template <> struct ContoneRop<kContoneP> : ContoneRopTraits<kContoneP, true> {
    static constexpr uint8_t Apply(uint8_t, uint8_t p) { return p; }
};
template <> struct ContoneRop<kContonePDno> : ContoneRopTraits<kContonePDno, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V> p) {
        return ContoneOr(p, ContoneNot(d));
    }
};
template <> struct ContoneRop<kContoneDPo> : ContoneRopTraits<kContoneDPo, false> {
    template <typename V> static constexpr V Apply(V d, std::type_identity_t<V> p) {
        return ContoneOr(d, p);
    }
};
template <> struct ContoneRop<kContoneWhite> : ContoneRopTraits<kContoneWhite, true> {
    static constexpr uint8_t Apply(uint8_t, uint8_t) { return 255; }
};

// What a primitive does with a code.
enum class PatternDestKind {
    Writes,         // one of the fifteen writing codes
    NothingToWrite, // 0xAA: D stays D; handled, no sample is stored
    NotHandled,     // every other code: nothing is stored, and RPPixel answers 1
};

// Looks at the code once: for a writing code calls visit(ContoneRop<code>{}) and answers
// Writes; otherwise calls nothing. visit is a generic callable, so each code gets its own
// instantiation of whatever loop visit runs.
template <typename Visit> PatternDestKind DispatchPatternDest(uint32_t code, Visit&& visit) {
    switch (code & 0xFF) {
    case kContoneBlack: visit(ContoneRop<kContoneBlack>{}); break;
    case kContoneDPon: visit(ContoneRop<kContoneDPon>{}); break;
    case kContoneDPna: visit(ContoneRop<kContoneDPna>{}); break;
    case kContonePn: visit(ContoneRop<kContonePn>{}); break;
    case kContonePDna: visit(ContoneRop<kContonePDna>{}); break;
    case kContoneDn: visit(ContoneRop<kContoneDn>{}); break;
    case kContoneDPx: visit(ContoneRop<kContoneDPx>{}); break;
    case kContoneDPan: visit(ContoneRop<kContoneDPan>{}); break;
    case kContoneDPa: visit(ContoneRop<kContoneDPa>{}); break;
    case kContoneDPxn: visit(ContoneRop<kContoneDPxn>{}); break;
    case kContoneDPno: visit(ContoneRop<kContoneDPno>{}); break;
    case kContoneP: visit(ContoneRop<kContoneP>{}); break;
    case kContonePDno: visit(ContoneRop<kContonePDno>{}); break;
    case kContoneDPo: visit(ContoneRop<kContoneDPo>{}); break;
    case kContoneWhite: visit(ContoneRop<kContoneWhite>{}); break;
    case kContoneD: return PatternDestKind::NothingToWrite;
    default: return PatternDestKind::NotHandled;
    }
    return PatternDestKind::Writes;
}

// The same decision without a visit: the code's low 8 bits classified.
PatternDestKind ClassifyPatternDest(uint32_t code);

} // namespace marl
