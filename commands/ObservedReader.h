// The reader that tells a CallObserver of every library call it forwards.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CallRecord.h"

// A Reader that tells `observer` of each call before it forwards it to `inner`
// and again once it has returned or raised.
// `guardBytes`: how many inaccessible bytes follow each buffer the commands hand
// out (the allocator's), so that a write there is told as an overrun.
class ObservedReader final : public Reader {
public:
    ObservedReader(Reader& inner, CallObserver& observer, std::size_t guardBytes);

    CallOutcome OpenDevice(std::int32_t port, char* errorText) override;
    CallOutcome CloseDevice(char* errorText) override;
    CallOutcome getDeviceStatus(char* statusText) override;
    CallOutcome readCard(char* statusText) override;
    CallOutcome GetCardInfo(std::int32_t index, char* value, char* errorText) override;
    void NextCallFollows() override { m_nextFollows = true; }

private:
    // The record of one call, told to the observer before it is made: `argument`
    // null when the operation takes none.
    CallRecord Before(Operation operation, const std::int32_t* argument, std::initializer_list<CallBuffer> buffers,
                      bool photo = false);
    // Observes a call of an operation whose only argument is its text buffer.
    CallOutcome TextCall(Operation operation, CallOutcome (Reader::*forward)(char*), char* text);
    // Tells the observer of the call made.
    void Tell(CallRecord& call, const CallOutcome& outcome);

    Reader& m_inner;
    CallObserver& m_observer;
    std::size_t m_guardBytes;
    bool m_nextFollows = false;
};
