// /record: a session against the stand-in recorded, then replayed by the stand-in
// from the recording alone, with the same presses: every box, every field, zp.jpg,
// the fault and the delay the same; one press more is answered 98.
#include "ConsoleTest.h"

#include <cstdlib>

namespace e2e {
namespace {

const wchar_t kScript[] =
    L"[getDeviceStatus]\nresult=144\ntext=状态\t正常\n"
    L"[readCard]\ndelay=300\n"
    L"[Field.2]\nresult=-2\ntext=民族读取失败\n"
    L"[Field.3]\nvalue=@hex:3139FF3900\n";  // a byte that is no character of code page 936

const int kFieldBoxes[] = {IDC_EDIT_NAME,      IDC_EDIT_SEX,       IDC_EDIT_NATION,  IDC_EDIT_BIRTH,
                           IDC_EDIT_ADDRESS,   IDC_EDIT_IDNUMBER,  IDC_EDIT_AUTHORITY, IDC_EDIT_VALIDFROM,
                           IDC_EDIT_VALIDTO,   IDC_EDIT_PHOTONAME, IDC_EDIT_PHOTOLEN};

struct Seen {
    std::vector<std::wstring> boxes;
    std::vector<std::wstring> fields;
    std::string photo;
    double readCardMs = 0;  // from the call log
    std::string faultLine;  // the call log's outcome of the faulting call
};

// The presses of the session; while recording, the script is changed before the
// last so that field 4 faults.
Seen Session(Console& console, const WorkFolder& folder, bool recording)
{
    Seen seen;
    seen.boxes.push_back(console.ClickAndDismiss(IDC_BTN_OPEN).text);
    seen.boxes.push_back(console.ClickAndDismiss(IDC_BTN_STATUS).text);
    seen.boxes.push_back(console.ClickAndDismiss(IDC_BTN_READCARD).text);
    console.Click(IDC_BTN_CARDINFO);
    console.Barrier();
    EXPECT_TRUE(console.OwnedWindows().empty()) << "a failing field other than the name shows no box";
    for (int id : kFieldBoxes)
        seen.fields.push_back(console.Text(id));
    seen.photo = folder.ReadBytes(L"zp.jpg");
    if (recording)
        folder.WriteScript(std::wstring(kScript) + L"[Field.4]\nfault=access-violation\n");
    seen.boxes.push_back(console.ClickAndDismiss(IDC_BTN_CARDINFO).text);
    // The call log's columns: time, operation, argument, outcome, duration...
    for (const auto& columns : LogLinesCut(folder.ReadBytes(L"calls.log"), false)) {
        if (columns[1] == "readCard")
            seen.readCardMs = std::atof(columns[4].c_str()) / 1000;
        if (columns[3].rfind("fault=", 0) == 0)
            seen.faultLine = columns[3];
    }
    return seen;
}

class RecordingTest : public ConsoleTest {};

TEST_F(RecordingTest, ReplayAnswersTheSamePressesByteForByte)
{
    m_folder->WriteScript(kScript);
    const Seen recorded = Session(Start(ProgramFile(), L"/log calls.log /record session.ini"), *m_folder, true);
    m_console.reset();
    const std::string recording = m_folder->ReadBytes(L"session.ini");
    EXPECT_NE(recording.find("\r\ncodepage=936\r\n"), std::string::npos) << recording;
    EXPECT_EQ(recorded.boxes[1], L"状态\t正常 状态码：144");
    EXPECT_EQ(recorded.fields[2], L"") << "the failing field";
    ASSERT_GE(recorded.readCardMs, 290.0);
    EXPECT_EQ(recorded.faultLine.rfind("fault=0xC0000005@Mervik.dll+0x", 0), 0u) << recorded.faultLine;

    const WorkFolder replay(CurrentTestName() + L".replay");
    replay.CopyProgram();
    replay.CopyReader();
    replay.WriteBytes(L"Mervik.ini", recording);
    m_console = std::make_unique<Console>(replay, ProgramFile(), L"/log calls.log");
    const Seen replayed = Session(*m_console, replay, false);
    EXPECT_EQ(replayed.boxes, recorded.boxes);
    EXPECT_EQ(replayed.fields, recorded.fields);
    EXPECT_TRUE(replayed.photo == recorded.photo) << "zp.jpg byte for byte";
    EXPECT_EQ(replayed.faultLine, recorded.faultLine) << "the same code, raised where the stand-in raises it";
    EXPECT_NEAR(replayed.readCardMs, recorded.readCardMs, 100.0) << "the recorded pace";
    EXPECT_EQ(m_console->ClickAndDismiss(IDC_BTN_STATUS).text, L"模拟读卡器回放：录制已结束（共 19 次调用） 状态码：98");
}

// A recording names its code page: replayed on another, the stand-in writes the
// recorded bytes all the same, which Zantor then reads in its own code page.
TEST_F(RecordingTest, ReplayWritesTheRecordedBytesOnAnyCodePage)
{
    m_folder->WriteScript(
        L"[Recording]\ncodepage=936\nimmediate=yes\n"
        L"[Answer.1]\noperation=getDeviceStatus\nresult=0\ntext=设备正常\n"
        L"[Answer.2]\noperation=readCard\nresult=1\ntext=@hex:B6C1FF00\n"
        L"[Calls]\ncalls=1 2\n");
    const std::string gbk[] = {"\xC9\xE8\xB1\xB8\xD5\xFD\xB3\xA3", "\xB6\xC1\xFF"};
    std::wstring expected[2];
    for (int i = 0; i < 2; ++i) {
        wchar_t wide[16] = {};
        MultiByteToWideChar(CP_ACP, 0, gbk[i].data(), static_cast<int>(gbk[i].size()), wide, 15);
        expected[i] = wide;
    }
    Console& console = Start();
    EXPECT_EQ(console.ClickAndDismiss(IDC_BTN_STATUS).text, expected[0] + L" 状态码：0");
    EXPECT_EQ(console.ClickAndDismiss(IDC_BTN_READCARD).text, expected[1] + L" 状态码：1");
    const std::wstring after = console.ClickAndDismiss(IDC_BTN_STATUS).text;
    EXPECT_EQ(after.substr(after.size() - 7), L" 状态码：98") << Shown(after) << ": after the recording's end";
}

// /anonymize: what a library leaves after a field's NUL (here the real identity
// number, after the address and after the number itself) reaches neither the
// recording nor the call log, while the form shows what the library gave.
TEST_F(RecordingTest, AnonymizedFilesHoldNothingAfterAFieldsNul)
{
    const std::string secret = "33010619900815128X";
    std::wstring hex;
    for (const char c : secret) {
        const wchar_t* const kHex = L"0123456789ABCDEF";
        hex += kHex[static_cast<unsigned char>(c) >> 4];
        hex += kHex[c & 15];
    }
    m_folder->WriteScript(L"[Field.4]\nvalue=@hex:41424300" + hex + L"\n[Field.5]\nvalue=@hex:" + hex + L"00" + hex +
                          L"\n");
    Console& console = Start(ProgramFile(), L"/log calls.log /record session.ini /anonymize");
    console.ClickAndDismiss(IDC_BTN_OPEN);
    console.ClickAndDismiss(IDC_BTN_READCARD);
    console.Click(IDC_BTN_CARDINFO);
    console.Barrier();
    EXPECT_EQ(console.Text(IDC_EDIT_IDNUMBER), std::wstring(secret.begin(), secret.end())) << "the form's own";
    m_console.reset();
    const std::string narrowHex(hex.begin(), hex.end());
    for (const wchar_t* file : {L"session.ini", L"calls.log"}) {
        const std::string bytes = m_folder->ReadBytes(file);
        ASSERT_FALSE(bytes.empty()) << Shown(file);
        EXPECT_EQ(bytes.find(secret), std::string::npos) << Shown(file) << "\n" << bytes;
        EXPECT_EQ(bytes.find(narrowHex), std::string::npos) << Shown(file) << "\n" << bytes;
        EXPECT_EQ(bytes.find(secret.substr(0, 6)), std::string::npos) << Shown(file) << ": not even its start";
    }
}

}  // namespace
}  // namespace e2e
