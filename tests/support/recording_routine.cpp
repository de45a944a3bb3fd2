#include "support/recording_routine.h"

namespace marltest {

RopRequest ToRopRequest(const marl::RoutineRequest& request) {
    RopRequest rop;
    rop.Rop = static_cast<uint8_t>(request.Rop);
    rop.BrushPattern = (request.BrushPattern & 0xFFFF) != 0;
    rop.PatternColor = request.PatternColor;
    rop.SourcePlaneStride = request.SourcePlaneStride & 0xFFFF;
    rop.DestPlaneStride = request.DestPlaneStride & 0xFFFF;
    rop.PatternWidth = request.PatternWidth & 0xFFFF;
    rop.PatternPhase = request.PatternPhase & 0xFFFF;
    rop.RowWidth = request.RowWidth & 0xFFFF;
    rop.SourceBits = request.SourceBits & 0xFFFF;
    rop.ClearBitColor = request.ClearBitColor;
    rop.SetBitColor = request.SetBitColor;
    rop.BitPhase = request.BitPhase & 7;
    return rop;
}

bool RecordingRoutine::Prepare(const marl::RoutineRequest& request) {
    if (FailPrepare) return false;
    Requests.push_back(request);
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
