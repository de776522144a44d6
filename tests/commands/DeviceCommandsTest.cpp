#include "DeviceCommands.h"

#include <gtest/gtest.h>

#include <cstring>

#include "Fakes.h"
#include "Gbk.h"
#include "resource.h"

namespace {

using Command = void (*)(CommandHost&, Reader&, const Allocator&);

// Points a fake operation at an answer, whichever operation the command calls.
void Answer(FakeReader& reader, const FakeReader::TextAnswer& answer)
{
    reader.open = reader.close = reader.status = reader.read = answer;
}

struct CommandCase {
    const char* name;
    Command run;
    const char* operation;
    std::int32_t code;
    const char* libraryText;  // UTF-8; nullptr: the library writes nothing
    const wchar_t* expected;
};

std::ostream& operator<<(std::ostream& os, const CommandCase& c)
{
    return os << c.name << " code " << c.code;
}

class DeviceCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(DeviceCommandTest, ShowsOneExactMessageAfterOneCallOnAZeroedBuffer)
{
    const CommandCase& c = GetParam();
    FakeHost host;
    host.controls[IDC_EDIT_PORT] = "1001";
    FakeReader reader;
    Answer(reader, [&](char* text) {
        if (c.libraryText)
            WriteText(text, Gbk(c.libraryText));
        return c.code;
    });

    c.run(host, reader, kRuntimeHeap);

    ASSERT_EQ(reader.calls.size(), 1u);
    EXPECT_EQ(reader.calls[0].operation, c.operation);
    EXPECT_EQ(reader.calls[0].textOnEntry, std::string(1024, '\0'));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], c.expected);
    EXPECT_TRUE(host.writes.empty()) << "device commands never change a control";
}

INSTANTIATE_TEST_SUITE_P(
    Messages, DeviceCommandTest,
    ::testing::Values(
        // Success texts ignore whatever the library wrote.
        CommandCase{"open", RunOpenDevice, "OpenDevice", 0, u8"端口已打开", L"打开成功"},
        CommandCase{"open", RunOpenDevice, "OpenDevice", 5, nullptr, L"打开失败！ 错误码：5"},
        CommandCase{"open", RunOpenDevice, "OpenDevice", -7, u8"端口不存在", L"打开失败！端口不存在 错误码：-7"},
        CommandCase{"close", RunCloseDevice, "CloseDevice", 0, u8"已关闭", L"关闭成功"},
        CommandCase{"close", RunCloseDevice, "CloseDevice", -1, u8"", L"关闭失败！ 错误码：-1"},
        CommandCase{"close", RunCloseDevice, "CloseDevice", 3, u8"设备未打开", L"关闭失败！设备未打开 错误码：3"},
        // Status and card read show text and code, whatever the code.
        CommandCase{"status", RunDeviceStatus, "getDeviceStatus", 0, nullptr, L" 状态码：0"},
        CommandCase{"status", RunDeviceStatus, "getDeviceStatus", -2, u8"设备未连接", L"设备未连接 状态码：-2"},
        CommandCase{"read", RunReadCard, "readCard", 0, u8"读卡成功", L"读卡成功 状态码：0"},
        CommandCase{"read", RunReadCard, "readCard", 2147483647, u8"", L" 状态码：2147483647"},
        // Library texts are data, never a format.
        CommandCase{"open", RunOpenDevice, "OpenDevice", 1, u8"%s%n%d%%", L"打开失败！%s%n%d%% 错误码：1"},
        CommandCase{"read", RunReadCard, "readCard", 4, u8"100% %s", L"100% %s 状态码：4"}));

TEST(OpenDevice, PassesThePortTypedInThePortBox)
{
    for (const auto& [typed, port] : std::vector<std::pair<std::string, std::int32_t>>{
             {"1001", 1001}, {"", 0}, {" 12abc", 12}, {"-3", -3}, {"99999999999", 2147483647}}) {
        FakeHost host;
        host.controls[IDC_EDIT_PORT] = typed;
        FakeReader reader;
        RunOpenDevice(host, reader, kRuntimeHeap);
        ASSERT_EQ(reader.calls.size(), 1u);
        EXPECT_EQ(reader.calls[0].argument, port) << "typed \"" << typed << '"';
    }
}

TEST(DeviceCommands, NeverReadPastAnUnterminatedText)
{
    // A library that fills all 1024 bytes and no NUL: the message holds exactly
    // those bytes (ASan would catch a read past the buffer).
    const std::string filled(1024, 'x');
    for (Command run : {RunOpenDevice, RunCloseDevice, RunDeviceStatus, RunReadCard}) {
        FakeHost host;
        FakeReader reader;
        Answer(reader, [&](char* text) {
            std::memcpy(text, filled.data(), filled.size());
            return 9;
        });
        run(host, reader, kRuntimeHeap);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_NE(host.messages[0].find(std::wstring(1024, L'x') + L" "), std::wstring::npos);
        EXPECT_EQ(host.messages[0].back(), L'9');
    }
}

TEST(DeviceCommands, EachPressRepeatsTheCallWithAFreshBuffer)
{
    FakeHost host;
    FakeReader reader;
    reader.status = [](char* text) {
        // Leaves a long text behind; the second press must not see it.
        WriteText(text, std::string(200, 'q'));
        return 1;
    };
    RunDeviceStatus(host, reader, kRuntimeHeap);
    RunDeviceStatus(host, reader, kRuntimeHeap);
    ASSERT_EQ(reader.calls.size(), 2u);
    EXPECT_EQ(reader.calls[1].textOnEntry, std::string(1024, '\0'));
}

TEST(DeviceCommands, AFaultOrNoBufferIsTheOneMessage)
{
    const std::pair<Command, const wchar_t*> commands[] = {{RunOpenDevice, L"OpenDevice"},
                                                           {RunCloseDevice, L"CloseDevice"},
                                                           {RunDeviceStatus, L"getDeviceStatus"},
                                                           {RunReadCard, L"readCard"}};
    const Allocator noMemory{[](std::size_t) -> void* { return nullptr; }, [](void*) {}, 0};
    for (const auto& [run, operation] : commands) {
        FakeHost host;
        FakeReader reader;
        reader.raiseAt = 0;
        reader.raised.raised = true;
        reader.raised.exceptionCode = 0xC0000094;
        run(host, reader, kRuntimeHeap);
        ASSERT_EQ(host.messages.size(), 1u) << operation;
        EXPECT_EQ(host.messages[0].rfind(L"读卡器库 " + std::wstring(operation) + L" 调用异常：0xC0000094（地址 0x", 0), 0u)
            << operation;

        // A call that returns having broken the contract: its message, then a note.
        FakeHost noted;
        FakeReader breaking;
        ContractBreach ebx;
        ebx.name = "EBX";
        ebx.after[0] = 0x0BADF00D;
        ebx.restored = true;
        breaking.breaches = {ebx};
        run(noted, breaking, kRuntimeHeap);
        ASSERT_EQ(noted.messages.size(), 1u) << operation;
        const std::wstring note = L"\n注意：" + std::wstring(operation) + L" 返回时 EBX 已被改变（0x";
        EXPECT_NE(noted.messages[0].find(note), std::wstring::npos) << operation;
        const std::wstring tail = L"0BADF00D），已恢复。";
        EXPECT_EQ(noted.messages[0].substr(noted.messages[0].size() - tail.size()), tail) << operation;

        FakeHost starved;
        FakeReader untouched;
        run(starved, untouched, noMemory);
        EXPECT_EQ(starved.messages, std::vector<std::wstring>{L"无法分配足够的内存空间"}) << operation;
        EXPECT_TRUE(untouched.calls.empty()) << operation;
    }
}

}  // namespace
