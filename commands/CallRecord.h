// Every library call as it returns, for whatever keeps a record of the calls (the
// call log, a burn-in's figures), and the reader that reports them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "Buffers.h"
#include "Reader.h"

// One buffer a call handed the library, as the library left it.
struct CallBuffer {
    const char* role;  // ASCII: "text" (error or status text), "value", "error"
    const char* data;
    std::size_t size;  // the contract's size: 1024, or 102400 for the photo text
};

// One call of the library, valid only during CallObserver::OnCall.
struct CallRecord {
    const char* operation = "";  // ASCII: "OpenDevice", "CloseDevice", "getDeviceStatus", "readCard", "GetCardInfo"
    bool hasArgument = false;    // OpenDevice: the port; GetCardInfo: the field index
    std::int32_t argument = 0;
    const CallOutcome* outcome = nullptr;
    CallBuffer buffers[2] = {};  // in argument order
    std::size_t bufferCount = 0;
    bool photo = false;                 // GetCardInfo(11): buffers[0] is the photo text
    std::size_t overrunBufferSize = 0;  // not 0: the call raised writing past a buffer of this size
};

class CallObserver {
public:
    virtual ~CallObserver() = default;
    // Told of each call right after it returned or raised, before the command
    // looks at its outcome.
    virtual void OnCall(const CallRecord& call) = 0;
};

// A Reader that forwards each call to `inner` and then tells `observer` of it.
// `guardBytes`: how many inaccessible bytes follow each buffer the commands hand
// out (the allocator's), so that a write there is told as an overrun.
class ObservedReader final : public Reader {
public:
    ObservedReader(Reader& inner, CallObserver& observer, std::size_t guardBytes)
        : m_inner(inner), m_observer(observer), m_guardBytes(guardBytes) {}

    CallOutcome OpenDevice(std::int32_t port, char* errorText) override;
    CallOutcome CloseDevice(char* errorText) override;
    CallOutcome getDeviceStatus(char* statusText) override;
    CallOutcome readCard(char* statusText) override;
    CallOutcome GetCardInfo(std::int32_t index, char* value, char* errorText) override;

private:
    // Tells the observer of one call: `argument` null when the operation takes none.
    void Tell(const char* operation, const std::int32_t* argument, const CallOutcome& outcome,
              std::initializer_list<CallBuffer> buffers, bool photo = false);

    Reader& m_inner;
    CallObserver& m_observer;
    std::size_t m_guardBytes;
};

// The size of the buffer among `buffers` that the call wrote past (its fault is a
// write into the guard bytes just after it); 0 when the outcome is no overrun.
std::size_t OverrunBufferSize(const CallOutcome& outcome, std::initializer_list<LibraryBuffer> buffers);
