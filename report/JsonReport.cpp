#include <cinttypes>
#include <cmath>

#include "Escape.h"
#include "Format.h"
#include "Report.h"
#include "ReportFigures.h"
#include "ReportFile.h"
#include "Utf8.h"

namespace {

void String(std::string& out, const std::string& text)
{
    out += '"';
    AppendJsonEscaped(out, text);
    out += '"';
}

void Number(std::string& out, double value)
{
    if (std::isfinite(value))
        AppendFormat(out, "%.6g", value);
    else
        out += "null";
}

void Durations(std::string& out, const std::vector<float>& samples)
{
    const Percentiles p = NearestRankPercentiles(samples);
    if (p.empty) {
        out += "null";
        return;
    }
    AppendFormat(out, "{\"min\":%.3f,\"median\":%.3f,\"p95\":%.3f,\"p99\":%.3f,\"max\":%.3f}", p.min, p.median, p.p95,
                 p.p99, p.max);
}

void OperationObject(std::string& out, Operation operation, const OperationFigures& op)
{
    AppendFormat(out, "{\"name\":\"%s\",\"calls\":%" PRIu64 ",\"failedCalls\":%" PRIu64 ",\"faults\":%" PRIu64
                      ",\"overruns\":%" PRIu64 ",\"breaches\":%" PRIu64 ",\"results\":[",
                 OperationName(operation), op.calls, op.failedCalls, op.faults, op.overruns, op.breaches);
    for (std::size_t i = 0; i < op.results.size(); ++i) {
        const ResultCount& r = op.results[i];
        AppendFormat(out, "%s{\"code\":%" PRId32 ",\"count\":%" PRIu64 ",\"firstCycle\":%" PRIu32 ",\"text\":",
                     i ? "," : "", r.code, r.count, r.firstCycle);
        String(out, r.text);
        out += '}';
    }
    out += "],\"faultGroups\":[";
    for (std::size_t i = 0; i < op.faultGroups.size(); ++i) {
        const FaultGroup& f = op.faultGroups[i];
        AppendFormat(out, "%s{\"code\":\"%s\",\"module\":", i ? "," : "", HexCode(f.code).c_str());
        if (f.module.empty())
            out += "null";
        else
            String(out, f.module);
        AppendFormat(out, ",\"place\":");
        String(out, FaultPlace(f));
        AppendFormat(out, ",\"count\":%" PRIu64 ",\"firstCycle\":%" PRIu32 "}", f.count, f.firstCycle);
    }
    out += "],\"overrunGroups\":[";
    for (std::size_t i = 0; i < op.overrunGroups.size(); ++i) {
        const OverrunGroup& o = op.overrunGroups[i];
        AppendFormat(out, "%s{\"bufferSize\":%zu,\"count\":%" PRIu64 ",\"firstCycle\":%" PRIu32 "}", i ? "," : "",
                     o.bufferSize, o.count, o.firstCycle);
    }
    out += "],\"breachGroups\":[";
    for (std::size_t i = 0; i < op.breachGroups.size(); ++i) {
        const BreachGroup& b = op.breachGroups[i];
        AppendFormat(out, "%s{\"rule\":\"%s\",\"name\":", i ? "," : "", ContractRuleName(b.rule));
        String(out, b.name);
        AppendFormat(out, ",\"count\":%" PRIu64 ",\"firstCycle\":%" PRIu32 ",\"firstBefore\":\"%s\",\"firstAfter\":\"%s\","
                          "\"firstRestored\":%s}",
                     b.count, b.firstCycle, RegisterValue(b.firstBefore).c_str(), RegisterValue(b.firstAfter).c_str(),
                     b.firstRestored ? "true" : "false");
    }
    out += "],\"conventions\":{";
    bool any = false;
    for (std::size_t c = 0; c < 5; ++c) {
        if (op.conventions[c] == 0)
            continue;
        AppendFormat(out, "%s\"%s\":%" PRIu64, any ? "," : "", ConventionName(c), op.conventions[c]);
        any = true;
    }
    out += "},\"durationMicroseconds\":";
    Durations(out, op.durationsUs);
    out += ",\"failedCycles\":[";
    for (std::size_t i = 0; i < op.failedCycles.size(); ++i)
        AppendFormat(out, "%s%" PRIu32, i ? "," : "", op.failedCycles[i]);
    out += "]}";
}

void ConsistencyObject(std::string& out, const Consistency& c)
{
    if (!c.haveReference) {
        out += "{\"reference\":null,\"readsCompared\":0,\"readsDiffered\":0,\"differences\":[]}";
        return;
    }
    AppendFormat(out, "{\"reference\":{\"cycle\":%" PRIu32 ",\"fields\":[", c.referenceCycle);
    for (std::size_t i = 0; i < kComparedFieldCount; ++i) {
        AppendFormat(out, "%s{\"index\":%" PRId32 ",\"text\":", i ? "," : "", kComparedFields[i]);
        String(out, c.referenceText[i]);
        out += '}';
    }
    AppendFormat(out, "],\"photo\":{\"length\":%zu,\"sha256\":\"%s\"}},\"readsCompared\":%" PRIu64
                      ",\"readsDiffered\":%" PRIu64 ",\"differences\":[",
                 c.photoLength, c.photoSha256, c.readsCompared, c.readsDiffered);
    for (std::size_t i = 0; i < c.differences.size(); ++i) {
        const FieldDifference& d = c.differences[i];
        AppendFormat(out, "%s{\"cycle\":%" PRIu32 ",\"field\":%" PRId32 ",\"reference\":", i ? "," : "", d.cycle, d.field);
        String(out, d.reference);
        out += ",\"seen\":";
        String(out, d.seen);
        out += '}';
    }
    out += "]}";
}

void ResourcesObject(std::string& out, const BurnInFigures& figures)
{
    static const char* const kKeys[kResourceCount] = {"committedPrivateBytes", "handles", "gdiObjects", "userObjects"};
    out += "{\"samples\":[";
    for (std::size_t i = 0; i < figures.samples.size(); ++i) {
        const ResourceSample& s = figures.samples[i];
        AppendFormat(out, "%s{\"cycle\":%" PRIu32, i ? "," : "", s.cycle);
        for (int r = 0; r < kResourceCount; ++r) {
            AppendFormat(out, ",\"%s\":", kKeys[r]);
            if (s.measured[r])
                AppendFormat(out, "%" PRIu64, s.value[r]);
            else
                out += "null";
        }
        out += '}';
    }
    out += "],\"growth\":{";
    for (int r = 0; r < kResourceCount; ++r) {
        const auto resource = static_cast<Resource>(r);
        const GrowthRule rule = LeakRule(resource);
        const Growth g = JudgeGrowth(figures.samples, resource, rule);
        static const char* const kVerdicts[] = {"notMeasured", "tooFewSamples", "steady", "leak"};
        AppendFormat(out, "%s\"%s\":{\"verdict\":\"%s\",\"samples\":%zu,\"perThousandCycles\":", r ? "," : "", kKeys[r],
                     kVerdicts[static_cast<int>(g.verdict)], g.samples);
        if (g.verdict == GrowthVerdict::Steady || g.verdict == GrowthVerdict::Leak) {
            Number(out, g.perThousandCycles);
            out += ",\"rSquared\":";
            Number(out, g.fit.rSquared);
        } else {
            out += "null,\"rSquared\":null";
        }
        out += ",\"threshold\":{\"perThousandCycles\":";
        Number(out, rule.perThousandCycles);
        out += ",\"minRSquared\":";
        Number(out, rule.minRSquared);
        out += ",\"minRise\":";
        Number(out, rule.minRise);
        out += "}}";
    }
    out += "}}";
}

}  // namespace

std::string JsonReport(const BurnInFigures& figures, const RunFacts& facts)
{
    const RunVerdict verdict = JudgeRun(figures);
    std::string out = "{\"format\":\"zantor-burn-in\",\"formatVersion\":1,\"verdict\":{";
    AppendFormat(out, "\"passed\":%s,\"stopped\":%s,\"exitCode\":%d,\"line\":", verdict.failed ? "false" : "true",
                 verdict.stopped ? "true" : "false", BurnInExitCode(verdict));
    String(out, VerdictLine(verdict, figures, facts));
    out += ",\"reasons\":[";
    for (std::size_t i = 0; i < verdict.reasons.size(); ++i) {
        if (i)
            out += ',';
        String(out, verdict.reasons[i]);
    }
    out += "]},\"run\":{\"library\":{\"path\":";
    String(out, Utf8FromWide(facts.libraryPath.c_str()));
    out += ",\"size\":";
    String(out, Utf8FromWide(facts.librarySize.c_str()));
    out += ",\"fileVersion\":";
    String(out, Utf8FromWide(facts.libraryVersion.c_str()));
    out += ",\"sha256\":";
    String(out, Utf8FromWide(facts.librarySha256.c_str()));
    out += "},\"program\":{\"version\":";
    String(out, Utf8FromWide(facts.programVersion.c_str()));
    AppendFormat(out, ",\"bits\":%d},\"port\":%" PRId32 ",\"start\":", facts.programBits, facts.port);
    String(out, Utf8FromWide(facts.startTime.c_str()));
    out += ",\"end\":";
    String(out, Utf8FromWide(facts.endTime.c_str()));
    AppendFormat(out, ",\"cyclesAsked\":%" PRIu32 ",\"cyclesDone\":%" PRIu32 ",\"stopped\":%s},\"operations\":[",
                 facts.cyclesAsked, figures.cyclesDone, figures.stopped ? "true" : "false");
    for (int i = 0; i < kOperationCount; ++i) {
        if (i)
            out += ',';
        OperationObject(out, static_cast<Operation>(i), figures.operations[i]);
    }
    out += "],\"consistency\":";
    ConsistencyObject(out, figures.consistency);
    out += ",\"resources\":";
    ResourcesObject(out, figures);
    AppendFormat(out, ",\"messageCount\":%" PRIu64 ",\"messages\":[", figures.messageCount);
    for (std::size_t i = 0; i < figures.messages.size(); ++i) {
        const MessageCount& m = figures.messages[i];
        AppendFormat(out, "%s{\"count\":%" PRIu64 ",\"firstCycle\":%" PRIu32 ",\"text\":", i ? "," : "", m.count,
                     m.firstCycle);
        String(out, m.text);
        out += '}';
    }
    out += "]}\n";
    return out;
}

std::wstring JsonPathFor(const std::wstring& htmlPath)
{
    const std::size_t slash = htmlPath.find_last_of(L"\\/");
    const std::size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
    const std::size_t dot = htmlPath.find_last_of(L'.');
    // A dot that starts the name (".html") or lies in a folder's name is no extension.
    if (dot == std::wstring::npos || dot <= nameStart)
        return htmlPath + L".json";
    return htmlPath.substr(0, dot) + L".json";
}

bool WriteReports(const std::wstring& htmlPath, const BurnInFigures& figures, const RunFacts& facts)
{
    const bool html = WriteFileReplacing(htmlPath, HtmlReport(figures, facts));
    const bool json = WriteFileReplacing(JsonPathFor(htmlPath), JsonReport(figures, facts));
    return html && json;
}
