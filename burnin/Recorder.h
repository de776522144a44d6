// What a burn-in run records: every library call the console makes, grouped by
// operation, the card read's consistency from cycle to cycle, the messages a
// press would have shown and the process's resources.
//
// Nothing here grows with the number of cycles: durations are counted in a
// histogram, the per-cycle series folded into a fixed number of columns, the
// failed cycles kept as ranges (the first ones), and codes, fault places and
// breaches grouped up to a fixed number of groups, the rest counted. Texts are
// kept in fixed buffers sized from what goes in, or once each in a text pool.
// The fixed parts are taken from the heap when the recorder is made; when the
// heap gives no more, the recorder stops growing and the figures say they are
// incomplete: the run then fails.
#pragma once

#include <cstdint>

#include "BoundedText.h"
#include "CallRecord.h"
#include "CycleSeries.h"
#include "Growing.h"
#include "Histogram.h"
#include "Message.h"
#include "Mervik.h"
#include "Resources.h"
#include "Sha256.h"
#include "SuccessCodes.h"

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

// A text kept in the figures' text pool: where it starts there, and its bytes.
struct PooledText {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};
struct TextView {
    const char* data;
    std::size_t size;
};

// The texts the groups name (library texts, module names), each distinct one
// once, outside the group records: a group holds only where its text lies. At
// most a text per group is kept, so the pool is bounded as the groups are.
class TextPool {
public:
    // Keeps the `size` bytes at `text` (an equal text kept before is shared) and
    // says where in `kept`; false, `kept` empty, when the heap had no room.
    bool Keep(const char* text, std::size_t size, PooledText& kept);
    TextView View(const PooledText& text) const { return {m_bytes.c_str() + text.offset, text.size}; }
    bool Same(const PooledText& kept, const char* text, std::size_t size) const;

private:
    GrowingText m_bytes;
    GrowingArray<PooledText> m_kept;
};

// Each operation keeps the first kMaxGroups distinct result codes, fault places,
// overrun buffer sizes and breach kinds as groups; the calls (for breaches: the
// rules broken) past them are counted as others. A library that answers with a
// counter fills the groups and then only the count of others grows.
constexpr std::size_t kMaxGroups = 64;

// Cycles are numbered from 1; calls outside any cycle (the open before the
// first, the close after the last) carry cycle 0.
struct ResultCount {
    std::int32_t code = 0;
    std::uint64_t count = 0;
    PooledText text;  // the library's text with the first call that returned it
    std::uint32_t firstCycle = 0;
};

struct FaultGroup {
    std::uint32_t code = 0;
    PooledText module;            // the module's file name; empty when the address lies in none
    std::uintptr_t offset = 0;    // into the module; the address itself when there is none
    std::uint64_t count = 0;
    std::uint32_t firstCycle = 0;
    // A software exception placed at its return address into the library: where
    // the group's first was raised, as module and offset (or the address) above.
    bool software = false;
    PooledText raisedModule;
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

struct OperationFigures {
    std::uint64_t calls = 0;
    // Raised, overran, broke the contract, or returned a code outside the
    // operation's success codes.
    std::uint64_t failedCalls = 0;
    std::uint64_t faults = 0;       // raised, overruns not included
    std::uint64_t overruns = 0;
    std::uint64_t breaches = 0;     // rules broken, over all calls
    std::uint64_t failureCodeCalls = 0;  // returned a code outside the success codes
    GrowingArray<ResultCount> results;  // the first kMaxGroups codes, in the order first seen
    GrowingArray<FaultGroup> faultGroups;
    GrowingArray<OverrunGroup> overrunGroups;
    GrowingArray<BreachGroup> breachGroups;
    // Past the groups: the calls that returned another code, raised elsewhere or
    // overran another buffer, and the rules broken in other ways.
    std::uint64_t resultOthers = 0;
    std::uint64_t faultOthers = 0;
    std::uint64_t overrunOthers = 0;
    std::uint64_t breachOthers = 0;
    std::uint64_t conventions[5] = {};  // by Convention
    DurationHistogram durations;        // every call
    // Each cycle's calls' time added up, in microseconds (getDeviceStatus, readCard
    // and GetCardInfo: the open and the close lie outside every cycle).
    FoldedSeries cycleDurations;
    CycleRanges failedCycles;  // the cycles with a failed call
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

// The reference is the complete read seen most often (the first seen among those
// tied), so that one garbled read does not make every good read differ. The
// first kMaxReadVariants distinct complete reads are kept with their counts; a
// read unlike all of them counts as one that differed.
constexpr std::size_t kMaxReadVariants = 16;

struct Consistency {
    bool haveReference = false;  // a cycle had all eleven fields returned
    std::uint32_t referenceCycle = 0;                // the first cycle that read the reference
    std::uint64_t referenceReads = 0;                // complete reads equal to it
    LibraryUtf8 referenceText[kComparedFieldCount];  // decoded
    std::size_t photoLength = 0;                     // characters of the photo's base64 text
    char photoSha256[65] = {};                       // of that text
    std::uint64_t readsCompared = 0;                 // complete reads but the reference's first
    std::uint64_t readsDiffered = 0;                 // complete reads unlike the reference
    // The first kMaxDifferencesKept, each distinct read once, at the first cycle that read it.
    GrowingArray<FieldDifference> differences;
};

struct MessageCount {
    MessageUtf8 text;
    std::uint64_t count = 0;
    std::uint32_t firstCycle = 0;
};
constexpr std::size_t kMaxDistinctMessages = 32;

struct BurnInFigures {
    OperationFigures operations[kOperationCount];
    SuccessCodes success;  // the codes the calls were judged by
    TextPool texts;        // the groups' texts
    Consistency consistency;
    // The samples taken while the device was open (from just after OpenDevice to
    // just before CloseDevice), the first kMaxResourceSamples: the leak verdict
    // is judged on these alone, so that what a session allocates once is no
    // growth and what CloseDevice frees hides no leak.
    GrowingArray<ResourceSample> samples;
    // The last sample before the device was opened and the first after it was
    // closed, when taken: what the open and the close themselves changed.
    bool haveBeforeOpen = false, haveAfterClose = false;
    ResourceSample beforeOpen, afterClose;
    GrowingArray<MessageCount> messages;   // distinct texts, the first kMaxDistinctMessages
    std::uint64_t messageCount = 0;        // all, kept or not
    std::uint32_t cyclesDone = 0;
    bool stopped = false;
    bool incomplete = false;  // memory ran out: something was not recorded
};

class BurnInRecorder final : public CallObserver {
public:
    // Takes the fixed storage from the heap (the figures are incomplete when it
    // refuses); nothing is kept per cycle. `success`: the codes that count as success.
    explicit BurnInRecorder(const SuccessCodes& success = SuccessCodes());
    BurnInRecorder(const BurnInRecorder&) = delete;
    BurnInRecorder& operator=(const BurnInRecorder&) = delete;

    // Cycle `index` (1, 2, ...) starts; its calls follow, then EndCycle.
    void BeginCycle(std::uint32_t index);
    // The cycle is over: its card read is compared with the reference.
    void EndCycle();
    // The run was stopped before the cycle finished: its calls stay counted, the
    // cycle does not count as done and its card read is not compared. Between
    // cycles it does nothing.
    void AbandonCycle();
    // OpenDevice and CloseDevice mark the device open and closed for the
    // resource samples; a cycle's start marks it open too.
    void OnCall(const CallRecord& call) override;
    // A message a press would have shown the operator.
    void RecordMessage(const wchar_t* message);
    // A sample of the process's resources: kept as taken before the open, while
    // the device was open, or after the close, by the calls seen so far.
    void RecordResources(const ResourceSample& sample);
    // The operator stopped the run.
    void Stop();

    // The figures so far.
    const BurnInFigures& Figures() const { return m_figures; }

private:
    struct CycleRead {
        bool got[12] = {};
        FieldBytes bytes[11];  // the fields as the library wrote them, indices 0-10
        std::size_t photoLength = 0;
        Sha256Digest photoHash;
        bool photoHashed = false;
    };
    // One distinct complete read: the fields as the library wrote them.
    struct ReadVariant {
        FieldBytes bytes[kComparedFieldCount];
        std::size_t photoLength = 0;
        Sha256Digest photoHash;
        std::uint64_t count = 0;
        std::uint32_t firstCycle = 0;
    };
    enum class DeviceState : std::uint8_t { NotOpened, Open, Closed };
    template <class T>
    bool Keep(GrowingArray<T>& items, const T& item);
    // Appends a new group: where it went, null when there was no room.
    template <class T>
    T* AddGroup(GrowingArray<T>& groups, const T& group);
    // A call counted in its group (made while there is room) or among the others.
    void CountOverrun(OperationFigures& figures, std::size_t bufferSize);
    void CountFault(OperationFigures& figures, const CallOutcome& outcome);
    // True when the code is no success.
    bool CountResult(OperationFigures& figures, const CallRecord& call);
    void CountBreach(OperationFigures& figures, const ContractBreach& breach);
    // A difference appended with its cycle and field, its texts for the caller to
    // fill; null when the differences are full or there was no room.
    FieldDifference* AddDifference(std::uint32_t cycle, std::int32_t field);
    void RecordFailedCycle(int operation);
    // The open cycle's time per operation goes into the series.
    void FoldCycle();
    void TakeField(const CallRecord& call);
    void CompareRead();
    // The most frequent read becomes the reference; `added`: a distinct read was just kept.
    void ChooseReference(bool added);

    BurnInFigures m_figures;
    std::uint32_t m_cycle = 0;  // 0: between cycles
    CycleRead m_read;
    GrowingArray<ReadVariant> m_variants;  // in the order first read, reserved at the start
    std::size_t m_reference = 0;           // into m_variants, when there is one
    DeviceState m_device = DeviceState::NotOpened;
    double m_cycleUs[kOperationCount] = {};     // the open cycle's time per operation
    bool m_cycleFailed[kOperationCount] = {};   // and whether it held a failed call
};
