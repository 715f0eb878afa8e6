#include "levels/LevelReport.h"

#include "platform/Error.h"
#include "platform/ReplaceFile.h"
#include "platform/Text.h"

#include <cstdint>
#include <cstdio>

namespace levora {

namespace {

std::string fixed(double v, const char* fmt) {
    char buf[48];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

// RFC 4180: a field with a separator, a quote or a line break goes between quotes, quotes doubled.
std::string csvField(const std::string& text) {
    const std::string s = validUtf8(text);
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

std::string validUtf8(std::string_view text) {
    static constexpr const char* kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        size_t length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        bool ok = length > 0 && i + length <= text.size();
        uint32_t cp = length == 1 ? b : length == 2 ? b & 0x1Fu : length == 3 ? b & 0x0Fu : b & 0x07u;
        for (size_t k = 1; ok && k < length; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            ok = (c >> 6) == 0x2;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8 either.
        static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        ok = ok && cp >= kLeast[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (ok) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

std::string whatHappenedText(const ReportRow& row) {
    switch (row.what) {
    case WhatHappened::ReachedTarget:
        return "reached the target";
    case WhatHappened::MovedByLargestChange: {
        const std::optional<double> change = levelChange(row);
        return change ? "moved by the largest change: " + fixed(*change, "%+.1f") : "moved by the largest change";
    }
    case WhatHappened::MissedTarget:
        return row.after.measured() ? "did not reach the target: " + fixed(row.after.level, "%.1f")
                                    : "did not reach the target";
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
