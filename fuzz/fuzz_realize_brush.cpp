// RPRealizeBrush with random logical brushes, pattern headers and records.
#include "fuzz_target.h"

MARL_FUZZ_TARGET("fuzz_realize_brush", marlfuzz::RunBrushCase)
