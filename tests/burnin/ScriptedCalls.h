// Tells a burn-in recorder of made-up library calls, with buffers as a library
// would leave them: for the recorder's tests and the sample report.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "Mervik.h"
#include "Recorder.h"

struct ScriptedCall {
    Operation operation = Operation::getDeviceStatus;
    std::int32_t result = 0;
    std::string text;            // the status or error text, bytes as the library wrote them
    std::int32_t argument = -1;  // GetCardInfo's field, OpenDevice's port
    std::string value;           // GetCardInfo's value
    std::uint64_t nanoseconds = 1000;
    bool raised = false;
    std::uint32_t exceptionCode = 0;
    std::uintptr_t address = 0, moduleBase = 0;
    std::uintptr_t raisedAddress = 0, raisedModuleBase = 0;  // a software exception's raising place
    std::size_t overrun = 0;
    std::vector<ContractBreach> breaches;
    Convention convention = Convention::Stdcall;
};

inline void Tell(CallObserver& observer, const ScriptedCall& s)
{
    const bool cardInfo = s.operation == Operation::GetCardInfo;
    const bool photo = cardInfo && s.argument == mervik::kFieldPhoto;
    std::vector<char> text(mervik::kTextBufferSize, 0);
    std::vector<char> value(photo ? mervik::kPhotoTextBufferSize : mervik::kTextBufferSize, 0);
    std::memcpy(text.data(), s.text.data(), std::min(s.text.size(), text.size()));
    std::memcpy(value.data(), s.value.data(), std::min(s.value.size(), value.size()));

    CallOutcome outcome = CallOutcome::Returned(s.result);
    outcome.raised = s.raised;
    outcome.exceptionCode = s.exceptionCode;
    outcome.exceptionAddress = s.address;
    outcome.moduleBase = s.moduleBase;
    outcome.raisedAddress = s.raisedAddress;
    outcome.raisedModuleBase = s.raisedModuleBase;
    outcome.durationNanoseconds = s.nanoseconds;
    outcome.convention = s.raised ? Convention::Unknown : s.convention;
    for (const ContractBreach& b : s.breaches)
        outcome.breaches[outcome.breachCount++] = b;

    CallRecord call;
    call.operation = s.operation;
    call.hasArgument = s.argument >= 0;
    call.argument = s.argument;
    call.outcome = &outcome;
    if (cardInfo) {
        call.buffers[0] = {BufferRole::Value, value.data(), value.size()};
        call.buffers[1] = {BufferRole::Error, text.data(), text.size()};
        call.bufferCount = 2;
    } else {
        call.buffers[0] = {BufferRole::Text, text.data(), text.size()};
        call.bufferCount = 1;
    }
    call.photo = photo;
    call.overrunBufferSize = s.overrun;
    observer.OnCall(call);
}

// A fixed or growing text, and a growing array, as standard ones for comparing.
template <class Text>
std::string Str(const Text& text)
{
    return std::string(text.c_str(), text.size());
}
template <class T>
std::vector<T> Vec(const GrowingArray<T>& items)
{
    return std::vector<T>(items.begin(), items.end());
}
inline std::string Str(TextView text) { return std::string(text.data, text.size); }
// The cycles the kept ranges hold, one by one.
inline std::vector<std::uint32_t> Vec(const CycleRanges& ranges)
{
    std::vector<std::uint32_t> cycles;
    for (const CycleRange& range : ranges)
        for (std::uint64_t cycle = range.first; cycle <= range.last; ++cycle)
            cycles.push_back(static_cast<std::uint32_t>(cycle));
    return cycles;
}
// Each column's mean: each cycle's value while the series has a column per cycle.
inline std::vector<float> Vec(const FoldedSeries& series)
{
    std::vector<float> means;
    for (std::size_t c = 0; c < series.columns(); ++c)
        means.push_back(static_cast<float>(series[c].sum / static_cast<double>(series[c].cycles)));
    return means;
}

// The sample card's fields 0-8 and 10 (ASCII: the same bytes in every code page).
inline std::string CardField(std::int32_t index)
{
    static const char* const kFields[] = {"Zhang San", "1", "01", "19800101", "1 Example Road", "110101198001010011",
                                          "Example Police", "20200101", "20400101", "", "zp.bmp"};
    return kFields[index];
}

// One complete card-information read: fields 0-8, 10, then the photo.
inline void ReadCard(CallObserver& observer, const std::string& photo, std::uint64_t nanoseconds = 50000)
{
    for (std::int32_t field : kComparedFields) {
        ScriptedCall c;
        c.operation = Operation::GetCardInfo;
        c.argument = field;
        c.value = CardField(field);
        c.nanoseconds = nanoseconds;
        Tell(observer, c);
    }
    ScriptedCall c;
    c.operation = Operation::GetCardInfo;
    c.argument = mervik::kFieldPhoto;
    c.value = photo;
    c.nanoseconds = nanoseconds * 20;
    Tell(observer, c);
}
