#include "IconPlacement.h"
#include "ProgramName.h"

#include <gtest/gtest.h>

#include <string>

TEST(CentredIconOffset, GivesTheOddPixelToTheLeadingMargin)
{
    EXPECT_EQ(CentredIconOffset(37, 32), 3);   // 5 spare: 3 before, 2 after
    EXPECT_EQ(CentredIconOffset(36, 32), 2);   // even split
    EXPECT_EQ(CentredIconOffset(32, 32), 0);
    EXPECT_EQ(CentredIconOffset(27, 32), -2);  // smaller than the icon: (-4) / 2
    EXPECT_EQ(CentredIconOffset(26, 32), -2);  // (-5) / 2 truncates toward zero
    // A client area that is not square: x from its width, y from its height.
    const IconOrigin origin = CentredIconOrigin(160, 37, 32, 32);
    EXPECT_EQ(origin.x, 64);
    EXPECT_EQ(origin.y, 3);
}

TEST(ProgramNameFromPath, IsTheFileNameWithoutItsLastExtension)
{
    const struct {
        const wchar_t* path;
        const wchar_t* name;
    } rows[] = {
        {L"C:\\Tools\\Zantor.exe", L"Zantor"},
        {L"C:\\Tools\\a.v2.exe", L"a.v2"},       // only the last dot ends the name
        {L"C:\\v1.0\\Zantor64.exe", L"Zantor64"},  // a dot in a folder is not the file's
        {L"Z:/tmp/readme", L"readme"},
        {L"noext", L"noext"},
    };
    for (const auto& row : rows) {
        std::wstring path = row.path;
        EXPECT_EQ(std::wstring(ProgramNameFromPath(path.data())), row.name) << std::string(path.begin(), path.end());
    }
}
