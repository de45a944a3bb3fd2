#include "host/emf_clip.h"

#include <algorithm>

namespace marlhost {

namespace {

const std::vector<Interval> kNoIntervals;

bool Keeps(RegionOp op, bool inA, bool inB) {
    switch (op) {
    case RegionOp::And: return inA && inB;
    case RegionOp::Or: return inA || inB;
    case RegionOp::Diff: return inA && !inB;
    case RegionOp::Xor: return inA != inB;
    case RegionOp::Copy: return inB;
    }
    return false;
}

} // namespace

std::vector<Interval> CombineIntervals(const std::vector<Interval>& a,
                                       const std::vector<Interval>& b, RegionOp op) {
    // Sweep over every interval end of both lists; between two ends membership is constant.
    std::vector<int32_t> ends;
    ends.reserve(2 * (a.size() + b.size()));
    for (const Interval& i : a) {
        ends.push_back(i.Left);
        ends.push_back(i.Right);
    }
    for (const Interval& i : b) {
        ends.push_back(i.Left);
        ends.push_back(i.Right);
    }
    std::sort(ends.begin(), ends.end());
    ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
    std::vector<Interval> out;
    size_t ia = 0, ib = 0;
    for (size_t k = 0; k + 1 < ends.size(); ++k) {
        int32_t x = ends[k];
        while (ia < a.size() && a[ia].Right <= x)
            ++ia;
        while (ib < b.size() && b[ib].Right <= x)
            ++ib;
        bool inA = ia < a.size() && a[ia].Left <= x;
        bool inB = ib < b.size() && b[ib].Left <= x;
        if (!Keeps(op, inA, inB)) continue;
        if (!out.empty() && out.back().Right == x)
            out.back().Right = ends[k + 1];
        else
            out.push_back({x, ends[k + 1]});
    }
    return out;
}

Region Region::Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    Region r;
    if (left >= right || top >= bottom) return r;
    r.Top = top;
    r.Rows.assign(static_cast<size_t>(bottom - top), std::vector<Interval>{{left, right}});
    return r;
}

Region Region::FromArea(const FillArea& area, int32_t top, int32_t bottom) {
    Region r;
    int32_t first = std::max(top, area.TopRow());
    int32_t last = std::min(bottom, area.BottomRow());
    if (first >= last) return r;
    r.Top = first;
    r.Rows.resize(static_cast<size_t>(last - first));
    for (int32_t y = first; y < last; ++y)
        area.RowIntervals(y, r.Rows[static_cast<size_t>(y - first)]);
    r.Trim();
    return r;
}

const std::vector<Interval>& Region::Row(int32_t y) const {
    if (y < Top || y >= BottomRow()) return kNoIntervals;
    return Rows[static_cast<size_t>(y - Top)];
}

bool Region::Contains(int32_t x, int32_t y) const {
    const std::vector<Interval>& row = Row(y);
    auto it = std::upper_bound(row.begin(), row.end(), x,
                               [](int32_t value, const Interval& i) { return value < i.Right; });
    return it != row.end() && it->Left <= x;
}

uint64_t Region::PixelCount() const {
    uint64_t count = 0;
    for (const auto& row : Rows)
        for (const Interval& i : row)
            count += static_cast<uint64_t>(int64_t{i.Right} - i.Left);
    return count;
}

Region Region::Combine(const Region& other, RegionOp op) const {
    if (op == RegionOp::Copy) return other;
    int32_t top, bottom;
    if (op == RegionOp::And) {
        top = std::max(Top, other.Top);
        bottom = std::min(BottomRow(), other.BottomRow());
    } else if (op == RegionOp::Diff) {
        top = Top;
        bottom = BottomRow();
    } else {
        if (Empty()) return other;
        if (other.Empty()) return *this;
        top = std::min(Top, other.Top);
        bottom = std::max(BottomRow(), other.BottomRow());
    }
    Region r;
    if (top >= bottom) return r;
    r.Top = top;
    r.Rows.resize(static_cast<size_t>(bottom - top));
    for (int32_t y = top; y < bottom; ++y)
        r.Rows[static_cast<size_t>(y - top)] = CombineIntervals(Row(y), other.Row(y), op);
    r.Trim();
    return r;
}

Region Region::Offset(int32_t dx, int32_t dy) const {
    Region r = *this;
    r.Top += dy;
    for (auto& row : r.Rows)
        for (Interval& i : row) {
            i.Left += dx;
            i.Right += dx;
        }
    return r;
}

void Region::Trim() {
    size_t first = 0;
    while (first < Rows.size() && Rows[first].empty())
        ++first;
    size_t last = Rows.size();
    while (last > first && Rows[last - 1].empty())
        --last;
    if (first == last) {
        Rows.clear();
        Top = 0;
        return;
    }
    Rows.erase(Rows.begin() + static_cast<std::ptrdiff_t>(last), Rows.end());
    Rows.erase(Rows.begin(), Rows.begin() + static_cast<std::ptrdiff_t>(first));
    Top += static_cast<int32_t>(first);
}

} // namespace marlhost
