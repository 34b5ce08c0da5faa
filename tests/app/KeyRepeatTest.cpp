// The keyboard's repeat detection: a press of a key already down is a repeat.
#include <gtest/gtest.h>

#include "KeyRepeat.h"

namespace {

TEST(KeyRepeat, APressOfAKeyAlreadyDownIsARepeat)
{
    CKeyRepeat keys;
    EXPECT_FALSE(keys.Press('Q', false));
    EXPECT_TRUE(keys.Press('Q', false)) << "X with detectable auto-repeat: presses only";
    EXPECT_FALSE(keys.Press('W', false)) << "another key is a first press";
    EXPECT_TRUE(keys.Release('W', false));
    EXPECT_TRUE(keys.Press('Q', true));
    EXPECT_FALSE(keys.Release('Q', true)) << "an auto-repeat's release is no release";
    EXPECT_TRUE(keys.Press('Q', false)) << "so Q is still down";
    EXPECT_TRUE(keys.Release('Q', false));
    EXPECT_FALSE(keys.Press('Q', false)) << "up again: a new press";
    keys.Clear();
    EXPECT_FALSE(keys.Press('Q', false)) << "focus lost: keys are forgotten";
}

}  // namespace
