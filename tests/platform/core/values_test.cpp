#include <gtest/gtest.h>

#include "core/values.h"

TEST(StringValue, PadsCutsAndComparesWithoutTrailingBlanks) {
    STRING<5> s = u"абв";
    EXPECT_EQ(s.str(), QStringLiteral("абв  "));
    EXPECT_EQ(s.clip(), QStringLiteral("абв"));
    s = u"абвгдеж";
    EXPECT_EQ(s.str(), QStringLiteral("абвгд"));
    EXPECT_TRUE(s == u"абвгд   ");
}
