#include "host/emf_outline.h"
#include "host/portable_math.h"

#include <algorithm>
#include <cmath>

namespace marlhost {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMostBezierDepth = 16;

double Length(PointF v) { return PortableHypot(v.X, v.Y); }
PointF Sub(PointF a, PointF b) { return {a.X - b.X, a.Y - b.Y}; }
PointF Add(PointF a, PointF b) { return {a.X + b.X, a.Y + b.Y}; }
PointF Scale(PointF a, double s) { return {a.X * s, a.Y * s}; }
PointF Mid(PointF a, PointF b) { return {(a.X + b.X) / 2, (a.Y + b.Y) / 2}; }

double SignedArea(const Polyline& polygon) {
    double area = 0;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const PointF& a = polygon[i];
        const PointF& b = polygon[(i + 1) % polygon.size()];
        area += a.X * b.Y - b.X * a.Y;
    }
    return area / 2;
}

void AddOriented(Polyline polygon, std::vector<Polyline>& polygons) {
    if (polygon.size() < 3) return;
    if (SignedArea(polygon) < 0) std::reverse(polygon.begin(), polygon.end());
    polygons.push_back(std::move(polygon));
}

void Subdivide(PointF p0, PointF p1, PointF p2, PointF p3, double tolerance, int depth,
               Polyline& out) {
    // Flat enough when the control points lie within tolerance of the chord.
    PointF chord = Sub(p3, p0);
    double length = Length(chord);
    double d1, d2;
    if (length < 1e-9) {
        d1 = Length(Sub(p1, p0));
        d2 = Length(Sub(p2, p0));
    } else {
        d1 = std::fabs((p1.X - p0.X) * chord.Y - (p1.Y - p0.Y) * chord.X) / length;
        d2 = std::fabs((p2.X - p0.X) * chord.Y - (p2.Y - p0.Y) * chord.X) / length;
    }
    if (depth >= kMostBezierDepth || std::max(d1, d2) <= tolerance || !std::isfinite(d1 + d2)) {
        out.push_back(p3);
        return;
    }
    PointF p01 = Mid(p0, p1), p12 = Mid(p1, p2), p23 = Mid(p2, p3);
    PointF p012 = Mid(p01, p12), p123 = Mid(p12, p23);
    PointF m = Mid(p012, p123);
    Subdivide(p0, p01, p012, m, tolerance, depth + 1, out);
    Subdivide(m, p123, p23, p3, tolerance, depth + 1, out);
}

Polyline Disc(PointF centre, double radius) {
    return ArcPoints(centre, radius, radius, 0, 2 * kPi, radius);
}

// The two sides of segment a -> b at half the pen width.
PointF Normal(PointF a, PointF b, double half) {
    PointF d = Sub(b, a);
    double length = Length(d);
    if (length < 1e-12) return {0, 0};
    return {-d.Y / length * half, d.X / length * half};
}

void Join(PointF previous, PointF vertex, PointF next, const PenShape& pen,
          std::vector<Polyline>& polygons) {
    double half = pen.Width / 2;
    if (pen.Join == PenJoin::Round) {
        AddOriented(Disc(vertex, half), polygons);
        return;
    }
    PointF n1 = Normal(previous, vertex, half);
    PointF n2 = Normal(vertex, next, half);
    // The outer side is the one the path turns away from.
    double turn = (vertex.X - previous.X) * (next.Y - vertex.Y) -
                  (vertex.Y - previous.Y) * (next.X - vertex.X);
    if (std::fabs(turn) < 1e-12) return;
    if (turn > 0) {
        n1 = Scale(n1, -1);
        n2 = Scale(n2, -1);
    }
    PointF a = Add(vertex, n1), b = Add(vertex, n2);
    if (pen.Join == PenJoin::Miter) {
        // The miter point lies on the bisector of the two offsets.
        PointF bisector = Add(n1, n2);
        double bl = Length(bisector);
        if (bl > 1e-12) {
            double cosHalf = bl / (2 * half);
            double miter = half / std::max(cosHalf, 1e-12);
            if (miter * 2 <= pen.MiterLimit * pen.Width) {
                PointF tip = Add(vertex, Scale(bisector, miter / bl));
                AddOriented({vertex, a, tip, b}, polygons);
                return;
            }
        }
    }
    AddOriented({vertex, a, b}, polygons);
}

} // namespace

void AppendBezier(PointF p0, PointF p1, PointF p2, PointF p3, double tolerance, Polyline& out) {
    Subdivide(p0, p1, p2, p3, std::max(tolerance, 0.01), 0, out);
}

Polyline ArcPoints(PointF centre, double rx, double ry, double a0, double sweep,
                   double pictureRadius) {
    // Segments whose chord strays at most about a quarter pixel from the curve.
    double r = std::max(pictureRadius, 0.5);
    double step = 2 * PortableAcos(std::max(0.0, 1 - 0.25 / r));
    int count = static_cast<int>(std::ceil(std::fabs(sweep) / std::max(step, 1e-3)));
    count = std::clamp(count, 4, 4096);
    Polyline points;
    points.reserve(static_cast<size_t>(count) + 1);
    for (int i = 0; i <= count; ++i) {
        double a = a0 + sweep * i / count;
        points.push_back({centre.X + rx * PortableCos(a), centre.Y + ry * PortableSin(a)});
    }
    return points;
}

std::vector<Polyline> DashPieces(const Polyline& points, bool closed,
                                 const std::vector<double>& pattern) {
    std::vector<Polyline> pieces;
    double total = 0;
    for (double d : pattern)
        total += d;
    if (pattern.size() < 2 || total <= 0) {
        pieces.push_back(points);
        if (closed && !points.empty()) pieces.back().push_back(points.front());
        return pieces;
    }
    Polyline path = points;
    if (closed && !path.empty()) path.push_back(path.front());
    size_t entry = 0;
    double left = pattern[0]; // of the current dash or gap
    bool on = true;
    Polyline current;
    if (!path.empty()) current.push_back(path[0]);
    for (size_t i = 1; i < path.size(); ++i) {
        PointF from = path[i - 1];
        double length = Length(Sub(path[i], from));
        double done = 0;
        while (length - done > left) {
            done += left;
            PointF at = Add(from, Scale(Sub(path[i], from), done / length));
            if (on) {
                current.push_back(at);
                pieces.push_back(std::move(current));
                current.clear();
            } else {
                current.push_back(at);
            }
            on = !on;
            entry = (entry + 1) % pattern.size();
            left = std::max(pattern[entry], 1e-3);
        }
        left -= length - done;
        if (on)
            current.push_back(path[i]);
        else {
            current.clear();
        }
    }
    if (on && current.size() > 1) pieces.push_back(std::move(current));
    return pieces;
}

void StrokeOutline(const Polyline& input, bool closed, const PenShape& pen,
                   std::vector<Polyline>& polygons) {
    // Repeated points make no segment.
    Polyline points;
    for (const PointF& p : input)
        if (points.empty() || Length(Sub(p, points.back())) > 1e-9) points.push_back(p);
    if (closed && points.size() > 1 && Length(Sub(points.front(), points.back())) <= 1e-9)
        points.pop_back();
    double half = pen.Width / 2;
    if (points.size() == 1) {
        if (pen.Cap == PenCap::Round) AddOriented(Disc(points[0], half), polygons);
        if (pen.Cap == PenCap::Square) {
            PointF p = points[0];
            AddOriented({{p.X - half, p.Y - half},
                         {p.X + half, p.Y - half},
                         {p.X + half, p.Y + half},
                         {p.X - half, p.Y + half}},
                        polygons);
        }
        return;
    }
    size_t segments = closed ? points.size() : points.size() - 1;
    for (size_t i = 0; i < segments; ++i) {
        PointF a = points[i];
        PointF b = points[(i + 1) % points.size()];
        if (!closed && pen.Cap == PenCap::Square) {
            PointF d = Sub(b, a);
            PointF unit = Scale(d, half / Length(d));
            if (i == 0) a = Sub(a, unit);
            if (i + 1 == segments) b = Add(b, unit);
        }
        PointF n = Normal(a, b, half);
        AddOriented({Add(a, n), Add(b, n), Sub(b, n), Sub(a, n)}, polygons);
    }
    size_t n = points.size();
    for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i)
        Join(points[(i + n - 1) % n], points[i], points[(i + 1) % n], pen, polygons);
    if (!closed && pen.Cap == PenCap::Round) {
        AddOriented(Disc(points.front(), half), polygons);
        AddOriented(Disc(points.back(), half), polygons);
    }
}

FillArea AreaOfPolygons(const std::vector<std::vector<Vertex>>& polygons, FillRule rule) {
    std::vector<Vertex> all;
    const Vertex* hub = nullptr;
    for (const auto& polygon : polygons) {
        if (polygon.empty()) continue;
        if (hub == nullptr) hub = &polygon.front();
        all.insert(all.end(), polygon.begin(), polygon.end());
        all.push_back(polygon.front());
        all.push_back(*hub);
    }
    return FillArea::Polygon(all, rule);
}

std::vector<Vertex> RoundPoints(const Polyline& points, bool shift) {
    std::vector<Vertex> out;
    out.reserve(points.size());
    // Shifted points lie half a pixel further; they are rounded half down, so that an
    // outline reaching exactly to a pixel's centre line does not take that pixel.
    auto round = [shift](double v) {
        return std::clamp(shift ? std::ceil(v - 1e-9) : std::floor(v + 0.5), -1e8, 1e8);
    };
    for (const PointF& p : points) {
        double x = round(p.X);
        double y = round(p.Y);
        out.push_back({static_cast<int32_t>(x), static_cast<int32_t>(y)});
    }
    return out;
}

} // namespace marlhost
