// Finding the chosen screen again among the screens listed, and the render size and its cap.
#include <gtest/gtest.h>

#include "RenderSize.h"
#include "ScreenMatch.h"

TEST(ScreenMatch, SerialFirstThenModelWithNameThenNameAlone)
{
    const std::vector<ScreenId> screens = {
        {"HDMI-1", "Beamer 3000", "A1"},
        {"HDMI-2", "Beamer 3000", "B2"},
        {"eDP-1", "Laptop", ""},
    };
    // The connectors swapped since: the serial number still finds the projector.
    EXPECT_EQ(MatchScreen(screens, {"HDMI-1", "Beamer 3000", "B2"}), 1);
    // Two alike projectors without the serial: model and name together tell them apart.
    EXPECT_EQ(MatchScreen(screens, {"HDMI-2", "Beamer 3000", ""}), 1);
    // A serial number that is gone falls through to the other rules.
    EXPECT_EQ(MatchScreen(screens, {"HDMI-2", "Beamer 3000", "Z9"}), 1);
    // Another model on that connector now: the name alone.
    EXPECT_EQ(MatchScreen(screens, {"HDMI-1", "Old Beamer", ""}), 0);
    EXPECT_EQ(MatchScreen(screens, {"DP-3", "Beamer 3000", ""}), -1);
    // Nothing chosen is the window's own screen, never the first of the list.
    EXPECT_EQ(MatchScreen(screens, {}), -1);
}

TEST(ScreenMatch, EmptySerialsNeverMatchEachOther)
{
    const std::vector<ScreenId> screens = {{"HEADLESS-1", "headless", ""},
                                           {"HEADLESS-2", "headless", ""}};
    EXPECT_EQ(MatchScreen(screens, {"HEADLESS-2", "headless", ""}), 1);
    EXPECT_EQ(ScreenLabel(screens[1], 1920, 1080), "HEADLESS-2: headless (1920x1080)");
    EXPECT_EQ(ScreenLabel({"DUMMY1", "", ""}, 1280, 720), "DUMMY1 (1280x720)");
}

TEST(RenderSize, OnlyExactlyZeroTurnsTheCapOff)
{
    EXPECT_EQ(ParseRenderCap("0"), 0);
    EXPECT_EQ(ParseRenderCap("720"), 720);
    EXPECT_EQ(ParseRenderCap("240"), 240);
    for (const char* text : {"", "abc", "00", "-1", "239", "720p", " 720", "1e3", "99999999999"})
        EXPECT_EQ(ParseRenderCap(text), kDefaultRenderCap) << '"' << text << '"';
}

TEST(RenderSize, TallerOutputsKeepTheirAspectAtTheCap)
{
    EXPECT_EQ(RenderSizeFor({1920, 1080}, 1080), (PixelSize{1920, 1080}));
    EXPECT_EQ(RenderSizeFor({3840, 2160}, 1080), (PixelSize{1920, 1080}));
    EXPECT_EQ(RenderSizeFor({2560, 1440}, 1080), (PixelSize{1920, 1080}));
    EXPECT_EQ(RenderSizeFor({1600, 1200}, 720), (PixelSize{960, 720}));
    EXPECT_EQ(RenderSizeFor({3840, 2160}, 0), (PixelSize{3840, 2160}));
}
