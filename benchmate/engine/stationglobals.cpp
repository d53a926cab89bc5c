#include "stationglobals.h"

std::atomic<uint8_t> progress[dutSlots] = {};
std::atomic<int> calVal{244};
