// A RowMoveListener that writes down every row move a primitive makes, so a test can see
// which rows were reached with NextRow and which with SelectRow.
#pragma once

#include "render24/primitives/row_cursor.h"

#include <cstdint>
#include <ostream>
#include <vector>

namespace marltest {

struct RowMove {
    bool Next;    // NextRow; otherwise SelectRow(Row)
    uint32_t Row; // the row asked for by SelectRow; 0 for NextRow

    static RowMove Select(uint32_t row) { return {false, row}; }
    static RowMove Advance() { return {true, 0}; }
    bool operator==(const RowMove&) const = default;
};

std::ostream& operator<<(std::ostream& out, const RowMove& move);

class RowMoveLog final : public marl::RowMoveListener {
  public:
    void Selected(uint32_t y, int32_t) override { Moves.push_back(RowMove::Select(y)); }
    void Advanced(int32_t) override { Moves.push_back(RowMove::Advance()); }

    std::vector<RowMove> Moves;
};

} // namespace marltest
