// The ways out's size as the settings file keeps it: what is taken, and what means the default.
#include <gtest/gtest.h>

#include "OutSize.h"

TEST(OutSize, TakesEvenSizesUpTo1920x1080)
{
    EXPECT_EQ(ParseOutSize("1280x720"), (OutSize{1280, 720}));
    EXPECT_EQ(ParseOutSize("1920x1080"), (OutSize{1920, 1080}));
    EXPECT_EQ(ParseOutSize("2x2"), (OutSize{2, 2}));
    EXPECT_EQ(ParseOutSize("1080x1080"), (OutSize{1080, 1080}));
}

TEST(OutSize, AnythingElseMeansTheDefault)
{
    const OutSize fallback{1920, 1080};
    for (const char* text : {"",
                             "abc",
                             "1080p",
                             "1921x1080",
                             "1920x1082",
                             "3840x2160",
                             "1281x720",
                             "1280x721",
                             "0x720",
                             "1280x0",
                             "-640x480",
                             "+640x480",
                             " 640x480",
                             "640x480 ",
                             "640X480",
                             "640x",
                             "x480",
                             "640x480x2",
                             "640*480",
                             "0000000640x480",
                             "4294967936x480"})
        EXPECT_EQ(ParseOutSize(text), fallback) << '"' << text << '"';
}
