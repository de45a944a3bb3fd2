#include "support/library.h"

#include <cstdlib>

namespace marltest {

const CapabilityTable& Table() {
    static CapabilityTable table = [] {
        using GetCapabilities = CapabilityTable* (*)(CapabilityTable*);
        auto get = reinterpret_cast<GetCapabilities>(Symbol("RPGetCapabilities"));
        if (!get) std::abort();
        CapabilityTable filled{};
        get(&filled);
        return filled;
    }();
    return table;
}

} // namespace marltest
