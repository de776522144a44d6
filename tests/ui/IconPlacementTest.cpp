#include "IconPlacement.h"

#include <gtest/gtest.h>

TEST(CentredIconOffset, GivesTheOddPixelToTheLeadingMargin)
{
    EXPECT_EQ(CentredIconOffset(37, 32), 3);   // 5 spare: 3 before, 2 after
    EXPECT_EQ(CentredIconOffset(36, 32), 2);   // even split
    EXPECT_EQ(CentredIconOffset(32, 32), 0);
    EXPECT_EQ(CentredIconOffset(27, 32), -2);  // smaller than the icon: (-4) / 2
    EXPECT_EQ(CentredIconOffset(26, 32), -2);  // (-5) / 2 truncates toward zero
}
