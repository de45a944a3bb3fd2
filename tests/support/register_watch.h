// Runs a prepared routine through the row call, as compiled code calls it, with every register
// the platform's convention keeps set to a mark: EBX, ESI and EDI on i386; RBX and R12 to R15 on
// System V x86-64, and on Microsoft x64 also RSI, RDI, XMM6 and XMM7. Answers 1 when they, the
// frame pointer and the stack pointer come back as they were (on i386 with the three row
// arguments removed), else 0.
#pragma once

#include "render24/blit/blit_routine.h"

#include <cstdint>

extern "C" uint32_t CallWatchingRegisters(marl::BlitRoutine* routine, const void* sourceRow,
                                          void* destinationRow, const void* patternRow);
