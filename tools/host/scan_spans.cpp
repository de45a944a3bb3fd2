#include "host/scan_spans.h"

#include <algorithm>

namespace marlhost {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { // b > 0
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// The first column whose pixel centre lies at or right of the point where the edge crosses
// the centre line of row y: ceil(crossing - 1/2), computed exactly.
int64_t CrossingColumn(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int32_t y) {
    // crossing = x0 + (2y + 1 - 2 y0) (x1 - x0) / (2 (y1 - y0)); y1 > y0 here.
    int64_t denominator = 2 * (y1 - y0);
    int64_t numerator = x0 * denominator + (2 * int64_t{y} + 1 - 2 * y0) * (x1 - x0);
    return CeilDiv(2 * numerator - denominator, 2 * denominator);
}

bool Inside(FillRule rule, int winding) {
    return rule == FillRule::EvenOdd ? (winding & 1) != 0 : winding != 0;
}

void AddInterval(std::vector<Interval>& out, int64_t left, int64_t right) {
    if (left >= right) return;
    if (!out.empty() && out.back().Right >= left) {
        out.back().Right = static_cast<int32_t>(std::max<int64_t>(out.back().Right, right));
        return;
    }
    out.push_back({static_cast<int32_t>(left), static_cast<int32_t>(right)});
}

} // namespace

FillArea FillArea::Rectangle(int32_t x, int32_t y, int32_t width, int32_t height) {
    FillArea area;
    area.IsRectangle = true;
    area.Left = x;
    area.Top = y;
    area.Right = x + std::max(width, 0);
    area.Bottom = y + std::max(height, 0);
    return area;
}

FillArea FillArea::Polygon(const std::vector<Vertex>& points, FillRule rule) {
    FillArea area;
    area.Rule = rule;
    if (points.empty()) return area;
    int32_t minX = points[0].X, maxX = points[0].X, minY = points[0].Y, maxY = points[0].Y;
    for (size_t i = 0; i < points.size(); ++i) {
        const Vertex& a = points[i];
        const Vertex& b = points[(i + 1) % points.size()];
        minX = std::min(minX, a.X);
        maxX = std::max(maxX, a.X);
        minY = std::min(minY, a.Y);
        maxY = std::max(maxY, a.Y);
        if (a.Y == b.Y) continue; // horizontal edges cross no centre line
        if (a.Y < b.Y)
            area.Edges.push_back({a.X, a.Y, b.X, b.Y, +1});
        else
            area.Edges.push_back({b.X, b.Y, a.X, a.Y, -1});
    }
    // Centres lie half a pixel in: rows minY .. maxY - 1, columns minX .. maxX - 1 at most.
    area.Top = minY;
    area.Bottom = maxY;
    area.Left = minX;
    area.Right = maxX;
    return area;
}

FillArea FillArea::Rows(int32_t top, std::vector<std::vector<Interval>> rows) {
    FillArea area;
    area.Top = top;
    area.Bottom = top + static_cast<int32_t>(rows.size());
    bool any = false;
    for (const auto& row : rows)
        if (!row.empty()) {
            area.Left = any ? std::min(area.Left, row.front().Left) : row.front().Left;
            area.Right = any ? std::max(area.Right, row.back().Right) : row.back().Right;
            any = true;
        }
    area.RowList = std::make_shared<const std::vector<std::vector<Interval>>>(std::move(rows));
    return area;
}

void FillArea::RowIntervals(int32_t y, std::vector<Interval>& out) const {
    out.clear();
    if (y < Top || y >= Bottom) return;
    if (RowList) {
        out = (*RowList)[static_cast<size_t>(y - Top)];
        return;
    }
    if (IsRectangle) {
        AddInterval(out, Left, Right);
        return;
    }
    std::vector<Crossing> crossings;
    for (const Edge& edge : Edges) {
        // The centre line y + 1/2 crosses the edge when Y0 <= y < Y1: it never meets a vertex.
        if (y < edge.Y0 || y >= edge.Y1) continue;
        crossings.push_back(
            {CrossingColumn(edge.X0, edge.Y0, edge.X1, edge.Y1, y), edge.Direction});
    }
    std::sort(crossings.begin(), crossings.end(),
              [](const Crossing& a, const Crossing& b) { return a.Column < b.Column; });
    int winding = 0;
    for (size_t i = 0; i + 1 < crossings.size(); ++i) {
        winding += crossings[i].Direction;
        if (Inside(Rule, winding)) AddInterval(out, crossings[i].Column, crossings[i + 1].Column);
    }
}

void FillArea::AppendBandSpans(int32_t top, int32_t rows, int32_t width,
                               std::vector<ScanSpan>& spans) const {
    std::vector<Interval> intervals;
    int32_t first = std::max(top, Top);
    int32_t last = std::min(top + rows, Bottom);
    for (int32_t y = first; y < last; ++y) {
        RowIntervals(y, intervals);
        for (const Interval& interval : intervals) {
            int32_t left = std::max(interval.Left, 0);
            int32_t right = std::min(interval.Right, width);
            if (left >= right) continue;
            ScanSpan span{};
            span.Y = static_cast<int16_t>(y - top);
            span.Left = static_cast<int16_t>(left);
            span.Right = static_cast<int16_t>(right);
            spans.push_back(span);
        }
    }
}

} // namespace marlhost
