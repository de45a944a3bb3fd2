// A row routine for tests of the transfer driver: it records the request it was prepared
// with and every row call, and draws each row with the row reference, so the driver's
// preparation can be checked with or without the machine code.
#pragma once

#include "render24/blit/row_routine.h"
#include "support/reference_rop.h"

#include <functional>
#include <string>
#include <vector>

namespace marltest {

RopRequest ToRopRequest(const marl::BlitRequest& request);

class RecordingRoutine final : public marl::RowRoutine {
public:
    struct RowCall {
        const void* Source;
        void* Destination;
        const void* Pattern;
        // The source samples as the routine sees them: three plane runs of RowWidth for
        // plane rows, the bytes holding RowWidth bits for 1-bit rows.
        std::vector<uint8_t> SourceSamples;
    };

    bool Prepare(const marl::BlitRequest& request, const marl::TransferRows& rows) override;
    void Run(const void* sourceRow, void* destinationRow, const void* patternRow) override;
    void Discard() override;

    bool FailPrepare = false;
    // Called with "prepare", "run" or "discard" as each happens.
    std::function<void(const std::string&)> OnEvent;

    std::vector<marl::BlitRequest> Requests;
    std::vector<marl::TransferRows> Described; // the rows each request came with
    std::vector<RowCall> Rows;
    std::vector<std::string> Events;

private:
    void Note(const std::string& event);
    bool Prepared = false;
};

} // namespace marltest
