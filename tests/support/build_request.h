// Build called with the values of a reference request, as the transfer driver passes them.
#pragma once

#include "render24/blit/blit_request.h"
#include "render24/blit/blit_routine.h"
#include "support/reference_rop.h"

#include <cstdint>

namespace marltest {

// The library's normalised record of the request's values; BrushPattern as 1 or 0.
marl::BlitRequest Normalised(const RopRequest& request);

// Build with the request's values in the order of the call; BrushPattern as 1 or 0.
void BuildFor(marl::BlitRoutine& routine, const RopRequest& request, uint16_t* result = nullptr);

} // namespace marltest
