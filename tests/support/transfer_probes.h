// Looks at what a transfer leaves behind from outside: whether the transfer lock is held by
// some other lock object, and whether any mapping of the process is executable.
#pragma once

#include <string>

namespace marltest {

// True when a lock object other than the caller's own holds "RopMC24" (another transfer of
// this or any other process). Never waits.
bool TransferLockHeld();

// The mappings of the process that are both writable and executable, one line each.
std::string WritableExecutableMappings();

// True when the page holding `address` is mapped executable.
bool PageExecutable(const void* address);

} // namespace marltest
