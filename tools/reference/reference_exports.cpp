// libmarlrend_reference.so: the tests' plain reference of the entry points behind the same
// export a driver looks for, so that marlrend-host --library can draw a page through it and
// its pictures can be set beside the library's.
#include "host/reference_table.h"

extern "C" __attribute__((visibility("default"))) CapabilityTable*
RPGetCapabilities(CapabilityTable* table) {
    *table = marlhosttest::ReferenceTable();
    return table;
}
