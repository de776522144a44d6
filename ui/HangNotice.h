// The console's notice of a library call that has not returned: a small window
// of Zantor's own, shown by the call watchdog's thread while the dialog's thread
// waits inside the library and cannot paint. It names the call, counts the
// seconds, offers to end Zantor (the call log keeps every line written, the
// call's "started" line last), and closes by itself when the call returns. Its
// button ends Zantor only while the call still runs, claiming it as a timeout
// does; once the call has returned, the button just closes the notice.
#pragma once

#include "CallWatchdog.h"

class CallLog;

// The window's class name, for whoever looks for it.
constexpr const wchar_t* kHangNoticeClass = L"ZantorHangNotice";
// The exit status when the operator ends Zantor from the notice, as a burn-in's
// timeout ends it.
constexpr int kExitEndedDuringCall = 5;

class HangNotice final : public WatchdogClient {
public:
    // `log`: the call log, told that the operator ended Zantor; may be null.
    explicit HangNotice(CallLog* log) : m_log(log) {}

    // The console never claims a call: nothing to do.
    void OnCallTimedOut(const WatchedCall&, std::uint32_t) override {}
    // Shows the window until the call returns or the operator closes it.
    void OnCallOverdue(const WatchedCall& call, CallWatchdog& watchdog) override;

private:
    CallLog* m_log;
};
