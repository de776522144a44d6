// Every library call as it returns, for whatever keeps a record of the calls (the
// call log, a burn-in's figures).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "Buffers.h"
#include "Reader.h"

// The library's five operations, in the order of its declaration.
enum class Operation : std::uint8_t { OpenDevice, CloseDevice, getDeviceStatus, readCard, GetCardInfo };
constexpr int kOperationCount = 5;
// The library's name of `operation`, ASCII.
const char* OperationName(Operation operation);
// The convention a call's return showed, ASCII, as the call log and the report
// write it: "x64", "stdcall", "cdecl", "unbalanced", "unknown" (it raised).
const char* ConventionName(Convention convention);

// What a buffer handed to the library is for.
enum class BufferRole : std::uint8_t {
    Text,   // the error or status text of the operations with one buffer
    Value,  // GetCardInfo's field value (the photo text for field 11)
    Error,  // GetCardInfo's error text
};

// One buffer a call handed the library, as the library left it.
struct CallBuffer {
    BufferRole role;
    const char* data;
    std::size_t size;  // the contract's size: 1024, or 102400 for the photo text
};

// One call of the library, valid only during CallObserver::OnCall (and, without
// its outcome, during BeforeCall).
struct CallRecord {
    Operation operation = Operation::OpenDevice;
    bool hasArgument = false;    // OpenDevice: the port; GetCardInfo: the field index
    std::int32_t argument = 0;
    const CallOutcome* outcome = nullptr;
    CallBuffer buffers[2] = {};  // in argument order
    std::size_t bufferCount = 0;
    bool photo = false;                 // GetCardInfo(11): buffers[0] is the photo text
    std::size_t overrunBufferSize = 0;  // not 0: the call raised writing past a buffer of this size
    std::size_t overrunBuffer = 0;      // with overrunBufferSize: that buffer's index in `buffers`
    bool nextFollows = false;  // the command makes its next call at once after a 0 (Reader::NextCallFollows)
};

class CallObserver {
public:
    // Told of each call right after it returned or raised, before the command
    // looks at its outcome.
    virtual void OnCall(const CallRecord& call) = 0;
    // Told of each call just before it is made, so that whatever ends the process
    // inside the library leaves a trace of the call (the call log's "started"
    // line): the operation, its argument and the buffers as the library will find
    // them (`outcome` is null). Nothing by default.
    virtual void BeforeCall(const CallRecord& call) { static_cast<void>(call); }

protected:
    ~CallObserver() = default;  // never destroyed through this interface
};

// The size of the buffer among `buffers` that the call wrote past (its fault is a
// write into the guard bytes just after it); 0 when the outcome is no overrun.
std::size_t OverrunBufferSize(const CallOutcome& outcome, std::initializer_list<LibraryBuffer> buffers);
