#include "support/page_map.h"

#include <cstdint>
#include <cstdio>
#include <fstream>

namespace marltest {

std::string PagePermissions(const void* address) {
    FILE* maps = std::fopen("/proc/self/maps", "r");
    if (!maps) return "no maps";
    const auto at = static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address));
    char line[512];
    std::string permissions = "unmapped";
    while (std::fgets(line, sizeof line, maps)) {
        unsigned long long from = 0, to = 0;
        char perms[8] = {};
        if (std::sscanf(line, "%llx-%llx %7s", &from, &to, perms) == 3 && at >= from && at < to) {
            permissions = std::string(perms, 3);
            break;
        }
    }
    std::fclose(maps);
    return permissions;
}

std::vector<std::string> WritableExecutableRanges() {
    std::vector<std::string> ranges;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        size_t space = line.find(' ');
        if (space == std::string::npos || line.size() < space + 4) continue;
        if (line[space + 2] == 'w' && line[space + 3] == 'x') ranges.push_back(line);
    }
    return ranges;
}

} // namespace marltest
