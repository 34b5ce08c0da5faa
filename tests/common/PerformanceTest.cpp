// The performance state: each setter clamps, then announces once what it set and who set it.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "Performance.h"

namespace {

using Change = std::tuple<CPerformance::Value, int, ChangeSource>;

TEST(Performance, EverySetterClampsThenAnnouncesOnceWithItsSource)
{
    CPerformance performance;
    std::vector<Change> changes;
    QObject::connect(&performance, &CPerformance::Changed,
                     [&](CPerformance::Value value, int newValue, ChangeSource source) {
                         changes.emplace_back(value, newValue, source);
                     });
    performance.SetEffect(3, ChangeSource::Keys);
    EXPECT_EQ(performance.Effect(), 0) << "no effects counted yet";
    performance.SetEffectCount(16);
    performance.SetEffect(20, ChangeSource::Osc);
    performance.SetCtrl1(-5, ChangeSource::Dialog);
    performance.SetCtrl2(300, ChangeSource::Midi);
    performance.SetRecord(true, ChangeSource::Keys);
    performance.SetEffectCount(4);  // fewer effects: the number follows into the range
    using V = CPerformance::Value;
    EXPECT_EQ(changes, (std::vector<Change>{{V::Effect, 0, ChangeSource::Keys},
                                            {V::Effect, 0, ChangeSource::Dialog},
                                            {V::Effect, 15, ChangeSource::Osc},
                                            {V::Ctrl1, 0, ChangeSource::Dialog},
                                            {V::Ctrl2, 127, ChangeSource::Midi},
                                            {V::Record, 1, ChangeSource::Keys},
                                            {V::Effect, 3, ChangeSource::Dialog}}));
    EXPECT_EQ(performance.Effect(), 3);
    EXPECT_EQ(performance.Ctrl2(), 127);
    EXPECT_TRUE(performance.Record());
}

TEST(Performance, FrameKeysGoToTheHandlerWhenThereIsOne)
{
    CPerformance performance;
    performance.FrameKey(0, 1, true);  // nothing to play it yet
    std::vector<std::string> keys;
    performance.SetFrameKeyHandler([&](int camera, int key, bool pressed) {
        keys.push_back(std::to_string(camera) + std::to_string(key) + (pressed ? "d" : "u"));
    });
    performance.FrameKey(1, 6, true);
    performance.FrameKey(1, 6, false);
    EXPECT_EQ(keys, (std::vector<std::string>{"16d", "16u"}));
}

}  // namespace
