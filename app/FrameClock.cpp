// The frame loop's clock and tick spacing; see FrameClock.h.
#include "FrameClock.h"

#include <chrono>

uint32_t timeGetTime()
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

TickPlan PlanNextTick(uint32_t due, uint32_t now, int intervalMs)
{
    const int32_t late = static_cast<int32_t>(now - due);
    if (late > intervalMs) return TickPlan{0, now};
    const int32_t delay = intervalMs - late;
    return TickPlan{delay < 0 ? 0 : delay, due + static_cast<uint32_t>(intervalMs)};
}
