#include "support/child_process.h"

#include <map>
#include <string>

namespace marltest {

namespace {

std::map<std::string, ChildRole>& Roles() {
    static std::map<std::string, ChildRole> roles;
    return roles;
}

} // namespace

bool RegisterChildRole(const char* name, ChildRole role) {
    Roles()[name] = role;
    return true;
}

ChildRole FindChildRole(const char* name) {
    auto found = Roles().find(name);
    return found == Roles().end() ? nullptr : found->second;
}

} // namespace marltest
