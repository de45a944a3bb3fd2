#include "host/emf_job.h"

#include "host/band_renderer.h"
#include "host/emf_player.h"
#include "host/emf_reader.h"
#include "host/host_error.h"
#include "host/library_loader.h"
#include "host/png_writer.h"
#include "host/progress.h"

#include <cstdio>

namespace marlhost {

namespace {

void Note(const std::string& line) { std::fprintf(stderr, "marlrend-host: %s\n", line.c_str()); }

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name = name.substr(0, dot);
    return name;
}

void ReportNotes(const std::string& file, const EmfPlayNotes& notes, bool verbose) {
    uint32_t skipped = 0, approximated = 0;
    for (const auto& [name, count] : notes.Skipped)
        skipped += count;
    for (const auto& [name, count] : notes.Approximated)
        approximated += count;
    if (skipped + approximated == 0) return;
    if (!verbose) {
        Note(file + ": " + std::to_string(skipped) + " record(s) skipped, " +
             std::to_string(approximated) + " drawn approximately (--verbose names them)");
        return;
    }
    for (const auto& [name, count] : notes.Skipped)
        Note(file + ": skipped " + name + " x" + std::to_string(count));
    for (const auto& [name, count] : notes.Approximated)
        Note(file + ": approximated " + name + " x" + std::to_string(count));
}

} // namespace

std::string EmfOutputPath(const EmfJob& job, size_t index) {
    if (job.Output.empty()) return BaseName(job.Files[index]) + ".png";
    if (job.Files.size() == 1) return job.Output;
    std::string stem = job.Output;
    std::string extension = ".png";
    size_t dot = stem.rfind('.');
    size_t slash = stem.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        extension = stem.substr(dot);
        stem = stem.substr(0, dot);
    }
    return stem + "-" + std::to_string(index + 1) + extension;
}

int RenderEmfJob(const EmfJob& job) {
    std::vector<EmfFile> files;
    for (const std::string& path : job.Files)
        files.push_back(EmfFile::Read(path));
    LoadedLibrary library(job.Library);
    int exit = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        EmfPlayOptions options;
        options.Dpi = job.Dpi;
        options.BandHeight = job.BandHeight > 0 ? job.BandHeight : 64;
        EmfPlayNotes notes;
        Page page = PlayEmf(files[i], options, notes);
        if (notes.Dpi < job.Dpi * 0.999)
            Note(job.Files[i] + ": the picture would be too large at " +
                 std::to_string(int(job.Dpi)) + " dpi; drawn at " +
                 std::to_string(int(notes.Dpi)) + " dpi (" + std::to_string(page.Width) + " x " +
                 std::to_string(page.Height) + ")");
        ReportNotes(job.Files[i], notes, job.Verbose);
        int32_t bands = (page.Height + page.BandHeight - 1) / page.BandHeight;
        Progress progress(stderr, job.Quiet, bands, page.Width);
        RenderOptions render;
        render.BandHeight = page.BandHeight;
        render.Progress = [&](int32_t done, int32_t all, int32_t rows) {
            progress.BandDone(done, all, rows);
        };
        RenderReport report;
        PageImage image = RenderPage(library.Table(), page, render, report);
        std::string output = EmfOutputPath(job, i);
        WritePng(image, output);
        if (!report.Clean()) {
            for (const std::string& line : report.Lines())
                Note(line);
            Note(output + " was written, but the library did not draw the page as asked");
            exit = static_cast<int>(ExitCode::Library);
        }
    }
    return exit;
}

} // namespace marlhost
