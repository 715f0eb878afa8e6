// The fuzz entries of the nightly record and the level report.
#include "FuzzEntries.h"

#include "levels/LevelReport.h"
#include "levels/LevelState.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace levora::fuzz {

bool parseCsv(const std::string& text, std::vector<std::vector<std::string>>& rows) {
    rows.assign(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                rows.back().back() += text[++i];
            else if (c == '"')
                quoted = false;
            else
                rows.back().back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            rows.emplace_back(1);
        } else {
            rows.back().back() += c;
        }
    }
    if (rows.back() == std::vector<std::string>(1))
        rows.pop_back();
    return !quoted;
}

std::string levelRecord(std::string_view input) {
    try {
        const LevelState read = LevelState::parse(input);
        const std::string text = read.text();
        const LevelState again = LevelState::parse(text);
        if (again.damaged() || again.size() != read.size() || again.text() != text)
            return "a record written from what was read does not read the same";
        return {};
    } catch (const std::exception& e) {
        return std::string("unexpected exception: ") + e.what();
    }
}

std::string levelReport(std::string_view input) {
    // Fields of the input, split at NUL: machine, then per row a path and a reason.
    std::vector<std::string> fields(1);
    for (char c : input) {
        if (c == '\0')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    LevelReport report;
    report.machine = fields[0];
    report.notes.push_back(fields[0]);
    for (size_t i = 1; i < fields.size(); i += 2) {
        ReportRow& row = report.rows.emplace_back();
        row.path = fields[i];
        row.what = i % 4 == 1 ? WhatHappened::Failed : WhatHappened::LeftAlone;
        row.reason = i + 1 < fields.size() ? fields[i + 1] : std::string();
        row.before.audio = i % 3 == 0;
        row.before.format = row.reason;
    }
    try {
        const std::string html = reportHtml(report);
        if (validUtf8(html) != html)
            return "the HTML page is not valid UTF-8";
        // The same page with plain texts has as many tags: no text added or removed markup.
        LevelReport plain = report;
        plain.machine = report.machine.empty() ? "" : "m";
        plain.notes.assign(1, "n");
        for (ReportRow& row : plain.rows)
            row.path = row.reason = row.before.format = "x";
        const std::string plainHtml = reportHtml(plain);
        if (std::count(html.begin(), html.end(), '<') != std::count(plainHtml.begin(), plainHtml.end(), '<'))
            return "a text from the host added or removed markup";
        const std::string csv = reportCsv(report);
        if (validUtf8(csv) != csv)
            return "the CSV is not valid UTF-8";
        std::vector<std::vector<std::string>> rows;
        if (!parseCsv(csv, rows))
            return "the CSV has an unterminated quoted field";
        if (rows.size() != report.rows.size() + 1)
            return "the CSV does not parse back to one row per file";
        for (size_t i = 0; i < report.rows.size(); ++i)
            if (rows[i + 1].size() != rows[0].size() || rows[i + 1][0] != validUtf8(report.rows[i].path))
                return "a CSV row does not parse back to its file";
        return {};
    } catch (const std::exception& e) {
        return std::string("unexpected exception: ") + e.what();
    }
}

} // namespace levora::fuzz
