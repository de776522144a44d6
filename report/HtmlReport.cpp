#include <cinttypes>

#include "Escape.h"
#include "Format.h"
#include "Plot.h"
#include "Report.h"
#include "ReportFigures.h"
#include "Utf8.h"

namespace {

// The page's look: no external font or file; the page's policy forbids scripts
// and every fetch, so even a text that escaped its escaping could load nothing.
constexpr const char kHead[] =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<style>\n"
    "body{font-family:'DejaVu Sans',Arial,'WenQuanYi Micro Hei','Microsoft YaHei',sans-serif;margin:24px auto;"
    "max-width:1100px;padding:0 16px;color:#1a1a1a;line-height:1.4;font-size:14px}\n"
    "h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:28px 0 8px;border-bottom:1px solid #ccc;padding-bottom:3px}\n"
    ".sub{color:#555;margin-bottom:14px}\n"
    ".verdict{font-size:19px;font-weight:bold;padding:14px 18px;border-radius:6px;border:3px solid}\n"
    ".pass{background:#e6f4ea;border-color:#1e7b34;color:#0d4d1e}.fail{background:#fdecea;border-color:#b3261e;color:#7a1410}\n"
    ".badge{display:inline-block;font-size:24px;margin-right:12px;letter-spacing:1px}\n"
    ".verdict ul{margin:6px 0 0 0;font-size:15px;font-weight:normal}\n"
    "table{border-collapse:collapse;margin:6px 0;width:100%}th,td{border:1px solid #ccc;padding:4px 7px;"
    "vertical-align:top;text-align:left}th{background:#f0f0f0}td.n,th.n{text-align:right;font-variant-numeric:tabular-nums;"
    "white-space:nowrap}\n"
    "tr.bad td{background:#fff3f2}.lib{font-family:'DejaVu Sans Mono',monospace;font-size:12px;overflow-wrap:anywhere;"
    "word-break:break-all}\n"
    ".code{font-family:'DejaVu Sans Mono',monospace;white-space:nowrap}.none{color:#777}\n"
    "dl{display:grid;grid-template-columns:max-content auto;gap:3px 16px;margin:6px 0}dt{font-weight:bold}dd{margin:0;"
    "overflow-wrap:anywhere}\n"
    "svg{display:block;width:100%;height:auto;margin:8px 0 14px;border:1px solid #ddd;background:#fff}\n"
    ".note{color:#444;font-size:13px}th.wide{width:38%}\n"
    "</style>\n";

void Escaped(std::string& out, const std::string& text) { AppendHtmlEscaped(out, text); }
void Escaped(std::string& out, const std::wstring& text) { AppendHtmlEscaped(out, Utf8FromWide(text.c_str())); }

void Fact(std::string& out, const char* name, const std::string& value)
{
    out += "<dt>";
    out += name;
    out += "</dt><dd>";
    if (value.empty())
        out += "<span class=\"none\">not known</span>";
    else
        Escaped(out, value);
    out += "</dd>\n";
}

std::string Wide(const std::wstring& text) { return Utf8FromWide(text.c_str()); }

// A library text in a table cell: the first 160 characters, and how long it was
// when it was longer (the JSON keeps it whole).
void LibraryText(std::string& out, const std::string& text)
{
    constexpr std::size_t kShown = 160;
    std::size_t characters = 0, cut = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (characters++ == kShown) {
            cut = i;
            break;
        }
    }
    Escaped(out, text.substr(0, cut));
    if (cut < text.size())
        AppendFormat(out, "<span class=\"none\"> … (%zu bytes in all; the JSON has the whole text)</span>",
                     text.size());
}

std::string Milliseconds(double microseconds) { return Format("%.3f", microseconds / 1000.0); }

void CallsTable(std::string& out, const BurnInFigures& figures)
{
    out += "<table><tr><th>Operation</th><th class=\"n\">Calls</th><th class=\"n\">Failed</th><th class=\"wide\">Result "
           "codes: count, the library's first text</th><th>Faults: code at module+offset, count</th><th>Overruns</th>"
           "<th>Contract breaches</th></tr>\n";
    for (int i = 0; i < kOperationCount; ++i) {
        const OperationFigures& op = figures.operations[i];
        out += op.failedCalls ? "<tr class=\"bad\">" : "<tr>";
        AppendFormat(out, "<td class=\"code\">%s</td><td class=\"n\">%" PRIu64 "</td><td class=\"n\">%" PRIu64 "%s</td><td>",
                     OperationName(static_cast<Operation>(i)), op.calls, op.failedCalls, op.failedCalls ? " ✖" : "");
        if (op.results.empty())
            out += "<span class=\"none\">none</span>";
        for (const ResultCount& r : op.results) {
            AppendFormat(out, "<div><span class=\"code\">%" PRId32 "</span> × %" PRIu64 ": <span class=\"lib\">", r.code,
                         r.count);
            if (r.text.empty())
                out += "<span class=\"none\">(no text)</span>";
            else
                LibraryText(out, r.text);
            out += "</span></div>";
        }
        out += "</td><td>";
        if (op.faultGroups.empty())
            out += "<span class=\"none\">none</span>";
        for (const FaultGroup& f : op.faultGroups) {
            out += "<div class=\"code\">" + HexCode(f.code) + " at ";
            Escaped(out, FaultPlace(f));
            AppendFormat(out, " × %" PRIu64 " (first in cycle %" PRIu32 ")</div>", f.count, f.firstCycle);
        }
        out += "</td><td>";
        if (op.overrunGroups.empty())
            out += "<span class=\"none\">none</span>";
        for (const OverrunGroup& o : op.overrunGroups)
            AppendFormat(out, "<div>%zu-byte buffer × %" PRIu64 " (first in cycle %" PRIu32 ")</div>", o.bufferSize,
                         o.count, o.firstCycle);
        out += "</td><td>";
        if (op.breachGroups.empty())
            out += "<span class=\"none\">none</span>";
        for (const BreachGroup& b : op.breachGroups) {
            out += "<div>";
            out += ContractRuleName(b.rule);
            out += " <span class=\"code\">";
            Escaped(out, b.name);
            AppendFormat(out, "</span> × %" PRIu64 "; first (cycle %" PRIu32 "): <span class=\"code\">%s → %s</span>%s</div>",
                         b.count, b.firstCycle, RegisterValue(b.firstBefore).c_str(), RegisterValue(b.firstAfter).c_str(),
                         b.firstRestored ? ", put back by Zantor" : "");
        }
        out += "</td></tr>\n";
    }
    out += "</table>\n<p class=\"note\">A call failed when it raised an exception, wrote past a buffer or broke the "
           "calling contract, and for OpenDevice, CloseDevice and GetCardInfo also when it returned a code other than 0. "
           "getDeviceStatus and readCard answer with a status code: their codes are counted, not judged.</p>\n";
}

void DurationTable(std::string& out, const BurnInFigures& figures)
{
    out += "<table><tr><th>Operation</th><th class=\"n\">min</th><th class=\"n\">median</th><th class=\"n\">95th</th>"
           "<th class=\"n\">99th</th><th class=\"n\">max</th><th>Calling convention seen</th></tr>\n";
    for (int i = 0; i < kOperationCount; ++i) {
        const OperationFigures& op = figures.operations[i];
        const Percentiles p = NearestRankPercentiles(op.durationsUs);
        AppendFormat(out, "<tr><td class=\"code\">%s</td>", OperationName(static_cast<Operation>(i)));
        if (p.empty)
            out += "<td class=\"n none\" colspan=\"5\">no call</td>";
        else
            AppendFormat(out, "<td class=\"n\">%s</td><td class=\"n\">%s</td><td class=\"n\">%s</td><td class=\"n\">%s</td>"
                              "<td class=\"n\">%s</td>",
                         Milliseconds(p.min).c_str(), Milliseconds(p.median).c_str(), Milliseconds(p.p95).c_str(),
                         Milliseconds(p.p99).c_str(), Milliseconds(p.max).c_str());
        out += "<td>";
        bool any = false;
        for (std::size_t c = 0; c < 5; ++c) {
            if (op.conventions[c] == 0)
                continue;
            AppendFormat(out, "%s%s × %" PRIu64, any ? ", " : "", ConventionName(c), op.conventions[c]);
            any = true;
        }
        out += "</td></tr>\n";
    }
    out += "</table>\n<p class=\"note\">Milliseconds per call, percentiles by the nearest-rank method over every "
           "call.</p>\n";
}

const char* FieldName(std::int32_t field)
{
    static const char* const kNames[] = {"0 name", "1 sex", "2 ethnic group", "3 date of birth", "4 address",
                                         "5 identity number", "6 issuing authority", "7 valid from", "8 valid to",
                                         "9", "10 photo name", "11 photo"};
    return field >= 0 && field <= 11 ? kNames[field] : "?";
}

void ConsistencySection(std::string& out, const Consistency& c)
{
    if (!c.haveReference) {
        out += "<p>No cycle read the whole card (all eleven fields returned 0), so nothing was compared.</p>\n";
        return;
    }
    AppendFormat(out,
                 "<p>Reference: the card as read in cycle %" PRIu32 ". Complete reads compared with it: %" PRIu64
                 "; <strong>%" PRIu64 " differed</strong>%s.</p>\n",
                 c.referenceCycle, c.readsCompared, c.readsDiffered, c.readsDiffered ? " ✖" : "");
    out += "<table><tr><th>Field</th><th>Reference value</th></tr>\n";
    for (std::size_t i = 0; i < kComparedFieldCount; ++i) {
        out += "<tr><td>";
        out += FieldName(kComparedFields[i]);
        out += "</td><td class=\"lib\">";
        LibraryText(out, c.referenceText[i]);
        out += "</td></tr>\n";
    }
    AppendFormat(out, "<tr><td>%s</td><td class=\"lib\">%zu base64 characters, SHA-256 %s</td></tr></table>\n",
                 FieldName(11), c.photoLength, c.photoSha256);
    if (c.differences.empty())
        return;
    AppendFormat(out, "<p>The first %zu differences:</p>\n<table><tr><th class=\"n\">Cycle</th><th>Field</th>"
                      "<th>Reference</th><th>Seen</th></tr>\n",
                 c.differences.size());
    for (const FieldDifference& d : c.differences) {
        AppendFormat(out, "<tr class=\"bad\"><td class=\"n\">%" PRIu32 "</td><td>%s</td><td class=\"lib\">", d.cycle,
                     FieldName(d.field));
        LibraryText(out, d.reference);
        out += "</td><td class=\"lib\">";
        LibraryText(out, d.seen);
        out += "</td></tr>\n";
    }
    out += "</table>\n";
}

std::string ResourceValue(Resource resource, double value)
{
    if (resource == Resource::CommittedMemory)
        return Format("%.2f MB", value / (1024.0 * 1024.0));
    return Format("%.0f", value);
}

void ResourcesSection(std::string& out, const BurnInFigures& figures)
{
    out += "<table><tr><th>Resource</th><th class=\"n\">Samples</th><th class=\"n\">First</th><th class=\"n\">Last</th>"
           "<th class=\"n\">Min</th><th class=\"n\">Max</th><th class=\"n\">Growth per 1,000 cycles</th>"
           "<th class=\"n\">R²</th><th>Leak threshold</th><th>Verdict</th></tr>\n";
    for (int r = 0; r < kResourceCount; ++r) {
        const auto resource = static_cast<Resource>(r);
        const GrowthRule rule = LeakRule(resource);
        const Growth g = JudgeGrowth(figures.samples, resource, rule);
        out += g.verdict == GrowthVerdict::Leak ? "<tr class=\"bad\">" : "<tr>";
        AppendFormat(out, "<td>%s</td>", ResourceName(resource));
        if (g.verdict == GrowthVerdict::NotMeasured) {
            out += "<td class=\"none\" colspan=\"8\">not measured here</td><td>not measured here</td></tr>\n";
            continue;
        }
        AppendFormat(out, "<td class=\"n\">%zu</td><td class=\"n\">%s</td><td class=\"n\">%s</td><td class=\"n\">%s</td>"
                          "<td class=\"n\">%s</td>",
                     g.samples, ResourceValue(resource, g.first).c_str(), ResourceValue(resource, g.last).c_str(),
                     ResourceValue(resource, g.min).c_str(), ResourceValue(resource, g.max).c_str());
        if (g.verdict == GrowthVerdict::TooFew) {
            out += "<td class=\"n none\">–</td><td class=\"n none\">–</td>";
        } else if (resource == Resource::CommittedMemory) {
            AppendFormat(out, "<td class=\"n\">%+.1f KB</td><td class=\"n\">%.2f</td>", g.perThousandCycles / 1024.0,
                         g.fit.rSquared);
        } else {
            AppendFormat(out, "<td class=\"n\">%+.2f</td><td class=\"n\">%.2f</td>", g.perThousandCycles, g.fit.rSquared);
        }
        if (resource == Resource::CommittedMemory)
            AppendFormat(out, "<td>≥ %.0f KB per 1,000 cycles, R² ≥ %.1f, rise ≥ %.0f KB</td>",
                         rule.perThousandCycles / 1024.0, rule.minRSquared, rule.minRise / 1024.0);
        else
            AppendFormat(out, "<td>≥ %.0f per 1,000 cycles, R² ≥ %.1f, rise ≥ %.0f</td>", rule.perThousandCycles,
                         rule.minRSquared, rule.minRise);
        AppendFormat(out, "<td><strong>%s</strong>%s</td></tr>\n", GrowthVerdictName(g.verdict),
                     g.verdict == GrowthVerdict::Leak ? " ✖" : "");
    }
    out += "</table>\n<p class=\"note\">Sampled before the first cycle, at least every 1% of the cycles and after the "
           "last. A leak is a steady growth: the least-squares line rises at least the threshold per 1,000 cycles, "
           "explains at least 80% of the variance (R²), and the last sample lies at least the given rise above the "
           "first.</p>\n";
}

void SampleSeries(const BurnInFigures& figures, Resource resource, std::vector<double>& cycles,
                  std::vector<double>& values)
{
    const auto index = static_cast<std::size_t>(resource);
    for (const ResourceSample& s : figures.samples) {
        if (!s.measured[index])
            continue;
        cycles.push_back(s.cycle);
        values.push_back(static_cast<double>(s.value[index]));
    }
}

void PlotsSection(std::string& out, const BurnInFigures& figures)
{
    const Operation plotted[] = {Operation::getDeviceStatus, Operation::readCard, Operation::GetCardInfo};
    for (const Operation operation : plotted) {
        const OperationFigures& op = figures.operations[static_cast<int>(operation)];
        std::string title = std::string(OperationName(operation)) + " — time per cycle";
        if (operation == Operation::GetCardInfo)
            title += " (all eleven calls together)";
        AppendDurationPlot(out, title, op.cycleDurationUs, op.failedCycles);
    }
    const std::uint32_t lastCycle = figures.cyclesDone;
    std::vector<double> cycles, values;
    SampleSeries(figures, Resource::CommittedMemory, cycles, values);
    AppendSamplePlot(out, "Committed private memory", "MB", cycles, values, 1024.0 * 1024.0, lastCycle);
    cycles.clear();
    values.clear();
    SampleSeries(figures, Resource::Handles, cycles, values);
    AppendSamplePlot(out, "Open handles", "handles", cycles, values, 1.0, lastCycle);
}

void MessagesSection(std::string& out, const BurnInFigures& figures)
{
    if (figures.messages.empty()) {
        out += "<p>None.</p>\n";
        return;
    }
    out += "<table><tr><th class=\"n\">Count</th><th class=\"n\">First in cycle</th><th>Message</th></tr>\n";
    for (const MessageCount& m : figures.messages) {
        AppendFormat(out, "<tr><td class=\"n\">%" PRIu64 "</td><td class=\"n\">%" PRIu32 "</td><td class=\"lib\">",
                     m.count, m.firstCycle);
        LibraryText(out, m.text);
        out += "</td></tr>\n";
    }
    std::uint64_t kept = 0;
    for (const MessageCount& m : figures.messages)
        kept += m.count;
    out += "</table>\n";
    if (kept < figures.messageCount)
        AppendFormat(out, "<p class=\"note\">%" PRIu64 " more messages of further kinds are not listed.</p>\n",
                     figures.messageCount - kept);
}

}  // namespace

std::string HtmlReport(const BurnInFigures& figures, const RunFacts& facts)
{
    const RunVerdict verdict = JudgeRun(figures);
    std::string out = kHead;
    out += "<title>";
    out += verdict.failed ? "FAIL" : "PASS";
    out += " — Zantor burn-in</title>\n</head>\n<body>\n<h1>Zantor burn-in report</h1>\n<div class=\"sub\">";
    Escaped(out, facts.libraryPath);
    out += " · ";
    Escaped(out, facts.startTime);
    out += "</div>\n";

    // The verdict first, in words as well as colour.
    out += verdict.failed ? "<div class=\"verdict fail\"><span class=\"badge\">✖ FAIL</span>"
                          : "<div class=\"verdict pass\"><span class=\"badge\">✔ PASS</span>";
    std::string line = VerdictLine(verdict, figures, facts);
    Escaped(out, line.substr(6));
    out += "</div>\n";

    out += "<h2>What was tested</h2>\n<dl>\n";
    Fact(out, "Library", Wide(facts.libraryPath));
    Fact(out, "Size", Wide(facts.librarySize));
    Fact(out, "File version", Wide(facts.libraryVersion));
    Fact(out, "SHA-256", Wide(facts.librarySha256));
    Fact(out, "Program", "Zantor " + Wide(facts.programVersion) + Format(", %d-bit", facts.programBits));
    Fact(out, "Port", Format("%" PRId32, facts.port));
    Fact(out, "Started", Wide(facts.startTime));
    Fact(out, "Ended", Wide(facts.endTime));
    Fact(out, "Cycles", Format("%" PRIu32 " of %" PRIu32 " asked%s", figures.cyclesDone, facts.cyclesAsked,
                               figures.stopped ? ", stopped by the operator" : ""));
    Fact(out, "Each cycle",
         "getDeviceStatus, readCard, then the card information: GetCardInfo for fields 0–8 and 10, and 11, the photo "
         "as base64 text, decoded and written to zp.jpg. OpenDevice before the first cycle, CloseDevice after the last.");
    out += "</dl>\n<h2>Calls</h2>\n";
    CallsTable(out, figures);
    out += "<h2>Durations (ms)</h2>\n";
    DurationTable(out, figures);
    out += "<h2>Card data consistency</h2>\n";
    ConsistencySection(out, figures.consistency);
    out += "<h2>Resources</h2>\n";
    ResourcesSection(out, figures);
    out += "<h2>Over the cycles</h2>\n";
    PlotsSection(out, figures);
    out += "<h2>Messages a press would have shown</h2>\n";
    MessagesSection(out, figures);
    out += "</body>\n</html>\n";
    return out;
}
