// The engine's touch record built from a platform touch event. A host keeps
// a table of ten finger slots; a finger keeps its slot from began to ended,
// so a world can follow each finger by slot number.
#pragma once

#include "engine/world/TouchMessage.h"
#include "platform/Platform.h"

namespace platform {

/// Finger slots in a touch table and in one TOUCH_MESSAGE.
constexpr int kTouchSlots = 10;

/// Builds the record for one touch event (`type` is eTOUCH_BEGAN, _MOVED,
/// _ENDED or _CANCELLED) and updates `table`: a new finger takes the first
/// free slot, an ended or cancelled one frees its slot.
TOUCH_MESSAGE BuildTouchMessage(short type, const TouchSet& touches, Event* event, Touch* table[kTouchSlots],
                                const View* view);

}  // namespace platform
