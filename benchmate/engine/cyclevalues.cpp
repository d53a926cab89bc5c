#include "cyclevalues.h"

std::atomic<uint8_t> *CycleValues::progressOf(int slot)
{
    if (slot < 0 || slot >= dutSlots)
        return nullptr;
    return &progress[slot];
}
