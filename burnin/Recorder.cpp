#include "Recorder.h"

#include <cinttypes>
#include <cstring>

#include "LibraryText.h"
#include "TextLength.h"
#include "Utf8.h"

namespace {

// A text the library wrote into a buffer of `size` bytes (up to its NUL), decoded
// from the ANSI code page exactly as the console's messages decode it, as UTF-8.
template <class Text>
void AppendLibraryTextUtf8(Text& out, const char* buffer, std::size_t size)
{
    Message decoded;
    AppendLibraryText(decoded, buffer, size);
    AppendUtf8(out, decoded.c_str(), decoded.size());
}

// The card-information read asks for this many fields each cycle.
constexpr std::uint32_t kCardInfoCallsPerCycle = 11;
// Reservations stop here: a longer run's figures grow as they go (and show in the
// memory samples); ten million cycles already reserve about 700 MB.
constexpr std::uint32_t kMaxReservedCycles = 10000000;


// The buffer that holds the call's text: the error text of GetCardInfo, the only one otherwise.
const CallBuffer* TextBuffer(const CallRecord& call)
{
    for (std::size_t i = 0; i < call.bufferCount; ++i) {
        if (call.buffers[i].role != BufferRole::Value)
            return &call.buffers[i];
    }
    return nullptr;
}

ModuleUtf8 ModuleName(std::uintptr_t base)
{
    ModuleUtf8 out;
    Message name;
    if (base != 0 && AppendModuleName(name, base))
        AppendUtf8(out, name.c_str(), name.size());
    return out;
}

LibraryUtf8 PhotoSummary(std::size_t length, const char* sha256)
{
    LibraryUtf8 summary;
    summary.AppendFormat("%zu characters, SHA-256 %s", length, sha256);
    return summary;
}

template <std::size_t Capacity>
bool SameText(const NarrowText<Capacity>& a, const NarrowText<Capacity>& b)
{
    return a.size() == b.size() && std::memcmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace

bool JudgedByUsualCode(Operation operation)
{
    // getDeviceStatus and readCard answer with a status code whose success value
    // differs from library to library.
    return operation == Operation::getDeviceStatus || operation == Operation::readCard;
}

template <class T>
bool BurnInRecorder::Keep(GrowingArray<T>& items, const T& item)
{
    // Once the heap gave out, nothing grows any more: the figures stay consistent
    // with one another, and say they are incomplete.
    if (m_figures.incomplete)
        return false;
    if (items.Append(item))
        return true;
    m_figures.incomplete = true;
    return false;
}

BurnInRecorder::BurnInRecorder(std::uint32_t cyclesAsked)
{
    const std::size_t cycles = cyclesAsked < kMaxReservedCycles ? cyclesAsked : kMaxReservedCycles;
    for (int i = 0; i < kOperationCount; ++i) {
        const auto operation = static_cast<Operation>(i);
        if (operation == Operation::OpenDevice || operation == Operation::CloseDevice)
            continue;
        OperationFigures& figures = m_figures.operations[i];
        bool reserved =
            figures.durationsUs.Reserve(operation == Operation::GetCardInfo ? cycles * kCardInfoCallsPerCycle : cycles) &&
            figures.cycleDurationUs.Reserve(cycles);
        if (JudgedByUsualCode(operation))
            reserved = reserved && m_codeCalls[i].Reserve(cycles);
        if (!reserved)
            m_figures.incomplete = true;
    }
    if (!m_figures.samples.Reserve(kMaxResourceSamples) || !m_figures.messages.Reserve(kMaxDistinctMessages) ||
        !m_figures.consistency.differences.Reserve(kMaxDifferencesKept))
        m_figures.incomplete = true;
}

void BurnInRecorder::BeginCycle(std::uint32_t index)
{
    m_cycle = index;
    m_read = CycleRead();
    for (int i = 0; i < kOperationCount; ++i) {
        // The open and the close lie outside every cycle.
        const auto operation = static_cast<Operation>(i);
        if (operation == Operation::OpenDevice || operation == Operation::CloseDevice)
            continue;
        OperationFigures& figures = m_figures.operations[i];
        if (index != 0 && figures.cycleDurationUs.size() < index && !m_figures.incomplete &&
            !figures.cycleDurationUs.GrowTo(index, 0.0f))
            m_figures.incomplete = true;
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

void BurnInRecorder::RecordFailedCycle(int operation)
{
    // Where codes are judged by the usual one, these are merged with the calls
    // that returned another code once the run is known (Figures()).
    const bool byCode = JudgedByUsualCode(static_cast<Operation>(operation));
    OperationFigures& figures = m_figures.operations[operation];
    ++(byCode ? m_surelyFailedCalls[operation] : figures.failedCalls);
    GrowingArray<std::uint32_t>& cycles = byCode ? m_surelyFailedCycles[operation] : figures.failedCycles;
    if (m_cycle != 0 && (cycles.empty() || cycles.back() != m_cycle))
        Keep(cycles, m_cycle);
}

void BurnInRecorder::OnCall(const CallRecord& call)
{
    if (call.outcome == nullptr)
        return;
    const Operation operation = call.operation;
    const CallOutcome& outcome = *call.outcome;
    const int index = static_cast<int>(operation);
    OperationFigures& figures = m_figures.operations[index];
    ++figures.calls;

    const auto microseconds = static_cast<float>(static_cast<double>(outcome.durationNanoseconds) / 1000.0);
    Keep(figures.durationsUs, microseconds);
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
        if (group == nullptr && Keep(figures.overrunGroups, OverrunGroup{call.overrunBufferSize, 0, m_cycle}))
            group = &figures.overrunGroups.back();
        if (group != nullptr)
            ++group->count;
    } else if (outcome.raised) {
        failed = true;
        ++figures.faults;
        const ModuleUtf8 module = ModuleName(outcome.moduleBase);
        const std::uintptr_t offset = module.size() == 0 ? outcome.exceptionAddress
                                                          : outcome.exceptionAddress - outcome.moduleBase;
        FaultGroup* group = nullptr;
        for (FaultGroup& g : figures.faultGroups)
            if (g.code == outcome.exceptionCode && g.offset == offset && SameText(g.module, module)) group = &g;
        if (group == nullptr && Keep(figures.faultGroups, FaultGroup{outcome.exceptionCode, module, offset, 0, m_cycle}))
            group = &figures.faultGroups.back();
        if (group != nullptr)
            ++group->count;
    } else {
        ResultCount* result = nullptr;
        for (ResultCount& r : figures.results)
            if (r.code == outcome.result) result = &r;
        if (result == nullptr) {
            ResultCount created;
            created.code = outcome.result;
            created.firstCycle = m_cycle;
            if (const CallBuffer* text = TextBuffer(call))
                AppendLibraryTextUtf8(created.text, text->data, text->size);
            if (Keep(figures.results, created))
                result = &figures.results.back();
        }
        if (result != nullptr)
            ++result->count;
        if (!JudgedByUsualCode(operation) && outcome.result != 0)
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
            if (g.rule == breach.rule && std::strcmp(g.name.c_str(), name) == 0) group = &g;
        if (group == nullptr) {
            BreachGroup created;
            created.rule = breach.rule;
            created.name.Append(name);
            created.firstBefore[0] = breach.before[0];
            created.firstBefore[1] = breach.before[1];
            created.firstAfter[0] = breach.after[0];
            created.firstAfter[1] = breach.after[1];
            created.firstRestored = breach.restored;
            created.firstCycle = m_cycle;
            if (Keep(figures.breachGroups, created))
                group = &figures.breachGroups.back();
        }
        if (group != nullptr)
            ++group->count;
    }

    if (failed)
        RecordFailedCycle(index);
    else if (JudgedByUsualCode(operation))
        Keep(m_codeCalls[index], CodeCall{m_cycle, outcome.result});
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
        if (!m_read.photoHashed)
            m_figures.incomplete = true;  // no read could be compared: say so
    } else if (index < 11) {
        m_read.bytes[index].Clear();
        m_read.bytes[index].Append(value.data, length);
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
            const FieldBytes& bytes = m_read.bytes[kComparedFields[i]];
            m_referenceBytes[i] = bytes;
            consistency.referenceText[i].Clear();
            AppendLibraryTextUtf8(consistency.referenceText[i], bytes.c_str(), bytes.size());
        }
        consistency.photoLength = m_read.photoLength;
        std::memcpy(consistency.photoSha256, sha, sizeof sha);
        return;
    }
    ++consistency.readsCompared;
    bool differed = false;
    auto keep = [&](std::int32_t field, const LibraryUtf8& reference, const LibraryUtf8& seen) {
        differed = true;
        if (consistency.differences.size() < kMaxDifferencesKept)
            Keep(consistency.differences, FieldDifference{m_cycle, field, reference, seen});
    };
    for (std::size_t i = 0; i < kComparedFieldCount; ++i) {
        const FieldBytes& bytes = m_read.bytes[kComparedFields[i]];
        if (!SameText(bytes, m_referenceBytes[i])) {
            LibraryUtf8 seen;
            AppendLibraryTextUtf8(seen, bytes.c_str(), bytes.size());
            keep(kComparedFields[i], consistency.referenceText[i], seen);
        }
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
    MessageCount created;
    AppendUtf8(created.text, message);
    for (MessageCount& kept : m_figures.messages) {
        if (SameText(kept.text, created.text)) {
            ++kept.count;
            return;
        }
    }
    created.count = 1;
    created.firstCycle = m_cycle;
    if (m_figures.messages.size() < kMaxDistinctMessages)
        Keep(m_figures.messages, created);
}

void BurnInRecorder::RecordResources(const ResourceSample& sample)
{
    // The schedule takes fewer; more would be left out of the growth verdict.
    if (m_figures.samples.size() >= kMaxResourceSamples)
        m_figures.incomplete = true;
    else
        Keep(m_figures.samples, sample);
}

void BurnInRecorder::Stop()
{
    m_figures.stopped = true;
}

void BurnInRecorder::JudgeCodes(int operation)
{
    OperationFigures& figures = m_figures.operations[operation];
    // The usual code: the most frequent, the first seen among those tied.
    const ResultCount* usual = nullptr;
    for (const ResultCount& r : figures.results)
        if (usual == nullptr || r.count > usual->count) usual = &r;
    figures.hasUsualCode = usual != nullptr;
    figures.usualCode = usual != nullptr ? usual->code : 0;
    figures.otherCodeCalls = 0;
    for (const ResultCount& r : figures.results)
        if (r.code != figures.usualCode) figures.otherCodeCalls += r.count;

    // The failed calls and their cycles: those that failed anyway and those that
    // returned another code, merged in cycle order.
    figures.failedCalls = m_surelyFailedCalls[operation];
    figures.failedCycles.Clear();
    const GrowingArray<std::uint32_t>& surely = m_surelyFailedCycles[operation];
    const GrowingArray<CodeCall>& calls = m_codeCalls[operation];
    std::size_t s = 0;
    for (const CodeCall& call : calls) {
        if (call.code == figures.usualCode)
            continue;
        ++figures.failedCalls;
        if (call.cycle == 0)
            continue;
        for (; s < surely.size() && surely[s] < call.cycle; ++s)
            if (!figures.failedCycles.Append(surely[s])) m_figures.incomplete = true;
        if (figures.failedCycles.empty() || figures.failedCycles.back() != call.cycle)
            if (!figures.failedCycles.Append(call.cycle)) m_figures.incomplete = true;
    }
    for (; s < surely.size(); ++s)
        if (figures.failedCycles.empty() || figures.failedCycles.back() != surely[s])
            if (!figures.failedCycles.Append(surely[s])) m_figures.incomplete = true;
}

const BurnInFigures& BurnInRecorder::Figures()
{
    for (int i = 0; i < kOperationCount; ++i)
        if (JudgedByUsualCode(static_cast<Operation>(i)))
            JudgeCodes(i);
    return m_figures;
}
