// What a burn-in run records: every library call the console makes, grouped by
// operation, the card read's consistency from cycle to cycle, the messages a
// press would have shown and the process's resources.
//
// Texts are kept in fixed buffers sized from what goes in, and what grows with
// the run in growing arrays. The storage that grows with every call is reserved
// when the run starts, so that the recorder's own memory does not show as growth
// between samples. When the heap gives no more, the recorder stops growing and
// the figures say they are incomplete: the run then fails.
#pragma once

#include <cstdint>

#include "BoundedText.h"
#include "CallRecord.h"
#include "Growing.h"
#include "Message.h"
#include "Mervik.h"
#include "Resources.h"
#include "Sha256.h"

// A library text in UTF-8: at most kTextBufferSize bytes (a buffer left without
// its NUL), each decoded to at most one UTF-16 unit, which takes at most three
// UTF-8 bytes (a pair takes two units and four bytes).
using LibraryUtf8 = NarrowText<3 * mervik::kTextBufferSize + 1>;
// A module's file name in UTF-8: at most 255 UTF-16 units.
constexpr std::size_t kModuleUtf8Capacity = 3 * 255 + 1;
using ModuleUtf8 = NarrowText<kModuleUtf8Capacity>;
// A message a press would have shown, in UTF-8.
using MessageUtf8 = NarrowText<3 * (kMessageCapacity - 1) + 1>;
// The library's bytes of one card field: at most its buffer, when it wrote no NUL.
using FieldBytes = NarrowText<mervik::kTextBufferSize + 1>;

// Cycles are numbered from 1; calls outside any cycle (the open before the
// first, the close after the last) carry cycle 0.
struct ResultCount {
    std::int32_t code = 0;
    std::uint64_t count = 0;
    LibraryUtf8 text;  // the library's text with the first call that returned it
    std::uint32_t firstCycle = 0;
};

struct FaultGroup {
    std::uint32_t code = 0;
    ModuleUtf8 module;            // the module's file name; empty when the address lies in none
    std::uintptr_t offset = 0;    // into the module; the address itself when there is none
    std::uint64_t count = 0;
    std::uint32_t firstCycle = 0;
    // A software exception placed at its return address into the library: where
    // the group's first was raised, as module and offset (or the address) above.
    bool software = false;
    ModuleUtf8 raisedModule;
    std::uintptr_t raisedOffset = 0;
};

struct OverrunGroup {
    std::size_t bufferSize = 0;
    std::uint64_t count = 0;
    std::uint32_t firstCycle = 0;
};

struct BreachGroup {
    ContractRule rule = ContractRule::Register;
    NarrowText<32> name;  // ASCII, from the guard ("EBX", "XMM15", "DF")
    std::uint64_t count = 0;
    std::uint64_t firstBefore[2] = {};
    std::uint64_t firstAfter[2] = {};
    bool firstRestored = false;
    std::uint32_t firstCycle = 0;
};

// Whether the operation's codes are judged by the code it returned most often
// (getDeviceStatus and readCard, whose success code differs from library to
// library) rather than by 0 meaning success.
bool JudgedByUsualCode(Operation operation);

struct OperationFigures {
    std::uint64_t calls = 0;
    // Raised, overran, broke the contract, or returned another code than 0 or,
    // where JudgedByUsualCode, than the usual one.
    std::uint64_t failedCalls = 0;
    std::uint64_t faults = 0;       // raised, overruns not included
    std::uint64_t overruns = 0;
    std::uint64_t breaches = 0;     // rules broken, over all calls
    // Where JudgedByUsualCode and a call returned: the code returned most often
    // (the first seen of those tied), and how many calls returned another.
    bool hasUsualCode = false;
    std::int32_t usualCode = 0;
    std::uint64_t otherCodeCalls = 0;
    GrowingArray<ResultCount> results;  // in the order first seen
    GrowingArray<FaultGroup> faultGroups;
    GrowingArray<OverrunGroup> overrunGroups;
    GrowingArray<BreachGroup> breachGroups;
    std::uint64_t conventions[5] = {};      // by Convention
    GrowingArray<float> durationsUs;        // every call, in microseconds
    GrowingArray<float> cycleDurationUs;    // [cycle - 1]: the time of the cycle's calls added up
    GrowingArray<std::uint32_t> failedCycles;  // each cycle with a failed call, once, ascending
};

// The card fields compared from read to read, by index.
constexpr std::int32_t kComparedFields[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10};
constexpr std::size_t kComparedFieldCount = sizeof kComparedFields / sizeof kComparedFields[0];
constexpr std::size_t kMaxDifferencesKept = 10;

struct FieldDifference {
    std::uint32_t cycle = 0;
    std::int32_t field = 0;  // the index; 11: the photo, shown by length and hash
    LibraryUtf8 reference;
    LibraryUtf8 seen;
};

struct Consistency {
    bool haveReference = false;  // a cycle had all eleven fields returned
    std::uint32_t referenceCycle = 0;
    LibraryUtf8 referenceText[kComparedFieldCount];  // decoded
    std::size_t photoLength = 0;                     // characters of the photo's base64 text
    char photoSha256[65] = {};                       // of that text
    std::uint64_t readsCompared = 0;                 // complete reads after the reference
    std::uint64_t readsDiffered = 0;
    GrowingArray<FieldDifference> differences;  // the first kMaxDifferencesKept
};

struct MessageCount {
    MessageUtf8 text;
    std::uint64_t count = 0;
    std::uint32_t firstCycle = 0;
};
constexpr std::size_t kMaxDistinctMessages = 32;

struct BurnInFigures {
    OperationFigures operations[kOperationCount];
    Consistency consistency;
    GrowingArray<ResourceSample> samples;  // the first kMaxResourceSamples
    GrowingArray<MessageCount> messages;   // distinct texts, the first kMaxDistinctMessages
    std::uint64_t messageCount = 0;        // all, kept or not
    std::uint32_t cyclesDone = 0;
    bool stopped = false;
    bool incomplete = false;  // memory ran out: something was not recorded
};

class BurnInRecorder final : public CallObserver {
public:
    // `cyclesAsked`: how many cycles the run will make, for reserving the storage.
    explicit BurnInRecorder(std::uint32_t cyclesAsked);
    BurnInRecorder(const BurnInRecorder&) = delete;
    BurnInRecorder& operator=(const BurnInRecorder&) = delete;

    // Cycle `index` (1, 2, ...) starts; its calls follow, then EndCycle.
    void BeginCycle(std::uint32_t index);
    // The cycle is over: its card read is compared with the reference.
    void EndCycle();
    // The run was stopped before the cycle finished: its calls stay counted, the
    // cycle does not count as done and its card read is not compared. Between
    // cycles it does nothing.
    void AbandonCycle() { m_cycle = 0; }
    void OnCall(const CallRecord& call) override;
    // A message a press would have shown the operator.
    void RecordMessage(const wchar_t* message);
    void RecordResources(const ResourceSample& sample);
    // The operator stopped the run.
    void Stop();

    // The figures so far, those that depend on the whole run (the usual codes and
    // the calls that returned another) worked out now.
    const BurnInFigures& Figures();

private:
    struct CycleRead {
        bool got[12] = {};
        FieldBytes bytes[11];  // the fields as the library wrote them, indices 0-10
        std::size_t photoLength = 0;
        Sha256Digest photoHash;
        bool photoHashed = false;
    };
    // A call that returned a code and failed in no other way, of an operation
    // JudgedByUsualCode: failed or not once the usual code is known.
    struct CodeCall {
        std::uint32_t cycle;
        std::int32_t code;
    };
    template <class T>
    bool Keep(GrowingArray<T>& items, const T& item);
    void RecordFailedCycle(int operation);
    void TakeField(const CallRecord& call);
    void CompareRead();
    void JudgeCodes(int operation);

    BurnInFigures m_figures;
    std::uint32_t m_cycle = 0;  // 0: between cycles
    CycleRead m_read;
    FieldBytes m_referenceBytes[kComparedFieldCount];
    // Where JudgedByUsualCode: the calls that failed whatever their code, and the
    // cycles holding one; the others by code.
    std::uint64_t m_surelyFailedCalls[kOperationCount] = {};
    GrowingArray<std::uint32_t> m_surelyFailedCycles[kOperationCount];
    GrowingArray<CodeCall> m_codeCalls[kOperationCount];
};
