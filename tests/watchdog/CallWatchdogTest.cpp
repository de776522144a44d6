// The watchdog's claim, as the timeout and the hang notice's button make it: a
// running call is claimed once, a call that returned or was followed by another
// never; and a claimed call's deadline ends the process whatever its client does.
#include "CallWatchdog.h"

#include <gtest/gtest.h>

namespace {

// Records the call the watchdog found overdue; a timed-out call's client that
// never finishes (as one blocked on a lock the library holds).
class Client final : public WatchdogClient {
public:
    void OnCallTimedOut(const WatchedCall&, std::uint32_t) override
    {
        for (;;)
            Sleep(INFINITE);
    }
    void OnCallOverdue(const WatchedCall& call, CallWatchdog&) override
    {
        m_seen = call;
        SetEvent(m_overdue);
    }
    // The call once the watchdog has found it overdue (a second, its notice time).
    WatchedCall WaitForOverdue()
    {
        EXPECT_EQ(WaitForSingleObject(m_overdue, 10000), WAIT_OBJECT_0) << "never found overdue";
        return m_seen;
    }
    ~Client() { CloseHandle(m_overdue); }

private:
    HANDLE m_overdue = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WatchedCall m_seen;
};

CallRecord Call(Operation operation)
{
    CallRecord call;
    call.operation = operation;
    return call;
}

TEST(CallWatchdog, ARunningCallIsClaimedOnce)
{
    Client client;
    CallWatchdog watchdog(nullptr);
    ASSERT_TRUE(watchdog.Start(client, 0, 1));
    watchdog.BeforeCall(Call(Operation::readCard));
    const WatchedCall call = client.WaitForOverdue();
    EXPECT_EQ(call.operation, Operation::readCard);
    EXPECT_TRUE(watchdog.StillRunning(call));
    EXPECT_TRUE(watchdog.Claim(call));
    EXPECT_FALSE(watchdog.StillRunning(call)) << "claimed, no longer the running call";
    EXPECT_FALSE(watchdog.Claim(call)) << "claimed once";
    // The calling thread would now wait for ever in OnCall: it is never told.
}

TEST(CallWatchdog, ACallThatReturnedOrWasFollowedIsNotClaimed)
{
    Client client;
    CallWatchdog watchdog(nullptr);
    ASSERT_TRUE(watchdog.Start(client, 0, 1));
    watchdog.BeforeCall(Call(Operation::GetCardInfo));
    const WatchedCall call = client.WaitForOverdue();
    watchdog.OnCall(Call(Operation::GetCardInfo));  // returns: nothing claimed it
    EXPECT_FALSE(watchdog.StillRunning(call));
    EXPECT_FALSE(watchdog.Claim(call)) << "returned: the notice only closes";
    watchdog.BeforeCall(Call(Operation::GetCardInfo));
    EXPECT_FALSE(watchdog.Claim(call)) << "a newer call of the same operation runs";
    watchdog.OnCall(Call(Operation::GetCardInfo));  // and returns, unclaimed
}

// The timeout's client never finishes: the deadline ends the process with its status.
TEST(CallWatchdogDeathTest, AClaimedCallsDeadlineEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Client client;
            CallWatchdog watchdog(nullptr);
            if (watchdog.Start(client, 1, 0, {300, 5})) {
                watchdog.BeforeCall(Call(Operation::readCard));
                Sleep(20000);  // the library's call, which does not return
            }
            ExitProcess(1);
        },
        ::testing::ExitedWithCode(5), "");
}

}  // namespace
