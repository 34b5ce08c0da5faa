// Splitting one delivery of MIDI bytes into whole short messages: running status, real-time
// bytes inside a message, stray data bytes and cut-short messages.
#include <gtest/gtest.h>

#include <vector>

#include "MidiMessage.h"

namespace {

std::vector<uint32_t> Split(const std::vector<uint8_t>& bytes)
{
    std::vector<uint32_t> messages;
    ForEachShortMessage(bytes.data(), bytes.size(),
                        [&](uint32_t message) { messages.push_back(message); });
    return messages;
}

TEST(MidiBytes, WholeMessagesKeepTheirBytes)
{
    EXPECT_EQ(Split({0x93, 0x30, 0x7F}), std::vector<uint32_t>{0x7F3093});
    EXPECT_EQ(Split({0xC2, 0x05}), std::vector<uint32_t>{0x05C2});
    EXPECT_EQ(Split({0xF2, 0x01, 0x02}), std::vector<uint32_t>{0x0201F2});
    EXPECT_EQ(Split({0xF6}), std::vector<uint32_t>{0xF6});
    EXPECT_EQ(Split({0xB0, 0x07, 0x64, 0xC0, 0x01}), (std::vector<uint32_t>{0x6407B0, 0x01C0}));
}

TEST(MidiBytes, RunningStatusGivesEachMessageItsStatus)
{
    EXPECT_EQ(Split({0x90, 0x30, 0x7F, 0x32, 0x40, 0x30, 0x00}),
              (std::vector<uint32_t>{0x7F3090, 0x403290, 0x003090}));
    EXPECT_EQ(Split({0xC1, 0x03, 0x04}), (std::vector<uint32_t>{0x03C1, 0x04C1}));
    // A system common message ends running status; a real-time byte does not.
    EXPECT_EQ(Split({0x90, 0x30, 0x7F, 0xF6, 0x32, 0x40}), (std::vector<uint32_t>{0x7F3090, 0xF6}));
    EXPECT_EQ(Split({0x90, 0x30, 0xF8, 0x7F, 0x32, 0x40}),
              (std::vector<uint32_t>{0xF8, 0x7F3090, 0x403290}));
}

TEST(MidiBytes, BytesThatMakeNoWholeMessageAreDropped)
{
    EXPECT_TRUE(Split({0x45, 0x30}).empty()) << "data bytes with no status";
    EXPECT_TRUE(Split({0x90, 0x30}).empty()) << "cut short: not a release with velocity 0";
    EXPECT_EQ(Split({0x90, 0x30, 0xB0, 0x01, 0x02}), std::vector<uint32_t>{0x0201B0})
        << "a new status abandons the unfinished message";
    EXPECT_TRUE(Split({0xF0, 0x01, 0x02}).empty()) << "system-exclusive data is no short message";
    EXPECT_TRUE(Split({}).empty());
}

}  // namespace
