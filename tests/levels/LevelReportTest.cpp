// The report's two forms: a CSV that parses back to the rows, and an HTML page that stands alone
// and shows hostile file names as text.
#include "LevelsFixture.h"

#include "entries/FuzzEntries.h"

#include "platform/Error.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <fstream>
#include <sstream>

namespace levora {
namespace {

namespace fs = std::filesystem;

// Hostile names: separators, quotes, a line break, markup, an entity, a script.
const char* const kHostile = "C:\\Talvio\\Stream Files\\a,\"b\"\r\n<script>alert('x')</script>&amp;.wav";

LevelReport sampleReport() {
    LevelReport r;
    r.machine = "/srv/<host>";
    r.options = {-26.0, -45.0, 5.0};
    r.notes.push_back("3 files unchanged <since> the last run");
    auto row = [&](std::string path, FileLevel before, FileLevel after, WhatHappened what, std::string reason = {}) {
        ReportRow x;
        x.path = std::move(path);
        x.before = before;
        x.after = after;
        x.what = what;
        x.reason = std::move(reason);
        r.rows.push_back(x);
    };
    row(kHostile, test::levelOf(-29.96), test::levelOf(-26.01), WhatHappened::ReachedTarget);
    row("C:\\q.wav", test::levelOf(-50.3, 0.613), test::levelOf(-50.3, 0.613), WhatHappened::BelowThreshold);
    row("C:\\far.wav", test::levelOf(-40.0), test::levelOf(-35.0), WhatHappened::MovedByLargestChange);
    row("C:\\x.idx", test::notAudio(), test::notAudio(), WhatHappened::Failed,
        "The gain tool reported a failure (exit code 3)");
    return r;
}

// RFC 4180, as a spreadsheet reads it: the reader the report's fuzz target checks with.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    EXPECT_TRUE(fuzz::parseCsv(text, rows)) << "an unterminated quoted field";
    return rows;
}

TEST(LevelReport, CsvParsesBackToTheRows) {
    const auto rows = parseCsv(reportCsv(sampleReport()));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"path", "format", "seconds", "activity %", "level before",
                                                 "level after", "change", "what happened"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{kHostile, "WAV PCM 16-bit 8000 Hz mono", "4.00", "80.0", "-30.0",
                                                 "-26.0", "+3.9", "reached the target"}));
    EXPECT_EQ(rows[2][3], "61.3");
    EXPECT_EQ(rows[2][6], "+0.0");
    EXPECT_EQ(rows[2][7], "below the threshold");
    EXPECT_EQ(rows[3][7], "moved by the largest change: +5.0");
    EXPECT_EQ(rows[4], (std::vector<std::string>{"C:\\x.idx", "not audio", "", "", "-", "-", "",
                                                 "failed: The gain tool reported a failure (exit code 3)"}));
}

// Opening and closing tags pair up (void elements aside); the first that does not, else empty.
std::string unbalancedTag(const std::string& html) {
    std::vector<std::string> open;
    for (size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        if (html.compare(at, 2, "<!") == 0)
            continue;
        const bool closing = html[at + 1] == '/';
        const size_t from = at + (closing ? 2 : 1);
        const std::string name = html.substr(from, html.find_first_of(" >/", from) - from);
        const size_t gt = html.find('>', at);
        const bool selfClosed = gt != std::string::npos && html[gt - 1] == '/';
        if (name == "meta" || name == "br" || selfClosed)
            continue;
        if (!closing)
            open.push_back(name);
        else if (open.empty() || open.back() != name)
            return name;
        else
            open.pop_back();
    }
    return open.empty() ? std::string() : open.back();
}

TEST(LevelReport, HtmlStandsAloneAndEscapesWhatTheHostNames) {
    const std::string html = reportHtml(sampleReport());
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(unbalancedTag(html), "");
    for (const char* external : {"http", "src=", "<link", "url(", "@import"})
        EXPECT_EQ(html.find(external), std::string::npos) << external;
    // One script, the page's own (the table's sorting); the hostile name's is only text.
    EXPECT_EQ(html.find("<script"), html.rfind("<script"));
    EXPECT_NE(html.find("a,&quot;b&quot;&#xFFFD;&#xFFFD;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;amp;.wav"),
              std::string::npos);
    EXPECT_NE(html.find("/srv/&lt;host&gt;"), std::string::npos);
    EXPECT_NE(html.find("3 files unchanged &lt;since&gt; the last run"), std::string::npos);
    EXPECT_NE(html.find("4 files: 1 reached the target, 1 moved by the largest change, 0 did not reach the target, 1 "
                        "below the threshold, 0 left alone, 1 failed"),
              std::string::npos);
    // The histogram: the band (target +- largest change), the target, a bar per level before and after.
    EXPECT_NE(html.find("<svg"), std::string::npos);
    EXPECT_NE(html.find("<title>target -26.0 dBov +- 5.0 dB</title>"), std::string::npos);
    EXPECT_NE(html.find("stroke-dasharray"), std::string::npos);
    EXPECT_NE(html.find("before: 1 file at -30 dBov"), std::string::npos);
    EXPECT_NE(html.find("after: 1 file at -26 dBov"), std::string::npos);
    // The file the run cannot bring all the way is marked.
    EXPECT_NE(html.find("<tr class=\"far\"><td>C:\\far.wav"), std::string::npos);
    EXPECT_NE(html.find("<title>minimum threshold -45.0 dBov</title>"), std::string::npos);
}

TEST(LevelReport, HtmlPassesTidyWithoutWarnings) {
    if (!std::filesystem::exists("/usr/bin/tidy"))
        GTEST_SKIP() << "tidy is not installed (scripts/bootstrap installs it)";
    test::TempDir tmp;
    const auto page = tmp.path() / "report.html";
    writeReport(page, sampleReport());
    const auto out = tmp.path() / "tidy.txt";
    const std::string command = "/usr/bin/tidy -q -e '" + page.string() + "' > '" + out.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << test::readFile(out);
}

TEST(LevelReport, BytesOfANameThatAreNotUtf8BecomeTheReplacementCharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain \xC3\xA9t\xC3\xA9 \xE3\x81\x82 \xF0\x9F\x8E\xB5",
         "plain \xC3\xA9t\xC3\xA9 \xE3\x81\x82 \xF0\x9F\x8E\xB5"},
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"cut \xE3\x81", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"past \xF4\x90\x80\x80", "past \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(validUtf8(bytes), text);
    LevelReport report;
    report.rows.emplace_back().path = "C:\\gr\xE9"
                                      "eting.wav";
    for (const std::string& written : {reportCsv(report), reportHtml(report)})
        EXPECT_NE(written.find("C:\\gr\xEF\xBF\xBD"
                               "eting.wav"),
                  std::string::npos)
            << written;
}

TEST(LevelReport, WrittenInTheFormatItsNameAsksFor) {
    test::TempDir tmp;
    const LevelReport report = sampleReport();
    writeReport(tmp.path() / "night.CSV", report);
    writeReport(tmp.path() / "night.html", report);
    auto read = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(read(tmp.path() / "night.CSV"), reportCsv(report));
    EXPECT_EQ(read(tmp.path() / "night.html"), reportHtml(report));

    EXPECT_THROW(writeReport(tmp.path() / "night.txt", report), Error);
    EXPECT_THROW(writeReport(tmp.path() / "no such folder" / "r.csv", report), Error);
    // Nothing is left behind by the refusals, nor beside the reports.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(tmp.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"night.CSV", "night.html"}));
}

} // namespace
} // namespace levora
