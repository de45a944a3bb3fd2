// The library as a driver sees it: libmarlrend.so loaded with dlopen (MARLREND.dll with
// LoadLibrary on Win32) and its table.
#pragma once

#include "marlrend/marlrend.h"

namespace marltest {

// Loads the library once per process and answers the table RPGetCapabilities filled.
const CapabilityTable& Table();
// The handle of the loaded library (a dlopen handle, or the HMODULE on Win32).
void* LibraryHandle();
// The address the loaded library exports under name, or null (dlsym, GetProcAddress).
void* Symbol(const char* name);

} // namespace marltest
