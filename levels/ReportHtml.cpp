// The report as one HTML page that needs nothing else: its style sheet and its histogram (SVG) are
// inside it, and every text taken from the host (file names, formats, the log's words) is escaped.
#include "levels/LevelReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace levora {

namespace {

std::string num(double v, const char* fmt = "%.1f") {
    char buf[48];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string esc(const std::string& text) {
    const std::string s = validUtf8(text);
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            // Control characters have no place in an HTML text; they are shown as a replacement.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                out += "&#xFFFD;";
            else
                out += c;
        }
    }
    return out;
}

constexpr const char* kStyle = R"(body{font-family:sans-serif;margin:1.5em;color:#111}
h1{font-size:1.4em}table{border-collapse:collapse;font-size:.9em}
th,td{border:1px solid #bbb;padding:.2em .5em;text-align:left}td.n{text-align:right}td.f{white-space:nowrap}
th{background:#eee}tr.failed td{background:#fde2e2}tr.far td.lv{background:#ffc857;font-weight:bold}
th.sorted{background:#d6e4f0}
.legend span{display:inline-block;width:1em;height:.8em;margin:0 .3em 0 1em}
svg text{font-size:11px;font-family:sans-serif}
)";

// Sorts the table by the column whose heading is clicked (again: the other way round); numbers by
// value, the rest as text. Without scripts the table reads in the grid's order.
constexpr const char* kSortScript = R"(<script>
document.querySelectorAll("table.files th").forEach(function (th, col) {
  th.addEventListener("click", function () {
    var body = th.closest("table").tBodies[0], up = th.dataset.up !== "1";
    var key = function (tr) { var s = tr.cells[col].textContent, v = parseFloat(s); return isNaN(v) ? s : v; };
    Array.from(body.rows).sort(function (a, b) {
      var x = key(a), y = key(b), d = typeof x === typeof y ? (x > y ? 1 : y > x ? -1 : 0) : (typeof x === "number" ? -1 : 1);
      return up ? d : -d;
    }).forEach(function (tr) { body.appendChild(tr); });
    th.parentNode.querySelectorAll("th").forEach(function (h) { h.className = ""; h.dataset.up = ""; });
    th.className = "sorted"; th.dataset.up = up ? "1" : "0";
  });
});
</script>
)";

// "WAV mu-law 8000 Hz mono" as "mu-law 8 kHz mono": the column stays one line wide.
std::string shortFormat(const std::string& format) {
    std::string s = format.rfind("WAV ", 0) == 0 ? format.substr(4) : format;
    for (const auto& [from, to] : {std::pair<const char*, const char*>{"000 Hz", " kHz"}, {" channels", " ch"}})
        if (const size_t at = s.find(from); at != std::string::npos)
            s.replace(at, std::string(from).size(), to);
    return s;
}

// Histogram of the measured levels before and after, 1 dB per bin, with the target and the band
// a run can reach (target +- largest change).
std::string histogram(const LevelReport& report) {
    std::vector<double> before, after;
    for (const ReportRow& r : report.rows) {
        if (r.before.measured())
            before.push_back(r.before.level);
        if (r.after.measured())
            after.push_back(r.after.level);
    }
    const double t = report.options.target;
    const double g = report.options.maxChange;
    const double m = report.options.minimum;
    double lo = std::min(t - g, m), hi = t + g;
    for (const std::vector<double>* v : {&before, &after})
        for (double x : *v) {
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
    // Bins are centred on whole dB, so a levelled file just above or below the target counts at it.
    lo = std::max(-100.0, std::round(lo) - 1.0);
    hi = std::min(0.0, std::round(hi) + 1.0);
    if (hi <= lo)
        hi = lo + 1.0;
    const int bins = static_cast<int>(hi - lo) + 1;
    auto binOf = [&](double x) { return std::clamp(static_cast<int>(std::floor(x - lo + 0.5)), 0, bins - 1); };
    std::vector<int> nb(bins), na(bins);
    for (double x : before)
        ++nb[binOf(x)];
    for (double x : after)
        ++na[binOf(x)];
    const int top = std::max({1, *std::max_element(nb.begin(), nb.end()), *std::max_element(na.begin(), na.end())});

    const double W = 760, H = 260, left = 52, right = 12, upper = 16, bottom = 34;
    const double pw = W - left - right, ph = H - upper - bottom;
    const double a0 = lo - 0.5, a1 = hi + 0.5; // the axis
    auto xOf = [&](double db) { return left + (db - a0) / (a1 - a0) * pw; };
    auto yOf = [&](double count) { return upper + ph - count / top * ph; };
    const double bw = pw / bins;

    std::string s = "<svg width=\"" + num(W, "%.0f") + "\" height=\"" + num(H, "%.0f") +
                    "\" role=\"img\" aria-label=\"Histogram of the levels before and after\">\n";
    // The band, then the target over it.
    const double b0 = xOf(std::max(a0, t - g)), b1 = xOf(std::min(a1, t + g));
    s += "<rect x=\"" + num(b0) + "\" y=\"" + num(upper) + "\" width=\"" + num(b1 - b0) + "\" height=\"" + num(ph) +
         "\" fill=\"#dcefdc\"><title>target " + esc(num(t)) + " dBov +- " + esc(num(g)) + " dB</title></rect>\n";
    for (int i = 0; i < bins; ++i) {
        const double x = xOf(lo + i - 0.5);
        const auto bar = [&](double x0, int n, const char* fill, const char* what) {
            if (n == 0)
                return;
            s += "<rect x=\"" + num(x0) + "\" y=\"" + num(yOf(n)) + "\" width=\"" + num(bw / 2) + "\" height=\"" +
                 num(ph - (yOf(n) - upper)) + "\" fill=\"" + fill + "\"><title>" + what + ": " + std::to_string(n) +
                 (n == 1 ? " file" : " files") + " at " + num(lo + i, "%.0f") + " dBov</title></rect>\n";
        };
        bar(x, nb[i], "#34495e", "before");
        bar(x + bw / 2, na[i], "#f5b041", "after");
    }
    s += "<line x1=\"" + num(xOf(t)) + "\" x2=\"" + num(xOf(t)) + "\" y1=\"" + num(upper - 4) + "\" y2=\"" +
         num(upper + ph) + "\" stroke=\"#1e8449\" stroke-width=\"2\" stroke-dasharray=\"6 3\"/>\n";
    // The minimum threshold: quieter files are not adjusted.
    s += "<line x1=\"" + num(xOf(m)) + "\" x2=\"" + num(xOf(m)) + "\" y1=\"" + num(upper - 4) + "\" y2=\"" +
         num(upper + ph) +
         "\" stroke=\"#c0392b\" stroke-width=\"2\" stroke-dasharray=\"2 3\"><title>minimum threshold " + esc(num(m)) +
         " dBov</title></line>\n";
    // Axes, a tick every 5 dB, the largest count.
    s += "<line x1=\"" + num(left) + "\" x2=\"" + num(left + pw) + "\" y1=\"" + num(upper + ph) + "\" y2=\"" +
         num(upper + ph) + "\" stroke=\"#000\"/>\n";
    s += "<line x1=\"" + num(left) + "\" x2=\"" + num(left) + "\" y1=\"" + num(upper) + "\" y2=\"" + num(upper + ph) +
         "\" stroke=\"#000\"/>\n";
    for (int db = static_cast<int>(std::ceil(lo / 5.0)) * 5; db <= hi; db += 5)
        s += "<line x1=\"" + num(xOf(db)) + "\" x2=\"" + num(xOf(db)) + "\" y1=\"" + num(upper + ph) + "\" y2=\"" +
             num(upper + ph + 4) + "\" stroke=\"#000\"/>\n<text x=\"" + num(xOf(db)) + "\" y=\"" +
             num(upper + ph + 16) + "\" text-anchor=\"middle\">" + std::to_string(db) + "</text>\n";
    s += "<text x=\"" + num(left + pw / 2) + "\" y=\"" + num(H - 4) + "\" text-anchor=\"middle\">level (dBov)</text>\n";
    // The counts: a tick every 1, 2 or 5 times a power of ten, at most about eight of them.
    int step = 1;
    for (int scale = 1; top / step > 8; scale *= 10)
        for (int k : {1, 2, 5})
            if (top / step > 8)
                step = k * scale;
    for (int n = 0; n <= top; n += step)
        s += "<line x1=\"" + num(left - 4) + "\" x2=\"" + num(left) + "\" y1=\"" + num(yOf(n)) + "\" y2=\"" +
             num(yOf(n)) + "\" stroke=\"#000\"/>\n<text x=\"" + num(left - 6) + "\" y=\"" + num(yOf(n) + 4) +
             "\" text-anchor=\"end\">" + std::to_string(n) + "</text>\n";
    s += "<text x=\"12\" y=\"" + num(upper + ph / 2) + "\" text-anchor=\"middle\" transform=\"rotate(-90 12 " +
         num(upper + ph / 2) + ")\">files</text>\n";
    s += "</svg>\n";
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

std::string summary(const LevelReport& report) {
    std::map<WhatHappened, int> counts;
    std::vector<double> before, after;
    for (const ReportRow& r : report.rows) {
        ++counts[r.what];
        if (r.before.measured())
            before.push_back(r.before.level);
        if (r.after.measured())
            after.push_back(r.after.level);
    }
    const LevelOptions& o = report.options;
    std::string s = "<ul class=\"summary\">\n";
    if (!report.machine.empty() || !report.when.empty())
        s += "<li>Machine " + esc(report.machine) + (report.when.empty() ? "" : ", " + esc(report.when)) + "</li>\n";
    s += "<li>Target " + esc(num(o.target)) + " dBov, minimum " + esc(num(o.minimum)) + " dBov, largest change " +
         esc(num(o.maxChange)) + " dB</li>\n";
    s += "<li>" + std::to_string(report.rows.size()) + " files: ";
    const std::pair<WhatHappened, const char*> kinds[] = {
        {WhatHappened::ReachedTarget, "reached the target"},
        {WhatHappened::MovedByLargestChange, "moved by the largest change"},
        {WhatHappened::MissedTarget, "did not reach the target"},
        {WhatHappened::BelowThreshold, "below the threshold"},
        {WhatHappened::LeftAlone, "left alone"},
        {WhatHappened::Failed, "failed"},
    };
    bool first = true;
    for (const auto& [kind, text] : kinds) {
        s += (first ? "" : ", ") + std::to_string(counts[kind]) + " " + text;
        first = false;
    }
    s += "</li>\n";
    if (!before.empty())
        s += "<li>Median level before " + esc(num(median(before))) + " dBov" +
             (after.empty() ? "" : ", after " + esc(num(median(after))) + " dBov") + "</li>\n";
    for (const std::string& note : report.notes)
        s += "<li>" + esc(note) + "</li>\n";
    return s + "</ul>\n";
}

} // namespace

std::string reportHtml(const LevelReport& report) {
    std::string s = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                    "<title>Levora level report</title>\n<style>";
    s += kStyle;
    s += "</style>\n</head>\n<body>\n<h1>Levora level report</h1>\n";
    s += summary(report);
    s += "<p class=\"legend\"><span style=\"background:#34495e\">&#160;</span>before<span "
         "style=\"background:#f5b041\">&#160;"
         "</span>after<span style=\"background:#dcefdc\">&#160;</span>target &#177; largest change (dashed: the "
         "target; dotted red: the minimum threshold)<span style=\"background:#ffc857\">&#160;</span>a level a run "
         "cannot "
         "bring all the way to the target</p>\n";
    s += histogram(report);
    s += "<table class=\"files\">\n<thead><tr><th>Path</th><th>Format</th><th>Seconds</th><th>Activity %</th><th>Level "
         "before</th>"
         "<th>Level after</th><th>Change</th><th>What happened</th></tr></thead>\n<tbody>\n";
    const LevelOptions& o = report.options;
    for (const ReportRow& r : report.rows) {
        // A level the run cannot bring all the way to the target is marked.
        const bool far = r.before.measured() && std::fabs(r.before.level - o.target) > o.maxChange;
        const std::optional<double> change = levelChange(r);
        std::string cls;
        if (r.what == WhatHappened::Failed)
            cls = "failed";
        else if (far)
            cls = "far";
        s += cls.empty() ? "<tr>" : "<tr class=\"" + cls + "\">";
        s += "<td>" + esc(r.path) + "</td><td class=\"f\">" +
             esc(r.before.audio ? shortFormat(r.before.format) : "not audio") + "</td>";
        s += "<td class=\"n\">" + (r.before.audio ? num(r.before.seconds, "%.2f") : "") + "</td>";
        s += "<td class=\"n\">" + (r.before.measured() ? num(r.before.activity * 100.0) : "") + "</td>";
        s += far ? "<td class=\"n lv\" title=\"beyond the largest change\">" : "<td class=\"n lv\">";
        s += esc(levelText(r.before)) + "</td>";
        s += "<td class=\"n\">" + esc(levelText(r.after)) + "</td>";
        s += "<td class=\"n\">" + (change ? num(*change, "%+.1f") : "") + "</td>";
        s += "<td>" + esc(whatHappenedText(r)) + "</td></tr>\n";
    }
    s += "</tbody>\n</table>\n";
    s += kSortScript;
    s += "</body>\n</html>\n";
    return s;
}

} // namespace levora
