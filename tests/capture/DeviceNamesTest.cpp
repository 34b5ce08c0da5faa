// Devices remembered by name: the stored form of shared names and finding them again after
// the list changed order.
#include <gtest/gtest.h>

#include "DeviceNames.h"

namespace {

TEST(DeviceNames, SharedNamesAreCountedInListOrderAndFoundWhereverTheyMoved)
{
    const std::vector<std::string> names = {"Cam", "Other", "Cam", "Cam #2", "Cam"};
    EXPECT_EQ(RememberedName(names, 1), "Cam");
    EXPECT_EQ(RememberedName(names, 2), "Other");
    EXPECT_EQ(RememberedName(names, 3), "Cam #2");
    EXPECT_EQ(RememberedName(names, 5), "Cam #3");
    EXPECT_EQ(RememberedName(names, 0), "");
    EXPECT_EQ(RememberedName(names, 6), "");

    // The second "Cam" and the device that is itself called "Cam #2": the first in list
    // order whose stored form matches.
    EXPECT_EQ(PositionOfName(names, "Cam #2"), 3);
    EXPECT_EQ(PositionOfName(names, "Cam #3"), 5);
    const std::vector<std::string> replugged = {"New", "Other", "Cam"};
    EXPECT_EQ(PositionOfName(replugged, "Other"), 2);
    EXPECT_EQ(PositionOfName(replugged, "Cam"), 3);
    EXPECT_EQ(PositionOfName(replugged, "Cam #2"), 0) << "only one Cam left";
    EXPECT_EQ(PositionOfName(replugged, ""), 0);
}

}  // namespace
