#include "levels/LevelReport.h"

#include "platform/Error.h"
#include "platform/ReplaceFile.h"
#include "platform/Text.h"

#include <cstdio>

namespace levora {

namespace {

std::string fixed(double v, const char* fmt) {
    char buf[48];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

// RFC 4180: a field with a separator, a quote or a line break goes between quotes, quotes doubled.
std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string levelCell(const FileLevel& f) {
    return f.measured() ? fixed(f.level, "%.1f") : levelText(f);
}

} // namespace

std::string whatHappenedText(const ReportRow& row) {
    switch (row.what) {
    case WhatHappened::ReachedTarget:
        return "reached the target";
    case WhatHappened::MovedByLargestChange:
        return "moved by the largest change";
    case WhatHappened::BelowThreshold:
        return "below the threshold";
    case WhatHappened::LeftAlone:
        return row.reason.empty() ? "left alone" : "left alone: " + row.reason;
    case WhatHappened::Failed:
        return row.reason.empty() ? "failed" : "failed: " + row.reason;
    }
    return {};
}

std::optional<double> levelChange(const ReportRow& row) {
    if (!row.before.measured() || !row.after.measured())
        return std::nullopt;
    return row.after.level - row.before.level;
}

std::string reportCsv(const LevelReport& report) {
    std::string out = "path,format,seconds,activity %,level before,level after,change,what happened\r\n";
    for (const ReportRow& r : report.rows) {
        const std::optional<double> change = levelChange(r);
        const std::string fields[] = {
            r.path,
            r.before.audio ? r.before.format : "not audio",
            r.before.audio ? fixed(r.before.seconds, "%.2f") : "",
            r.before.measured() ? fixed(r.before.activity * 100.0, "%.1f") : "",
            levelCell(r.before),
            levelCell(r.after),
            change ? fixed(*change, "%+.1f") : "",
            whatHappenedText(r),
        };
        bool first = true;
        for (const std::string& f : fields) {
            if (!first)
                out += ',';
            out += csvField(f);
            first = false;
        }
        out += "\r\n";
    }
    return out;
}

std::optional<ReportFormat> reportFormatFor(const std::filesystem::path& file) {
    const std::string ext = lowerAscii(file.extension().string());
    if (ext == ".csv")
        return ReportFormat::Csv;
    if (ext == ".html" || ext == ".htm")
        return ReportFormat::Html;
    return std::nullopt;
}

void writeReport(const std::filesystem::path& file, const LevelReport& report) {
    const std::optional<ReportFormat> format = reportFormatFor(file);
    if (!format)
        throw Error(err::InvalidCall, "a report is a .csv or an .html file: " + file.string());
    const std::string content = *format == ReportFormat::Csv ? reportCsv(report) : reportHtml(report);
    try {
        writeFileAtomically(file, content);
    } catch (...) {
        throw toError(std::current_exception());
    }
}

} // namespace levora
