#include "host/regular_file.h"

#include "host/host_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace marlhost {

namespace {

HostError Refused(const std::string& path, const std::string& what) {
    return PageError(path + ": " + what);
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Closes the descriptor on every way out of the reader.
class Descriptor {
public:
    explicit Descriptor(int descriptor) : Value(descriptor) {}
    ~Descriptor() {
        if (Value >= 0) close(Value);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return Value; }

private:
    int Value;
};

std::string TooLarge(uint64_t largest, const char* what) {
    return std::string("larger than the ") + std::to_string(largest) + " bytes " + what +
           " may have";
}

} // namespace

std::vector<uint8_t> ReadRegularFile(const std::string& path, uint64_t largest, const char* what) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    Descriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) throw Refused(path, std::string("cannot open: ") + std::strerror(errno));
    struct stat status {};
    if (fstat(file.Get(), &status) != 0)
        throw Refused(path, std::string("cannot open: ") + std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        throw Refused(path, std::string(KindOf(status.st_mode)) + ", not a regular file; " + what +
                                " is read from a regular file only");
    if (static_cast<uint64_t>(status.st_size) > largest)
        throw Refused(path, TooLarge(largest, what));

    // The size is a hint only (files under /proc say 0): read until the end or past the bound.
    std::vector<uint8_t> bytes(static_cast<size_t>(status.st_size) + 1);
    size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done > largest) throw Refused(path, TooLarge(largest, what));
            bytes.resize(std::min<uint64_t>(largest + 1, uint64_t{done} * 2 + 4096));
        }
        ssize_t got = read(file.Get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw Refused(path, std::string("cannot read: ") + std::strerror(errno));
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    if (done > largest) throw Refused(path, TooLarge(largest, what));
    bytes.resize(done);
    return bytes;
}

} // namespace marlhost
