// A plain reference for the six entry points, written pixel by pixel from the contracts of
// the records they take: contone pattern/destination codes for pixels, lines and spans;
// solid, hatched and pattern brushes; block transfers with 1-, 4-, 8- and 24-bit sources
// under every ternary code, evaluated from its reverse-Polish name. It makes no code and
// takes no lock; it exists so that the host's cutting of a page into bands can be checked
// against something while the library's own primitives are young, and it supplies the
// golden samples of the golden page.
#pragma once

#include "marlrend/marlrend.h"

namespace marlhosttest {

const CapabilityTable& ReferenceTable();

} // namespace marlhosttest
