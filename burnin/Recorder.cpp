#include "Recorder.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "Mervik.h"
#include "LibraryText.h"
#include "ResultMessage.h"
#include "TextLength.h"
#include "Utf8.h"

namespace {

constexpr const char* kOperationNames[kOperationCount] = {
    "OpenDevice", "CloseDevice", "getDeviceStatus", "readCard", "GetCardInfo"};

// The card-information read asks for this many fields each cycle.
constexpr std::uint32_t kCardInfoCallsPerCycle = 11;
// Reservations stop here: a longer run's figures grow as they go (and show in the
// memory samples); ten million cycles already reserve about 700 MB.
constexpr std::uint32_t kMaxReservedCycles = 10000000;

bool FindOperation(const char* name, Operation& operation)
{
    for (int i = 0; i < kOperationCount; ++i) {
        if (std::strcmp(name, kOperationNames[i]) == 0) {
            operation = static_cast<Operation>(i);
            return true;
        }
    }
    return false;
}

bool ZeroIsSuccess(Operation operation)
{
    // getDeviceStatus and readCard answer with a status code: every code is an answer.
    return operation == Operation::OpenDevice || operation == Operation::CloseDevice ||
           operation == Operation::GetCardInfo;
}

// The buffer that holds the call's text: the error text of GetCardInfo, the only one otherwise.
const CallBuffer* TextBuffer(const CallRecord& call)
{
    for (std::size_t i = 0; i < call.bufferCount; ++i) {
        if (std::strcmp(call.buffers[i].role, "value") != 0)
            return &call.buffers[i];
    }
    return nullptr;
}

std::string ModuleName(std::uintptr_t base)
{
    Message name;
    if (base == 0 || !AppendModuleName(name, base))
        return std::string();
    std::string out;
    AppendUtf8(out, name.c_str(), name.size());
    return out;
}

std::string PhotoSummary(std::size_t length, const char* sha256)
{
    char text[128];
    std::snprintf(text, sizeof text, "%zu characters, SHA-256 %s", length, sha256);
    return text;
}

}  // namespace

const char* OperationName(Operation operation)
{
    return kOperationNames[static_cast<int>(operation)];
}

BurnInRecorder::BurnInRecorder(std::uint32_t cyclesAsked)
{
    const std::size_t cycles = cyclesAsked < kMaxReservedCycles ? cyclesAsked : kMaxReservedCycles;
    for (int i = 0; i < kOperationCount; ++i) {
        const auto operation = static_cast<Operation>(i);
        if (operation == Operation::OpenDevice || operation == Operation::CloseDevice)
            continue;
        OperationFigures& figures = m_figures.operations[i];
        figures.durationsUs.reserve(operation == Operation::GetCardInfo ? cycles * kCardInfoCallsPerCycle : cycles);
        figures.cycleDurationUs.reserve(cycles);
    }
    m_figures.samples.reserve(2 + (cyclesAsked / SampleInterval(cyclesAsked)) + 1);
}

void BurnInRecorder::BeginCycle(std::uint32_t index)
{
    m_cycle = index;
    m_read = CycleRead();
    for (OperationFigures& figures : m_figures.operations) {
        if (figures.cycleDurationUs.size() < index && index != 0)
            figures.cycleDurationUs.resize(index, 0.0f);
    }
}

void BurnInRecorder::EndCycle()
{
    if (m_cycle == 0)
        return;
    CompareRead();
    ++m_figures.cyclesDone;
    m_cycle = 0;
}

void BurnInRecorder::RecordFailedCycle(OperationFigures& figures)
{
    ++figures.failedCalls;
    if (m_cycle != 0 && (figures.failedCycles.empty() || figures.failedCycles.back() != m_cycle))
        figures.failedCycles.push_back(m_cycle);
}

void BurnInRecorder::OnCall(const CallRecord& call)
{
    Operation operation;
    if (call.outcome == nullptr || !FindOperation(call.operation, operation))
        return;
    const CallOutcome& outcome = *call.outcome;
    OperationFigures& figures = m_figures.operations[static_cast<int>(operation)];
    ++figures.calls;

    const auto microseconds = static_cast<float>(static_cast<double>(outcome.durationNanoseconds) / 1000.0);
    figures.durationsUs.push_back(microseconds);
    if (m_cycle != 0 && m_cycle <= figures.cycleDurationUs.size())
        figures.cycleDurationUs[m_cycle - 1] += microseconds;
    const auto convention = static_cast<std::size_t>(outcome.convention);
    if (convention < sizeof figures.conventions / sizeof figures.conventions[0])
        ++figures.conventions[convention];

    bool failed = false;
    if (outcome.raised && call.overrunBufferSize != 0) {
        failed = true;
        ++figures.overruns;
        OverrunGroup* group = nullptr;
        for (OverrunGroup& g : figures.overrunGroups)
            if (g.bufferSize == call.overrunBufferSize) group = &g;
        if (group == nullptr) {
            figures.overrunGroups.push_back(OverrunGroup{call.overrunBufferSize, 0, m_cycle});
            group = &figures.overrunGroups.back();
        }
        ++group->count;
    } else if (outcome.raised) {
        failed = true;
        ++figures.faults;
        const std::string module = ModuleName(outcome.moduleBase);
        const std::uintptr_t offset = module.empty() ? outcome.exceptionAddress
                                                     : outcome.exceptionAddress - outcome.moduleBase;
        FaultGroup* group = nullptr;
        for (FaultGroup& g : figures.faultGroups)
            if (g.code == outcome.exceptionCode && g.offset == offset && g.module == module) group = &g;
        if (group == nullptr) {
            figures.faultGroups.push_back(FaultGroup{outcome.exceptionCode, module, offset, 0, m_cycle});
            group = &figures.faultGroups.back();
        }
        ++group->count;
    } else {
        ResultCount* result = nullptr;
        for (ResultCount& r : figures.results)
            if (r.code == outcome.result) result = &r;
        if (result == nullptr) {
            const CallBuffer* text = TextBuffer(call);
            figures.results.push_back(ResultCount{
                outcome.result, 0, text != nullptr ? LibraryTextUtf8(text->data, text->size) : std::string(), m_cycle});
            result = &figures.results.back();
        }
        ++result->count;
        if (ZeroIsSuccess(operation) && outcome.result != 0)
            failed = true;
    }

    const std::size_t breachCount =
        outcome.breachCount < CallOutcome::kMaxBreaches ? outcome.breachCount : CallOutcome::kMaxBreaches;
    for (std::size_t i = 0; i < breachCount; ++i) {
        const ContractBreach& breach = outcome.breaches[i];
        failed = true;
        ++figures.breaches;
        const char* name = breach.name != nullptr ? breach.name : "";
        BreachGroup* group = nullptr;
        for (BreachGroup& g : figures.breachGroups)
            if (g.rule == breach.rule && g.name == name) group = &g;
        if (group == nullptr) {
            BreachGroup created;
            created.rule = breach.rule;
            created.name = name;
            created.firstBefore[0] = breach.before[0];
            created.firstBefore[1] = breach.before[1];
            created.firstAfter[0] = breach.after[0];
            created.firstAfter[1] = breach.after[1];
            created.firstRestored = breach.restored;
            created.firstCycle = m_cycle;
            figures.breachGroups.push_back(created);
            group = &figures.breachGroups.back();
        }
        ++group->count;
    }

    if (failed)
        RecordFailedCycle(figures);
    else if (operation == Operation::GetCardInfo && m_cycle != 0)
        TakeField(call);
}

void BurnInRecorder::TakeField(const CallRecord& call)
{
    if (!call.hasArgument || call.argument < 0 || call.argument > 11 || call.bufferCount == 0)
        return;
    const CallBuffer& value = call.buffers[0];
    const std::size_t length = BoundedLength(value.data, value.size);
    const auto index = static_cast<std::size_t>(call.argument);
    if (call.photo) {
        m_read.photoLength = length;
        m_read.photoHashed = ComputeSha256(value.data, length, m_read.photoHash);
        m_read.got[index] = m_read.photoHashed;
    } else if (index < 11) {
        m_read.bytes[index].assign(value.data, length);
        m_read.got[index] = true;
    }
}

void BurnInRecorder::CompareRead()
{
    bool complete = m_read.got[mervik::kFieldPhoto];
    for (std::int32_t field : kComparedFields)
        complete = complete && m_read.got[field];
    if (!complete)
        return;
    Consistency& consistency = m_figures.consistency;
    char sha[65];
    FormatSha256(m_read.photoHash, sha);
    if (!consistency.haveReference) {
        consistency.haveReference = true;
        consistency.referenceCycle = m_cycle;
        for (std::size_t i = 0; i < kComparedFieldCount; ++i) {
            const std::string& bytes = m_read.bytes[kComparedFields[i]];
            m_referenceBytes[i] = bytes;
            consistency.referenceText[i] = LibraryTextUtf8(bytes.data(), bytes.size());
        }
        consistency.photoLength = m_read.photoLength;
        std::memcpy(consistency.photoSha256, sha, sizeof sha);
        return;
    }
    ++consistency.readsCompared;
    bool differed = false;
    auto keep = [&](std::int32_t field, std::string reference, std::string seen) {
        differed = true;
        if (consistency.differences.size() < kMaxDifferencesKept)
            consistency.differences.push_back(FieldDifference{m_cycle, field, std::move(reference), std::move(seen)});
    };
    for (std::size_t i = 0; i < kComparedFieldCount; ++i) {
        const std::string& bytes = m_read.bytes[kComparedFields[i]];
        if (bytes != m_referenceBytes[i])
            keep(kComparedFields[i], consistency.referenceText[i], LibraryTextUtf8(bytes.data(), bytes.size()));
    }
    if (m_read.photoLength != consistency.photoLength || std::strcmp(sha, consistency.photoSha256) != 0)
        keep(mervik::kFieldPhoto, PhotoSummary(consistency.photoLength, consistency.photoSha256),
             PhotoSummary(m_read.photoLength, sha));
    if (differed)
        ++consistency.readsDiffered;
}

void BurnInRecorder::RecordMessage(const wchar_t* message)
{
    ++m_figures.messageCount;
    const std::string text = Utf8FromWide(message);
    for (MessageCount& kept : m_figures.messages) {
        if (kept.text == text) {
            ++kept.count;
            return;
        }
    }
    if (m_figures.messages.size() < kMaxDistinctMessages)
        m_figures.messages.push_back(MessageCount{text, 1, m_cycle});
}

void BurnInRecorder::RecordResources(const ResourceSample& sample)
{
    m_figures.samples.push_back(sample);
}

void BurnInRecorder::Stop()
{
    m_figures.stopped = true;
}

namespace {

void AddReason(RunVerdict& verdict, const char* format, std::uint64_t count, const char* what)
{
    char text[160];
    std::snprintf(text, sizeof text, format, count, what);
    verdict.reasons.push_back(text);
    verdict.failed = true;
}

}  // namespace

RunVerdict JudgeRun(const BurnInFigures& figures)
{
    RunVerdict verdict;
    verdict.stopped = figures.stopped;
    for (int i = 0; i < kOperationCount; ++i) {
        const OperationFigures& op = figures.operations[i];
        const char* name = kOperationNames[i];
        if (op.faults != 0)
            AddReason(verdict, "%" PRIu64 " %s call(s) raised an exception", op.faults, name);
        if (op.overruns != 0)
            AddReason(verdict, "%" PRIu64 " %s call(s) wrote past a buffer", op.overruns, name);
        if (op.breaches != 0)
            AddReason(verdict, "%" PRIu64 " calling-contract breach(es) by %s", op.breaches, name);
        // Calls that returned a failure code, where 0 is success.
        if (ZeroIsSuccess(static_cast<Operation>(i))) {
            std::uint64_t codes = 0;
            for (const ResultCount& r : op.results)
                if (r.code != 0) codes += r.count;
            if (codes != 0)
                AddReason(verdict, "%" PRIu64 " %s call(s) returned a failure code", codes, name);
        }
    }
    if (figures.consistency.readsDiffered != 0)
        AddReason(verdict, "%" PRIu64 " card read(s) differed from the first%s", figures.consistency.readsDiffered, "");
    static const char* const kLeakNames[kResourceCount] = {
        "committed memory", "handles", "GDI objects", "USER objects"};
    for (int r = 0; r < kResourceCount; ++r) {
        const auto resource = static_cast<Resource>(r);
        if (JudgeGrowth(figures.samples, resource, LeakRule(resource)).verdict == GrowthVerdict::Leak) {
            verdict.reasons.push_back(std::string(kLeakNames[r]) + " grew steadily (a leak)");
            verdict.failed = true;
        }
    }
    return verdict;
}

int BurnInExitCode(const RunVerdict& verdict)
{
    if (verdict.failed)
        return 1;
    return verdict.stopped ? 4 : 0;
}
