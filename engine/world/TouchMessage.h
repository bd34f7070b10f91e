// The touch message record the host view hands to IncomingOSMessage.
#pragma once

#include <cstdint>

constexpr int eMAX_TOUCHES = 10;

// Cancelled touches (the system took them away) end like ended ones but
// mark nothing where they were.
enum : int16_t { eTOUCH_BEGAN = 0, eTOUCH_MOVED = 1, eTOUCH_ENDED = 2, eTOUCH_CANCELLED = 3 };

struct TOUCH_MESSAGE {
    int16_t type;   // eTOUCH_BEGAN, eTOUCH_MOVED, eTOUCH_ENDED or eTOUCH_CANCELLED
    int16_t count;  // touches recorded below, 0 .. 10
    float x, y;     // one touch of the event, in view points
    float touchX[eMAX_TOUCHES];
    float touchY[eMAX_TOUCHES];
    int16_t touchSlot[eMAX_TOUCHES];  // finger slot 0 .. 9
    void* event;
};
