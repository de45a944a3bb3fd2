// Rendering metafiles as pages: every file is read and checked first, so that a damaged one
// stops the job before any picture is written; then each is played, drawn band by band
// through the library and written as PNG.
#pragma once

#include "host/render_report.h"

#include <string>
#include <vector>

namespace marlhost {

struct EmfJob {
    std::vector<std::string> Files;
    // One file: the picture's path. Several: pictures NAME-1.png, NAME-2.png ... from
    // NAME.png; empty: each file's name with .png in the current directory.
    std::string Output;
    std::string Library;
    double Dpi = 300;
    int32_t BandHeight = 0;
    bool Verbose = false;
    bool Quiet = false;
};

// The picture path for file index of count.
std::string EmfOutputPath(const EmfJob& job, size_t index);

// Renders every file; answers the program's exit code (throws host errors for bad input).
int RenderEmfJob(const EmfJob& job);

} // namespace marlhost
