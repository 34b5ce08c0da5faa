// The frame clock's tick spacing: one interval apart against the plan, never a burst.
#include <gtest/gtest.h>

#include "FrameClock.h"

namespace {

TEST(TickSpacing, TicksStayOneIntervalApartAgainstThePlan)
{
    // On time: the rest of the 33 ms.
    TickPlan plan = PlanNextTick(1000, 1005, 33);
    EXPECT_EQ(plan.delayMs, 28);
    EXPECT_EQ(plan.nextDue, 1033u);
    // The handler ran 2 ms after its plan and worked 5 ms: the lag is not carried on.
    plan = PlanNextTick(1033, 1040, 33);
    EXPECT_EQ(plan.delayMs, 26);
    EXPECT_EQ(plan.nextDue, 1066u);
    // A tick exactly one interval late goes at once and keeps the plan.
    plan = PlanNextTick(1066, 1099, 33);
    EXPECT_EQ(plan.delayMs, 0);
    EXPECT_EQ(plan.nextDue, 1099u);
    // Across the clock's wrap.
    plan = PlanNextTick(0xFFFFFFF0u, 0x00000005u, 33);
    EXPECT_EQ(plan.delayMs, 12);
    EXPECT_EQ(plan.nextDue, 0x00000011u);
}

TEST(TickSpacing, WorkOfFortyMillisecondsRearmsWithZeroAndStartsAfresh)
{
    const TickPlan plan = PlanNextTick(2000, 2040, 33);
    EXPECT_EQ(plan.delayMs, 0);
    EXPECT_EQ(plan.nextDue, 2040u) << "no burst of catch-up ticks after a long frame";
}

}  // namespace
