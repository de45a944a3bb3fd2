#include "support/row_move_log.h"

namespace marltest {

std::ostream& operator<<(std::ostream& out, const RowMove& move) {
    if (move.Next) return out << "NextRow";
    return out << "SelectRow(" << move.Row << ")";
}

} // namespace marltest
