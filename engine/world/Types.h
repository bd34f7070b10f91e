// Basic types shared by every engine object.
#pragma once

#include <cstdint>

// Every engine operation returns a signed 32-bit status: 0 on success,
// 0x80000001 on failure. Callers treat any negative value as failure.
typedef int32_t eRESULT;

constexpr eRESULT eOK = 0;
constexpr eRESULT eFAILED = static_cast<eRESULT>(0x80000001u);

inline bool eSUCCEEDED(eRESULT r) { return r >= 0; }
inline bool eFAILURE(eRESULT r) { return r < 0; }

// Paths and names live in fixed buffers of this size.
constexpr int eMAX_PATH = 260;
