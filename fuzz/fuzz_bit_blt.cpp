// RPBitBlt with random records, rectangles, sources, palettes and brushes.
#include "fuzz_target.h"

MARL_FUZZ_TARGET("fuzz_bit_blt", marlfuzz::RunBitBltCase)
