// What a burn-in run records: every library call the console makes, grouped by
// operation, the card read's consistency from cycle to cycle, the messages a
// press would have shown and the process's resources.
//
// The figures live in standard containers: the program is built without
// exceptions, so a failed allocation ends the process (std::bad_alloc calls
// abort), which is the right end for a test console that ran out of memory.
// The storage that grows with every call is reserved when the run starts, so
// that the recorder's own memory does not show as growth between samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CallRecord.h"
#include "Resources.h"
#include "Sha256.h"

enum class Operation : std::uint8_t { OpenDevice, CloseDevice, getDeviceStatus, readCard, GetCardInfo };
constexpr int kOperationCount = 5;
// The library's name of `operation`, ASCII.
const char* OperationName(Operation operation);

// Cycles are numbered from 1; calls outside any cycle (the open before the
// first, the close after the last) carry cycle 0.
struct ResultCount {
    std::int32_t code = 0;
    std::uint64_t count = 0;
    std::string text;  // the library's text with the first call that returned it, UTF-8
    std::uint32_t firstCycle = 0;
};

struct FaultGroup {
    std::uint32_t code = 0;
    std::string module;           // the module's file name, UTF-8; empty when the address lies in none
    std::uintptr_t offset = 0;    // into the module; the address itself when there is none
    std::uint64_t count = 0;
    std::uint32_t firstCycle = 0;
};

struct OverrunGroup {
    std::size_t bufferSize = 0;
    std::uint64_t count = 0;
    std::uint32_t firstCycle = 0;
};

struct BreachGroup {
    ContractRule rule = ContractRule::Register;
    std::string name;  // ASCII, from the guard
    std::uint64_t count = 0;
    std::uint64_t firstBefore[2] = {};
    std::uint64_t firstAfter[2] = {};
    bool firstRestored = false;
    std::uint32_t firstCycle = 0;
};

struct OperationFigures {
    std::uint64_t calls = 0;
    std::uint64_t failedCalls = 0;  // raised, overran, broke the contract, or (where 0 is success) returned another code
    std::uint64_t faults = 0;       // raised, overruns not included
    std::uint64_t overruns = 0;
    std::uint64_t breaches = 0;     // rules broken, over all calls
    std::vector<ResultCount> results;  // in the order first seen
    std::vector<FaultGroup> faultGroups;
    std::vector<OverrunGroup> overrunGroups;
    std::vector<BreachGroup> breachGroups;
    std::uint64_t conventions[5] = {};      // by Convention
    std::vector<float> durationsUs;        // every call, in microseconds
    std::vector<float> cycleDurationUs;    // [cycle - 1]: the time of the cycle's calls added up
    std::vector<std::uint32_t> failedCycles;  // each cycle with a failed call, once, ascending
};

// The card fields compared from read to read, by index.
constexpr std::int32_t kComparedFields[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10};
constexpr std::size_t kComparedFieldCount = sizeof kComparedFields / sizeof kComparedFields[0];
constexpr std::size_t kMaxDifferencesKept = 10;

struct FieldDifference {
    std::uint32_t cycle = 0;
    std::int32_t field = 0;  // the index; 11: the photo, shown by length and hash
    std::string reference;   // UTF-8
    std::string seen;
};

struct Consistency {
    bool haveReference = false;  // a cycle had all eleven fields returned
    std::uint32_t referenceCycle = 0;
    std::string referenceText[kComparedFieldCount];  // decoded, UTF-8
    std::size_t photoLength = 0;                     // characters of the photo's base64 text
    char photoSha256[65] = {};                       // of that text
    std::uint64_t readsCompared = 0;                 // complete reads after the reference
    std::uint64_t readsDiffered = 0;
    std::vector<FieldDifference> differences;  // the first kMaxDifferencesKept
};

struct MessageCount {
    std::string text;  // UTF-8
    std::uint64_t count = 0;
    std::uint32_t firstCycle = 0;
};
constexpr std::size_t kMaxDistinctMessages = 32;

struct BurnInFigures {
    OperationFigures operations[kOperationCount];
    Consistency consistency;
    std::vector<ResourceSample> samples;
    std::vector<MessageCount> messages;  // distinct texts, the first kMaxDistinctMessages
    std::uint64_t messageCount = 0;      // all, kept or not
    std::uint32_t cyclesDone = 0;
    bool stopped = false;
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
    void OnCall(const CallRecord& call) override;
    // A message a press would have shown the operator.
    void RecordMessage(const wchar_t* message);
    void RecordResources(const ResourceSample& sample);
    // The operator stopped the run.
    void Stop();

    const BurnInFigures& Figures() const { return m_figures; }

private:
    struct CycleRead {
        bool got[12] = {};
        std::string bytes[11];  // the fields as the library wrote them, indices 0-10
        std::size_t photoLength = 0;
        Sha256Digest photoHash;
        bool photoHashed = false;
    };
    void RecordFailedCycle(OperationFigures& figures);
    void TakeField(const CallRecord& call);
    void CompareRead();

    BurnInFigures m_figures;
    std::uint32_t m_cycle = 0;  // 0: between cycles
    CycleRead m_read;
    std::string m_referenceBytes[kComparedFieldCount];
};

// Whether the run passed: every reason it failed, in words (UTF-8, English).
struct RunVerdict {
    bool failed = false;
    bool stopped = false;
    std::vector<std::string> reasons;
};
RunVerdict JudgeRun(const BurnInFigures& figures);

// The exit status of a burn-in: 1 when it found a failure, else 4 when the
// operator stopped it, else 0. (3, a report not written, is the caller's.)
int BurnInExitCode(const RunVerdict& verdict);
