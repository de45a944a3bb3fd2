// The brushes of a page, realized once through RPRealizeBrush before the first band and
// released after the last.
//
// A pattern brush from a 1-bit picture reaches the library as a global-memory handle to a
// header and its rows (the logical brush's colour is then free to carry the colour of set
// bits); a pattern from any other picture becomes three 8-bit planes whose header address the
// logical brush carries in its colour field. The library keeps its own copy of either, so
// the host's copies are given back when the brushes are released.
#pragma once

#include "host/page_model.h"
#include "host/render_report.h"

#include "marlrend/marlrend.h"

#include <memory>
#include <vector>

namespace marlhost {

class BrushSet {
public:
    BrushSet(const CapabilityTable& table, RenderDevice& device,
             const std::vector<BrushSpec>& specs, RenderReport& report);
    ~BrushSet();
    BrushSet(const BrushSet&) = delete;
    BrushSet& operator=(const BrushSet&) = delete;

    // The realized brush, or null for kNoBrush and for a brush the library refused.
    RealizedBrush* Realized(int index);
    // True when index names a brush the library refused to realize.
    bool Refused(int index) const;
    // Moves every pattern's origin into the coordinates of the band whose first page row is
    // top: the library counts pattern rows from the band's row 0.
    void PlaceForBand(int32_t top);
    // Gives every realized brush back through RPRealizeBrush; further calls do nothing.
    void Release();

private:
    struct Entry;
    void Realize(const BrushSpec& spec, Entry& entry);

    const CapabilityTable& Table;
    RenderDevice& Device;
    RenderReport& Report;
    std::vector<std::unique_ptr<Entry>> Entries;
    bool Released = false;
};

} // namespace marlhost
