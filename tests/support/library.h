// The library as a driver sees it: libmarlrend.so loaded with dlopen and its table.
#pragma once

#include "marlrend/marlrend.h"

namespace marltest {

// Loads the library once per process and answers the table RPGetCapabilities filled.
const CapabilityTable& Table();
// The handle of the loaded library, for symbol look-ups.
void* LibraryHandle();

} // namespace marltest
