// /proc/self/maps lists every mapping with its permissions ("rwxp"). It is read with plain
// system calls into one buffer: the fuzz targets call this after every entry point, and
// streams would cost more than the call under test.
#if !defined(_WIN32)
#include "support/writable_code.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace marltest {
namespace {

std::string ReadMaps() {
    std::string text;
    int handle = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (handle < 0) return text;
    char chunk[8192];
    for (;;) {
        ssize_t got = read(handle, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(chunk, static_cast<size_t>(got));
    }
    close(handle);
    return text;
}

// "from-to perms offset device inode path": the permissions are the second field.
bool WritableAndExecutable(const std::string& line) {
    size_t space = line.find(' ');
    if (space == std::string::npos || line.size() < space + 4) return false;
    return line[space + 2] == 'w' && line[space + 3] == 'x';
}

} // namespace

std::vector<std::string> WritableExecutablePages() {
    std::vector<std::string> found;
    const std::string maps = ReadMaps();
    size_t start = 0;
    while (start < maps.size()) {
        size_t end = maps.find('\n', start);
        if (end == std::string::npos) end = maps.size();
        std::string line = maps.substr(start, end - start);
        if (WritableAndExecutable(line)) found.push_back(line);
        start = end + 1;
    }
    return found;
}

} // namespace marltest
#endif
