// Routines kept by their whole request: text draws the same glyph width with the same code
// again and again, and a kept routine runs again without being generated.
//
// One code area of a fixed number of equal slots; when every slot holds a routine, the one
// used longest ago is written over. Used only under the transfer lock.
#pragma once

#include "render24/blit/blit_request.h"
#include "render24/blit/code_area.h"

#include <cstdint>

namespace marl {

// A routine is kept by the normalised request it is made from.
using RoutineKey = BlitRequest;

class RoutineSlots {
public:
    static constexpr uint32_t kMostSlots = 64;

    RoutineSlots(uint32_t slotBytes, uint32_t slotCount);
    RoutineSlots(const RoutineSlots&) = delete;
    RoutineSlots& operator=(const RoutineSlots&) = delete;

    // Where the routine of a request is: Kept when it is there already (Length bytes from
    // Run), otherwise a slot to write it into (through Write, for the address Run), which
    // Keep then records.
    struct Place {
        uint8_t* Run = nullptr;
        uint8_t* Write = nullptr;
        uint32_t Length = 0;
        uint32_t Index = 0;
        bool Kept = false;
    };
    // False when the area could not be mapped.
    bool Find(const RoutineKey& key, Place& place);
    void Keep(const RoutineKey& key, const Place& place, uint32_t length);

    CodeArea& Area();
    uint32_t SlotBytes() const { return Bytes; }
    // Routines written since the process started (misses), for tests and measurements.
    uint32_t Written() const { return Writes; }
    // Forgets every kept routine.
    void Clear();

private:
    struct Slot {
        RoutineKey Key{};
        uint32_t Hash = 0;
        uint32_t LastUse = 0;
        uint32_t Length = 0;
        bool Valid = false;
    };

    uint32_t Victim() const;

    CodeArea Code;
    bool Mapped = false;
    uint32_t Bytes;
    uint32_t Count;
    uint32_t Clock = 0;
    uint32_t Latest = 0; // the slot found or given out last
    uint32_t Writes = 0;
    Slot Slots[kMostSlots];
};

// The generated routines (CompileRop's) and the vector routines of transfers.
RoutineSlots& GeneratedRoutines();
RoutineSlots& VectorRoutines();

} // namespace marl
