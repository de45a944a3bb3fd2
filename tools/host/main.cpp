// marlrend-host: renders a page description through the library, band by band, into a PNG.
#include "host/band_renderer.h"
#include "host/emf_job.h"
#include "host/emf_reader.h"
#include "host/host_error.h"
#include "host/library_loader.h"
#include "host/page_reader.h"
#include "host/png_writer.h"
#include "host/progress.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

using marlhost::ExitCode;
using marlhost::HostError;

struct Options {
    std::string Page;
    std::vector<std::string> MorePages; // metafiles only
    double Dpi = 300;
    bool Verbose = false;
    bool OutputGiven = false;
    std::string Output;
    std::string Library = MARLHOST_LIBRARY;
    int32_t BandHeight = 0;
    bool Strict = false;
    bool Quiet = false;
};

constexpr const char* kUsage =
    "usage: marlrend-host [options] PAGE.json\n"
    "       marlrend-host [options] FILE.emf ...\n"
    "  -o, --output FILE    the picture to write (default: PAGE with .png); with several\n"
    "                       metafiles FILE-1.png, FILE-2.png ...\n"
    "  --dpi N              metafiles: resolution of the picture (default 300)\n"
    "  --verbose            metafiles: name every record skipped or drawn approximately\n"
    "  --library PATH       the libmarlrend.so to load (default: the one built with this host)\n"
    "  --band-height ROWS   draw in bands of ROWS rows instead of the page's own\n"
    "  --strict             fail when an operation reaches outside the page\n"
    "  --quiet              no progress line\n"
    "  -h, --help           this text\n";

HostError Usage(const std::string& what) {
    return HostError(ExitCode::Usage, what + "\n" + kUsage);
}

int32_t ParseBandHeight(const std::string& text) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 1 || value > 32767)
        throw Usage("--band-height takes a number of rows from 1 to 32767, not \"" + text + "\"");
    return static_cast<int32_t>(value);
}

std::string DefaultOutput(const std::string& page) {
    size_t slash = page.rfind('/');
    std::string name = slash == std::string::npos ? page : page.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name = name.substr(0, dot);
    return name + ".png";
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw Usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "-o" || arg == "--output") {
            options.Output = value();
            options.OutputGiven = true;
        } else if (arg == "--library") {
            options.Library = value();
        } else if (arg == "--band-height") {
            options.BandHeight = ParseBandHeight(value());
        } else if (arg == "--dpi") {
            std::string text = value();
            char* end = nullptr;
            double dpi = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(dpi >= 1 && dpi <= 2400))
                throw Usage("--dpi takes a resolution from 1 to 2400, not \"" + text + "\"");
            options.Dpi = dpi;
        } else if (arg == "--verbose") {
            options.Verbose = true;
        } else if (arg == "--strict") {
            options.Strict = true;
        } else if (arg == "--quiet") {
            options.Quiet = true;
        } else if (!arg.empty() && arg[0] == '-') {
            throw Usage("unknown option " + arg);
        } else if (options.Page.empty()) {
            options.Page = arg;
        } else if (marlhost::LooksLikeEmf(options.Page)) {
            options.MorePages.push_back(arg);
        } else {
            throw Usage("more than one page given (" + options.Page + ", " + arg + ")");
        }
    }
    if (options.Page.empty()) throw Usage("no page given");
    if (options.Output.empty()) options.Output = DefaultOutput(options.Page);
    return options;
}

void Note(const std::string& line) { std::fprintf(stderr, "marlrend-host: %s\n", line.c_str()); }

int RunMetafiles(const Options& options) {
    marlhost::EmfJob job;
    job.Files.push_back(options.Page);
    job.Files.insert(job.Files.end(), options.MorePages.begin(), options.MorePages.end());
    job.Output = options.OutputGiven ? options.Output : std::string();
    job.Library = options.Library;
    job.Dpi = options.Dpi;
    job.BandHeight = options.BandHeight;
    job.Verbose = options.Verbose;
    job.Quiet = options.Quiet;
    return marlhost::RenderEmfJob(job);
}

int Run(const Options& options) {
    if (marlhost::LooksLikeEmf(options.Page)) return RunMetafiles(options);
    marlhost::Page page = marlhost::ReadPage(options.Page, {MARLHOST_FONT_DIRECTORY});
    if (options.Strict && !page.Clipped.empty()) {
        for (const std::string& clipped : page.Clipped)
            Note(options.Page + ": " + clipped);
        throw marlhost::PageError(options.Page + ": " + std::to_string(page.Clipped.size()) +
                                  " operation(s) reach outside the page (--strict)");
    }
    marlhost::LoadedLibrary library(options.Library);

    int32_t bandHeight = options.BandHeight > 0 ? options.BandHeight : page.BandHeight;
    int32_t bands = (page.Height + bandHeight - 1) / bandHeight;
    marlhost::Progress progress(stderr, options.Quiet, bands, page.Width);
    marlhost::RenderOptions render;
    render.BandHeight = bandHeight;
    render.Progress = [&](int32_t done, int32_t all, int32_t rows) {
        progress.BandDone(done, all, rows);
    };
    marlhost::RenderReport report;
    marlhost::PageImage image = marlhost::RenderPage(library.Table(), page, render, report);
    marlhost::WritePng(image, options.Output);
    if (!report.Clean()) {
        for (const std::string& line : report.Lines())
            Note(line);
        Note(options.Output + " was written, but the library did not draw the page as asked");
        return static_cast<int>(ExitCode::Library);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(ParseOptions(argc, argv));
    } catch (const HostError& error) {
        Note(error.what());
        return static_cast<int>(error.Exit());
    } catch (const std::bad_alloc&) {
        Note("out of memory");
        return static_cast<int>(ExitCode::Internal);
    } catch (const std::exception& error) {
        Note(std::string("unexpected failure: ") + error.what());
        return static_cast<int>(ExitCode::Internal);
    }
}
