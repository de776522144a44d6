#include "ResultMessage.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "Gbk.h"

namespace {

struct PortCase {
    const char* text;
    std::int32_t port;
};

std::ostream& operator<<(std::ostream& os, const PortCase& c)
{
    return os << '"' << c.text << "\" -> " << c.port;
}

class ParsePortTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(ParsePortTest, ReadsAsAtoiWithSaturation)
{
    EXPECT_EQ(ParsePort(GetParam().text), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ParsePortTest,
    ::testing::Values(
        PortCase{"1001", 1001},
        PortCase{"", 0},                      // empty box opens port 0
        PortCase{" 12abc", 12},               // leading blank, trailing letters
        PortCase{"-3", -3},
        PortCase{"+7", 7},
        PortCase{"\t\n\v\f\r 5", 5},          // every C-locale white space
        PortCase{"abc", 0},
        PortCase{"- 3", 0},                   // sign must touch the digits
        PortCase{"--3", 0},
        PortCase{"0009", 9},
        PortCase{"12 34", 12},
        PortCase{"2147483647", INT_MAX},
        PortCase{"2147483648", INT_MAX},      // one past the top saturates
        PortCase{"-2147483648", INT_MIN},
        PortCase{"-2147483649", INT_MIN},
        PortCase{"99999999999999999999999999", INT_MAX},
        PortCase{"-99999999999999999999999999", INT_MIN}));

TEST(TextFromBuffer, StopsAtNulOrAtTheBufferEnd)
{
    const char terminated[8] = {'a', 'b', '\0', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(TextFromBuffer(terminated, sizeof terminated), "ab");

    // A library that filled the buffer without a NUL: read exactly its size.
    char unterminated[16];
    std::memset(unterminated, 'z', sizeof unterminated);
    EXPECT_EQ(TextFromBuffer(unterminated, 8), std::string(8, 'z'));
}

TEST(ResultForms, AreExactInCodePage936)
{
    EXPECT_EQ(FailureMessage("打开失败！", "", 1024, 5), Gbk(u8"打开失败！ 错误码：5"));
    EXPECT_EQ(FailureMessage("关闭失败！", "端口", 1024, -1), Gbk(u8"关闭失败！端口 错误码：-1"));
    EXPECT_EQ(StatusMessage("", 1024, 0), Gbk(u8" 状态码：0"));
    EXPECT_EQ(StatusMessage("100%s%d%n", 1024, INT_MIN), Gbk(u8"100%s%d%n 状态码：-2147483648"));
}

}  // namespace
