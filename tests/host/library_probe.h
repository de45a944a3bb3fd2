// Which of the library's primitives draw yet: each is asked for one small, valid piece of
// work on a scratch band. A primitive that refuses it or leaves the band as it was is
// counted as not there yet.
#pragma once

#include "marlrend/marlrend.h"

#include <string>

namespace marlhosttest {

struct LivePrimitives {
    bool Pixel = false;
    bool Line = false;
    bool Fill = false;
    bool Brush = false;
    bool Blit = false;

    bool All() const { return Pixel && Line && Fill && Brush && Blit; }
    bool Any() const { return Pixel || Line || Fill || Brush || Blit; }
    std::string Missing() const;
};

LivePrimitives ProbeLibrary(const CapabilityTable& table);

} // namespace marlhosttest
