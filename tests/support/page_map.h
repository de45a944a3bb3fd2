// What the kernel says about the pages of this process: /proc/self/maps on POSIX, VirtualQuery
// on Win32.
#pragma once

#include <string>
#include <vector>

namespace marltest {

// The protection of the page that holds address as three letters, "rw-", "r-x", "rwx", "---"
// and so on, or "unmapped".
std::string PagePermissions(const void* address);

// Every range of the address space that is writable and executable at once, one line each
// ("from-to rwx" and what the kernel says the range is).
std::vector<std::string> WritableExecutableRanges();

} // namespace marltest
