#include "Report.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "Decimal.h"
#include "Escape.h"
#include "Ledger.h"
#include "Plot.h"
#include "Format.h"
#include "ReportFile.h"
#include "ScriptedCalls.h"
#include "Utf8.h"

namespace {

struct EscapeCase {
    const char* what;
    std::string text;
    std::string html;
    std::string json;
};

TEST(Escape, HostileTextsKeepTheirFormatWhole)
{
    const EscapeCase cases[] = {
        {"markup", "<script>x</script>", "&lt;script&gt;x&lt;/script&gt;", "<script>x</script>"},
        {"quotes and ampersand", "a\"b'c&d", "a&quot;b&#39;c&amp;d", "a\\\"b'c&d"},
        {"backslash and controls", "\\\n\t\x01\x1F\x7F", "\\\n\t\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
         "\\\\\\u000a\\u0009\\u0001\\u001f\x7F"},
        {"valid UTF-8 stays", "设备正常 é 😀", "设备正常 é 😀", "设备正常 é 😀"},
        {"stray, cut and overlong bytes", "a\x80" "b\xE4\xB8" "c\xC0\xAF" "d\xED\xA0\x80" "e\xF4\x90\x80\x80",
         "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD\xEF\xBF\xBD" "d\xEF\xBF\xBD" "e\xEF\xBF\xBD",
         "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD\xEF\xBF\xBD" "d\xEF\xBF\xBD" "e\xEF\xBF\xBD"},
        {"a NUL inside", std::string("a\0b", 3), "a\xEF\xBF\xBD" "b", "a\\u0000b"},
    };
    for (const EscapeCase& c : cases) {
        GrowingText html, json;
        AppendHtmlEscaped(html, c.text.data(), c.text.size());
        AppendJsonEscaped(json, c.text.data(), c.text.size());
        EXPECT_EQ(Str(html), c.html) << c.what;
        EXPECT_EQ(Str(json), c.json) << c.what;
    }
}

std::string Utf8FromWide(const wchar_t* text)
{
    GrowingText utf8;
    AppendUtf8(utf8, text);
    return Str(utf8);
}

TEST(Escape, WideTextsBecomeUtf8)
{
    EXPECT_EQ(Utf8FromWide(L"读卡 é"), "读卡 é");
    if constexpr (sizeof(wchar_t) == 4) {
        const wchar_t outside[] = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
        EXPECT_EQ(Utf8FromWide(outside), "a\xEF\xBF\xBD\xEF\xBF\xBD");
    }
}

TEST(Format, NumbersOfEveryKindAsTheReportWritesThem)
{
    const double nan = std::nan("");
    const double inf = HUGE_VAL;
    const struct {
        const char* what;
        ShortText text;
        const char* expected;
    } rows[] = {
        {"zero", Format("%.3f|%g|%.0f", 0.0, 0.0, 0.0), "0.000|0|0"},
        {"negatives, and a minus that rounds away", Format("%.3f|%.2f|%g", -1.5, -0.004, -2.5e-7), "-1.500|-0.00|-2.5e-07"},
        {"a tiny value", Format("%.3f|%g|%.6g", 1e-9, 1e-9, 1.25e-9), "0.000|1e-09|1.25e-09"},
        {"a large value", Format("%.1f|%g|%.0f", 1e12, 1e12, 123456789012.5), "1000000000000.0|1e+12|123456789012"},
        {"the exact value rounds, ties to even", Format("%.2f|%.0f|%.0f|%.0f", 2.675, 0.5, 1.5, 2.5), "2.67|0|2|2"},
        {"carries into a new digit", Format("%.2f|%.3g|%g", 9.999, 9.9999, 999999.5), "10.00|10|1e+06"},
        {"all seventeen decimals", Format("%.17f", 0.1), "0.10000000000000001"},
        {"general notation's two forms", Format("%g|%g|%.6g|%g", 0.0001, 100000.0, 123456789.0, 1e6),
         "0.0001|100000|1.23457e+08|1e+06"},
        {"NaN and the infinities are never numbers", Format("%.3f|%+.1f|%g|%.6g", nan, inf, -inf, nan),
         "null|null|null|null"},
        {"flags and widths", Format("%+.1f|%+.2f|%5d|%-5d|%05d|%04u", 1.25, -0.5, 42, 42, -42, 7u),
         "+1.2|-0.50|   42|42   |-0042|0007"},
        {"integer extremes", Format("%" PRIu64 "|%" PRId32 "|%lld", UINT64_MAX, INT32_MIN, LLONG_MIN),
         "18446744073709551615|-2147483648|-9223372036854775808"},
        {"hex at a width", Format("0x%08" PRIX32 "|0x%0*" PRIXPTR "|%x|%zu", 0xC0000005u, 6, std::uintptr_t{0x1A2B}, 255u,
                                  std::size_t{0}),
         "0xC0000005|0x001A2B|ff|0"},
        {"texts and percent", Format("%s|%.2s|%%", "abc", "abc"), "abc|ab|%"},
        {"an unknown conversion stops the text", Format("%d %e %d", 1, 2.0, 3), "1 {format?}"},
        {"an unknown flag stops the text", Format("%#x", 255u), "{format?}"},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(row.text.c_str(), row.expected) << row.what;

    char out[decimal::kFixedRoom];
    EXPECT_EQ(decimal::WriteFixed(out, nan, 3), 0u) << "NaN refused";
    EXPECT_EQ(decimal::WriteGeneral(out, -inf, 6), 0u) << "an infinity refused";
    EXPECT_TRUE(Format("%0200d", 1).cut()) << "longer than a short text: marked cut";
}

// Against the C library's exact conversions (in the C locale here), over values
// of every magnitude, both notations and every precision the report uses.
TEST(Format, AgreesWithTheCLibraryAcrossMagnitudes)
{
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    const char* formats[] = {"%.0f", "%.1f", "%.2f", "%.3f", "%.6f", "%g", "%.6g", "%.3g"};
    for (int i = 0; i < 5000; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const int exponent = static_cast<int>(state >> 58) - 32;  // 1e-32 .. 1e31
        const double value = std::ldexp(static_cast<double>(state >> 11), -53) * std::pow(10.0, exponent) *
                             ((state & 1) != 0 ? -1 : 1);
        for (const char* format : formats) {
            char expected[400];
            std::snprintf(expected, sizeof expected, format, value);
            GrowingText text;
            text.AppendFormat(format, value);
            ASSERT_STREQ(text.c_str(), expected) << format << " of " << value;
        }
    }
    for (const double extreme : {1.7976931348623157e308, 4.9406564584124654e-324, 2.2250738585072014e-308}) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%.17f|%g", extreme, extreme);
        GrowingText text;
        text.AppendFormat("%.17f|%g", extreme, extreme);
        EXPECT_STREQ(text.c_str(), expected);
    }
}

TEST(JsonPath, ReplacesOrAppendsTheExtension)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"run.html", L"run.json"},
        {L"C:\\out\\run.htm", L"C:\\out\\run.json"},
        {L"run", L"run.json"},
        {L"C:\\a.b\\run", L"C:\\a.b\\run.json"},  // a dot in a folder's name is no extension
        {L"./reports/run", L"./reports/run.json"},
        {L".html", L".html.json"},                  // a name that starts with a dot
        {L"run.final.html", L"run.final.json"},
        {L"run.JSON", L"run.JSON.json"},  // never the page itself
        {std::wstring(kLongestPath - 4, L'a') + L".html", L""},  // no room for ".json": refused, not cut
    };
    static ReportPath path;
    for (const auto& [html, json] : cases) {
        EXPECT_EQ(JsonPathFor(html.c_str(), path), !json.empty());
        EXPECT_EQ(json.empty() ? json : std::wstring(path.c_str()), json);
    }
}

// A small run whose every text a library wrote is hostile.
const BurnInFigures& HostileRun(BurnInRecorder& recorder)
{
    std::string noise = "<img src=x onerror=alert(1)>\"'\x81\xFF";
    for (std::size_t i = noise.size(); i < 1023; ++i)
        noise += static_cast<char>(1 + i % 254);
    for (std::uint32_t cycle = 1; cycle <= 3; ++cycle) {
        recorder.BeginCycle(cycle);
        ScriptedCall status;
        status.result = static_cast<std::int32_t>(cycle);
        status.text = noise;
        Tell(recorder, status);
        ScriptedCall field;
        field.operation = Operation::GetCardInfo;
        field.argument = 4;
        field.value = cycle == 1 ? "</td><script>" : noise;
        for (std::int32_t index : kComparedFields) {
            field.argument = index;
            Tell(recorder, field);
        }
        ScriptedCall photo;
        photo.operation = Operation::GetCardInfo;
        photo.argument = 11;
        photo.value = "QUJD";
        Tell(recorder, photo);
        recorder.EndCycle();
        ResourceSample sample;
        sample.cycle = cycle;
        sample.measured[0] = true;
        sample.value[0] = 1000 * cycle;
        recorder.RecordResources(sample);
    }
    recorder.RecordMessage(L"<b>读卡器库</b>");
    return recorder.Figures();
}

const RunFacts& HostileFacts()
{
    static RunFacts facts;
    facts = RunFacts();
    facts.libraryPath.Append(L"C:\\<x>\\\"q\"\\Mervik.dll");
    facts.startTime.Append(L"</title><script>");
    facts.cyclesAsked = 5;
    return facts;
}

TEST(HtmlReport, LibraryTextsCannotChangeThePage)
{
    BurnInRecorder recorder;
    const std::string page = Str(HtmlReport(HostileRun(recorder), HostileFacts()));
    // Nothing a library or a fact said became markup: the only tags are ours.
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("&lt;img src=x onerror=alert(1)&gt;&quot;&#39;"), std::string::npos);
    EXPECT_NE(page.find("&lt;/title&gt;&lt;script&gt;"), std::string::npos);
    // Our structure is whole: as many rows and tables closed as opened.
    auto count = [&page](const char* what) {
        std::size_t n = 0;
        for (std::size_t at = page.find(what); at != std::string::npos; at = page.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("<tr"), count("</tr>"));
    EXPECT_EQ(count("<table"), count("</table>"));
    EXPECT_EQ(count("<td"), count("</td>"));
    EXPECT_EQ(count("<svg"), count("</svg>"));
    GrowingText valid;
    AppendValidUtf8(valid, page.data(), page.size());
    EXPECT_EQ(Str(valid), page);  // valid UTF-8 throughout
    EXPECT_NE(page.find("✖ FAIL"), std::string::npos);
    EXPECT_EQ(page.find("stopped by the operator"), std::string::npos);  // it was not
}

// Every text a library controls, fault places and its file version included,
// with markup in it: the page shows each escaped at its place, the JSON gives
// each back unchanged. Windows allows & and ' in a module's file name.
TEST(HtmlReport, EveryLibraryTextIsEscapedAtItsPlace)
{
    BurnInFigures figures;
    OperationFigures& read = figures.operations[static_cast<int>(Operation::readCard)];
    read.calls = read.faults = read.failedCalls = 1;
    FaultGroup fault{0xE06D7363, {}, 0x1A2B, 1, 1, true, {}, 0x3C4D};
    ASSERT_TRUE(figures.texts.Keep("Mer&vik's<i>.dll", 16, fault.module));
    ASSERT_TRUE(figures.texts.Keep("\"raise\".dll", 11, fault.raisedModule));
    ASSERT_TRUE(read.faultGroups.Append(fault));
    ResultCount result;
    result.code = 0;
    result.count = 1;
    ASSERT_TRUE(figures.texts.Keep("<u>ok</u>", 9, result.text));
    ASSERT_TRUE(figures.operations[static_cast<int>(Operation::getDeviceStatus)].results.Append(result));
    figures.operations[static_cast<int>(Operation::getDeviceStatus)].calls = 1;
    RunFacts facts = HostileFacts();
    facts.libraryVersion.Append(L"1.0<sup>'</sup>");
    facts.endTime.Append(L"<s>end</s>");

    const std::string page = Str(HtmlReport(figures, facts));
    const char* const escaped[] = {
        "0xE06D7363 at Mer&amp;vik&#39;s&lt;i&gt;.dll+0x1A2B, raised at &quot;raise&quot;.dll+0x3C4D × 1",
        "<span class=\"lib\">&lt;u&gt;ok&lt;/u&gt;</span>",
        "<dt>File version</dt><dd>1.0&lt;sup&gt;&#39;&lt;/sup&gt;</dd>",
        "<dt>Ended</dt><dd>&lt;s&gt;end&lt;/s&gt;</dd>",
        "<dt>Library</dt><dd>C:\\&lt;x&gt;\\&quot;q&quot;\\Mervik.dll</dd>",
    };
    for (const char* text : escaped)
        EXPECT_NE(page.find(text), std::string::npos) << text;
    for (const char* tag : {"<i>", "<u>", "<sup>", "<s>", "\"raise"})
        EXPECT_EQ(page.find(tag), std::string::npos) << tag;

    const nlohmann::json json = nlohmann::json::parse(Str(JsonReport(figures, facts)));
    const auto& group = json["operations"][3]["faultGroups"][0];
    EXPECT_EQ(group["module"], "Mer&vik's<i>.dll");
    EXPECT_EQ(group["place"], "Mer&vik's<i>.dll+0x1A2B, raised at \"raise\".dll+0x3C4D");
    EXPECT_EQ(json["operations"][2]["results"][0]["text"], "<u>ok</u>");
    EXPECT_EQ(json["run"]["library"]["fileVersion"], "1.0<sup>'</sup>");
    EXPECT_EQ(json["run"]["end"], "<s>end</s>");
}

// A library text in a cell: its first 160 characters (not bytes), then how long
// it was; one of 160 whole.
TEST(HtmlReport, ALongLibraryTextIsCutAtItsHundredAndSixtiethCharacter)
{
    std::string han;  // 设 in UTF-8, three bytes
    for (int i = 0; i < 161; ++i)
        han += "\xE8\xAE\xBE";
    const struct {
        const char* what;
        std::string text;
        std::string shown;
        const char* note;  // or null: shown whole
    } rows[] = {
        {"160 characters: whole", std::string(160, 'a'), std::string(160, 'a'), nullptr},
        {"161: the first 160", std::string(161, 'a'), std::string(160, 'a'), "(161 bytes in all"},
        {"160 of three bytes: whole", han.substr(3), han.substr(3), nullptr},
        {"161 of three bytes: 160, the length in bytes", han, han.substr(3), "(483 bytes in all"},
        {"escapes count as the character they stand for", std::string(159, 'a') + "&b", std::string(159, 'a') + "&amp;",
         "(161 bytes in all"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        BurnInFigures figures;
        OperationFigures& status = figures.operations[static_cast<int>(Operation::getDeviceStatus)];
        status.calls = 1;
        ResultCount result;
        result.count = 1;
        ASSERT_TRUE(figures.texts.Keep(row.text.data(), row.text.size(), result.text));
        ASSERT_TRUE(status.results.Append(result));
        const std::string page = Str(HtmlReport(figures, RunFacts()));
        const std::string cell = "<span class=\"lib\">" + row.shown;
        const std::size_t at = page.find(cell);
        ASSERT_NE(at, std::string::npos);
        const std::string after = page.substr(at + cell.size(), 80);
        if (row.note == nullptr)
            EXPECT_EQ(after.rfind("</span></div>", 0), 0u) << after;
        else
            EXPECT_EQ(after.rfind(std::string("<span class=\"none\"> … ") + row.note, 0), 0u) << after;
    }
}

TEST(JsonReport, ParsesBackWithTheFigures)
{
    BurnInRecorder recorder;
    const BurnInFigures& figures = HostileRun(recorder);
    const std::string text = Str(JsonReport(figures, HostileFacts()));
    const nlohmann::json json = nlohmann::json::parse(text);  // throws, failing the test, on invalid JSON or UTF-8

    EXPECT_EQ(json["format"], "zantor-burn-in");
    EXPECT_EQ(json["verdict"]["passed"], false);
    EXPECT_EQ(json["verdict"]["exitCode"], 1);
    EXPECT_EQ(json["run"]["library"]["path"], "C:\\<x>\\\"q\"\\Mervik.dll");
    EXPECT_EQ(json["run"]["cyclesAsked"], 5);
    EXPECT_EQ(json["run"]["cyclesDone"], 3);

    const auto& status = json["operations"][2];
    EXPECT_EQ(status["name"], "getDeviceStatus");
    EXPECT_EQ(status["calls"], 3);
    ASSERT_EQ(status["results"].size(), 3u);
    const std::string libraryText = status["results"][0]["text"];
    EXPECT_EQ(libraryText, Str(figures.texts.View(figures.operations[2].results[0].text)));
    EXPECT_EQ(libraryText.rfind("<img src=x onerror=alert(1)>\"'", 0), 0u);  // the text survives, unchanged
    EXPECT_EQ(status["results"][1]["code"], 2);
    EXPECT_EQ(status["results"][1]["count"], 1);
    EXPECT_EQ(status["results"][1]["firstCycle"], 2);
    EXPECT_TRUE(status["durationMicroseconds"].is_object());
    EXPECT_EQ(json["operations"][0]["durationMicroseconds"], nullptr);  // never called

    const auto& consistency = json["consistency"];
    EXPECT_EQ(consistency["reference"]["cycle"], 2);  // read twice: the most often
    EXPECT_EQ(consistency["reference"]["reads"], 2);
    EXPECT_EQ(consistency["reference"]["fields"][4]["text"], libraryText);
    EXPECT_EQ(consistency["reference"]["photo"]["length"], 4);
    EXPECT_EQ(consistency["readsCompared"], 2);
    EXPECT_EQ(consistency["readsDiffered"], 1);
    EXPECT_EQ(consistency["differences"][0]["cycle"], 1);
    EXPECT_EQ(consistency["differences"][0]["seen"], "</td><script>");

    const auto& resources = json["resources"];
    ASSERT_EQ(resources["samples"].size(), 3u);
    EXPECT_EQ(resources["samples"][2]["committedPrivateBytes"], 3000);
    EXPECT_EQ(resources["samples"][2]["handles"], nullptr);
    EXPECT_EQ(resources["growth"]["committedPrivateBytes"]["verdict"], "tooFewSamples");
    EXPECT_EQ(resources["growth"]["handles"]["verdict"], "notMeasured");
    EXPECT_EQ(json["messages"][0]["text"], "<b>读卡器库</b>");
}

// A run with known figures, stopped after 100 of 250 cycles: getDeviceStatus
// took 1 to 100 ms; readCard returned 144 every time; three card reads of 100
// had another photo; the handles went
// from 40 to 50 at the open, stayed at 50, and to 45 at the close; the memory
// rose by 10 bytes a cycle, too little to be a leak.
const BurnInFigures& KnownRun(BurnInRecorder& recorder)
{
    auto sample = [&recorder](std::uint32_t cycle, std::uint64_t handles) {
        ResourceSample s;
        s.cycle = cycle;
        s.measured[0] = s.measured[1] = true;
        s.value[0] = 1000000 + 10 * cycle;
        s.value[1] = handles;
        recorder.RecordResources(s);
    };
    sample(0, 40);
    ScriptedCall open;
    open.operation = Operation::OpenDevice;
    Tell(recorder, open);
    for (std::uint32_t cycle = 1; cycle <= 100; ++cycle) {
        if (cycle % 10 == 1)
            sample(cycle - 1, 50);
        recorder.BeginCycle(cycle);
        ScriptedCall status;
        status.nanoseconds = std::uint64_t{101 - cycle} * 1000000;
        Tell(recorder, status);
        ScriptedCall read;
        read.operation = Operation::readCard;
        read.result = 144;
        Tell(recorder, read);
        ReadCard(recorder, cycle % 30 == 0 ? "QUJE" : "QUJD");
        recorder.EndCycle();
    }
    sample(100, 50);
    ScriptedCall close;
    close.operation = Operation::CloseDevice;
    Tell(recorder, close);
    sample(100, 45);
    recorder.Stop();
    return recorder.Figures();
}

const RunFacts& KnownFacts()
{
    static RunFacts facts;
    facts = RunFacts();
    facts.cyclesAsked = 250;
    return facts;
}

TEST(HtmlReport, SaysTheKnownFiguresInTheirPlaces)
{
    BurnInRecorder recorder;
    const std::string page = Str(HtmlReport(KnownRun(recorder), KnownFacts()));
    // min, median, 95th, 99th, max, in that order, in milliseconds (min and max
    // exact, the percentiles the middles of their histogram buckets).
    EXPECT_NE(page.find("<tr><td class=\"code\">getDeviceStatus</td><td class=\"n\">1.000</td><td class=\"n\">49.938</td>"
                        "<td class=\"n\">95.158</td><td class=\"n\">98.828</td><td class=\"n\">100.000</td>"
                        "<td>stdcall × 100</td></tr>"),
              std::string::npos);
    EXPECT_NE(page.find("✖ FAIL</span>100 readCard call(s) returned a failure code; 3 card read(s) differed from the "
                        "one read most often; stopped by the operator after 100 of 250 cycles</div>\n<p class=\"hint\">"
                        "readCard returned 144 in every call; if that is its success code, run with /success "
                        "readCard=144</p>"),
              std::string::npos);
    EXPECT_NE(page.find("most often, 97 time(s), first in cycle 1. Complete reads compared with it: 99; <strong>3 "
                        "differed</strong>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><td>handles</td><td class=\"n\">40</td><td class=\"n\">50</td><td class=\"n\">+10</td>"
                        "<td class=\"n\">50</td><td class=\"n\">45</td><td class=\"n\">−5</td></tr>"),
              std::string::npos)
        << "what the open and the close changed";
    // Memory in megabytes to two places (1,000,000 bytes and 1,000,990), its growth in kilobytes to one.
    EXPECT_NE(page.find("<tr><td>committed private memory</td><td class=\"n\">11</td><td class=\"n\">0.95 MB</td>"
                        "<td class=\"n\">0.95 MB</td><td class=\"n\">0.95 MB</td><td class=\"n\">0.95 MB</td>"
                        "<td class=\"n\">+9.8 KB</td><td class=\"n\">1.00</td>"),
              std::string::npos);
    // The library's path is escaped in the sub-header too.
    const std::string hostile = Str(HtmlReport(BurnInFigures(), HostileFacts()));
    EXPECT_NE(hostile.find("<div class=\"sub\">C:\\&lt;x&gt;\\&quot;q&quot;\\Mervik.dll · "
                           "&lt;/title&gt;&lt;script&gt;</div>"),
              std::string::npos);
}

TEST(JsonReport, SaysTheKnownFiguresUnderTheirNames)
{
    BurnInRecorder recorder;
    const nlohmann::json json = nlohmann::json::parse(Str(JsonReport(KnownRun(recorder), KnownFacts())));
    EXPECT_EQ(json["verdict"]["line"], "FAIL: 100 readCard call(s) returned a failure code; 3 card read(s) differed "
                                       "from the one read most often; stopped by the operator after 100 of 250 cycles");
    EXPECT_EQ(json["verdict"]["exitCode"], 1);
    EXPECT_EQ(json["verdict"]["hints"], nlohmann::json::array({"readCard returned 144 in every call; if that is its "
                                                               "success code, run with /success readCard=144"}));
    const auto& durations = json["operations"][2]["durationMicroseconds"];
    const std::pair<const char*, double> exact[] = {{"min", 1000}, {"median", 50000}, {"p95", 95000}, {"p99", 99000}, {"max", 100000}};
    for (const auto& [name, value] : exact)
        EXPECT_NEAR(durations[name].get<double>(), value, value / 100) << name;  // within the histogram's 1%
    EXPECT_EQ(json["operations"][2]["successCodes"], nlohmann::json::parse("[0]"));
    const auto& consistency = json["consistency"];
    EXPECT_EQ(consistency["readsCompared"], 99);
    EXPECT_EQ(consistency["readsDiffered"], 3);
    EXPECT_EQ(consistency["reference"]["reads"], 97);
    const auto& fields = consistency["reference"]["fields"];
    ASSERT_EQ(fields.size(), kComparedFieldCount);
    for (std::size_t i = 0; i < kComparedFieldCount; ++i) {
        EXPECT_EQ(fields[i]["index"], kComparedFields[i]);
        EXPECT_EQ(fields[i]["text"], CardField(kComparedFields[i]));
    }
    EXPECT_EQ(consistency["differences"][0]["cycle"], 30);
    EXPECT_EQ(consistency["differences"][0]["field"], 11);
    const auto& resources = json["resources"];
    EXPECT_EQ(resources["samples"].size(), 11u) << "only those taken while the device was open";
    const auto& memory = resources["growth"]["committedPrivateBytes"];
    EXPECT_EQ(memory["verdict"], "steady");
    EXPECT_EQ(memory["perThousandCycles"], 10000);
    EXPECT_EQ(memory["rSquared"], 1);
    EXPECT_EQ(resources["open"]["handles"], nlohmann::json::parse(R"({"before":40,"after":50,"change":10})"));
    EXPECT_EQ(resources["close"]["handles"], nlohmann::json::parse(R"({"before":50,"after":45,"change":-5})"));
    // The samples just around each call, not the run's first and last: memory rose 1,000 bytes between them.
    EXPECT_EQ(resources["open"]["committedPrivateBytes"],
              nlohmann::json::parse(R"({"before":1000000,"after":1000000,"change":0})"));
    EXPECT_EQ(resources["close"]["committedPrivateBytes"],
              nlohmann::json::parse(R"({"before":1001000,"after":1001000,"change":0})"));
    EXPECT_EQ(resources["open"]["gdiObjects"], nullptr);
}

// The plot's arithmetic is 64-bit: five billion cycles (far past 2^32, and past
// 2^32 / 2,000 columns) put each failed cycle where it lies on the axis.
TEST(DurationPlot, FiveBillionCyclesPlaceTheirFailuresRight)
{
    constexpr std::uint64_t kCycles = 5'000'000'000;
    FoldedSeries series;
    series.Add(1000, false, 4'000'000'000);
    series.Add(5000, true);  // cycle 4,000,000,001: a failed call the column knows
    series.Add(1000, false, kCycles - series.cycles());
    CycleRanges failed;
    failed.Append(4'000'000'001);
    failed.Append(4'500'000'000);  // a failed cycle the column does not know
    ASSERT_EQ(series.cycles(), kCycles);
    ASSERT_LE(series.columns(), FoldedSeries::kMaxColumns);
    EXPECT_FLOAT_EQ(series[series.ColumnOf(4'000'000'001)].max, 5000);

    GrowingText out;
    AppendDurationPlot(out, "readCard", series, failed);
    const std::string svg = Str(out);
    std::vector<double> marks;  // the triangles' x
    for (std::size_t at = svg.find("<path d=\"M"); at != std::string::npos; at = svg.find("<path d=\"M", at + 1)) {
        double x = 0, y = 0;
        int end = 0;
        if (std::sscanf(svg.c_str() + at, "<path d=\"M%lf %lf l-4.5 -8%n", &x, &y, &end) == 2 && end > 0)
            marks.push_back(x);
    }
    // The plot spans x 78 to 985: 80% and 90% of the way.
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_NEAR(marks[0], 78 + 0.8 * 907, 1);
    EXPECT_NEAR(marks[1], 78 + 0.9 * 907, 1);
    EXPECT_NE(svg.find(">5e+09</text>"), std::string::npos);      // the axis's last label
    EXPECT_NE(svg.find("shaded (2 cycles)"), std::string::npos);
}

// A run failing every other cycle: the JSON lists the first 1,000 failed cycles and
// counts the rest; groups past the first 64 are counted as others.
// What the library took, per kind, operation and site, with its modules; a
// module's name and a site are escaped like any text; null when nothing was routed.
TEST(JsonReport, SaysWhatTheLibraryTook)
{
    BurnInRecorder recorder;
    BurnInRecorder unrouted;
    const nlohmann::json before = nlohmann::json::parse(Str(JsonReport(KnownRun(unrouted), KnownFacts())));
    EXPECT_TRUE(before["library"].is_null());
    std::vector<std::uint64_t> memory(taken::Ledger::MemoryFor(100) / 8 + 1);
    taken::Ledger ledger(memory.data(), memory.size() * 8, 100);
    ledger.AddModule("Mervik.dll", 0x10000000, 0x10000);
    ledger.AddModule("M\"ervik\xE2\x82\xACUsb.dll", 0x20000000, 0x10000);
    ledger.BeginCall(3);
    ledger.Take(taken::Kind::Heap, 0x500, 4096, 3, ledger.Place(0x10000020), true);
    ledger.Take(taken::Kind::Heap, 0x600, 100, 3, ledger.Place(0x10000020), true);
    ledger.GiveBack(taken::Kind::Heap, 0x600, ledger.Place(0x10000030), true);
    ledger.Take(taken::Kind::Event, 0x44, 0, taken::kOutside, ledger.Place(0x20001A2B), false);
    ledger.EndCall();
    taken::SetActive(&ledger);
    const nlohmann::json json = nlohmann::json::parse(Str(JsonReport(KnownRun(recorder), KnownFacts())));
    BurnInRecorder paged;
    const std::string page = Str(HtmlReport(KnownRun(paged), KnownFacts()));
    taken::SetActive(nullptr);
    // The page's section: what was kept in words, each row, the modules, a name escaped.
    const std::size_t section = page.find("<h2>What the library took and gave back</h2>");
    ASSERT_NE(section, std::string::npos);
    const std::string taken = page.substr(section, page.find("<h2>", section + 4) - section);
    EXPECT_NE(taken.find("<li>Kept, no leak: outside a call, the library keeps an event it opened at "
                         "M&quot;ervik\xE2\x82\xACUsb.dll+0x1A2B (1 held)</li>"),
              std::string::npos) << taken;
    EXPECT_NE(taken.find("<tr><td>heap</td><td>readCard</td><td>Mervik.dll+0x20</td><td class=\"n\">2</td>"
                         "<td class=\"n\">1</td><td class=\"n\">0</td><td class=\"n\">0</td><td class=\"n\">1</td>"
                         "<td class=\"n\">4096</td></tr>"),
              std::string::npos) << taken;
    EXPECT_NE(taken.find("<p>Modules: Mervik.dll, M&quot;ervik\xE2\x82\xACUsb.dll.</p>"), std::string::npos) << taken;
    EXPECT_NE(Str(HtmlReport(KnownRun(unrouted), KnownFacts())).find("<p>Not followed: the library's imports were not routed (/trace none).</p>"),
              std::string::npos);
    const nlohmann::json& library = json["library"];
    EXPECT_EQ(library["taken"], nlohmann::json::parse(
        R"([{"kind":"heap","operation":"readCard","site":"Mervik.dll+0x20","taken":2,"givenBack":1,"outstanding":1,"bytes":4096},)"
        "{\"kind\":\"event\",\"operation\":\"outside\",\"site\":\"M\\\"ervik\u20ACUsb.dll+0x1A2B\",\"taken\":1,"
        "\"givenBack\":0,\"outstanding\":1,\"bytes\":0}]"));
    EXPECT_EQ(library["modules"], nlohmann::json::parse("[\"Mervik.dll\",\"M\\\"ervik\u20ACUsb.dll\"]"));
    EXPECT_FALSE(library["capped"].get<bool>());
    // The verdict names no leak of one round.
    EXPECT_EQ(json["verdict"]["reasons"], before["verdict"]["reasons"]);
}

TEST(JsonReport, ListsTheFirstThousandFailedCyclesAndCountsTheRest)
{
    BurnInRecorder recorder;
    for (std::uint32_t cycle = 1; cycle <= 3000; ++cycle) {
        recorder.BeginCycle(cycle);
        ScriptedCall field;
        field.operation = Operation::GetCardInfo;
        field.argument = 0;
        field.result = cycle % 2 ? static_cast<std::int32_t>(cycle) : 0;
        Tell(recorder, field);
        recorder.EndCycle();
    }
    const nlohmann::json json = nlohmann::json::parse(Str(JsonReport(recorder.Figures(), HostileFacts())));
    const auto& info = json["operations"][4];
    ASSERT_EQ(info["failedCycles"].size(), 1000u);
    EXPECT_EQ(info["failedCycles"][0], 1);
    EXPECT_EQ(info["failedCycles"][999], 1999);
    EXPECT_EQ(info["failedCyclesNotListed"], 500);
    EXPECT_EQ(info["results"].size(), 64u);  // 0 and the first 63 failure codes
    EXPECT_EQ(info["resultOthers"], 3000 - 1500 - 63);
    EXPECT_EQ(json["verdict"]["reasons"][0], "1500 GetCardInfo call(s) returned a failure code");
}

TEST(JsonReport, ASoftwareExceptionIsPlacedInTheLibraryAndSaysWhereItWasRaised)
{
    BurnInRecorder recorder;
    recorder.BeginCycle(1);
    ScriptedCall thrown;
    thrown.operation = Operation::readCard;
    thrown.raised = true;
    thrown.exceptionCode = 0xE06D7363;
    thrown.address = 0x1A2B;
    thrown.raisedAddress = 0x3C4D;
    Tell(recorder, thrown);
    recorder.EndCycle();
    const nlohmann::json json = nlohmann::json::parse(Str(JsonReport(recorder.Figures(), HostileFacts())));
    const std::string width = sizeof(void*) == 8 ? "0x000000000000" : "0x0000";
    EXPECT_EQ(json["operations"][3]["faultGroups"][0]["place"], width + "1A2B, raised at " + width + "3C4D");
}

// A checkpoint written while the run goes: neither passed nor failed yet.
TEST(JsonReport, ACheckpointSaysTheRunHasNotFinished)
{
    BurnInRecorder recorder;
    RunFacts facts = HostileFacts();
    facts.end.finished = false;
    const BurnInFigures& figures = HostileRun(recorder);
    const nlohmann::json json = nlohmann::json::parse(Str(JsonReport(figures, facts)));
    EXPECT_EQ(json["verdict"]["finished"], false);
    EXPECT_EQ(json["run"]["finished"], false);
    EXPECT_EQ(json["verdict"]["passed"], false);
    EXPECT_EQ(json["verdict"]["exitCode"], nullptr) << "a run still going has no exit status yet";
    const std::string line = json["verdict"]["line"];
    EXPECT_EQ(line.rfind("INCOMPLETE: 3 of 5 cycles done, the run has not finished; so far: ", 0), 0u) << line;
    EXPECT_NE(Str(HtmlReport(figures, facts)).find("<span class=\"badge\">… INCOMPLETE</span>3 of 5 cycles done"),
              std::string::npos);
}

// The checkpoint's flags and the final report's, for each way a run stands.
struct FlagsRow {
    const char* what;
    bool finished, stopped, timedOut;
    std::uint64_t checkpointsNotWritten;
    bool passed;
    nlohmann::json exitCode;
    const char* linePrefix;
};

TEST(JsonReport, TheVerdictsFlagsForEveryWayARunStands)
{
    const FlagsRow rows[] = {
        {"a checkpoint of a clean run has not passed yet", false, false, false, 0, false, nullptr,
         "INCOMPLETE: 3 of 5 cycles done, the run has not finished"},
        {"a checkpoint after lost checkpoints says so", false, false, false, 2, false, nullptr,
         "INCOMPLETE: 3 of 5 cycles done, the run has not finished; so far: 2 checkpoint(s)"},
        {"a finished clean run passes with 0", true, false, false, 0, true, 0, "PASS: "},
        {"a stopped run passes what it ran, with 4", true, true, false, 0, true, 4, "PASS: "},
        {"lost checkpoints fail a finished run", true, false, false, 1, false, 1, "FAIL: 1 checkpoint(s)"},
        {"a call that did not return ends with 5", true, false, true, 0, false, 5, "FAIL: readCard did not"},
    };
    for (const FlagsRow& row : rows) {
        BurnInRecorder recorder;
        for (std::uint32_t cycle = 1; cycle <= 3; ++cycle) {
            recorder.BeginCycle(cycle);
            recorder.EndCycle();
        }
        if (row.stopped)
            recorder.Stop();
        RunFacts facts;
        facts.cyclesAsked = 5;
        facts.end.finished = row.finished;
        facts.end.timedOut = row.timedOut;
        facts.end.timedOutOperation = Operation::readCard;
        facts.end.checkpointsNotWritten = row.checkpointsNotWritten;
        facts.end.checkpointError = 5;
        const nlohmann::json json = nlohmann::json::parse(Str(JsonReport(recorder.Figures(), facts)));
        const nlohmann::json& verdict = json["verdict"];
        EXPECT_EQ(verdict["finished"], row.finished) << row.what;
        EXPECT_EQ(json["run"]["finished"], row.finished) << row.what;
        EXPECT_EQ(verdict["passed"], row.passed) << row.what;
        EXPECT_EQ(verdict["stopped"], row.stopped) << row.what;
        EXPECT_EQ(json["run"]["stopped"], row.stopped) << row.what;
        EXPECT_EQ(verdict["exitCode"], row.exitCode) << row.what;
        const std::string line = verdict["line"];
        EXPECT_EQ(line.rfind(row.linePrefix, 0), 0u) << row.what << ": " << line;
        const std::string badge = !row.finished ? "… INCOMPLETE" : row.passed ? "✔ PASS" : "✖ FAIL";
        EXPECT_NE(Str(HtmlReport(recorder.Figures(), facts)).find("<span class=\"badge\">" + badge + "</span>"),
                  std::string::npos)
            << row.what;
    }
}

std::string ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// "cycles time" from the page's stamp and from the JSON's; "" when the file is missing.
std::string PageStamp(const std::filesystem::path& page)
{
    const std::string text = ReadWhole(page);
    const std::string key = "<meta name=\"zantor-stamp\" content=\"";
    const std::size_t at = text.find(key);
    if (at == std::string::npos)
        return "";
    const std::size_t start = at + key.size();
    return text.substr(start, text.find('"', start) - start);
}
std::string JsonStamp(const std::filesystem::path& json)
{
    if (!std::filesystem::exists(json))
        return "";
    const nlohmann::json document = nlohmann::json::parse(ReadWhole(json));
    return std::to_string(document["stamp"]["cycles"].get<std::uint32_t>()) + " " +
           document["stamp"]["time"].get<std::string>();
}

ReportStamp Stamp(std::uint32_t cycles, const char* time)
{
    ReportStamp stamp;
    stamp.cycles = cycles;
    stamp.time.Append(time);
    return stamp;
}

struct ScratchFolder {
    ScratchFolder() : path(std::filesystem::temp_directory_path() / ("zantor-report-" + std::to_string(::getpid())))
    {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path); }
    std::size_t Files() const { return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(path), {})); }
    std::filesystem::path path;
};

TEST(WriteReports, BothFilesReplacedStampedAlikeAndNothingLeftBehind)
{
    ScratchFolder dir;
    const auto html = dir.path / "run.html";
    std::ofstream(html) << "old";
    std::ofstream(dir.path / "run.json") << "{}";
    BurnInRecorder recorder;
    const BurnInFigures& figures = HostileRun(recorder);
    ASSERT_TRUE(WriteReports(html.wstring().c_str(), figures, HostileFacts()).written);
    EXPECT_EQ(ReadWhole(html).rfind("<!DOCTYPE html>", 0), 0u);
    const std::string stamp = PageStamp(html);
    EXPECT_EQ(stamp.rfind("3 20", 0), 0u) << "the figures' cycles and the date: " << stamp;
    EXPECT_EQ(stamp.size(), 2 + 23u) << "the time to the millisecond: " << stamp;
    EXPECT_EQ(JsonStamp(dir.path / "run.json"), stamp);
    EXPECT_NE(ReadWhole(html).find("<dt>Written</dt><dd>after 3 cycles, at " + stamp.substr(2)), std::string::npos);
    EXPECT_EQ(dir.Files(), 2u) << "no temporary and no earlier file left";

    // A folder that is not there: reported with the system's reason, and nothing is written.
    const ReportWrite missing = WriteReports((dir.path / "missing" / "run.html").wstring().c_str(), figures, HostileFacts());
    EXPECT_FALSE(missing.written);
    EXPECT_EQ(missing.error, static_cast<std::uint32_t>(ENOENT));
    EXPECT_FALSE(missing.json);

    // The JSON cannot be written: the earlier pair stays as it was, a pair.
    const std::string written = ReadWhole(html);
    std::filesystem::create_directory(dir.path / "run.json.tmp");
    RunFacts later = HostileFacts();
    later.end.finished = false;
    const ReportWrite refused = WriteReports(html.wstring().c_str(), figures, later);
    EXPECT_FALSE(refused.written);
    EXPECT_TRUE(refused.json);
    EXPECT_EQ(ReadWhole(html), written);
    EXPECT_EQ(JsonStamp(dir.path / "run.json"), stamp);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "run.html.tmp"));

    // A folder where the JSON goes is nobody's report: refused, and left where it is.
    std::filesystem::remove(dir.path / "run.json.tmp");
    const auto other = dir.path / "other.html";
    std::filesystem::create_directory(dir.path / "other.json");
    EXPECT_FALSE(WriteReports(other.wstring().c_str(), figures, later).written);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path / "other.json"));
    EXPECT_FALSE(std::filesystem::exists(dir.path / "other.json.old"));
    EXPECT_FALSE(std::filesystem::exists(other)) << "no page without its JSON";
}

// The file calls of a replacement, each of which can be made to fail: the n-th
// write, rename or removal fails (or, as if the process were killed there, it
// and every one after it).
struct FaultPlan {
    int failAt = -1;
    bool killed = false;
    int calls = 0;
} plan;

bool Fails()
{
    const int call = plan.calls++;
    return plan.killed ? call >= plan.failAt : call == plan.failAt;
}
constexpr std::uint32_t kRefused = 5;
std::uint32_t FaultyWrite(const wchar_t* path, const char* contents, std::size_t size)
{
    return Fails() ? kRefused : kReportFileSystem.write(path, contents, size);
}
std::uint32_t FaultyMove(const wchar_t* from, const wchar_t* to)
{
    return Fails() ? kRefused : kReportFileSystem.move(from, to);
}
std::uint32_t FaultyRemove(const wchar_t* path)
{
    return Fails() ? kRefused : kReportFileSystem.remove(path);
}
const ReportFileCalls kFaulty = {&FaultyWrite, &FaultyMove, &FaultyRemove, kReportFileSystem.exists};

TEST(WriteReports, AnyFailingStepOrKillLeavesTheLastGoodPair)
{
    // A clean replacement makes 8 calls: two writes, two moves aside, two into
    // place, two removals of the earlier pair.
    BurnInRecorder recorder;
    const BurnInFigures& figures = HostileRun(recorder);
    const std::string earlier = "1 2026-03-07 09:05:02.041", later = "3 2026-03-07 09:05:32.507";
    for (const bool killed : {false, true}) {
        for (int failAt = 0; failAt <= 8; ++failAt) {
            SCOPED_TRACE((killed ? "killed at call " : "call fails: ") + std::to_string(failAt));
            ScratchFolder dir;
            const auto html = dir.path / "run.html", json = dir.path / "run.json";
            const std::wstring page = html.wstring();
            ASSERT_TRUE(WriteReports(page.c_str(), figures, HostileFacts(), kReportFileSystem,
                                     Stamp(1, "2026-03-07 09:05:02.041")).written);
            plan = FaultPlan{failAt, killed, 0};
            const ReportWrite write =
                WriteReports(page.c_str(), figures, HostileFacts(), kFaulty, Stamp(3, "2026-03-07 09:05:32.507"));
            if (!killed) {
                // Only a failed removal of the earlier pair leaves the new one standing.
                EXPECT_EQ(write.written, failAt >= 6);
                EXPECT_EQ(write.error, write.written ? 0u : kRefused);
                EXPECT_EQ(PageStamp(html), write.written ? later : earlier);
                EXPECT_EQ(JsonStamp(json), PageStamp(html));
                EXPECT_FALSE(std::filesystem::exists(dir.path / "run.html.tmp"));
                EXPECT_FALSE(std::filesystem::exists(dir.path / "run.json.tmp"));
            } else {
                // What a killed replacement left, put right as the next one starts.
                EXPECT_TRUE(ReportPair(page.c_str(), json.wstring().c_str()).Recover().done());
                const std::string stamp = PageStamp(html);
                EXPECT_TRUE(stamp == earlier || stamp == later) << stamp;
                EXPECT_EQ(JsonStamp(json), stamp);
                EXPECT_EQ(stamp, failAt >= 6 ? later : earlier);
            }
            EXPECT_FALSE(killed && std::filesystem::exists(dir.path / "run.html.old"));
            // And the next checkpoint is written whole, leaving only the pair.
            ASSERT_TRUE(WriteReports(page.c_str(), figures, HostileFacts(), kReportFileSystem,
                                     Stamp(4, "2026-03-07 09:06:02.000")).written);
            EXPECT_EQ(PageStamp(html), "4 2026-03-07 09:06:02.000");
            EXPECT_EQ(JsonStamp(json), PageStamp(html));
            EXPECT_EQ(dir.Files(), 2u);
        }
    }
}

}  // namespace
