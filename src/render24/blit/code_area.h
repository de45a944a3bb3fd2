// The code areas of the block-transfer engine.
//
// A code area is one piece of memory seen through two views: a writable one, through which
// routines are written and patched, and an executable one, from which they run and are read.
// No page is ever writable and executable at once, and a transfer changes no protection.
// Where the system offers no memory object that can be mapped twice, an area has a single
// view that is read+execute, and read+write only while its contents change (which the
// routine cache makes rare); that change happens under the transfer lock.
//
// Every routine is written for the address it runs at: Entry, relative branches and absolute
// operands all point into the executable view.
#pragma once

#include <cstdint>

namespace marl {

enum class CodeViews : uint8_t {
    None,    // could not be mapped: nothing may be written into it or run from it
    Twin,    // two views of one memory object, read+write and read+execute
    Flipped, // one view, read+execute, read+write only between BeginWriting and EndWriting
};

struct CodeArea {
    uint8_t* Base = nullptr;     // the executable view
    uint8_t* Writable = nullptr; // the view written through (Base itself when Flipped)
    uint32_t Size = 0;           // the bytes the area holds from Base
    uint32_t Mapped = 0;         // Size rounded up to whole pages
    CodeViews Views = CodeViews::None;
    bool Open = false; // Flipped: read+write at the moment

    bool Usable() const { return Views != CodeViews::None; }
    // The writable address of a byte of the executable view.
    uint8_t* WriteAddress(const uint8_t* address) const { return Writable + (address - Base); }
    // The executable address of a byte of the writable view.
    uint8_t* RunAddress(const uint8_t* writable) const { return Base + (writable - Writable); }
};

// Maps an area of size bytes: twin views when twinAllowed and the system can make them, else
// one flipped view. The area's Views is None when neither could be mapped.
CodeArea MapCodeArea(uint32_t size, bool twinAllowed = true);
void UnmapCodeArea(CodeArea& area);

// Brackets every write into an area: a flipped area is read+write in between and read+execute
// again after. Nothing to do for twin views. False when the protection could not be changed:
// the area must then not be written (BeginWriting) or run (EndWriting).
bool BeginWriting(CodeArea& area);
bool EndWriting(CodeArea& area);

inline constexpr uint32_t kCodeBufferSize = 1024;

// The generator's buffer (kCodeBufferSize bytes), where CompileRop writes.
CodeArea& CodeBufferArea();
// The prebuilt routines: a copy of the block templates.S assembles, patched in place.
CodeArea& TemplateArea();
// The buffer CompileVectorRop writes (vector/vector_code_area.cpp).
inline constexpr uint32_t kVectorCodeSize = 4096;
CodeArea& VectorCodeArea();

} // namespace marl
