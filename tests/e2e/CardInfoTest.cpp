// Button 1004: the card's fields into the form, the photo text's length into the
// hidden box 1018, the decoded photo into zp.jpg in the working folder.
#include "ConsoleTest.h"

#include <iterator>

namespace e2e {
namespace {

struct FieldBox {
    int id;
    const wchar_t* sample;  // the stand-in's sample card
};

const FieldBox kFields[] = {
    {IDC_EDIT_NAME, L"林秋雨"},
    {IDC_EDIT_SEX, L"女"},
    {IDC_EDIT_NATION, L"汉"},
    {IDC_EDIT_BIRTH, L"19900815"},
    {IDC_EDIT_ADDRESS, L"浙江省杭州市西湖区示例路88号2幢301室"},
    {IDC_EDIT_IDNUMBER, L"330106199008151286"},
    {IDC_EDIT_AUTHORITY, L"杭州市公安局西湖分局"},
    {IDC_EDIT_VALIDFROM, L"20200301"},
    {IDC_EDIT_VALIDTO, L"20400301"},
    {IDC_EDIT_PHOTONAME, L"zp.jpg"},
};

// The stand-in's sample photo, which it hands over as base64 text.
std::string SamplePhoto()
{
    std::wstring path = ZANTOR_SAMPLE_PHOTO;
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;  // Wine's drive for the Unix root
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return ReadFileBytes(path);
}

std::size_t Base64Length(std::size_t bytes)
{
    return (bytes + 2) / 3 * 4;
}

class CardInfoTest : public ConsoleTest {
protected:
    // Opens the reader on port 1001 and reads the card, as the operator would first.
    Console& StartWithCardRead()
    {
        Console& console = Start();
        EXPECT_EQ(console.ClickAndDismiss(IDC_BTN_OPEN).text, L"打开成功");
        EXPECT_EQ(console.ClickAndDismiss(IDC_BTN_READCARD).text, L"读卡成功 状态码：0");
        return console;
    }

    // Presses 1004 and returns once the command has run to its end or to a box.
    void PressReadCardInfo()
    {
        m_console->Click(IDC_BTN_CARDINFO);
        m_console->Barrier();
    }

    // Boxes open now, with what they say.
    std::vector<std::wstring> OpenBoxes()
    {
        std::vector<std::wstring> texts;
        for (HWND hwnd : m_console->OwnedWindows()) {
            if (IsWindowVisible(hwnd))
                texts.push_back(m_console->WaitForOwnedBox().text);
        }
        return texts;
    }

    void ExpectNoBox() { EXPECT_EQ(OpenBoxes(), std::vector<std::wstring>{}) << "no message expected"; }

    // The one message of the command: read, dismissed, and no second one after it.
    OwnedBox ExpectOneMessage()
    {
        OwnedBox box = m_console->WaitForOwnedBox();
        EXPECT_EQ(box.caption, ProgramName());
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        m_console->PressOk(box);
        m_console->Barrier();
        ExpectNoBox();
        return box;
    }
};

TEST_F(CardInfoTest, SampleCardFillsTheFormAndWritesThePhoto)
{
    const std::string photo = SamplePhoto();
    ASSERT_FALSE(photo.empty());
    Console& console = StartWithCardRead();
    PressReadCardInfo();
    ExpectNoBox();
    for (const FieldBox& field : kFields)
        EXPECT_EQ(console.Text(field.id), field.sample) << "box " << field.id;
    EXPECT_EQ(console.Text(IDC_EDIT_PHOTOLEN), std::to_wstring(Base64Length(photo.size())))
        << "the length of the photo's base64 text";
    EXPECT_FALSE(IsWindowVisible(console.Item(IDC_EDIT_PHOTOLEN))) << "the length box stays hidden";
    EXPECT_TRUE(m_folder->ReadBytes(L"zp.jpg") == photo) << "zp.jpg is the sample photo, byte for byte";
}

TEST_F(CardInfoTest, FailingNameCallShowsOneMessageAndTheRestStillComes)
{
    m_folder->WriteScript(L"[Field.0]\nresult=-2\ntext=姓名读取失败\n");
    Console& console = StartWithCardRead();
    console.Type(IDC_EDIT_NAME, L"操作员输入");
    PressReadCardInfo();
    EXPECT_EQ(ExpectOneMessage().text, L"信息读取失败！姓名读取失败 错误码：-2");
    EXPECT_EQ(console.Text(IDC_EDIT_NAME), L"操作员输入") << "the name box is left as typed";
    for (const FieldBox& field : kFields) {
        if (field.id != IDC_EDIT_NAME) {
            EXPECT_EQ(console.Text(field.id), field.sample) << "box " << field.id;
        }
    }
    const std::string photo = SamplePhoto();
    EXPECT_EQ(console.Text(IDC_EDIT_PHOTOLEN), std::to_wstring(Base64Length(photo.size())));
    EXPECT_TRUE(m_folder->ReadBytes(L"zp.jpg") == photo) << "the photo is still written";
}

TEST_F(CardInfoTest, EveryCallFailingAndWritingNothingEmptiesTheForm)
{
    m_folder->WriteScript(L"[GetCardInfo]\nresult=3\ntext=@none\n");
    m_folder->WriteBytes(L"zp.jpg", "an earlier photo");
    Console& console = Start();
    for (const FieldBox& field : kFields)
        console.Type(field.id, L"旧值");
    console.Type(IDC_EDIT_PHOTOLEN, L"12345");
    PressReadCardInfo();
    EXPECT_EQ(ExpectOneMessage().text, L"信息读取失败！ 错误码：3") << "one message, for the name call";
    EXPECT_EQ(console.Text(IDC_EDIT_NAME), L"旧值");
    for (const FieldBox& field : kFields) {
        if (field.id != IDC_EDIT_NAME) {
            EXPECT_EQ(console.Text(field.id), L"") << "box " << field.id;
        }
    }
    EXPECT_EQ(console.Text(IDC_EDIT_PHOTOLEN), L"0");
    EXPECT_EQ(m_folder->ReadBytes(L"zp.jpg"), "") << "zp.jpg is written empty";
}

// Photo texts and what becomes of them: the length shown in 1018 and zp.jpg.
struct PhotoRow {
    const char* name;
    const wchar_t* script;  // [Field.11]
    std::wstring length;
    std::string bytes;
};

std::ostream& operator<<(std::ostream& os, const PhotoRow& row)
{
    return os << row.name;
}

const PhotoRow kPhotoRows[] = {
    {"TwelveCharactersWithOnePad", L"value=QUJDREVGR0g=", L"12", "ABCDEFGH"},
    // Characters outside the alphabet are not refused: each counts as 255.
    {"CharacterOutsideTheAlphabet", L"value=T!Fu", L"4", "\x4F\xF1\x6E"},
    {"EmptyText", L"value=", L"0", ""},
    {"ThreePadsAreRefused", L"value=A===", L"4", ""},
    {"LengthNotAMultipleOfFour", L"value=QUJDR", L"5", ""},
    // The most the 102400-byte buffer holds with its NUL; not a multiple of 4.
    {"LongestPhotoText", L"value=@longest", L"102399", ""},
};

class PhotoTest : public CardInfoTest, public ::testing::WithParamInterface<PhotoRow> {};

TEST_P(PhotoTest, LengthIntoTheHiddenBoxAndDecodedBytesIntoZpJpg)
{
    const PhotoRow& row = GetParam();
    m_folder->WriteScript(std::wstring(L"[Field.11]\n") + row.script + L"\n");
    m_folder->WriteBytes(L"zp.jpg", "an earlier photo");
    Console& console = StartWithCardRead();
    PressReadCardInfo();
    ExpectNoBox();
    EXPECT_EQ(console.Text(IDC_EDIT_PHOTOLEN), row.length);
    EXPECT_TRUE(m_folder->ReadBytes(L"zp.jpg") == row.bytes) << "zp.jpg holds " << m_folder->ReadBytes(L"zp.jpg").size()
                                                           << " bytes, expected " << row.bytes.size();
    EXPECT_EQ(console.Text(IDC_EDIT_NAME), L"林秋雨") << "the fields come as usual";
}

INSTANTIATE_TEST_SUITE_P(Texts, PhotoTest, ::testing::ValuesIn(kPhotoRows),
                         [](const ::testing::TestParamInfo<PhotoRow>& row) { return std::string(row.param.name); });

// A library that faults or writes past a buffer during the read: one message; the
// boxes filled before stay, nothing later is asked for, 1018 and zp.jpg are left
// alone; the next press reads everything again.
struct FaultRow {
    const char* name;
    const wchar_t* script;
    std::size_t filled;    // boxes of kFields filled before the fault
    std::wstring message;  // see ShowsMessage
};

std::ostream& operator<<(std::ostream& os, const FaultRow& row)
{
    return os << row.name;
}

const FaultRow kFaultRows[] = {
    {"AddressCallFaults", L"[Field.4]\nfault=access-violation\n", 4,
     L"读卡器库 GetCardInfo 调用异常：0xC0000005（地址 Mervik.dll+0x"},
    {"AddressOverrunsItsBuffer", L"[Field.4]\noverrun=1\n", 4, L"读卡器库 GetCardInfo 写入超出缓冲区（1024 字节）"},
    {"PhotoOverrunsItsBuffer", L"[Field.11]\noverrun=1\n", std::size(kFields),
     L"读卡器库 GetCardInfo 写入超出缓冲区（102400 字节）"},
};

class FaultTest : public CardInfoTest, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(FaultTest, OneMessageAndTheReadStops)
{
    const FaultRow& row = GetParam();
    m_folder->WriteBytes(L"zp.jpg", "an earlier photo");
    Console& console = StartWithCardRead();
    m_folder->WriteScript(row.script);
    for (const FieldBox& field : kFields)
        console.Type(field.id, L"旧值");
    console.Type(IDC_EDIT_PHOTOLEN, L"12345");
    PressReadCardInfo();
    const std::wstring shown = ExpectOneMessage().text;
    EXPECT_TRUE(ShowsMessage(shown, row.message)) << "shown: " << Shown(shown);
    for (std::size_t i = 0; i < std::size(kFields); ++i)
        EXPECT_EQ(console.Text(kFields[i].id), i < row.filled ? kFields[i].sample : L"旧值") << "box " << kFields[i].id;
    EXPECT_EQ(console.Text(IDC_EDIT_PHOTOLEN), L"12345");
    EXPECT_EQ(m_folder->ReadBytes(L"zp.jpg"), "an earlier photo");

    m_folder->WriteScript(L"");
    PressReadCardInfo();
    ExpectNoBox();
    EXPECT_EQ(console.Text(IDC_EDIT_ADDRESS), kFields[4].sample) << "the next press reads again";
    EXPECT_TRUE(m_folder->ReadBytes(L"zp.jpg") == SamplePhoto());
}

INSTANTIATE_TEST_SUITE_P(Library, FaultTest, ::testing::ValuesIn(kFaultRows),
                         [](const ::testing::TestParamInfo<FaultRow>& row) { return std::string(row.param.name); });

// A zp.jpg that cannot be opened for writing (here: held open without sharing)
// gives "无法打开文件" and keeps its bytes. The reader's answers are scripted in
// ASCII, so that this runs under any code page.
TEST_F(CardInfoTest, PhotoFileThatCannotBeOpenedKeepsItsBytes)
{
    m_folder->WriteScript(L"[GetCardInfo]\nresult=0\n[Field.0]\nvalue=Lin Qiuyu\n");
    m_folder->WriteBytes(L"zp.jpg", "an earlier photo");
    win32::FileHandle held(CreateFileW(m_folder->File(L"zp.jpg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    Console& console = Start();
    PressReadCardInfo();
    EXPECT_EQ(ExpectOneMessage().text, L"无法打开文件");
    held.Reset();
    EXPECT_EQ(m_folder->ReadBytes(L"zp.jpg"), "an earlier photo");
    EXPECT_EQ(console.Text(IDC_EDIT_NAME), L"Lin Qiuyu") << "the fields are filled before the photo is saved";
}

// Every press reads the card afresh and overwrites the photo.
TEST_F(CardInfoTest, SecondPressOverwritesBoxesAndPhoto)
{
    Console& console = StartWithCardRead();
    PressReadCardInfo();
    ExpectNoBox();
    m_folder->WriteScript(L"[Field.1]\nvalue=男\n[Field.11]\nvalue=QUJDREVGR0g=\n");
    console.Type(IDC_EDIT_ADDRESS, L"改过的地址");
    PressReadCardInfo();
    ExpectNoBox();
    EXPECT_EQ(console.Text(IDC_EDIT_SEX), L"男");
    EXPECT_EQ(console.Text(IDC_EDIT_ADDRESS), L"浙江省杭州市西湖区示例路88号2幢301室");
    EXPECT_EQ(console.Text(IDC_EDIT_PHOTOLEN), L"12");
    EXPECT_EQ(m_folder->ReadBytes(L"zp.jpg"), "ABCDEFGH");
}

}  // namespace
}  // namespace e2e
