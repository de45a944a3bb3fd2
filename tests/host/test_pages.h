// Pages for the host's rendering tests, written with the pictures they use into a scratch
// directory. Operations can be limited to the primitives a library already draws.
#pragma once

#include "host/library_probe.h"

#include <string>

namespace marlhosttest {

class ScratchDirectory;

// A page of 120 x 90 with every kind of operation, many of them crossing band edges or
// reaching outside the page; answers the page file's path.
std::string WriteBandTestPage(const ScratchDirectory& directory, const LivePrimitives& live);

// A small page of 48 x 32 for sample-for-sample comparison; answers the page file's path.
std::string WriteGoldenPage(const ScratchDirectory& directory, const LivePrimitives& live);

} // namespace marlhosttest
