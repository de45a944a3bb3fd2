// Row routines for random requests against the reference evaluator.
#include "fuzz_target.h"

MARL_FUZZ_TARGET("fuzz_rop_routine", marlfuzz::RunRopRoutineCase)
