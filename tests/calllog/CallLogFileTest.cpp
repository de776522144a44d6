// The call log's file under Wine: which lines are in the system's hands when.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

#include "CallLog.h"

namespace {

TEST(CallLogFile, AFollowedCallsLineWaitsOnlyForTheNextStartedLine)
{
    const wchar_t* path = L"held.log";
    DeleteFileW(path);
    static const LibraryIdentity library{};
    CallLog log;
    ASSERT_EQ(log.OpenFile(path, library), 0u);
    // The fourth column of each call's line: "started", "result=N" or "fault=...".
    const auto outcomes = [path] {
        std::ifstream file(path);
        std::string line, seen;
        while (std::getline(file, line))
            if (line[0] != '#') seen += line.substr(line.find("\tGetCardInfo\t-\t") + 15, 3) + ' ';
        return seen;
    };
    const char text[1024] = "v";
    CallOutcome raised;
    raised.raised = true;
    CallRecord call;
    call.operation = Operation::GetCardInfo;
    call.buffers[0] = {BufferRole::Value, text, sizeof text};
    call.bufferCount = 1;
    call.nextFollows = true;
    const auto make = [&](const CallOutcome& outcome) {
        call.outcome = nullptr;
        log.BeforeCall(call);
        call.outcome = &outcome;
        log.OnCall(call);
    };
    make(CallOutcome::Returned(0));
    EXPECT_EQ(outcomes(), "sta ") << "held while the next call is to come";
    make(raised);
    make(CallOutcome::Returned(3));
    EXPECT_EQ(outcomes(), "sta res sta fau sta res ") << "neither a fault nor a failure is held";
    make(CallOutcome::Returned(0));
    log.WriteNote("note", L"n");
    EXPECT_EQ(outcomes(), "sta res sta fau sta res sta res ") << "written before a note";
    call.nextFollows = false;
    make(CallOutcome::Returned(0));
    EXPECT_EQ(outcomes(), "sta res sta fau sta res sta res sta res ");
}

}  // namespace
