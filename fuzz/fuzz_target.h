// The libFuzzer entry of a fuzz target: the case of tests/fuzzing/ for each input, and an
// abort (a crash with the input saved) when it reports a broken invariant.
#pragma once

#include "fuzzing/fuzz_cases.h"
#include "fuzzing/fuzz_report.h"

#include <cstddef>
#include <cstdint>

#define MARL_FUZZ_TARGET(name, runCase)                                                            \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {                      \
        marlfuzz::AbortOnFailure(runCase(data, size), name);                                       \
        return 0;                                                                                  \
    }
