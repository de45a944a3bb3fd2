// RPPixel, RPDrawLine and RPFillScanRows with random records on random bands.
#include "fuzz_target.h"

MARL_FUZZ_TARGET("fuzz_primitives", marlfuzz::RunPrimitivesCase)
