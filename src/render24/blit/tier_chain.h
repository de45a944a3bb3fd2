// The chain of tiers a transfer asks in order: the vector tier, the prebuilt routines, the
// generator. The byte-serial tiers (prebuilt, generated) make the routine every row can take;
// the first of them that serves a request prepares it.
#pragma once

#include "render24/blit/blit_request.h"
#include "render24/blit/blit_routine.h"

namespace marl {

// Whether a generated routine is kept in the routine cache (a transfer's) or written into the
// code buffer (Build's).
enum class SerialKeeping : uint8_t { Keep, Write };

// The byte-serial routine of a request (already PatternOrSolid). False when the tier that
// serves it could not write or run its code area. Call under the transfer lock.
bool PrepareByteSerial(BlitRoutine& routine, const BlitRequest& request, SerialKeeping keeping);

} // namespace marl
