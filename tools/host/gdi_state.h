// The drawing state a metafile's records change, as GDI keeps it for a device context: the
// mapping from logical units to the reference device (mapping mode, window and viewport,
// world transform), colours, modes, the selected objects and the current position.
//
// Points go from logical units through the world transform to page space, through the
// window/viewport mapping to the reference device the metafile was recorded for, and from
// there through the playback mapping onto the picture, which puts the header's frame onto
// the whole picture as PlayEnhMetaFile does for a rectangle of the picture's size.
#pragma once

#include <cstdint>
#include <memory>

namespace marlhost {

struct PointF {
    double X = 0;
    double Y = 0;
};

// x' = x M11 + y M21 + Dx, y' = x M12 + y M22 + Dy (GDI's XFORM).
struct Affine {
    double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;

    PointF Apply(PointF p) const {
        return {p.X * M11 + p.Y * M21 + Dx, p.X * M12 + p.Y * M22 + Dy};
    }
    // The linear part only (for vectors and sizes).
    PointF ApplyVector(PointF v) const { return {v.X * M11 + v.Y * M21, v.X * M12 + v.Y * M22}; }
    // First this, then next.
    Affine Then(const Affine& next) const;
    double Determinant() const { return M11 * M22 - M12 * M21; }
    // How much lengths grow on average (square root of the area scale).
    double LengthScale() const;
    bool Invertible() const;
};

// The reference device of the metafile and the picture it is played into.
struct PlaybackGeometry {
    int32_t DeviceWidth = 1;          // reference device, pixels
    int32_t DeviceHeight = 1;
    double DeviceMillimetresX = 1;    // reference device size, mm
    double DeviceMillimetresY = 1;
    double FrameLeft = 0, FrameTop = 0, FrameRight = 1, FrameBottom = 1; // 0.01 mm
    int32_t PictureWidth = 1;         // pixels
    int32_t PictureHeight = 1;

    // Reference device pixels to picture pixels.
    Affine DeviceToPicture() const;
};

// Picture size in pixels for a frame in 0.01 mm at dpi: round(mm / 25.4 x dpi), at least 1.
int64_t PictureExtent(int64_t frameHundredthsMm, double dpi);

enum MapMode : uint32_t {
    MM_TEXT_ = 1,
    MM_LOMETRIC_ = 2,
    MM_HIMETRIC_ = 3,
    MM_LOENGLISH_ = 4,
    MM_HIENGLISH_ = 5,
    MM_TWIPS_ = 6,
    MM_ISOTROPIC_ = 7,
    MM_ANISOTROPIC_ = 8,
};

struct SizeF {
    double Cx = 1;
    double Cy = 1;
};

// Logical units to reference device pixels.
class CoordinateMapping {
public:
    explicit CoordinateMapping(const PlaybackGeometry& geometry) : Geometry(&geometry) {}

    void SetMapMode(uint32_t mode);
    uint32_t Mode() const { return MapModeValue; }
    void SetWindowOrg(PointF p) { WindowOrg = p; }
    void SetViewportOrg(PointF p) { ViewportOrg = p; }
    void SetWindowExt(SizeF s);
    void SetViewportExt(SizeF s);
    void ScaleWindowExt(double xNum, double xDen, double yNum, double yDen);
    void ScaleViewportExt(double xNum, double xDen, double yNum, double yDen);
    void SetWorld(const Affine& world) { World = world; }
    // iMode 1: identity; 2: left multiply (xform then world); 3: right multiply; 4: set.
    void ModifyWorld(const Affine& xform, uint32_t mode);
    const Affine& WorldTransform() const { return World; }

    // World to reference device, without the world transform (page space to device).
    Affine PageToDevice() const;
    // Logical units to reference device pixels.
    Affine LogicalToDevice() const { return World.Then(PageToDevice()); }

private:
    bool ExtentsFree() const {
        return MapModeValue == MM_ISOTROPIC_ || MapModeValue == MM_ANISOTROPIC_;
    }

    const PlaybackGeometry* Geometry;
    uint32_t MapModeValue = MM_TEXT_;
    PointF WindowOrg, ViewportOrg;
    SizeF WindowExt, ViewportExt;
    Affine World;
};

} // namespace marlhost
