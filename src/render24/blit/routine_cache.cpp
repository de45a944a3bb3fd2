#include "render24/blit/routine_cache.h"

#include "render24/blit/code_area.h"

#include <cstring>

namespace marl {
namespace {

// A multiplicative mix of the record's words: a slot's key is compared in full only when its
// hash agrees.
uint32_t HashOf(const RoutineKey& key) {
    uint32_t words[sizeof(RoutineKey) / 4];
    std::memcpy(words, &key, sizeof words);
    uint32_t hash = 0x811C9DC5u;
    for (uint32_t value : words) {
        hash = (hash ^ value) * 0x9E3779B1u;
        hash ^= hash >> 15;
    }
    return hash;
}

} // namespace

RoutineSlots::RoutineSlots(uint32_t slotBytes, uint32_t slotCount)
    : Bytes(slotBytes), Count(slotCount < kMostSlots ? slotCount : kMostSlots) {}

CodeArea& RoutineSlots::Area() {
    if (!Mapped) {
        Code = MapCodeArea(Bytes * Count);
        Mapped = true;
    }
    return Code;
}

bool RoutineSlots::Find(const RoutineKey& key, Place& place) {
    CodeArea& area = Area();
    if (!area.Usable()) return false;
    // Text asks for one routine again and again: the last one found is looked at first.
    uint32_t index = Count;
    if (Slots[Latest].Valid && Slots[Latest].Key == key) index = Latest;
    const uint32_t hash = index < Count ? Slots[index].Hash : HashOf(key);
    for (uint32_t i = 0; i < Count && index == Count; ++i) {
        const Slot& slot = Slots[i];
        if (slot.Valid && slot.Hash == hash && slot.Key == key) {
            index = i;
            break;
        }
    }
    place.Kept = index < Count;
    if (!place.Kept) {
        index = Victim();
        // Written over from here on: not found again until Keep records the new routine.
        Slots[index].Valid = false;
    }
    Slots[index].LastUse = ++Clock;
    Latest = index;
    place.Index = index;
    place.Run = area.Base + index * Bytes;
    place.Write = area.WriteAddress(place.Run);
    place.Length = place.Kept ? Slots[index].Length : 0;
    return true;
}

void RoutineSlots::Keep(const RoutineKey& key, const Place& place, uint32_t length) {
    Slot& slot = Slots[place.Index];
    slot.Key = key;
    slot.Hash = HashOf(key);
    slot.Length = length;
    slot.Valid = true;
    ++Writes;
}

void RoutineSlots::Clear() {
    for (uint32_t i = 0; i < Count; ++i)
        Slots[i].Valid = false;
}

uint32_t RoutineSlots::Victim() const {
    uint32_t victim = 0;
    for (uint32_t i = 0; i < Count; ++i) {
        if (!Slots[i].Valid) return i;
        if (Slots[i].LastUse < Slots[victim].LastUse) victim = i;
    }
    return victim;
}

RoutineSlots& GeneratedRoutines() {
    static RoutineSlots slots(kCodeBufferSize, 64);
    return slots;
}

RoutineSlots& VectorRoutines() {
    static RoutineSlots slots(kVectorCodeSize, 16);
    return slots;
}

} // namespace marl
