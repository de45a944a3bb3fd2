// The rows of a transfer as one vector routine call walks them: the routine starts at the
// first destination, source and prepared pattern row, and after each row steps every address
// by its stride, the pattern's back to its first prepared row after the last. The routine
// reads and advances the record in place, so one record serves one call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marl::vec {

struct RowWalk {
    uintptr_t Destination = 0;
    uintptr_t DestinationStride = 0;
    uintptr_t Source = 0; // unused when the routine reads no source
    uintptr_t SourceStride = 0;
    uintptr_t Pattern = 0; // unused without prepared pattern rows
    uintptr_t PatternStride = 0;
    uintptr_t PatternEnd = 0;  // one past the last prepared row
    uintptr_t PatternSpan = 0; // the bytes of all prepared rows: End - Span is the first
    uintptr_t Rows = 0;        // at least 1
};

// Where the routine finds each field.
namespace walk {
inline constexpr int32_t kDestination = offsetof(RowWalk, Destination);
inline constexpr int32_t kDestinationStride = offsetof(RowWalk, DestinationStride);
inline constexpr int32_t kSource = offsetof(RowWalk, Source);
inline constexpr int32_t kSourceStride = offsetof(RowWalk, SourceStride);
inline constexpr int32_t kPattern = offsetof(RowWalk, Pattern);
inline constexpr int32_t kPatternStride = offsetof(RowWalk, PatternStride);
inline constexpr int32_t kPatternEnd = offsetof(RowWalk, PatternEnd);
inline constexpr int32_t kPatternSpan = offsetof(RowWalk, PatternSpan);
inline constexpr int32_t kRows = offsetof(RowWalk, Rows);
} // namespace walk

} // namespace marl::vec
