// Comparing pictures sample for sample, with a readable account of the first differences.
#pragma once

#include "host/band_renderer.h"
#include "host/page_model.h"

#include "marlrend/marlrend.h"

#include <gtest/gtest.h>

#include <string>

namespace marlhosttest {

// Renders the page through table in bands of bandHeight (0: the page's own); the render
// report must come back clean.
marlhost::PageImage RenderThrough(const CapabilityTable& table, const marlhost::Page& page,
                                  int32_t bandHeight);

// Success when both pictures have the same size and samples; otherwise how many samples
// differ and where the first ones are.
::testing::AssertionResult SamePicture(const marlhost::PageImage& expected,
                                       const marlhost::PageImage& actual);

} // namespace marlhosttest
