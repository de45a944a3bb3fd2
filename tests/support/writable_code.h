// Pages of this process that are writable and executable at the same time. The library makes
// its code areas executable only inside a block transfer, so once any entry point has
// returned there must be none; tests and fuzz targets check this after every call.
#pragma once

#include <string>
#include <vector>

namespace marltest {

// One entry per such mapping: its address range and permissions, as the system lists them.
std::vector<std::string> WritableExecutablePages();

// All of them on one line each, for a failure message; empty when there are none.
std::string DescribeWritableExecutablePages();

} // namespace marltest
