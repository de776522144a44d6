// Tests of the card-information read.
#include "CardInfoCommand.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../photo/TempDirectory.h"
#include "Fakes.h"
#include "Gbk.h"
#include "resource.h"

namespace {

using Writes = std::vector<std::pair<int, std::string>>;

// Index and box of each field after the name, in call order.
const std::vector<std::pair<std::int32_t, int>> kFields = {
    {1, IDC_EDIT_SEX},       {2, IDC_EDIT_NATION},   {3, IDC_EDIT_BIRTH},
    {4, IDC_EDIT_ADDRESS},   {5, IDC_EDIT_IDNUMBER}, {6, IDC_EDIT_AUTHORITY},
    {7, IDC_EDIT_VALIDFROM}, {8, IDC_EDIT_VALIDTO},  {10, IDC_EDIT_PHOTONAME}};

// Runs in a fresh working directory, since every read writes zp.jpg there.
class CardInfoTest : public InTempDirectory {
protected:
    FakeHost host;
    FakeReader reader;

    // Every call writes "value N" (the photo: `photo`) and "EN" as error text;
    // the name call returns `nameCode`, the others 7.
    void AnswerAll(std::int32_t nameCode, const std::string& photo)
    {
        reader.field = [=](std::int32_t index, char* value, char* error) {
            WriteText(value, index == 11 ? photo : "value " + std::to_string(index));
            WriteText(error, "E" + std::to_string(index));
            return index == 0 ? nameCode : 7;
        };
    }
    std::vector<std::int32_t> Indices() const
    {
        std::vector<std::int32_t> indices;
        for (const ReaderCall& call : reader.calls) indices.push_back(call.argument);
        return indices;
    }
};

TEST_F(CardInfoTest, CallsInOrderOnZeroedBuffersAndFillsEveryBoxAndThePhoto)
{
    AnswerAll(0, "SGVsbG8gV28=");
    RunReadCardInfo(host, reader, kRuntimeHeap);

    EXPECT_EQ(Indices(), (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11})) << "never 9";
    std::string error(1024, '\0');  // cleared before the first call only
    for (const ReaderCall& call : reader.calls) {
        EXPECT_EQ(call.textOnEntry, std::string(call.argument == 11 ? 102400 : 1024, '\0')) << call.argument;
        EXPECT_EQ(call.errorOnEntry, error) << call.argument;
        WriteText(error.data(), "E" + std::to_string(call.argument));
        // Said only where the next call comes at once (for the name, when it
        // returns 0): never before the last field or the photo.
        EXPECT_EQ(call.nextFollows, call.argument <= 8) << call.argument;
    }
    EXPECT_FALSE(reader.follows) << "left saying no call follows";
    Writes expected = {{IDC_EDIT_NAME, "value 0"}};
    for (const auto& [index, box] : kFields) expected.emplace_back(box, "value " + std::to_string(index));
    expected.emplace_back(IDC_EDIT_PHOTOLEN, "12");
    EXPECT_EQ(host.writes, expected);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ReadFile("zp.jpg"), "Hello Wo");
}

TEST_F(CardInfoTest, AFailedNameShowsOneMessageFirstAndTheRestFollows)
{
    host.controls[IDC_EDIT_NAME] = "typed";
    reader.field = [&](std::int32_t index, char* value, char* error) {
        if (index == 0) return WriteText(value, "not shown"), WriteText(error, Gbk(u8"无卡")), -5;
        EXPECT_EQ(host.messages.size(), 1u) << "message before index " << index;
        return WriteText(value, index == 11 ? "TWFu" : "v"), 0;
    };
    RunReadCardInfo(host, reader, kRuntimeHeap);

    EXPECT_EQ(host.messages, std::vector<std::wstring>{L"信息读取失败！无卡 错误码：-5"});
    EXPECT_EQ(host.controls[IDC_EDIT_NAME], "typed");
    EXPECT_EQ(host.writes.size(), kFields.size() + 1) << "nine boxes and the length";
    EXPECT_EQ(ReadFile("zp.jpg"), "Man");
}

TEST_F(CardInfoTest, EveryCallFailingAndWritingNothingEmptiesTheNineBoxes)
{
    WriteFile("zp.jpg", "previous photo");
    reader.field = [](std::int32_t, char*, char*) { return 1; };
    RunReadCardInfo(host, reader, kRuntimeHeap);

    EXPECT_EQ(host.messages, std::vector<std::wstring>{L"信息读取失败！ 错误码：1"});
    Writes expected;
    for (const auto& field : kFields) expected.emplace_back(field.second, "");
    expected.emplace_back(IDC_EDIT_PHOTOLEN, "0");
    EXPECT_EQ(host.writes, expected);
    EXPECT_TRUE(std::filesystem::exists("zp.jpg"));
    EXPECT_EQ(ReadFile("zp.jpg"), "");
}

TEST_F(CardInfoTest, LengthBoxCountsTheTextNotTheImage)
{
    for (const auto& [photo, file] : std::vector<std::pair<std::string, std::string>>{
             {"TQ==", "M"}, {std::string(102399, 'A'), ""}, {std::string(4000, 'A'), std::string(3000, '\0')}}) {
        host.writes.clear();
        AnswerAll(0, photo);
        RunReadCardInfo(host, reader, kRuntimeHeap);
        EXPECT_EQ(host.writes.back(), std::make_pair(IDC_EDIT_PHOTOLEN, std::to_string(photo.size())));
        EXPECT_EQ(ReadFile("zp.jpg"), file) << "photo of " << photo.size() << " characters";
    }
}

TEST_F(CardInfoTest, NeverReadsPastUnterminatedTexts)
{
    // Every buffer filled to its last byte with no NUL (ASan reports a read beyond).
    reader.field = [](std::int32_t index, char* value, char* error) {
        std::memset(value, index == 11 ? 'A' : 'v', index == 11 ? 102400 : 1024);
        std::memset(error, 'e', 1024);
        return index == 0 ? 3 : 0;
    };
    RunReadCardInfo(host, reader, kRuntimeHeap);

    EXPECT_EQ(host.messages, std::vector<std::wstring>{L"信息读取失败！" + std::wstring(1024, L'e') + L" 错误码：3"});
    ASSERT_EQ(host.writes.size(), kFields.size() + 1);
    EXPECT_EQ(host.writes.front().second, std::string(1024, 'v'));
    EXPECT_EQ(host.writes.back().second, "102400");
    EXPECT_EQ(ReadFile("zp.jpg").size(), 76800u);
}

// Hands out `blocks` blocks, then none; counts blocks not yet given back.
struct ScriptedHeap {
    static inline int blocks = 0, outstanding = 0;
    static void* Allocate(std::size_t size) { return blocks-- > 0 ? (++outstanding, std::malloc(size)) : nullptr; }
    static void Release(void* block) { --outstanding, std::free(block); }
};

TEST_F(CardInfoTest, WithoutMemoryShowsOneMessageAndReleasesWhatItHad)
{
    // 0 blocks: no text buffers, so no call at all.
    // 2 blocks: no photo text buffer, so no photo call, length or file.
    // 3 blocks: the photo is fetched and measured; the decode buffer fails.
    // 100 blocks but none for the console's own use: the decode buffer fails too.
    static constexpr Allocator kNoOwnUse{[](std::size_t) -> void* { return nullptr; }, &HeapRelease, 0};
    for (const int blocks : {0, 2, 3, 100}) {
        WriteFile("zp.jpg", "previous photo");
        host = FakeHost{};
        reader.calls.clear();
        AnswerAll(0, "TWFu");
        ScriptedHeap::blocks = blocks;
        ScriptedHeap::outstanding = 0;
        RunReadCardInfo(host, reader, Allocator{&ScriptedHeap::Allocate, &ScriptedHeap::Release, 0,
                                                blocks == 100 ? &kNoOwnUse : nullptr});

        EXPECT_EQ(host.messages, std::vector<std::wstring>{L"无法分配足够的内存空间"}) << blocks;
        const std::size_t calls = blocks == 0 ? 0 : blocks == 2 ? 10 : 11;
        EXPECT_EQ(reader.calls.size(), calls) << blocks;
        EXPECT_EQ(host.controls.count(IDC_EDIT_PHOTOLEN), blocks >= 3 ? 1u : 0u) << blocks;
        EXPECT_EQ(ReadFile("zp.jpg"), "previous photo") << blocks;
        EXPECT_EQ(ScriptedHeap::outstanding, 0) << blocks;
    }
}

TEST_F(CardInfoTest, AFaultEndsTheReadWithOneMessageAndLeavesTheRestAlone)
{
    // The call that raises, by its place in the order: the name, the address
    // (a middle field), the photo; or the name and the photo writing one byte past
    // their value buffers. Boxes written before it stay; nothing after.
    struct Row {
        std::size_t faulting;
        bool pastValue;
        std::wstring shown;
    };
    const Row rows[] = {
        {0, false, L"读卡器库 GetCardInfo 调用异常：0xC0000005"},
        {4, false, L"读卡器库 GetCardInfo 调用异常：0xC0000005"},
        {10, false, L"读卡器库 GetCardInfo 调用异常：0xC0000005"},
        {0, true, L"读卡器库 GetCardInfo 写入超出缓冲区（1024 字节）"},
        {10, true, L"读卡器库 GetCardInfo 写入超出缓冲区（102400 字节）"},
    };
    const Allocator guarded{&HeapAllocate, &HeapRelease, 4096};
    for (const Row& row : rows) {
        WriteFile("zp.jpg", "previous photo");
        host = FakeHost{};
        reader.calls.clear();
        AnswerAll(0, "TWFu");
        reader.raiseAt = row.faulting;
        reader.raised.raised = true;
        reader.raised.exceptionCode = 0xC0000005;
        reader.raisedPastValue = row.pastValue;
        RunReadCardInfo(host, reader, guarded);

        ASSERT_EQ(host.messages.size(), 1u) << row.faulting;
        EXPECT_EQ(host.messages[0].rfind(row.shown, 0), 0u) << row.faulting << (row.pastValue ? " past its value" : "");
        EXPECT_EQ(reader.calls.size(), row.faulting + 1) << row.faulting;
        EXPECT_EQ(host.writes.size(), row.faulting) << "one box per earlier call, never the length";
        EXPECT_EQ(ReadFile("zp.jpg"), "previous photo") << row.faulting;
        EXPECT_FALSE(reader.follows) << row.faulting << ": left saying a call follows";
    }
}

TEST_F(CardInfoTest, TheNotesOfAllElevenCallsFollowInOneBoxEachOnce)
{
    AnswerAll(0, "SGVsbG8gV28=");
    ContractBreach df;
    df.rule = ContractRule::DirectionFlag;
    df.name = "DF";
    ContractBreach x87;
    x87.rule = ContractRule::X87Control;
    x87.name = "x87cw";
    x87.before[0] = 0x027F;
    x87.after[0] = 0x0260;
    x87.restored = true;
    reader.breaches = {df, x87};
    RunReadCardInfo(host, reader, kRuntimeHeap);
    EXPECT_EQ(reader.calls.size(), 11u);
    EXPECT_EQ(host.messages, std::vector<std::wstring>{L"注意：GetCardInfo 返回时方向标志 DF 仍被置位，已清除。\n"
                                                       L"注意：GetCardInfo 返回时 x87 控制字已被改变（0x027F → 0x0260），已恢复。"})
        << "a read that shows nothing of its own shows the notes once, after it has finished";
}

}  // namespace
