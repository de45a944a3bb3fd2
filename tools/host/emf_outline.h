// Curves flattened into polylines, and the outlines that wide pens draw: each segment of a
// stroked polyline becomes a rectangle along it, each vertex a join (round, bevel or miter),
// each open end a cap (round, square or flat). All pieces turn the same way round, so filling
// them together under the winding rule gives their union, and no pixel is drawn twice.
#pragma once

#include "host/gdi_state.h"
#include "host/scan_spans.h"

#include <vector>

namespace marlhost {

using Polyline = std::vector<PointF>;

enum class PenCap { Round, Square, Flat };
enum class PenJoin { Round, Bevel, Miter };

struct PenShape {
    double Width = 1; // picture pixels
    PenCap Cap = PenCap::Round;
    PenJoin Join = PenJoin::Round;
    double MiterLimit = 10; // longest miter, in pen widths
};

// Appends the points of the cubic Bezier curve p0 p1 p2 p3 after p0 (p3 included), close to
// the curve within tolerance.
void AppendBezier(PointF p0, PointF p1, PointF p2, PointF p3, double tolerance, Polyline& out);

// Points of the elliptic arc of centre c and radii rx, ry from angle a0 through sweep (radians,
// measured as x = cos, y = sin in the coordinates given), both ends included; segments short
// enough for a curve whose largest radius on the picture is pictureRadius.
Polyline ArcPoints(PointF centre, double rx, double ry, double a0, double sweep,
                   double pictureRadius);

// The pieces of a dashed polyline: pattern holds on and off lengths alternately (picture
// pixels), starting with a dash.
std::vector<Polyline> DashPieces(const Polyline& points, bool closed,
                                 const std::vector<double>& pattern);

// The outline of a polyline stroked with a wide pen, as polygons turning the same way.
void StrokeOutline(const Polyline& points, bool closed, const PenShape& pen,
                   std::vector<Polyline>& polygons);

// One fill area for several polygons: each is reached from the first polygon's first point
// and left the same way, so the connecting edges cancel under either rule.
FillArea AreaOfPolygons(const std::vector<std::vector<Vertex>>& polygons, FillRule rule);

// Picture points rounded to whole pixels (half a pixel added first with shift, for outlines
// centred on pixel rows and columns).
std::vector<Vertex> RoundPoints(const Polyline& points, bool shift);

} // namespace marlhost
