// An enhanced metafile read whole and checked before anything is drawn: the file is a regular
// file of bounded size, its header is sound, and every record lies inside the file and passes
// libuemf's checks of its own counts and offsets. Playing the records afterwards may then read
// any field the record's type declares.
#pragma once

#include <uemf.h>

#include <cstdint>
#include <string>
#include <vector>

namespace marlhost {

// Files larger than this are refused before they are read.
inline constexpr size_t kLargestEmfFile = 256u << 20;

struct EmfRecord {
    uint32_t Type = 0;
    uint32_t Size = 0;   // bytes, header included
    uint32_t Offset = 0; // from the start of the file
    const char* Data = nullptr;
};

class EmfFile {
public:
    // Reads and checks path; throws a page error naming the file and the first bad record.
    static EmfFile Read(const std::string& path);
    // Checks a metafile held in memory; name is used in messages.
    static EmfFile FromBytes(std::vector<char> bytes, const std::string& name);

    const U_EMRHEADER& Header() const { return HeaderRecord; }
    const std::vector<EmfRecord>& Records() const { return List; }
    const std::string& Name() const { return FileName; }

private:
    void Check();
    void CheckComment(const EmfRecord& record, size_t index) const;

    std::string FileName;
    std::vector<char> Bytes;
    U_EMRHEADER HeaderRecord{};
    std::vector<EmfRecord> List;
};

// The record type's name as the format names it ("EMR_POLYLINE16"), or "record type N".
std::string EmfRecordName(uint32_t type);

// True for a name ending in .emf (any case), or a regular file whose first bytes are an
// enhanced metafile's header.
bool LooksLikeEmf(const std::string& path);

} // namespace marlhost
