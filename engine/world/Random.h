// The engine's random generator: MT19937 with its state in SHARED_INFOS.
#pragma once

#include <cstdint>

struct SHARED_INFOS;

// Seeds the generator; a seed of 0 takes rand() after srand(GetTimerCount()).
void INIT_RANDOM_INTERNAL(SHARED_INFOS* shared, uint32_t seed);

// Returns the next 32-bit random number.
uint32_t RANOM_INTERNAL(SHARED_INFOS* shared);
