#include "host/output_file.h"

#include "host/host_error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace marlhost {

namespace {

HostError OutputError(const std::string& path, const std::string& what) {
    return HostError(ExitCode::Output, path + ": " + what);
}

HostError SystemError(const std::string& path, const char* what) {
    return OutputError(path, std::string(what) + ": " + std::strerror(errno));
}

// The mode a newly created file would get: the temporary file starts private.
mode_t NewFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Renaming onto a device or FIFO would replace the node itself (as root, /dev/null).
void RefuseSpecialTarget(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return; // nothing there yet, or the rename will say
    if (S_ISDIR(status.st_mode)) throw OutputError(path, "is a directory");
    if (!S_ISREG(status.st_mode))
        throw OutputError(path, "is not a regular file; only a regular file is replaced");
}

void WriteAll(int descriptor, const std::vector<uint8_t>& bytes, const std::string& path) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) throw SystemError(path, "cannot write");
        if (written == 0) throw OutputError(path, "cannot write: the system took no bytes");
        done += static_cast<size_t>(written);
    }
    if (fsync(descriptor) != 0) throw SystemError(path, "cannot write");
}

} // namespace

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    // Past a file size limit (ulimit -f) the system would end the program with SIGXFSZ and
    // leave the temporary file behind; ignored, the write fails with EFBIG instead and is
    // cleaned up like any other failure.
    std::signal(SIGXFSZ, SIG_IGN);
    RefuseSpecialTarget(path);

    std::string temporary = path + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    int descriptor = mkstemp(name.data());
    if (descriptor < 0) throw SystemError(path, "cannot create a file beside it");
    try {
        WriteAll(descriptor, bytes, path);
        int mode = fchmod(descriptor, NewFileMode());
        int closed = close(descriptor);
        descriptor = -1;
        if (mode != 0 || closed != 0) throw SystemError(path, "cannot write");
        if (std::rename(name.data(), path.c_str()) != 0)
            throw SystemError(path, "cannot rename the finished file into place");
    } catch (...) {
        if (descriptor >= 0) close(descriptor);
        unlink(name.data());
        throw;
    }
}

} // namespace marlhost
