// The named locks a process has opened, each kept for the life of the process: a lock object
// refers to its name's slot, so that only the first object of a name opens anything.
#pragma once

#include <atomic>
#include <cwchar>
#include <mutex>

namespace marlcore {

template <typename Lock> class NamedSlots {
public:
    static constexpr int kMaxNames = 256;

    // The slot of name; open(name) makes its lock at the first call for the name and answers
    // whether it could. A failure is not remembered: the next object of the name tries again.
    // -1 when there is no lock for the name. A slot once published never changes, so a lookup
    // reads the table without a lock.
    template <typename Open> int SlotFor(const wchar_t* name, Open open) {
        int slot = Find(name, Count.load(std::memory_order_acquire));
        if (slot >= 0) return slot;
        std::lock_guard<std::mutex> guard(Opening);
        int count = Count.load(std::memory_order_relaxed);
        slot = Find(name, count);
        if (slot >= 0 || count == kMaxNames) return slot;
        if (!open(name, Slots[count].Held)) return -1;
        size_t length = std::wcslen(name);
        auto* copy = new wchar_t[length + 1];
        std::wmemcpy(copy, name, length + 1);
        Slots[count].Name = copy;
        Count.store(count + 1, std::memory_order_release);
        return count;
    }

    Lock& At(int slot) { return Slots[slot].Held; }

private:
    int Find(const wchar_t* name, int count) const {
        for (int slot = 0; slot < count; ++slot)
            if (std::wcscmp(Slots[slot].Name, name) == 0) return slot;
        return -1;
    }

    struct Slot {
        const wchar_t* Name = nullptr;
        Lock Held{};
    };
    Slot Slots[kMaxNames];
    std::atomic<int> Count{0};
    std::mutex Opening;
};

} // namespace marlcore
