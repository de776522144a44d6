#include <cinttypes>

#include "Escape.h"
#include "Format.h"
#include "Ledger.h"
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
    ".note{color:#444;font-size:13px}th.wide{width:38%}.hint{font-size:15px;font-weight:bold}\n"
    "</style>\n";

// The `size` UTF-16 (or UTF-32) units at `text` as UTF-8, escaped.
void Escaped(GrowingText& out, const wchar_t* text, std::size_t size)
{
    GrowingText utf8;
    AppendUtf8(utf8, text, size);
    if (utf8.failed())
        out.MarkFailed();
    AppendHtmlEscaped(out, utf8.c_str(), utf8.size());
}
template <std::size_t Capacity>
void Escaped(GrowingText& out, const WideText<Capacity>& text) { Escaped(out, text.c_str(), text.size()); }

// One fact: the `size` units at `value` escaped, or "not known" when there are none.
void Fact(GrowingText& out, const char* name, const wchar_t* value, std::size_t size)
{
    out.AppendFormat("<dt>%s</dt><dd>", name);
    if (size == 0)
        out.Append("<span class=\"none\">not known</span>");
    else
        Escaped(out, value, size);
    out.Append("</dd>\n");
}
template <std::size_t Capacity>
void Fact(GrowingText& out, const char* name, const WideText<Capacity>& value)
{
    Fact(out, name, value.c_str(), value.size());
}

// A library text (the `size` bytes at `bytes`) in a table cell: the first 160
// characters, and how long it was when it was longer (the JSON keeps it whole);
// then `after`.
void LibraryText(GrowingText& out, const char* bytes, std::size_t size, const char* after)
{
    constexpr std::size_t kShown = 160;
    std::size_t characters = 0, cut = size;
    for (std::size_t i = 0; i < size; ++i) {
        if ((static_cast<unsigned char>(bytes[i]) & 0xC0) == 0x80)
            continue;
        if (characters++ == kShown) {
            cut = i;
            break;
        }
    }
    AppendHtmlEscaped(out, bytes, cut);
    if (cut < size)
        out.AppendFormat("<span class=\"none\"> … (%zu bytes in all; the JSON has the whole text)</span>", size);
    out.Append(after);
}
template <std::size_t Capacity>
void LibraryText(GrowingText& out, const NarrowText<Capacity>& text, const char* after)
{
    LibraryText(out, text.c_str(), text.size(), after);
}

// The count of what the groups left out, when there was any: "and 12 more calls
// with other codes (only the first 64 are listed)"; then the cell's end, and the
// next cell's start or the row's end.
void OthersThen(GrowingText& out, std::uint64_t others, const char* what, const char* then)
{
    if (others != 0)
        out.AppendFormat("<div class=\"none\">and %" PRIu64 " more %s (only the first %zu kinds are listed)</div>",
                         others, what, kMaxGroups);
    out.Append(then);
}
// ... and the next cell's start, with "none" in it when it has no groups.
void Others(GrowingText& out, std::uint64_t others, const char* what, bool nextEmpty)
{
    OthersThen(out, others, what, nextEmpty ? "</td><td><span class=\"none\">none</span>" : "</td><td>");
}
void OthersLast(GrowingText& out, std::uint64_t others, const char* what)
{
    OthersThen(out, others, what, "</td></tr>\n");
}

// "none" in a cell that has no groups.
void NoneWhen(GrowingText& out, bool empty)
{
    if (empty)
        out.Append("<span class=\"none\">none</span>");
}

ZANTOR_NOINLINE void CallsTable(GrowingText& out, const BurnInFigures& figures)
{
    out.Append("<h2>Calls</h2>\n<table><tr><th>Operation</th><th class=\"n\">Calls</th><th class=\"n\">Failed</th><th class=\"wide\">Result "
           "codes: count, the library's first text</th><th>Faults: code at module+offset, count</th><th>Overruns</th>"
           "<th>Contract breaches</th></tr>\n");
    for (int i = 0; i < kOperationCount; ++i) {
        const OperationFigures& op = figures.operations[i];
        out.AppendFormat("%s<td class=\"code\">%s</td><td class=\"n\">%" PRIu64 "</td><td class=\"n\">%" PRIu64 "%s</td><td>",
                         op.failedCalls ? "<tr class=\"bad\">" : "<tr>", OperationName(static_cast<Operation>(i)), op.calls,
                         op.failedCalls, op.failedCalls ? " ✖" : "");
        NoneWhen(out, op.results.empty());
        for (const ResultCount& r : op.results) {
            // A code outside the success codes marks its calls failed.
            const bool success = figures.success.IsSuccess(static_cast<Operation>(i), r.code);
            out.AppendFormat("<div><span class=\"code\">%" PRId32 "</span>%s × %" PRIu64 ": <span class=\"lib\">",
                             r.code, success ? "" : " ✖", r.count);
            const TextView text = figures.texts.View(r.text);
            if (text.size == 0)
                out.Append("<span class=\"none\">(no text)</span></span></div>");
            else
                LibraryText(out, text.data, text.size, "</span></div>");
        }
        Others(out, op.resultOthers, "calls with other codes", op.faultGroups.empty());
        for (const FaultGroup& f : op.faultGroups) {
            out.AppendFormat("<div class=\"code\">0x%08" PRIX32 " at ", f.code);
            AppendHtmlEscaped(out, FaultPlace(f, figures.texts));
            out.AppendFormat(" × %" PRIu64 " (first in cycle %" PRIu32 ")</div>", f.count, f.firstCycle);
        }
        Others(out, op.faultOthers, "faults at other places", op.overrunGroups.empty());
        for (const OverrunGroup& o : op.overrunGroups)
            out.AppendFormat("<div>%zu-byte buffer × %" PRIu64 " (first in cycle %" PRIu32 ")</div>", o.bufferSize,
                             o.count, o.firstCycle);
        Others(out, op.overrunOthers, "overruns of other buffers", op.breachGroups.empty());
        for (const BreachGroup& b : op.breachGroups) {
            out.AppendFormat("<div>%s <span class=\"code\">", ContractRuleName(b.rule));
            AppendHtmlEscaped(out, b.name);
            out.AppendFormat("</span> × %" PRIu64 "; first (cycle %" PRIu32 "): <span class=\"code\">%s → %s</span>%s</div>",
                             b.count, b.firstCycle, BreachValue(b, b.firstBefore).c_str(), BreachValue(b, b.firstAfter).c_str(),
                             b.firstRestored ? ", put back by Zantor" : "");
        }
        OthersLast(out, op.breachOthers, "breaches of other kinds");
    }
    out.Append("</table>\n<p class=\"note\">A call failed when it raised an exception, wrote past a buffer, broke the "
           "calling contract or returned a code that is not one of its operation's success codes (✖). Success codes: ");
    for (int i = 0; i < kOperationCount; ++i) {
        const auto operation = static_cast<Operation>(i);
        out.AppendFormat("%s%s ", i ? "; " : "", OperationName(operation));
        AppendSuccessCodes(out, figures.success, operation, ", ");
    }
    out.Append(". 0 is success unless the command line declares others (/success &lt;operation&gt;=&lt;code&gt;).</p>\n");
}

ZANTOR_NOINLINE void DurationTable(GrowingText& out, const BurnInFigures& figures)
{
    out.Append("<h2>Durations (ms)</h2>\n<table><tr><th>Operation</th><th class=\"n\">min</th><th class=\"n\">median</th><th class=\"n\">95th</th>"
           "<th class=\"n\">99th</th><th class=\"n\">max</th><th>Calling convention seen</th></tr>\n");
    for (int i = 0; i < kOperationCount; ++i) {
        const OperationFigures& op = figures.operations[i];
        const Percentiles p = op.durations.PercentilesUs();
        out.AppendFormat("<tr><td class=\"code\">%s</td>", OperationName(static_cast<Operation>(i)));
        if (p.empty) {
            out.Append("<td class=\"n none\" colspan=\"5\">no call</td>");
        } else {
            for (const double microseconds : {p.min, p.median, p.p95, p.p99, p.max})
                out.AppendFormat("<td class=\"n\">%.3f</td>", microseconds / 1000.0);  // in milliseconds
        }
        out.Append("<td>");
        bool any = false;
        for (std::size_t c = 0; c < 5; ++c) {
            if (op.conventions[c] == 0)
                continue;
            out.AppendFormat("%s%s × %" PRIu64, any ? ", " : "", ConventionName(static_cast<Convention>(c)), op.conventions[c]);
            any = true;
        }
        out.Append("</td></tr>\n");
    }
    out.Append("</table>\n<p class=\"note\">Milliseconds per call over every call: min and max exact, the percentiles by "
           "the nearest-rank method from a log-linear histogram, within 1% of the exact value. A call whose "
           "convention is unknown raised before it returned.</p>\n");
}

const char* FieldName(std::int32_t field)
{
    static const char* const kNames[] = {"0 name", "1 sex", "2 ethnic group", "3 date of birth", "4 address",
                                         "5 identity number", "6 issuing authority", "7 valid from", "8 valid to",
                                         "9", "10 photo name", "11 photo"};
    return field >= 0 && field <= 11 ? kNames[field] : "?";
}

ZANTOR_NOINLINE void ConsistencySection(GrowingText& out, const Consistency& c)
{
    out.Append("<h2>Card data consistency</h2>\n");
    if (!c.haveReference) {
        out.Append("<p>No cycle read the whole card (all eleven fields returned 0), so nothing was compared.</p>\n");
        return;
    }
    out.AppendFormat("<p>Reference: the card as read most often, %" PRIu64 " time(s), first in cycle %" PRIu32
                     ". Complete reads compared with it: %" PRIu64 "; <strong>%" PRIu64 " differed</strong>%s.</p>\n",
                     c.referenceReads, c.referenceCycle, c.readsCompared, c.readsDiffered, c.readsDiffered ? " ✖" : "");
    out.Append("<table><tr><th>Field</th><th>Reference value</th></tr>\n");
    for (std::size_t i = 0; i < kComparedFieldCount; ++i) {
        out.AppendFormat("<tr><td>%s</td><td class=\"lib\">", FieldName(kComparedFields[i]));
        LibraryText(out, c.referenceText[i], "</td></tr>\n");
    }
    out.AppendFormat("<tr><td>%s</td><td class=\"lib\">%zu base64 characters, SHA-256 %s</td></tr></table>\n",
                     FieldName(11), c.photoLength, c.photoSha256);
    if (c.differences.empty())
        return;
    out.AppendFormat("<p>The first %zu differences, each distinct read once, at the first cycle that read it:</p>\n<table><tr><th class=\"n\">Cycle</th><th>Field</th>"
                      "<th>Reference</th><th>Seen</th></tr>\n",
                     c.differences.size());
    for (const FieldDifference& d : c.differences) {
        out.AppendFormat("<tr class=\"bad\"><td class=\"n\">%" PRIu32 "</td><td>%s</td><td class=\"lib\">", d.cycle,
                         FieldName(d.field));
        LibraryText(out, d.reference, "</td><td class=\"lib\">");
        LibraryText(out, d.seen, "</td></tr>\n");
    }
    out.Append("</table>\n");
}

// A right-aligned cell of a value of `resource`, after `sign`: megabytes for memory, counts for the rest.
void ResourceCell(GrowingText& out, Resource resource, double value, const char* sign = "")
{
    const bool memory = resource == Resource::CommittedMemory;
    out.AppendFormat("<td class=\"n\">%s%.*f%s</td>", sign, memory ? 2 : 0, value / (memory ? 1024.0 * 1024.0 : 1.0),
                     memory ? " MB" : "");
}

ZANTOR_NOINLINE void ResourcesSection(GrowingText& out, const BurnInFigures& figures)
{
    out.Append("<h2>Resources</h2>\n<table><tr><th>Resource</th><th class=\"n\">Samples</th><th class=\"n\">First</th><th class=\"n\">Last</th>"
           "<th class=\"n\">Min</th><th class=\"n\">Max</th><th class=\"n\">Growth per 1,000 cycles</th>"
           "<th class=\"n\">R²</th><th>Leak threshold</th><th>Verdict</th></tr>\n");
    for (int r = 0; r < kResourceCount; ++r) {
        const auto resource = static_cast<Resource>(r);
        const GrowthRule rule = LeakRule(resource);
        const Growth g = JudgeGrowth(figures.samples.data(), figures.samples.size(), resource, rule);
        out.AppendFormat("%s<td>%s</td>", g.verdict == GrowthVerdict::Leak ? "<tr class=\"bad\">" : "<tr>",
                         ResourceName(resource));
        if (g.verdict == GrowthVerdict::NotMeasured) {
            out.Append("<td class=\"none\" colspan=\"8\">not measured here</td><td>not measured here</td></tr>\n");
            continue;
        }
        out.AppendFormat("<td class=\"n\">%zu</td>", g.samples);
        for (const double value : {g.first, g.last, g.min, g.max})
            ResourceCell(out, resource, value);
        // Memory in kilobytes, the rest as counts.
        const bool memory = resource == Resource::CommittedMemory;
        const double unit = memory ? 1024.0 : 1.0;
        const char* const unitName = memory ? " KB" : "";
        if (g.verdict == GrowthVerdict::TooFew)
            out.Append("<td class=\"n none\">–</td><td class=\"n none\">–</td>");
        else
            out.AppendFormat("<td class=\"n\">%+.*f%s</td><td class=\"n\">%.2f</td>", memory ? 1 : 2,
                             g.perThousandCycles / unit, unitName, g.fit.rSquared);
        out.AppendFormat("<td>≥ %.0f%s per 1,000 cycles, R² ≥ %.1f, rise ≥ %.0f%s</td><td><strong>%s</strong>%s</td></tr>\n",
                         rule.perThousandCycles / unit, unitName, rule.minRSquared, rule.minRise / unit, unitName,
                         GrowthVerdictName(g.verdict), g.verdict == GrowthVerdict::Leak ? " ✖" : "");
    }
    out.Append("</table>\n<p class=\"note\">Sampled while the device was open: just after OpenDevice, at least every 1% "
           "of the cycles and just before CloseDevice. A leak is a steady growth: the least-squares line rises at least "
           "the threshold per 1,000 cycles, explains at least 80% of the variance (R²), and the last sample lies at "
           "least the given rise above the first. What the open and the close themselves changed is not judged:</p>\n"
           "<table><tr><th>Resource</th><th class=\"n\">Before OpenDevice</th><th class=\"n\">After</th>"
               "<th class=\"n\">Change</th><th class=\"n\">Before CloseDevice</th><th class=\"n\">After</th>"
               "<th class=\"n\">Change</th></tr>\n");
    for (int r = 0; r < kResourceCount; ++r) {
        const auto resource = static_cast<Resource>(r);
        out.AppendFormat("<tr><td>%s</td>", ResourceName(resource));
        for (const ResourceStep& step : {OpenChange(figures, resource), CloseChange(figures, resource)}) {
            if (!step.measured) {
                out.Append("<td class=\"n none\" colspan=\"3\">not measured</td>");
                continue;
            }
            const double change = step.after - step.before;
            ResourceCell(out, resource, step.before);
            ResourceCell(out, resource, step.after);
            ResourceCell(out, resource, change >= 0 ? change : -change, change >= 0 ? "+" : "−");
        }
        out.Append("</tr>\n");
    }
    out.Append("</table>\n");
}

// The samples that measured `resource`: their cycles and values.
std::size_t SampleSeries(const BurnInFigures& figures, Resource resource, double (&cycles)[kMaxResourceSamples],
                         double (&values)[kMaxResourceSamples])
{
    const auto index = static_cast<std::size_t>(resource);
    std::size_t count = 0;
    for (const ResourceSample& s : figures.samples) {
        if (!s.measured[index] || count == kMaxResourceSamples)
            continue;
        cycles[count] = s.cycle;
        values[count] = static_cast<double>(s.value[index]);
        ++count;
    }
    return count;
}

ZANTOR_NOINLINE void PlotsSection(GrowingText& out, const BurnInFigures& figures)
{
    const Operation plotted[] = {Operation::getDeviceStatus, Operation::readCard, Operation::GetCardInfo};
    for (const Operation operation : plotted) {
        const OperationFigures& op = figures.operations[static_cast<int>(operation)];
        NarrowText<96> title;
        title.Append(OperationName(operation)).Append(" — time per cycle");
        if (operation == Operation::GetCardInfo)
            title.Append(" (all eleven calls together)");
        AppendDurationPlot(out, title.c_str(), op.cycleDurations, op.failedCycles);
    }
    const std::uint32_t lastCycle = figures.cyclesDone;
    double cycles[kMaxResourceSamples], values[kMaxResourceSamples];
    std::size_t count = SampleSeries(figures, Resource::CommittedMemory, cycles, values);
    AppendSamplePlot(out, "Committed private memory", "MB", cycles, values, count, 1024.0 * 1024.0, lastCycle);
    count = SampleSeries(figures, Resource::Handles, cycles, values);
    AppendSamplePlot(out, "Open handles", "handles", cycles, values, count, 1.0, lastCycle);
}

void MessagesSection(GrowingText& out, const BurnInFigures& figures)
{
    out.Append("<h2>Messages a press would have shown</h2>\n");
    if (figures.messages.empty()) {
        out.Append("<p>None.</p>\n");
        return;
    }
    out.Append("<table><tr><th class=\"n\">Count</th><th class=\"n\">First in cycle</th><th>Message</th></tr>\n");
    std::uint64_t kept = 0;
    for (const MessageCount& m : figures.messages) {
        out.AppendFormat("<tr><td class=\"n\">%" PRIu64 "</td><td class=\"n\">%" PRIu32 "</td><td class=\"lib\">",
                         m.count, m.firstCycle);
        LibraryText(out, m.text, "</td></tr>\n");
        kept += m.count;
    }
    out.Append("</table>\n");
    if (kept < figures.messageCount)
        out.AppendFormat("<p class=\"note\">%" PRIu64 " more messages of further kinds are not listed.</p>\n",
                         figures.messageCount - kept);
}

// What the library took through its routed imports: the leaks and what it kept,
// in words, then every kind, operation and site with its counts, and the modules.
ZANTOR_NOINLINE void TakenSection(GrowingText& out)
{
    out.Append("<h2>What the library took and gave back</h2>\n");
    const taken::Ledger* ledger = taken::Active();
    if (ledger == nullptr) {
        out.Append("<p>Not followed: the library's imports were not routed (/trace none).</p>\n");
        return;
    }
    taken::Cause causes[16];
    const std::size_t count = ledger->Judge(causes, 16);
    if (count != 0) {
        out.Append("<ul>\n");
        for (std::size_t i = 0; i < count && i < 16; ++i) {
            char sentence[256];
            const std::size_t length = taken::WriteCause(*ledger, causes[i], sentence, sizeof sentence);
            out.Append(causes[i].leak ? "<li>Leak: " : "<li>Kept, no leak: ");
            AppendHtmlEscaped(out, sentence, length);
            out.Append("</li>\n");
        }
        if (count > 16)
            out.AppendFormat("<li>%zu more, in the table below.</li>\n", count - 16);
        out.Append("</ul>\n");
    }
    out.Append("<table><tr><th>Kind</th><th>Operation</th><th>Site</th><th class=\"n\">Taken</th>"
               "<th class=\"n\">Given back</th><th class=\"n\">Held at the last CloseDevice</th>"
               "<th class=\"n\">Most held at a CloseDevice</th><th class=\"n\">Held at the end</th>"
               "<th class=\"n\">Heap bytes held</th></tr>\n");
    ledger->ForEachRow([&out](const taken::Row& row, std::size_t, const char* site, std::size_t length) {
        out.AppendFormat("<tr><td>%s</td><td>%s</td><td>", taken::KindName(row.kind),
                         taken::OperationSlotName(row.operation));
        AppendHtmlEscaped(out, site, length);
        out.AppendFormat("</td><td class=\"n\">%" PRIu64 "</td><td class=\"n\">%" PRIu64 "</td><td class=\"n\">%" PRIu64
                         "</td><td class=\"n\">%" PRIu64 "</td><td class=\"n\">%" PRIu64 "</td><td class=\"n\">%" PRIu64
                         "</td></tr>\n",
                         row.taken, row.givenBack, row.atLastClose, row.mostAtClose, row.outstanding, row.bytesOutstanding);
    });
    out.Append("</table>\n<p>Modules: ");
    for (std::size_t i = 0; i < ledger->ModuleCount(); ++i) {
        if (i)
            out.Append(", ");
        AppendHtmlEscaped(out, ledger->ModuleName(i));
    }
    out.Append(".</p>\n");
    if (ledger->Capped())
        out.AppendFormat("<p class=\"note\">Past 100,000 items held at once, %" PRIu64
                         " were counted by their site only: what was given back of them is not attributed.</p>\n",
                         ledger->Untracked());
}

}  // namespace

ZANTOR_NOINLINE GrowingText HtmlReport(const BurnInFigures& figures, const RunFacts& facts, const ReportStamp& stamp)
{
    const RunVerdict verdict = JudgeRun(figures, facts.end);
    const bool finished = facts.end.finished;
    GrowingText out(kHead);
    // The same stamp as the JSON's, for a program as well as in the facts below.
    out.AppendFormat("<meta name=\"zantor-stamp\" content=\"%" PRIu32 " ", stamp.cycles);
    AppendHtmlEscaped(out, stamp.time);
    out.AppendFormat("\">\n<title>%s — Zantor burn-in</title>\n</head>\n<body>\n<h1>Zantor burn-in report</h1>\n<div class=\"sub\">",
                     !finished ? "INCOMPLETE" : verdict.failed ? "FAIL" : "PASS");
    Escaped(out, facts.libraryPath);
    out.Append(" · ");
    Escaped(out, facts.startTime);

    // The verdict first, in words as well as colour.
    out.AppendFormat("</div>\n<div class=\"verdict %s</span>",
                     !finished        ? "fail\"><span class=\"badge\">… INCOMPLETE"
                     : verdict.failed ? "fail\"><span class=\"badge\">✖ FAIL"
                                      : "pass\"><span class=\"badge\">✔ PASS");
    const GrowingText line = VerdictLine(verdict, figures, facts);
    if (line.failed())
        out.MarkFailed();
    // "PASS: ", "FAIL: " or "INCOMPLETE: ", which the badge says.
    const std::size_t prefix = finished ? 6 : 12;
    if (line.size() >= prefix)
        AppendHtmlEscaped(out, line.c_str() + prefix, line.size() - prefix);
    out.Append("</div>\n");
    for (std::size_t i = 0; i < verdict.hintCount; ++i) {
        out.Append("<p class=\"hint\">");
        AppendHtmlEscaped(out, verdict.hints[i]);
        out.Append("</p>\n");
    }
    out.Append("<h2>What was tested</h2>\n<dl>\n");
    Fact(out, "Library", facts.libraryPath);
    Fact(out, "Size", facts.librarySize);
    Fact(out, "File version", facts.libraryVersion);
    Fact(out, "SHA-256", facts.librarySha256);
    WideText<64> program;
    program.Append(L"Zantor ").Append(facts.programVersion.c_str()).Append(L", ").AppendDecimal(facts.programBits)
        .Append(L"-bit");
    Fact(out, "Program", program);
    // The facts Zantor words itself have nothing to escape and are never empty.
    out.AppendFormat("<dt>Port</dt><dd>%" PRId32 "</dd>\n", facts.port);
    Fact(out, "Started", facts.startTime);
    Fact(out, "Ended", facts.endTime);
    out.AppendFormat("<dt>Written</dt><dd>after %" PRIu32 " cycles, at ", stamp.cycles);
    AppendHtmlEscaped(out, stamp.time);
    out.Append(" (the JSON beside it has the same stamp)</dd>\n");
    out.AppendFormat("<dt>Cycles</dt><dd>%" PRIu32 " of %" PRIu32 " asked%s</dd>\n"
                     "<dt>Each cycle</dt><dd>getDeviceStatus, readCard, then the card information: GetCardInfo for "
                     "fields 0–8 and 10, and 11, the photo as base64 text, decoded and written to zp.jpg. OpenDevice "
                     "before the first cycle, CloseDevice after the last.</dd>\n</dl>\n",
                     figures.cyclesDone, facts.cyclesAsked, figures.stopped ? ", stopped by the operator" : "");
    // Each section writes its heading.
    CallsTable(out, figures);
    DurationTable(out, figures);
    ConsistencySection(out, figures.consistency);
    ResourcesSection(out, figures);
    TakenSection(out);
    out.Append("<h2>Over the cycles</h2>\n");
    PlotsSection(out, figures);
    MessagesSection(out, figures);
    out.Append("</body>\n</html>\n");
    return out;
}
