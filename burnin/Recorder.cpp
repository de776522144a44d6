#include "Recorder.h"

#include <cinttypes>
#include <cstring>

#include "LibraryText.h"
#include "TextLength.h"
#include "Utf8.h"

namespace {

// UTF-8 written after a fixed text's end, cut as BoundedText::Append cuts: what
// does not fit the room is left out.
struct Utf8Room {
    char* end;
    std::size_t room;
    std::size_t written;
    bool cut;
    void Append(const char* bytes, std::size_t count)
    {
        const std::size_t take = count <= room - written ? count : room - written;
        std::memcpy(end + written, bytes, take);
        written += take;
        cut = cut || take < count;
    }
};

// The conversion's one copy, whatever the text's capacity.
ZANTOR_NOINLINE void WriteUtf8(Utf8Room& room, const wchar_t* text, std::size_t count)
{
    AppendUtf8(room, text, count);
}

// Appends `count` wide characters at `text` as UTF-8.
template <std::size_t Capacity>
void AppendUtf8To(NarrowText<Capacity>& out, const wchar_t* text, std::size_t count)
{
    Utf8Room room{out.End(), out.Room(), 0, false};
    WriteUtf8(room, text, count);
    out.Grow(room.written);
    if (room.cut)
        out.MarkCut();
}

// A text the library wrote into a buffer of `size` bytes (up to its NUL), decoded
// from the ANSI code page exactly as the console's messages decode it, as UTF-8.
void AppendLibraryTextUtf8(LibraryUtf8& out, const char* buffer, std::size_t size)
{
    Message decoded;
    AppendLibraryText(decoded, buffer, size);
    AppendUtf8To(out, decoded.c_str(), decoded.size());
}

// Whether the operation is called within the cycles, and so has a per-cycle series.
bool InCycles(Operation operation)
{
    return operation != Operation::OpenDevice && operation != Operation::CloseDevice;
}


// The buffer that holds the call's text: the error text of GetCardInfo, the only one otherwise.
const CallBuffer* TextBuffer(const CallRecord& call)
{
    for (std::size_t i = 0; i < call.bufferCount; ++i) {
        if (call.buffers[i].role != BufferRole::Value)
            return &call.buffers[i];
    }
    return nullptr;
}

// The module's file name in UTF-8, empty when `base` is in none.
ModuleUtf8 ModuleName(std::uintptr_t base)
{
    ModuleUtf8 out;
    Message name;
    if (base != 0 && AppendModuleName(name, base))
        AppendUtf8To(out, name.c_str(), name.size());
    return out;
}

// The photo a read holds, as a difference shows it.
void AppendPhotoSummary(LibraryUtf8& summary, std::size_t length, const Sha256Digest& hash)
{
    char sha[65];
    FormatSha256(hash, sha);
    summary.AppendDecimal(static_cast<std::int64_t>(length)).Append(" characters, SHA-256 ").Append(sha, 64);
}

template <std::size_t Capacity>
bool SameText(const NarrowText<Capacity>& a, const NarrowText<Capacity>& b)
{
    return a.size() == b.size() && std::memcmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace

bool TextPool::Same(const PooledText& kept, const char* text, std::size_t size) const
{
    return kept.size == size && (size == 0 || std::memcmp(m_bytes.c_str() + kept.offset, text, size) == 0);
}

bool TextPool::Keep(const char* text, std::size_t size, PooledText& kept)
{
    kept = PooledText();
    if (size == 0)
        return true;
    for (const PooledText& earlier : m_kept) {
        if (Same(earlier, text, size)) {
            kept = earlier;
            return true;
        }
    }
    // Offsets are 32-bit: the pool holds a few hundred texts of at most a few KB.
    const std::size_t offset = m_bytes.size();
    if (offset > UINT32_MAX - size || !m_kept.ReserveMore(1) || !m_bytes.Reserve(size))
        return false;
    m_bytes.Append(text, size);
    const PooledText added{static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(size)};
    m_kept.Append(added);  // within the room reserved
    kept = added;
    return true;
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

BurnInRecorder::BurnInRecorder(const SuccessCodes& success)
{
    m_figures.success = success;
    // Everything the run keeps, taken now: the memory samples then show the
    // library's use, not the recorder's.
    bool reserved = true;
    for (int i = 0; i < kOperationCount; ++i) {
        OperationFigures& figures = m_figures.operations[i];
        reserved = reserved && figures.durations.Prepare() && figures.results.Reserve(kMaxGroups) &&
                   figures.faultGroups.Reserve(kMaxGroups) && figures.overrunGroups.Reserve(kMaxGroups) &&
                   figures.breachGroups.Reserve(kMaxGroups);
        if (InCycles(static_cast<Operation>(i)))
            reserved = reserved && figures.cycleDurations.Prepare();
    }
    if (!reserved || !m_figures.samples.Reserve(kMaxResourceSamples) ||
        !m_figures.messages.Reserve(kMaxDistinctMessages) ||
        !m_figures.consistency.differences.Reserve(kMaxDifferencesKept) || !m_variants.Reserve(kMaxReadVariants))
        m_figures.incomplete = true;
}

void BurnInRecorder::FoldCycle()
{
    for (int i = 0; i < kOperationCount; ++i) {
        const double microseconds = m_cycleUs[i];
        const bool failed = m_cycleFailed[i];
        m_cycleUs[i] = 0;
        m_cycleFailed[i] = false;
        FoldedSeries& series = m_figures.operations[i].cycleDurations;
        if (!InCycles(static_cast<Operation>(i)) || m_cycle <= series.cycles())
            continue;  // a cycle told again is in the series already
        // Cycles skipped (none, when the run numbers them 1, 2, ...) had no call.
        const std::uint64_t skipped = m_cycle - 1 - series.cycles();
        if ((skipped != 0 && !series.Add(0, false, skipped)) || !series.Add(microseconds, failed))
            m_figures.incomplete = true;
    }
}

void BurnInRecorder::BeginCycle(std::uint32_t index)
{
    if (m_cycle != 0)
        FoldCycle();  // the one before was neither ended nor abandoned
    m_cycle = index;
    // Nothing of the cycle read yet; what the fields held is read only once got again.
    std::memset(m_read.got, 0, sizeof m_read.got);
    m_device = DeviceState::Open;
}

void BurnInRecorder::EndCycle()
{
    if (m_cycle == 0)
        return;
    CompareRead();
    ++m_figures.cyclesDone;
    FoldCycle();
    m_cycle = 0;
}

void BurnInRecorder::AbandonCycle()
{
    if (m_cycle != 0)
        FoldCycle();
    m_cycle = 0;
}

void BurnInRecorder::RecordFailedCycle(int operation)
{
    OperationFigures& figures = m_figures.operations[operation];
    ++figures.failedCalls;
    if (m_cycle == 0)
        return;
    m_cycleFailed[operation] = true;
    if (!figures.failedCycles.Append(m_cycle))
        m_figures.incomplete = true;
}

template <class T>
T* BurnInRecorder::AddGroup(GrowingArray<T>& groups, const T& group)
{
    return Keep(groups, group) ? &groups.back() : nullptr;
}

void BurnInRecorder::CountOverrun(OperationFigures& figures, std::size_t bufferSize)
{
    ++figures.overruns;
    OverrunGroup* group = nullptr;
    for (OverrunGroup& g : figures.overrunGroups)
        if (g.bufferSize == bufferSize) group = &g;
    if (group == nullptr && figures.overrunGroups.size() < kMaxGroups)
        group = AddGroup(figures.overrunGroups, OverrunGroup{bufferSize, 0, m_cycle});
    ++(group != nullptr ? group->count : figures.overrunOthers);
}

void BurnInRecorder::CountFault(OperationFigures& figures, const CallOutcome& outcome)
{
    ++figures.faults;
    const ModuleUtf8 module = ModuleName(outcome.moduleBase);
    const std::uintptr_t offset = module.size() == 0 ? outcome.exceptionAddress
                                                      : outcome.exceptionAddress - outcome.moduleBase;
    FaultGroup* group = nullptr;
    for (FaultGroup& g : figures.faultGroups)
        if (g.code == outcome.exceptionCode && g.offset == offset &&
            m_figures.texts.Same(g.module, module.c_str(), module.size()))
            group = &g;
    if (group == nullptr && figures.faultGroups.size() < kMaxGroups) {
        FaultGroup created{outcome.exceptionCode, {}, offset, 0, m_cycle, false, {}, 0};
        bool kept = m_figures.texts.Keep(module.c_str(), module.size(), created.module);
        if (outcome.raisedAddress != 0) {
            created.software = true;
            const ModuleUtf8 raisedModule = ModuleName(outcome.raisedModuleBase);
            created.raisedOffset = raisedModule.size() == 0 ? outcome.raisedAddress
                                                            : outcome.raisedAddress - outcome.raisedModuleBase;
            kept = m_figures.texts.Keep(raisedModule.c_str(), raisedModule.size(), created.raisedModule) && kept;
        }
        if (!kept)
            m_figures.incomplete = true;
        group = AddGroup(figures.faultGroups, created);
    }
    ++(group != nullptr ? group->count : figures.faultOthers);
}

bool BurnInRecorder::CountResult(OperationFigures& figures, const CallRecord& call)
{
    const std::int32_t code = call.outcome->result;
    ResultCount* result = nullptr;
    for (ResultCount& r : figures.results)
        if (r.code == code) result = &r;
    if (result == nullptr && figures.results.size() < kMaxGroups) {
        ResultCount created;
        created.code = code;
        created.firstCycle = m_cycle;
        LibraryUtf8 text;
        if (const CallBuffer* buffer = TextBuffer(call))
            AppendLibraryTextUtf8(text, buffer->data, buffer->size);
        if (!m_figures.texts.Keep(text.c_str(), text.size(), created.text))
            m_figures.incomplete = true;
        result = AddGroup(figures.results, created);
    }
    ++(result != nullptr ? result->count : figures.resultOthers);
    if (m_figures.success.IsSuccess(call.operation, code))
        return false;
    ++figures.failureCodeCalls;
    return true;
}

void BurnInRecorder::CountBreach(OperationFigures& figures, const ContractBreach& breach)
{
    ++figures.breaches;
    const char* name = breach.name != nullptr ? breach.name : "";
    BreachGroup* group = nullptr;
    for (BreachGroup& g : figures.breachGroups)
        if (g.rule == breach.rule && std::strcmp(g.name.c_str(), name) == 0) group = &g;
    if (group == nullptr && figures.breachGroups.size() < kMaxGroups) {
        BreachGroup created;
        created.rule = breach.rule;
        created.name.Append(name);
        std::memcpy(created.firstBefore, breach.before, sizeof created.firstBefore);
        std::memcpy(created.firstAfter, breach.after, sizeof created.firstAfter);
        created.firstRestored = breach.restored;
        created.firstCycle = m_cycle;
        group = AddGroup(figures.breachGroups, created);
    }
    ++(group != nullptr ? group->count : figures.breachOthers);
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
    if (operation == Operation::OpenDevice)
        m_device = DeviceState::Open;
    else if (operation == Operation::CloseDevice)
        m_device = DeviceState::Closed;

    if (!figures.durations.Record(outcome.durationNanoseconds))
        m_figures.incomplete = true;
    if (m_cycle != 0)
        m_cycleUs[index] += static_cast<double>(outcome.durationNanoseconds) / 1000.0;
    const auto convention = static_cast<std::size_t>(outcome.convention);
    if (convention < sizeof figures.conventions / sizeof figures.conventions[0])
        ++figures.conventions[convention];

    bool failed = true;
    if (outcome.raised && call.overrunBufferSize != 0)
        CountOverrun(figures, call.overrunBufferSize);
    else if (outcome.raised)
        CountFault(figures, outcome);
    else
        failed = CountResult(figures, call);

    const std::size_t breachCount =
        outcome.breachCount < CallOutcome::kMaxBreaches ? outcome.breachCount : CallOutcome::kMaxBreaches;
    for (std::size_t i = 0; i < breachCount; ++i) {
        failed = true;
        CountBreach(figures, outcome.breaches[i]);
    }

    if (failed)
        RecordFailedCycle(index);
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
    // A cycle whose photo call failed (or could not be hashed) read no whole card.
    bool complete = m_read.got[mervik::kFieldPhoto];
    for (std::int32_t field : kComparedFields)
        complete = complete && m_read.got[field];
    if (!complete)
        return;
    Consistency& consistency = m_figures.consistency;
    if (consistency.haveReference)
        ++consistency.readsCompared;
    ReadVariant* same = nullptr;
    for (ReadVariant& variant : m_variants) {
        bool equal = variant.photoLength == m_read.photoLength &&
                     std::memcmp(variant.photoHash.bytes, m_read.photoHash.bytes, sizeof variant.photoHash.bytes) == 0;
        for (std::size_t i = 0; i < kComparedFieldCount && equal; ++i)
            equal = SameText(variant.bytes[i], m_read.bytes[kComparedFields[i]]);
        if (equal) {
            same = &variant;
            break;
        }
    }
    if (same == nullptr) {
        // Reserved at the start: past it, a read is counted as one that differed.
        if (m_variants.size() < kMaxReadVariants) {
            ReadVariant created;
            for (std::size_t i = 0; i < kComparedFieldCount; ++i)
                created.bytes[i] = m_read.bytes[kComparedFields[i]];
            created.photoLength = m_read.photoLength;
            created.photoHash = m_read.photoHash;
            created.firstCycle = m_cycle;
            if (Keep(m_variants, created))
                same = &m_variants.back();
        }
    }
    const bool added = same != nullptr && same->count == 0;
    if (same != nullptr)
        ++same->count;
    ChooseReference(added);
}

void BurnInRecorder::ChooseReference(bool added)
{
    Consistency& consistency = m_figures.consistency;
    if (m_variants.empty())
        return;
    // The most frequent, the first read among those tied.
    std::size_t best = 0;
    std::uint64_t reads = 0;
    for (std::size_t i = 0; i < m_variants.size(); ++i) {
        reads += m_variants[i].count;
        if (m_variants[i].count > m_variants[best].count)
            best = i;
    }
    const ReadVariant& reference = m_variants[best];
    const std::uint64_t unkept = consistency.readsCompared + 1 - reads;  // reads unlike every kept one
    consistency.referenceReads = reference.count;
    consistency.readsDiffered = reads - reference.count + unkept;
    if (consistency.haveReference && best == m_reference && !added)
        return;

    // The reference changed, or another distinct read came: its texts and the differences again.
    const bool changed = !consistency.haveReference || best != m_reference;
    consistency.haveReference = true;
    m_reference = best;
    consistency.referenceCycle = reference.firstCycle;
    if (changed) {
        for (std::size_t i = 0; i < kComparedFieldCount; ++i) {
            consistency.referenceText[i].Clear();
            AppendLibraryTextUtf8(consistency.referenceText[i], reference.bytes[i].c_str(), reference.bytes[i].size());
        }
        consistency.photoLength = reference.photoLength;
        FormatSha256(reference.photoHash, consistency.photoSha256);
    }
    consistency.differences.Clear();
    for (std::size_t v = 0; v < m_variants.size(); ++v) {
        if (v == best)
            continue;
        const ReadVariant& seen = m_variants[v];
        for (std::size_t i = 0; i < kComparedFieldCount; ++i) {
            if (SameText(seen.bytes[i], reference.bytes[i]))
                continue;
            if (FieldDifference* difference = AddDifference(seen.firstCycle, kComparedFields[i])) {
                difference->reference = consistency.referenceText[i];
                AppendLibraryTextUtf8(difference->seen, seen.bytes[i].c_str(), seen.bytes[i].size());
            }
        }
        if (seen.photoLength != reference.photoLength ||
            std::memcmp(seen.photoHash.bytes, reference.photoHash.bytes, sizeof seen.photoHash.bytes) != 0) {
            if (FieldDifference* difference = AddDifference(seen.firstCycle, mervik::kFieldPhoto)) {
                AppendPhotoSummary(difference->reference, reference.photoLength, reference.photoHash);
                AppendPhotoSummary(difference->seen, seen.photoLength, seen.photoHash);
            }
        }
    }
}

FieldDifference* BurnInRecorder::AddDifference(std::uint32_t cycle, std::int32_t field)
{
    GrowingArray<FieldDifference>& differences = m_figures.consistency.differences;
    if (differences.size() >= kMaxDifferencesKept)
        return nullptr;
    FieldDifference blank;
    blank.cycle = cycle;
    blank.field = field;
    return AddGroup(differences, blank);
}

void BurnInRecorder::RecordMessage(const wchar_t* message)
{
    ++m_figures.messageCount;
    MessageCount created;
    AppendUtf8To(created.text, message, bounded::Length(message));
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
    if (m_device == DeviceState::NotOpened) {
        m_figures.haveBeforeOpen = true;
        m_figures.beforeOpen = sample;
        return;
    }
    if (m_device == DeviceState::Closed) {
        if (!m_figures.haveAfterClose)
            m_figures.afterClose = sample;
        m_figures.haveAfterClose = true;
        return;
    }
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
