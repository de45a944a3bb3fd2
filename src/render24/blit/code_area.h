// The two code areas of the block-transfer engine and their page protection.
//
// Both are page-aligned module data of their own, so a protection change touches nothing
// else. They are made executable inside a transfer (under the transfer lock) and set back
// to their own previous protection before the lock is released: between transfers no code
// area is executable.
#pragma once

#include <cstdint>

namespace marl {

struct CodeArea {
    uint8_t* Base;
    uint32_t Size;            // the bytes the engine protects
    uint32_t SavedProtection; // protection before the area was last made executable
    bool Executable;          // made executable by the current transfer
};

inline constexpr uint32_t kCodeBufferSize = 1024;

// The generator's buffer (kCodeBufferSize bytes).
CodeArea& CodeBufferArea();
// The prebuilt routines (templates.S).
CodeArea& TemplateArea();
// The vector routines (vector/vector_code_area.cpp): one page of its own.
inline constexpr uint32_t kVectorCodeSize = 4096;
CodeArea& VectorCodeArea();

// VirtualProtect(area, size, PAGE_EXECUTE_READWRITE, &area.SavedProtection).
void MakeExecutable(CodeArea& area);
// Every area made executable since the last call goes back to its saved protection.
// Answers non-zero when every such area was set back; one that failed stays marked and is
// set back by a later call.
uint32_t RestoreCodeAreas();

} // namespace marl
