#include "engine/world/Random.h"

#include <cstdlib>

#include "engine/world/SharedInfos.h"
#include "engine/world/TimerFactor.h"

namespace {
constexpr int N = 624;
constexpr int M = 397;
constexpr uint32_t MATRIX_A = 0x9908B0DFu;
constexpr uint32_t UPPER_MASK = 0x80000000u;
constexpr uint32_t LOWER_MASK = 0x7FFFFFFFu;
}  // namespace

void INIT_RANDOM_INTERNAL(SHARED_INFOS* shared, uint32_t seed) {
    if (seed == 0) {
        std::srand(static_cast<unsigned>(GetTimerCount()));
        seed = static_cast<uint32_t>(std::rand());
    }
    uint32_t* mt = shared->m_adwRandom;
    mt[0] = seed;
    for (uint32_t i = 1; i < N; ++i) mt[i] = 1812433253u * (mt[i - 1] ^ (mt[i - 1] >> 30)) + i;
    shared->m_wRandomIndex = N;
}

uint32_t RANOM_INTERNAL(SHARED_INFOS* shared) {
    uint32_t* mt = shared->m_adwRandom;
    if (shared->m_wRandomIndex >= N) {
        for (int k = 0; k < N; ++k) {
            uint32_t y = (mt[k] & UPPER_MASK) | (mt[(k + 1) % N] & LOWER_MASK);
            mt[k] = mt[(k + M) % N] ^ (y >> 1) ^ ((y & 1u) ? MATRIX_A : 0u);
        }
        shared->m_wRandomIndex = 0;
    }
    uint32_t y = mt[shared->m_wRandomIndex++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}
