// Reads the built program (Zantor.exe or Zantor64.exe) as a data file and checks
// the resources that the dialogs do not show: languages, the icon group, the About
// string, the version block and the manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "resource.h"

namespace {

constexpr WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Resource types and the fixed names, in their wide forms.
const LPCWSTR kIcon = MAKEINTRESOURCEW(3);
const LPCWSTR kDialog = MAKEINTRESOURCEW(5);
const LPCWSTR kString = MAKEINTRESOURCEW(6);
const LPCWSTR kIconGroup = MAKEINTRESOURCEW(14);
const LPCWSTR kVersion = MAKEINTRESOURCEW(16);
const LPCWSTR kManifest = MAKEINTRESOURCEW(24);
const LPCWSTR kFirst = MAKEINTRESOURCEW(1);  // the version block's and the process manifest's name

std::wstring ProgramPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + ZANTOR_PROGRAM_FILE;
}

// The program loaded for its resources only.
class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << "cannot load the program as data";
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }

    std::vector<WORD> Languages(LPCWSTR type, LPCWSTR name) const
    {
        std::vector<WORD> languages;
        EnumResourceLanguagesW(module_, type, name, &CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
        return languages;
    }

    std::string Bytes(LPCWSTR type, LPCWSTR name, WORD language) const
    {
        HRSRC found = FindResourceExW(module_, type, name, language);
        if (!found)
            return std::string();
        const void* data = LockResource(LoadResource(module_, found));
        return std::string(static_cast<const char*>(data), SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;

private:
    static BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list)
    {
        reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
        return TRUE;
    }
};

TEST_F(ProgramResources, AllButTheManifestAreChineseOnly)
{
    const std::vector<WORD> chinese{kChinese};
    EXPECT_EQ(Languages(kDialog, MAKEINTRESOURCEW(IDD_MAIN)), chinese);
    EXPECT_EQ(Languages(kDialog, MAKEINTRESOURCEW(IDD_ABOUTBOX)), chinese);
    EXPECT_EQ(Languages(kIconGroup, MAKEINTRESOURCEW(IDR_MAINFRAME)), chinese);
    EXPECT_EQ(Languages(kString, MAKEINTRESOURCEW(IDS_ABOUTBOX / 16 + 1)), chinese);
    EXPECT_EQ(Languages(kVersion, kFirst), chinese);
    EXPECT_EQ(Languages(kManifest, kFirst),
              std::vector<WORD>{kEnglish});
}

TEST_F(ProgramResources, AboutStringCarriesItsAccessKey)
{
    wchar_t text[64] = {};
    ASSERT_GT(LoadStringW(module_, IDS_ABOUTBOX, text, 64), 0);
    EXPECT_STREQ(text, L"关于 Zantor(&A)...");
}

TEST_F(ProgramResources, IconGroupOffersThirteenSizesAndDepths)
{
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colors, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    const std::string group = Bytes(kIconGroup, MAKEINTRESOURCEW(IDR_MAINFRAME), kChinese);
    ASSERT_GE(group.size(), 6u);
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(group.size(), 6 + count * sizeof(GroupEntry));

    std::vector<std::pair<int, int>> images;  // {pixels, bits per pixel}
    for (WORD i = 0; i < count; ++i) {
        const auto* entry = reinterpret_cast<const GroupEntry*>(group.data() + 6 + i * sizeof(GroupEntry));
        EXPECT_EQ(entry->width, entry->height);
        images.emplace_back(entry->width == 0 ? 256 : entry->width, entry->bitCount);
        // Every image the group names is in the file.
        EXPECT_FALSE(Bytes(kIcon, MAKEINTRESOURCEW(entry->id), kChinese).empty()) << "icon " << entry->id;
    }
    std::vector<std::pair<int, int>> expected{
        {48, 4}, {32, 4}, {24, 4}, {16, 4}, {48, 8}, {32, 8}, {24, 8}, {16, 8},
        {256, 32}, {48, 32}, {32, 32}, {24, 32}, {16, 32}};
    std::sort(images.begin(), images.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(images, expected);
}

TEST(ProgramVersion, Is1001WithItsNamesInOneChineseTable)
{
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u) << "exactly one translation";
    EXPECT_EQ(translation[0], 0x0804);
    EXPECT_EQ(translation[1], 0x04B0);

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileDescription", L"Zantor"},     {L"InternalName", ZANTOR_PROGRAM_FILE},
        {L"OriginalFilename", ZANTOR_PROGRAM_FILE}, {L"FileVersion", L"1.0.0.1"},
        {L"ProductVersion", L"1.0.0.1"}};
    for (const auto& [name, value] : strings) {
        wchar_t* text = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            << "no " << static_cast<const void*>(name);
        EXPECT_STREQ(text, value);
    }
}

TEST_F(ProgramResources, ManifestAsksForNoElevationAndDeclaresDpiAwareness)
{
    const std::string manifest =
        Bytes(kManifest, kFirst, kEnglish);
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    // Classic-look controls: no side-by-side dependency on common controls 6.
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
    EXPECT_EQ(manifest.find("dependency"), std::string::npos);
}

}  // namespace
