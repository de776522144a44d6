#include "Report.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "Escape.h"
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
    BurnInRecorder recorder(3);
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

TEST(JsonReport, ParsesBackWithTheFigures)
{
    BurnInRecorder recorder(3);
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
    EXPECT_EQ(libraryText, Str(figures.operations[2].results[0].text));
    EXPECT_EQ(libraryText.rfind("<img src=x onerror=alert(1)>\"'", 0), 0u);  // the text survives, unchanged
    EXPECT_TRUE(status["durationMicroseconds"].is_object());
    EXPECT_EQ(json["operations"][0]["durationMicroseconds"], nullptr);  // never called

    const auto& consistency = json["consistency"];
    EXPECT_EQ(consistency["reference"]["cycle"], 1);
    EXPECT_EQ(consistency["reference"]["fields"][4]["text"], "</td><script>");
    EXPECT_EQ(consistency["reference"]["photo"]["length"], 4);
    EXPECT_EQ(consistency["readsCompared"], 2);
    EXPECT_EQ(consistency["readsDiffered"], 2);

    const auto& resources = json["resources"];
    ASSERT_EQ(resources["samples"].size(), 3u);
    EXPECT_EQ(resources["samples"][2]["committedPrivateBytes"], 3000);
    EXPECT_EQ(resources["samples"][2]["handles"], nullptr);
    EXPECT_EQ(resources["growth"]["committedPrivateBytes"]["verdict"], "tooFewSamples");
    EXPECT_EQ(resources["growth"]["handles"]["verdict"], "notMeasured");
    EXPECT_EQ(json["messages"][0]["text"], "<b>读卡器库</b>");
}

// A checkpoint written while the run goes: neither passed nor failed yet.
TEST(JsonReport, ACheckpointSaysTheRunHasNotFinished)
{
    BurnInRecorder recorder(3);
    RunFacts facts = HostileFacts();
    facts.end.finished = false;
    const BurnInFigures& figures = HostileRun(recorder);
    const nlohmann::json json = nlohmann::json::parse(Str(JsonReport(figures, facts)));
    EXPECT_EQ(json["verdict"]["finished"], false);
    EXPECT_EQ(json["run"]["finished"], false);
    EXPECT_EQ(json["verdict"]["passed"], false);
    const std::string line = json["verdict"]["line"];
    EXPECT_EQ(line.rfind("INCOMPLETE: 3 of 5 cycles done, the run has not finished; so far: ", 0), 0u) << line;
    EXPECT_NE(Str(HtmlReport(figures, facts)).find("<span class=\"badge\">… INCOMPLETE</span>3 of 5 cycles done"),
              std::string::npos);
}

TEST(WriteReports, BothFilesReplacedAndNothingLeftBehind)
{
    const auto dir = std::filesystem::temp_directory_path() / ("zantor-report-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto html = dir / "run.html";
    std::ofstream(html) << "old";
    BurnInRecorder recorder(3);
    const BurnInFigures& figures = HostileRun(recorder);
    ASSERT_TRUE(WriteReports(html.wstring().c_str(), figures, HostileFacts()));
    std::ifstream in(html);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(written, Str(HtmlReport(figures, HostileFacts())));
    EXPECT_TRUE(std::filesystem::exists(dir / "run.json"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);  // no temporary file left

    // A folder that is not there: reported, and nothing is written.
    EXPECT_FALSE(WriteReports((dir / "missing" / "run.html").wstring().c_str(), figures, HostileFacts()));

    // The JSON cannot be written: the earlier pair stays as it was, a pair.
    std::filesystem::create_directory(dir / "run.json.tmp");
    RunFacts later = HostileFacts();
    later.end.finished = false;
    EXPECT_FALSE(WriteReports(html.wstring().c_str(), figures, later));
    std::ifstream again(html);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), written);
    EXPECT_FALSE(std::filesystem::exists(dir / "run.html.tmp"));
    std::filesystem::remove_all(dir);
}

}  // namespace
