// The host program's page, BMP and PSF readers with random files.
#include "fuzz_target.h"

MARL_FUZZ_TARGET("fuzz_host_readers", marlfuzz::RunHostReadersCase)
