#include "support/transfer_probes.h"

#include "support/page_map.h"

namespace marltest {

std::string WritableExecutableMappings() {
    std::string found;
    for (const std::string& range : WritableExecutableRanges())
        found += range + "\n";
    return found;
}

bool PageExecutable(const void* address) { return PagePermissions(address)[2] == 'x'; }

} // namespace marltest
