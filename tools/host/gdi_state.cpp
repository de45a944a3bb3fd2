#include "host/gdi_state.h"

#include <cmath>

namespace marlhost {

Affine Affine::Then(const Affine& next) const {
    Affine r;
    r.M11 = M11 * next.M11 + M12 * next.M21;
    r.M12 = M11 * next.M12 + M12 * next.M22;
    r.M21 = M21 * next.M11 + M22 * next.M21;
    r.M22 = M21 * next.M12 + M22 * next.M22;
    r.Dx = Dx * next.M11 + Dy * next.M21 + next.Dx;
    r.Dy = Dx * next.M12 + Dy * next.M22 + next.Dy;
    return r;
}

double Affine::LengthScale() const { return std::sqrt(std::fabs(Determinant())); }

bool Affine::Invertible() const {
    double d = Determinant();
    return std::isfinite(d) && std::fabs(d) > 1e-12;
}

Affine PlaybackGeometry::DeviceToPicture() const {
    // The frame in reference device pixels, then scaled onto the picture.
    double pixelsPerHundredthX = DeviceWidth / (DeviceMillimetresX * 100.0);
    double pixelsPerHundredthY = DeviceHeight / (DeviceMillimetresY * 100.0);
    double left = FrameLeft * pixelsPerHundredthX;
    double top = FrameTop * pixelsPerHundredthY;
    double width = (FrameRight - FrameLeft) * pixelsPerHundredthX;
    double height = (FrameBottom - FrameTop) * pixelsPerHundredthY;
    Affine a;
    a.M11 = PictureWidth / width;
    a.M22 = PictureHeight / height;
    a.Dx = -left * a.M11;
    a.Dy = -top * a.M22;
    return a;
}

int64_t PictureExtent(int64_t frameHundredthsMm, double dpi) {
    double pixels = std::round(frameHundredthsMm / 100.0 / 25.4 * dpi);
    return pixels < 1 ? 1 : static_cast<int64_t>(pixels);
}

namespace {

// Logical units per millimetre of the fixed mapping modes.
double UnitsPerMillimetre(uint32_t mode) {
    switch (mode) {
    case MM_LOMETRIC_: return 10;
    case MM_HIMETRIC_: return 100;
    case MM_LOENGLISH_: return 100 / 25.4;
    case MM_HIENGLISH_: return 1000 / 25.4;
    case MM_TWIPS_: return 1440 / 25.4;
    default: return 0;
    }
}

} // namespace

void CoordinateMapping::SetMapMode(uint32_t mode) {
    if (mode < MM_TEXT_ || mode > MM_ANISOTROPIC_) return;
    MapModeValue = mode;
    if (mode == MM_TEXT_) {
        WindowExt = {1, 1};
        ViewportExt = {1, 1};
    } else if (!ExtentsFree()) {
        // The fixed modes keep their extents; switching on to an isotropic or anisotropic
        // mode starts from them, as GDI does.
        double units = UnitsPerMillimetre(mode);
        WindowExt = {Geometry->DeviceMillimetresX * units, Geometry->DeviceMillimetresY * units};
        ViewportExt = {double(Geometry->DeviceWidth), -double(Geometry->DeviceHeight)};
    }
}

void CoordinateMapping::SetWindowExt(SizeF s) {
    if (ExtentsFree() && s.Cx != 0 && s.Cy != 0) WindowExt = s;
}

void CoordinateMapping::SetViewportExt(SizeF s) {
    if (ExtentsFree() && s.Cx != 0 && s.Cy != 0) ViewportExt = s;
}

void CoordinateMapping::ScaleWindowExt(double xNum, double xDen, double yNum, double yDen) {
    if (xDen != 0 && yDen != 0) SetWindowExt({WindowExt.Cx * xNum / xDen, WindowExt.Cy * yNum / yDen});
}

void CoordinateMapping::ScaleViewportExt(double xNum, double xDen, double yNum, double yDen) {
    if (xDen != 0 && yDen != 0)
        SetViewportExt({ViewportExt.Cx * xNum / xDen, ViewportExt.Cy * yNum / yDen});
}

void CoordinateMapping::ModifyWorld(const Affine& xform, uint32_t mode) {
    switch (mode) {
    case 1: World = Affine{}; break;
    case 2: World = xform.Then(World); break;
    case 3: World = World.Then(xform); break;
    case 4: World = xform; break;
    default: break;
    }
}

Affine CoordinateMapping::PageToDevice() const {
    double sx = ViewportExt.Cx / WindowExt.Cx;
    double sy = ViewportExt.Cy / WindowExt.Cy;
    if (MapModeValue == MM_ISOTROPIC_) {
        // One scale for both axes: the smaller, so the window fits the viewport.
        double scale = std::min(std::fabs(sx), std::fabs(sy));
        sx = std::copysign(scale, sx);
        sy = std::copysign(scale, sy);
    }
    Affine a;
    a.M11 = sx;
    a.M22 = sy;
    a.Dx = ViewportOrg.X - WindowOrg.X * sx;
    a.Dy = ViewportOrg.Y - WindowOrg.Y * sy;
    return a;
}

} // namespace marlhost
