// The frame loop's millisecond clock and the rule that spaces its ticks.
#ifndef KOVRA_APP_FRAMECLOCK_H
#define KOVRA_APP_FRAMECLOCK_H

#include <cstdint>

// Milliseconds of a monotonic clock, wrapping as unsigned 32-bit.
uint32_t timeGetTime();

struct TickPlan {
    int delayMs;       // re-arm the timer with this
    uint32_t nextDue;  // when the next tick is planned to start
};

// After a tick planned to start at `due` whose work ended at `now`: the next tick is planned
// one interval after this one was, so time lost between the timer's expiry and the handler
// does not add up. A tick more than an interval late starts the plan afresh from now.
TickPlan PlanNextTick(uint32_t due, uint32_t now, int intervalMs);

#endif
