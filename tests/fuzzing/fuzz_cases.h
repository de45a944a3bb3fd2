// One fuzz case per area of the library, shared by the fuzz targets in fuzz/ and by the
// regression tests, which replay the inputs of earlier findings through the same code.
//
// A case decodes its input into driver records placed in guarded memory, calls entry points,
// and checks after each call what must always hold: no page writable and executable, nothing
// written outside the band's drawable samples, and, where a small reference exists, the same
// result as the reference. At its end every block the library took must be back. Crashes and
// sanitizer reports are left to the fuzzer (or the test) to catch. Each answers the broken
// invariants, one per line, or nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace marlfuzz {

// RPPixel, RPDrawLine and RPFillScanRows on one band.
std::string RunPrimitivesCase(const uint8_t* data, size_t size);
// RPRealizeBrush: logical brushes, pattern headers direct and behind handles, unreadable
// records, failing allocations; then the brush drawn and released.
std::string RunBrushCase(const uint8_t* data, size_t size);
// A row routine from the generator (and the prebuilt routines) run over guarded rows against
// the reference evaluator.
std::string RunRopRoutineCase(const uint8_t* data, size_t size);
// RPBitBlt: rectangles, sources of every depth, palettes, colours, brushes, failing
// allocations; compared with the reference transfer where the request is within contract.
std::string RunBitBltCase(const uint8_t* data, size_t size);
// The host program's page, BMP and PSF readers (only where the host is built).
std::string RunHostReadersCase(const uint8_t* data, size_t size);

} // namespace marlfuzz
