#include "host/emf_reader.h"

#include "host/host_error.h"

#include <uemf_safe.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

namespace marlhost {

namespace {

// Widths and heights beyond these are not a picture but a damaged header.
constexpr int64_t kLargestFrame = 100'000'000; // 0.01 mm units: one kilometre
constexpr int32_t kLargestDevice = 1'000'000;

std::string Where(const std::string& name, size_t index, const EmfRecord& record) {
    return name + ": record " + std::to_string(index) + " (" + EmfRecordName(record.Type) +
           ", offset " + std::to_string(record.Offset) + ")";
}

std::vector<char> ReadRegularFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw PageError(path + ": cannot open: " + std::strerror(errno));
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw PageError(path + ": not a regular file");
    }
    if (static_cast<uint64_t>(info.st_size) > kLargestEmfFile) {
        ::close(fd);
        throw PageError(path + ": " + std::to_string(info.st_size) +
                        " bytes is more than a metafile may hold here (" +
                        std::to_string(kLargestEmfFile) + ")");
    }
    std::vector<char> bytes(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ::close(fd);
            throw PageError(path + ": read failed after " + std::to_string(done) + " bytes");
        }
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    return bytes;
}

} // namespace

std::string EmfRecordName(uint32_t type) {
    if (type >= U_EMR_MIN && type <= U_EMR_MAX) {
        const char* name = U_emr_names(type);
        if (name != nullptr) return name;
    }
    return "record type " + std::to_string(type);
}

bool LooksLikeEmf(const std::string& path) {
    if (path.size() > 4) {
        std::string extension = path.substr(path.size() - 4);
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (extension == ".emf") return true;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info{};
    bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    unsigned char head[44] = {};
    bool emf = regular && ::read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head) &&
               head[0] == 1 && head[1] == 0 && head[2] == 0 && head[3] == 0 &&
               std::memcmp(head + 40, " EMF", 4) == 0;
    ::close(fd);
    return emf;
}

EmfFile EmfFile::Read(const std::string& path) { return FromBytes(ReadRegularFile(path), path); }

EmfFile EmfFile::FromBytes(std::vector<char> bytes, const std::string& name) {
    EmfFile file;
    file.FileName = name;
    file.Bytes = std::move(bytes);
    file.Check();
    return file;
}

void EmfFile::CheckComment(const EmfRecord& record, size_t index) const {
    // EMF+ records inside a comment must tile its data exactly: each has a 12-byte header,
    // a size that is a multiple of 4, and data that fits in it.
    constexpr size_t kData = 16; // the record header, cbData and the "EMF+" identifier
    if (record.Size < kData || std::memcmp(record.Data + 12, "EMF+", 4) != 0) return;
    uint32_t cbData = 0;
    std::memcpy(&cbData, record.Data + 8, 4);
    size_t end = std::min<size_t>(record.Size, size_t{12} + cbData);
    size_t at = kData;
    while (at < end) {
        uint32_t size = 0, dataSize = 0;
        if (end - at >= 12) {
            std::memcpy(&size, record.Data + at + 4, 4);
            std::memcpy(&dataSize, record.Data + at + 8, 4);
        }
        if (end - at < 12 || size < 12 || size % 4 != 0 || size > end - at ||
            dataSize > size - 12)
            throw PageError(Where(FileName, index, record) + ": the EMF+ record at byte " +
                            std::to_string(at) + " of the comment does not fit in it");
        at += size;
    }
}

void EmfFile::Check() {
    const size_t size = Bytes.size();
    if (size < U_SIZE_EMRHEADER_MIN)
        throw PageError(FileName + ": " + std::to_string(size) +
                        " bytes are too few for an enhanced metafile header");
    U_EMR first{};
    std::memcpy(&first, Bytes.data(), sizeof first);
    if (first.iType != U_EMR_HEADER || first.nSize < U_SIZE_EMRHEADER_MIN || first.nSize > size)
        throw PageError(FileName + ": record 0 is not a sound EMR_HEADER");
    std::memcpy(&HeaderRecord, Bytes.data(), std::min<size_t>(first.nSize, sizeof HeaderRecord));
    const U_EMRHEADER& h = HeaderRecord;
    if (h.dSignature != U_ENHMETA_SIGNATURE)
        throw PageError(FileName + ": EMR_HEADER: no enhanced metafile signature");
    int64_t frameWidth = int64_t{h.rclFrame.right} - h.rclFrame.left;
    int64_t frameHeight = int64_t{h.rclFrame.bottom} - h.rclFrame.top;
    if (frameWidth <= 0 || frameHeight <= 0 || frameWidth > kLargestFrame ||
        frameHeight > kLargestFrame)
        throw PageError(FileName + ": EMR_HEADER: picture frame " + std::to_string(frameWidth) +
                        " x " + std::to_string(frameHeight) + " (0.01 mm) is not a picture");
    if (h.szlDevice.cx <= 0 || h.szlDevice.cy <= 0 || h.szlMillimeters.cx <= 0 ||
        h.szlMillimeters.cy <= 0 || h.szlDevice.cx > kLargestDevice ||
        h.szlDevice.cy > kLargestDevice || h.szlMillimeters.cx > kLargestDevice ||
        h.szlMillimeters.cy > kLargestDevice)
        throw PageError(FileName + ": EMR_HEADER: reference device " +
                        std::to_string(h.szlDevice.cx) + " x " + std::to_string(h.szlDevice.cy) +
                        " pixels, " + std::to_string(h.szlMillimeters.cx) + " x " +
                        std::to_string(h.szlMillimeters.cy) + " mm is not a device");

    if (h.nDescription != 0 &&
        (h.offDescription > first.nSize ||
         uint64_t{h.nDescription} * 2 > first.nSize - h.offDescription))
        throw PageError(FileName + ": EMR_HEADER: its description (" +
                        std::to_string(h.nDescription) + " characters at offset " +
                        std::to_string(h.offDescription) + ") lies outside the header");

    const char* begin = Bytes.data();
    size_t offset = 0;
    bool ended = false;
    while (offset < size && !ended) {
        EmfRecord record;
        record.Offset = static_cast<uint32_t>(offset);
        record.Data = begin + offset;
        if (size - offset < sizeof(U_EMR)) {
            record.Type = 0;
            throw PageError(Where(FileName, List.size(), record) + ": the file ends inside it");
        }
        U_EMR emr{};
        std::memcpy(&emr, record.Data, sizeof emr);
        record.Type = emr.iType;
        record.Size = emr.nSize;
        if (emr.nSize < sizeof(U_EMR) || emr.nSize % 4 != 0)
            throw PageError(Where(FileName, List.size(), record) + ": size " +
                            std::to_string(emr.nSize) + " is not a record size");
        if (emr.nSize > size - offset)
            throw PageError(Where(FileName, List.size(), record) + ": its size " +
                            std::to_string(emr.nSize) + " reaches past the end of the file (" +
                            std::to_string(size - offset) + " bytes left)");
        if (List.empty() && emr.iType != U_EMR_HEADER)
            throw PageError(Where(FileName, 0, record) + ": the first record must be EMR_HEADER");
        if (emr.iType < U_EMR_MIN || emr.iType > U_EMR_MAX)
            throw PageError(Where(FileName, List.size(), record) +
                            ": the type is not one of the format's records");
        if (!U_emf_record_safe(record.Data))
            throw PageError(Where(FileName, List.size(), record) +
                            ": its counts or offsets reach outside the record");
        if (emr.iType == U_EMR_COMMENT) CheckComment(record, List.size());
        List.push_back(record);
        offset += emr.nSize;
        ended = emr.iType == U_EMR_EOF;
    }
    if (!ended)
        throw PageError(FileName + ": the file ends after " + std::to_string(List.size()) +
                        " records without EMR_EOF");
    // Writers sometimes count one record more or less; far fewer records than the header
    // announces is a file cut short and mended.
    if (List.size() + 1 < h.nRecords)
        throw PageError(FileName + ": EMR_EOF after " + std::to_string(List.size()) +
                        " records, but the header announces " + std::to_string(h.nRecords));
}

} // namespace marlhost
