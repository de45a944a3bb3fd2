#include "support/recording_routine.h"

namespace marltest {

RopRequest ToRopRequest(const marl::BlitRequest& request) {
    RopRequest rop;
    rop.Rop = request.Rop;
    rop.BrushPattern = request.PatternRows;
    rop.PatternColor = request.PatternColor;
    rop.SourcePlaneStride = request.SourcePlaneStride;
    rop.DestPlaneStride = request.DestPlaneStride;
    rop.PatternWidth = request.PatternWidth;
    rop.PatternPhase = request.PatternPhase;
    rop.RowWidth = request.RowWidth;
    rop.SourceBits = request.SourceBits;
    rop.ClearBitColor = request.ClearBitColor;
    rop.SetBitColor = request.SetBitColor;
    rop.BitPhase = request.BitPhase;
    return rop;
}

bool RecordingRoutine::Prepare(const marl::BlitRequest& request, const marl::TransferRows& rows) {
    if (FailPrepare) return false;
    Requests.push_back(request);
    Described.push_back(rows);
    Prepared = true;
    Note("prepare");
    return true;
}

void RecordingRoutine::Run(const void* sourceRow, void* destinationRow, const void* patternRow) {
    const RopRequest request = ToRopRequest(Requests.back());
    RowCall call{sourceRow, destinationRow, patternRow, {}};
    if (sourceRow != nullptr) {
        const auto* bytes = static_cast<const uint8_t*>(sourceRow);
        if (request.SourceBits == 24) {
            for (uint32_t k = 0; k < 3; ++k)
                call.SourceSamples.insert(call.SourceSamples.end(),
                                          bytes + k * request.SourcePlaneStride,
                                          bytes + k * request.SourcePlaneStride + request.RowWidth);
        } else if (request.SourceBits == 1) {
            call.SourceSamples.assign(bytes, bytes + (request.RowWidth + 7) / 8);
        }
    }
    Rows.push_back(std::move(call));
    ReferenceRow(request, static_cast<const uint8_t*>(sourceRow),
                 static_cast<uint8_t*>(destinationRow), static_cast<const uint8_t*>(patternRow));
    Note("run");
}

void RecordingRoutine::Discard() {
    if (!Prepared) return;
    Prepared = false;
    Note("discard");
}

void RecordingRoutine::Note(const std::string& event) {
    Events.push_back(event);
    if (OnEvent) OnEvent(event);
}

} // namespace marltest
