// The call log's file under Wine: which lines are in the system's hands when.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "CallLog.h"

namespace {

// The lines' outcome columns, in order: "started", "result=0", "fault=...", "#note".
std::string Outcomes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    std::string line, outcomes;
    for (std::getline(file, line); std::getline(file, line);) {  // past the header
        if (line[0] == '#') {
            outcomes += line.substr(0, line.find('\t')) + ' ';
            continue;
        }
        std::size_t at = 0;
        for (int column = 0; column < 3; ++column) at = line.find('\t', at) + 1;
        outcomes += line.substr(at, line.find_first_of("=\t", at) - at) + ' ';
    }
    return outcomes;
}

TEST(CallLogFile, AFollowedCallsLineWaitsOnlyForTheNextStartedLine)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path = std::wstring(self).substr(0, std::wstring(self).find_last_of(L'\\') + 1) + L"held.log";
    DeleteFileW(path.c_str());
    static const LibraryIdentity library{};
    CallLog log;
    ASSERT_EQ(log.OpenFile(path.c_str(), library), 0u);

    const char text[1024] = "v";
    const CallOutcome returned = CallOutcome::Returned(0);
    CallOutcome raised;
    raised.raised = true;
    raised.exceptionCode = kAccessViolation;
    CallRecord call;
    call.operation = Operation::GetCardInfo;
    call.buffers[0] = {BufferRole::Value, text, sizeof text};
    call.buffers[1] = {BufferRole::Error, text, sizeof text};
    call.bufferCount = 2;
    call.nextFollows = true;
    const auto make = [&](const CallOutcome& outcome) {
        call.outcome = nullptr;
        log.BeforeCall(call);
        call.outcome = &outcome;
        log.OnCall(call);
    };
    make(returned);
    EXPECT_EQ(Outcomes(path), "#session started ") << "held while the next call is to come";
    make(raised);
    EXPECT_EQ(Outcomes(path), "#session started result started fault ") << "a fault is never held";
    make(CallOutcome::Returned(3));
    EXPECT_EQ(Outcomes(path), "#session started result started fault started result ") << "nor a failure";
    make(returned);
    log.WriteNote("note", L"n");
    EXPECT_EQ(Outcomes(path), "#session started result started fault started result started result #note ");
    call.nextFollows = false;
    make(returned);
    EXPECT_EQ(Outcomes(path),
              "#session started result started fault started result started result #note started result ");
}

}  // namespace
