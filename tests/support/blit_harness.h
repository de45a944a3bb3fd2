// Runs block transfers against the whole-transfer reference: a band with a known random
// content, the transfer, and a byte-for-byte comparison of the whole band (so a write
// outside the rectangle, or into row padding, counts as a difference).
#pragma once

#include "render24/blit/transfer/bit_blt.h"
#include "support/blit_reference.h"
#include "support/blit_scene.h"
#include "support/recording_routine.h"

#include <cstdint>
#include <functional>
#include <string>

namespace marltest {

// The transfer under test: given a band and a scene, answers RPBitBlt's result.
using BlitUnderTest = std::function<uint32_t(TestBand&, BlitScene&)>;

// Through the exported table of the loaded library.
BlitUnderTest ThroughTable();
// Through the driver with the recording routine (the row reference instead of machine code).
BlitUnderTest ThroughRecorder();

marl::BlitCall CallOf(TestBand& band, BlitScene& scene);

// Fills the band from `seed`, runs both, and answers "" when they agree, else what differs.
std::string CompareWithReference(const BlitUnderTest& blit, TestBand& band, BlitScene& scene,
                                 uint32_t seed);

} // namespace marltest
