#include <cerrno>
#include <cinttypes>

#include "Escape.h"
#include "Format.h"
#include "HeapObject.h"
#include "Ledger.h"
#include "LocalTime.h"
#include "OutputFiles.h"
#include "Report.h"
#include "ReportFigures.h"
#include "ReportFile.h"
#include "Utf8.h"

namespace {

// `key` (the text before the value: a comma, a name, a colon), then the `size`
// bytes at `text` as a string.
void String(GrowingText& out, const char* key, const char* text, std::size_t size)
{
    out.Append(key).Append('"');
    AppendJsonEscaped(out, text, size);
    out.Append('"');
}
void String(GrowingText& out, const char* key, TextView text) { String(out, key, text.data, text.size); }
template <std::size_t Capacity>
void String(GrowingText& out, const char* key, const NarrowText<Capacity>& text)
{
    String(out, key, text.c_str(), text.size());
}

// `key`, then the `size` UTF-16 (or UTF-32) units at `text` as a UTF-8 string.
void WideString(GrowingText& out, const char* key, const wchar_t* text, std::size_t size)
{
    GrowingText utf8;
    AppendUtf8(utf8, text, size);
    String(out, key, utf8.c_str(), utf8.size());
    if (utf8.failed())
        out.MarkFailed();
}
template <std::size_t Capacity>
void WideString(GrowingText& out, const char* key, const WideText<Capacity>& text)
{
    WideString(out, key, text.c_str(), text.size());
}


// The most failed cycles listed one by one; the rest are counted.
constexpr std::uint64_t kListedFailedCycles = 1000;

void Durations(GrowingText& out, const DurationHistogram& durations)
{
    const Percentiles p = durations.PercentilesUs();
    if (p.empty) {
        out.Append("null");
        return;
    }
    out.AppendFormat("{\"min\":%.3f,\"median\":%.3f,\"p95\":%.3f,\"p99\":%.3f,\"max\":%.3f}", p.min, p.median, p.p95,
                     p.p99, p.max);
}

// The groups of results, faults, overruns and breaches, each with the count of
// those left out, from the results' array on (its "[" written).
ZANTOR_NOINLINE void Groups(GrowingText& out, const OperationFigures& op, const TextPool& texts)
{
    for (std::size_t i = 0; i < op.results.size(); ++i) {
        const ResultCount& r = op.results[i];
        out.AppendFormat("%s{\"code\":%" PRId32 ",\"count\":%" PRIu64 ",\"firstCycle\":%" PRIu32 ",\"text\":",
                         i ? "," : "", r.code, r.count, r.firstCycle);
        String(out, "", texts.View(r.text));
        out.Append('}');
    }
    out.AppendFormat("],\"resultOthers\":%" PRIu64 ",\"faultGroups\":[", op.resultOthers);
    for (std::size_t i = 0; i < op.faultGroups.size(); ++i) {
        const FaultGroup& f = op.faultGroups[i];
        out.AppendFormat("%s{\"code\":\"0x%08" PRIX32 "\",\"module\":", i ? "," : "", f.code);
        const TextView module = texts.View(f.module);
        if (module.size == 0)
            out.Append("null");
        else
            String(out, "", module);
        String(out, ",\"place\":", FaultPlace(f, texts));
        out.AppendFormat(",\"count\":%" PRIu64 ",\"firstCycle\":%" PRIu32 "}", f.count, f.firstCycle);
    }
    out.AppendFormat("],\"faultOthers\":%" PRIu64 ",\"overrunGroups\":[", op.faultOthers);
    for (std::size_t i = 0; i < op.overrunGroups.size(); ++i) {
        const OverrunGroup& o = op.overrunGroups[i];
        out.AppendFormat("%s{\"bufferSize\":%zu,\"count\":%" PRIu64 ",\"firstCycle\":%" PRIu32 "}", i ? "," : "",
                         o.bufferSize, o.count, o.firstCycle);
    }
    out.AppendFormat("],\"overrunOthers\":%" PRIu64 ",\"breachGroups\":[", op.overrunOthers);
    for (std::size_t i = 0; i < op.breachGroups.size(); ++i) {
        const BreachGroup& b = op.breachGroups[i];
        out.AppendFormat("%s{\"rule\":\"%s\",\"name\":", i ? "," : "", ContractRuleName(b.rule));
        String(out, "", b.name);
        out.AppendFormat(",\"count\":%" PRIu64 ",\"firstCycle\":%" PRIu32 ",\"firstBefore\":\"%s\",\"firstAfter\":\"%s\","
                          "\"firstRestored\":%s}",
                         b.count, b.firstCycle, BreachValue(b, b.firstBefore).c_str(), BreachValue(b, b.firstAfter).c_str(),
                         b.firstRestored ? "true" : "false");
    }
}

ZANTOR_NOINLINE void OperationObject(GrowingText& out, Operation operation, const OperationFigures& op, const SuccessCodes& success,
                     const TextPool& texts)
{
    out.AppendFormat("{\"name\":\"%s\",\"calls\":%" PRIu64 ",\"failedCalls\":%" PRIu64 ",\"faults\":%" PRIu64
                      ",\"overruns\":%" PRIu64 ",\"breaches\":%" PRIu64 ",\"results\":[",
                     OperationName(operation), op.calls, op.failedCalls, op.faults, op.overruns, op.breaches);
    Groups(out, op, texts);
    out.AppendFormat("],\"breachOthers\":%" PRIu64 ",\"conventions\":{", op.breachOthers);
    bool any = false;
    for (std::size_t c = 0; c < 5; ++c) {
        if (op.conventions[c] == 0)
            continue;
        out.AppendFormat("%s\"%s\":%" PRIu64, any ? "," : "", ConventionName(static_cast<Convention>(c)), op.conventions[c]);
        any = true;
    }
    out.Append("},\"successCodes\":[");
    AppendSuccessCodes(out, success, operation, ",");
    out.AppendFormat("],\"failureCodeCalls\":%" PRIu64 ",\"durationMicroseconds\":", op.failureCodeCalls);
    Durations(out, op.durations);
    out.Append(",\"failedCycles\":[");
    std::uint64_t listed = 0;
    for (const CycleRange& range : op.failedCycles) {
        for (std::uint64_t cycle = range.first; cycle <= range.last && listed < kListedFailedCycles; ++cycle)
            out.AppendFormat("%s%" PRIu64, listed++ ? "," : "", cycle);
    }
    out.AppendFormat("],\"failedCyclesNotListed\":%" PRIu64 "}", op.failedCycles.count() - listed);
}

ZANTOR_NOINLINE void ConsistencyObject(GrowingText& out, const Consistency& c)
{
    if (!c.haveReference) {
        out.Append("{\"reference\":null,\"readsCompared\":0,\"readsDiffered\":0,\"differences\":[]}");
        return;
    }
    out.AppendFormat("{\"reference\":{\"cycle\":%" PRIu32 ",\"reads\":%" PRIu64 ",\"fields\":[", c.referenceCycle,
                     c.referenceReads);
    for (std::size_t i = 0; i < kComparedFieldCount; ++i) {
        out.AppendFormat("%s{\"index\":%" PRId32 ",\"text\":", i ? "," : "", kComparedFields[i]);
        String(out, "", c.referenceText[i]);
        out.Append('}');
    }
    out.AppendFormat("],\"photo\":{\"length\":%zu,\"sha256\":\"%s\"}},\"readsCompared\":%" PRIu64
                      ",\"readsDiffered\":%" PRIu64 ",\"differences\":[",
                     c.photoLength, c.photoSha256, c.readsCompared, c.readsDiffered);
    for (std::size_t i = 0; i < c.differences.size(); ++i) {
        const FieldDifference& d = c.differences[i];
        out.AppendFormat("%s{\"cycle\":%" PRIu32 ",\"field\":%" PRId32 ",\"reference\":", i ? "," : "", d.cycle, d.field);
        String(out, "", d.reference);
        String(out, ",\"seen\":", d.seen);
        out.Append('}');
    }
    out.Append("]}");
}

constexpr const char* kResourceKeys[kResourceCount] = {"committedPrivateBytes", "handles", "gdiObjects", "userObjects"};

// What the open or the close changed: {"handles":{"before":..,"after":..,"change":..}, ...}, null where not measured.
// `key` (up to the object's "{"), then the resources.
void StepObject(GrowingText& out, const char* key, const BurnInFigures& figures,
                ResourceStep (*change)(const BurnInFigures&, Resource))
{
    out.Append(key);
    for (int r = 0; r < kResourceCount; ++r) {
        const ResourceStep step = change(figures, static_cast<Resource>(r));
        const char* separator = r ? "," : "";
        if (!step.measured) {
            out.AppendFormat("%s\"%s\":null", separator, kResourceKeys[r]);
            continue;
        }
        const auto before = static_cast<std::int64_t>(step.before), after = static_cast<std::int64_t>(step.after);
        out.AppendFormat("%s\"%s\":{\"before\":%" PRId64 ",\"after\":%" PRId64 ",\"change\":%" PRId64 "}", separator,
                         kResourceKeys[r], before, after, after - before);
    }
    out.Append('}');
}

ZANTOR_NOINLINE void ResourcesObject(GrowingText& out, const BurnInFigures& figures)
{
    const auto& kKeys = kResourceKeys;
    out.Append("{\"samples\":[");
    for (std::size_t i = 0; i < figures.samples.size(); ++i) {
        const ResourceSample& s = figures.samples[i];
        out.AppendFormat("%s{\"cycle\":%" PRIu32, i ? "," : "", s.cycle);
        for (int r = 0; r < kResourceCount; ++r) {
            if (s.measured[r])
                out.AppendFormat(",\"%s\":%" PRIu64, kKeys[r], s.value[r]);
            else
                out.AppendFormat(",\"%s\":null", kKeys[r]);
        }
        out.Append('}');
    }
    StepObject(out, "],\"open\":{", figures, &OpenChange);
    StepObject(out, ",\"close\":{", figures, &CloseChange);
    out.Append(",\"growth\":{");
    for (int r = 0; r < kResourceCount; ++r) {
        const auto resource = static_cast<Resource>(r);
        const GrowthRule rule = LeakRule(resource);
        const Growth g = JudgeGrowth(figures.samples.data(), figures.samples.size(), resource, rule);
        static const char* const kVerdicts[] = {"notMeasured", "tooFewSamples", "steady", "leak"};
        out.AppendFormat("%s\"%s\":{\"verdict\":\"%s\",\"samples\":%zu,\"perThousandCycles\":", r ? "," : "", kKeys[r],
                         kVerdicts[static_cast<int>(g.verdict)], g.samples);
        // The formatter writes a value that is no number as null.
        if (g.verdict == GrowthVerdict::Steady || g.verdict == GrowthVerdict::Leak)
            out.AppendFormat("%.6g,\"rSquared\":%.6g", g.perThousandCycles, g.fit.rSquared);
        else
            out.Append("null,\"rSquared\":null");
        out.AppendFormat(",\"threshold\":{\"perThousandCycles\":%.6g,\"minRSquared\":%.6g,\"minRise\":%.6g}}",
                         rule.perThousandCycles, rule.minRSquared, rule.minRise);
    }
    out.Append("}}");
}

// What the library took through its routed imports, per kind, operation and
// site, and the modules it was seen in or loaded: {"taken":[{"kind",
// "operation","site","taken","givenBack","outstanding","bytes"}...],"modules":[...],
// "capped":..,"untracked":..}; null when its imports were not routed.
void LibraryObject(GrowingText& out)
{
    const taken::Ledger* ledger = taken::Active();
    if (ledger == nullptr) {
        out.Append(",\"library\":null");
        return;
    }
    out.Append(",\"library\":{\"taken\":[");
    ledger->ForEachRow([&out](const taken::Row& row, std::size_t index, const char* site, std::size_t length) {
        out.AppendFormat("%s{\"kind\":\"%s\",\"operation\":\"%s\"", index ? "," : "", taken::KindName(row.kind),
                         taken::OperationSlotName(row.operation));
        String(out, ",\"site\":", site, length);
        out.AppendFormat(",\"taken\":%" PRIu64 ",\"givenBack\":%" PRIu64 ",\"outstanding\":%" PRIu64
                         ",\"bytes\":%" PRIu64 "}",
                         row.taken, row.givenBack, row.outstanding, row.bytesOutstanding);
    });
    out.Append("],\"modules\":[");
    for (std::size_t i = 0; i < ledger->ModuleCount(); ++i) {
        const char* name = ledger->ModuleName(i);
        std::size_t length = 0;
        while (name[length] != 0)
            ++length;
        String(out, i ? "," : "", name, length);
    }
    out.AppendFormat("],\"capped\":%s,\"untracked\":%" PRIu64 "}", ledger->Capped() ? "true" : "false",
                     ledger->Untracked());
}

}  // namespace

ZANTOR_NOINLINE GrowingText JsonReport(const BurnInFigures& figures, const RunFacts& facts, const ReportStamp& stamp)
{
    const RunVerdict verdict = JudgeRun(figures, facts.end);
    GrowingText out("{\"format\":\"zantor-burn-in\",\"formatVersion\":1,");
    // The same stamp as the page's: a reader can tell that the two belong together.
    out.AppendFormat("\"stamp\":{\"cycles\":%" PRIu32 ",", stamp.cycles);
    String(out, "\"time\":", stamp.time);
    out.Append("},\"verdict\":{");
    // A checkpoint has not passed: the run has not finished.
    out.AppendFormat("\"finished\":%s,\"passed\":%s,\"stopped\":%s,\"exitCode\":",
                     facts.end.finished ? "true" : "false", verdict.failed || !facts.end.finished ? "false" : "true",
                     verdict.stopped ? "true" : "false");
    // A checkpoint's run has not ended: it has no exit status yet.
    if (facts.end.finished)
        out.AppendFormat("%d", BurnInExitCode(verdict));
    else
        out.Append("null");
    const GrowingText line = VerdictLine(verdict, figures, facts);
    if (line.failed())
        out.MarkFailed();
    String(out, ",\"line\":", line.c_str(), line.size());
    out.Append(",\"reasons\":[");
    for (std::size_t i = 0; i < verdict.reasonCount; ++i)
        String(out, i ? "," : "", verdict.reasons[i]);
    out.Append("],\"hints\":[");
    for (std::size_t i = 0; i < verdict.hintCount; ++i)
        String(out, i ? "," : "", verdict.hints[i]);
    WideString(out, "]},\"run\":{\"library\":{\"path\":", facts.libraryPath);
    WideString(out, ",\"size\":", facts.librarySize);
    WideString(out, ",\"fileVersion\":", facts.libraryVersion);
    WideString(out, ",\"sha256\":", facts.librarySha256);
    WideString(out, "},\"program\":{\"version\":", facts.programVersion);
    out.AppendFormat(",\"bits\":%d},\"port\":%" PRId32, facts.programBits, facts.port);
    WideString(out, ",\"start\":", facts.startTime);
    WideString(out, ",\"end\":", facts.endTime);
    out.AppendFormat(",\"cyclesAsked\":%" PRIu32 ",\"cyclesDone\":%" PRIu32 ",\"stopped\":%s,\"figuresComplete\":%s,"
                     "\"finished\":%s},\"operations\":[",
                     facts.cyclesAsked, figures.cyclesDone, figures.stopped ? "true" : "false",
                     figures.incomplete ? "false" : "true", facts.end.finished ? "true" : "false");
    for (int i = 0; i < kOperationCount; ++i) {
        if (i)
            out.Append(',');
        OperationObject(out, static_cast<Operation>(i), figures.operations[i], figures.success, figures.texts);
    }
    out.Append("],\"consistency\":");
    ConsistencyObject(out, figures.consistency);
    out.Append(",\"resources\":");
    ResourcesObject(out, figures);
    out.AppendFormat(",\"messageCount\":%" PRIu64 ",\"messages\":[", figures.messageCount);
    for (std::size_t i = 0; i < figures.messages.size(); ++i) {
        const MessageCount& m = figures.messages[i];
        out.AppendFormat("%s{\"count\":%" PRIu64 ",\"firstCycle\":%" PRIu32 ",\"text\":", i ? "," : "", m.count,
                         m.firstCycle);
        String(out, "", m.text);
        out.Append('}');
    }
    out.Append(']');
    LibraryObject(out);
    out.Append("}\n");
    return out;
}

bool JsonPathFor(const wchar_t* htmlPath, ReportPath& jsonPath)
{
    return PathBeside(htmlPath, L".json", jsonPath);
}

ReportWrite WriteReports(const wchar_t* htmlPath, const BurnInFigures& figures, const RunFacts& facts)
{
    ReportStamp stamp;
    stamp.cycles = figures.cyclesDone;
    char time[kLocalTimeRoom];
    stamp.time.Append(time, WriteLocalTime(time, CurrentLocalTime(), LocalTimeStyle::Milliseconds));
    return WriteReports(htmlPath, figures, facts, kReportFileSystem, stamp);
}

ReportWrite WriteReports(const wchar_t* htmlPath, const BurnInFigures& figures, const RunFacts& facts,
                         const ReportFileCalls& calls, const ReportStamp& stamp)
{
    ReportWrite outcome;
    // Out of the stack: this runs on the watchdog's thread too.
    ReportPath* jsonPath = NewOnHeap<ReportPath>();
    if (jsonPath == nullptr) {
        outcome.noMemory = true;
        return outcome;
    }
    if (!JsonPathFor(htmlPath, *jsonPath)) {
        DeleteOnHeap(jsonPath);
#ifdef _WIN32
        outcome.error = 206;  // ERROR_FILENAME_EXCED_RANGE: the JSON's name is too long
#else
        outcome.error = ENAMETOOLONG;
#endif
        outcome.json = true;
        return outcome;
    }
    const ReportPair pair(htmlPath, jsonPath->c_str(), calls);
    // One document at a time: the page's memory is given back before the JSON is built.
    ReportFileResult result;
    {
        const GrowingText page = HtmlReport(figures, facts, stamp);
        result.noMemory = page.failed();
        if (result.done())
            result = pair.WriteTemporary(0, page.c_str(), page.size());
    }
    if (result.done()) {
        const GrowingText document = JsonReport(figures, facts, stamp);
        result.file = 1;
        result.noMemory = document.failed();
        if (result.done())
            result = pair.WriteTemporary(1, document.c_str(), document.size());
    }
    if (result.done())
        result = pair.Replace();  // on failure, it has removed the temporaries
    else
        pair.RemoveTemporaries();  // the earlier pair stays a pair
    DeleteOnHeap(jsonPath);
    outcome.written = result.done();
    outcome.noMemory = result.noMemory;
    outcome.error = result.error;
    outcome.json = result.file == 1;
    return outcome;
}
