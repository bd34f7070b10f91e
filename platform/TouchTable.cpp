#include "platform/TouchTable.h"

#include <cstring>

namespace platform {

TOUCH_MESSAGE BuildTouchMessage(short type, const TouchSet& touches, Event* event, Touch* table[kTouchSlots],
                                const View* view) {
    TOUCH_MESSAGE msg;
    std::memset(&msg, 0, sizeof(msg));
    msg.type = type;

    const Touch* any = nullptr;
    if (event && !event->allTouches.empty()) any = event->allTouches.front();
    else if (!touches.empty()) any = touches.front();
    if (any) {
        Point p = any->LocationInView(view);
        msg.x = p.x;
        msg.y = p.y;
    }

    const bool ends = type == eTOUCH_ENDED || type == eTOUCH_CANCELLED;
    for (Touch* touch : touches) {
        int found = -1, firstEmpty = -1;
        for (int i = 0; i < kTouchSlots; ++i) {
            if (table[i] == touch && found < 0) found = i;
            if (!table[i] && firstEmpty < 0) firstEmpty = i;
        }
        if (type == eTOUCH_BEGAN && found >= 0) continue;  // already known: not recorded
        int slot = found;
        if (found >= 0) {
            // The platform frees a touch once it has ended: its slot must
            // not keep the address.
            if (ends) table[found] = nullptr;
        } else if (ends) {
            continue;  // never recorded: there is nothing to end and no slot to take
        } else if (firstEmpty >= 0) {
            // A new finger, or one the full table could not take before.
            table[firstEmpty] = touch;
            slot = firstEmpty;
        } else {
            continue;  // the table is full
        }
        // The record holds ten; the table is kept right for every touch.
        if (msg.count >= kTouchSlots) continue;
        Point p = touch->LocationInView(view);
        msg.touchX[msg.count] = p.x;
        msg.touchY[msg.count] = p.y;
        msg.touchSlot[msg.count++] = static_cast<int16_t>(slot);
    }
    msg.event = event;
    return msg;
}

}  // namespace platform
