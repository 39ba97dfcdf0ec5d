// The HTML page of a load report (declarations in html.h).
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "html.h"

namespace {
constexpr double kMicrosPerMs = 1000.0;
// The plot area of a chart and its margins, in SVG units (pixels at 100%).
constexpr int kWidth = 820, kHeight = 260, kLeft = 64, kRight = 16, kTop = 14, kBottom = 36;
constexpr int kTicks = 5;             // grid lines of the value axis
constexpr int kDistributionBins = 60;  // bars of the latency distribution
// Chart colours, distinct enough to be told apart (and found in a screenshot).
constexpr const char kPassColour[] = "#1f77b4", kStatementColour[] = "#ff7f0e";
constexpr const char kP50Colour[] = "#2ca02c", kP95Colour[] = "#9467bd", kP99Colour[] = "#d62728";
constexpr const char kBarColour[] = "#17becf";

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[512];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return n < 0 ? std::string() : std::string(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
}

// text with the characters that mean something in HTML as references.
std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

double ms(uint64_t micros) { return static_cast<double>(micros) / kMicrosPerMs; }
double rate(uint64_t n, double seconds) { return seconds > 0 ? static_cast<double>(n) / seconds : 0; }

// A round value at or above top for the value axis: a power of ten times 1,
// 1.5, 2, 2.5, 3, 4, 5, 6 or 8, so that the lines fill most of the height.
double axis_top(double top) {
    if (top <= 0) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(top)));
    for (double step : {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0})
        if (step * power >= top) return step * power;
    return 10 * power;
}

// A round step for an axis of ticks about step apart: 1, 2 or 5 times a power of ten.
double round_step(double step) {
    if (step <= 0) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(step)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= step) return m * power;
    return 10 * power;
}

std::string figure(double v) {
    if (v == std::floor(v) && v < 1e15) return format("%.0f", v);
    if (v >= 100) return format("%.0f", v);
    if (v >= 10) return format("%.1f", v);
    return format("%.3g", v);
}

struct Line {
    const char* name;
    const char* colour;
    std::vector<double> values;  // one per interval
    double width = 3;  // of its stroke
};

// The frame of a chart: grid lines and value labels up to top, the axis
// titles, and the legend of lines.
std::string frame(double top, const std::string& unit, const std::string& xTitle, const std::vector<Line>& lines) {
    const int plotH = kHeight - kTop - kBottom;
    std::string out = format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                             "viewBox=\"0 0 %d %d\" role=\"img\">\n",
                             kWidth, kHeight, kWidth, kHeight);
    for (int t = 0; t <= kTicks; ++t) {
        const double y = kTop + plotH - plotH * t / static_cast<double>(kTicks);
        out += format("<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" class=\"grid\"/>"
                      "<text x=\"%d\" y=\"%.1f\" class=\"tick\" text-anchor=\"end\">",
                      kLeft, y, kWidth - kRight, y, kLeft - 6, y + 4);
        out += figure(top * t / kTicks) + "</text>\n";
    }
    out += format("<text x=\"12\" y=\"%d\" class=\"tick\" transform=\"rotate(-90 12 %d)\" text-anchor=\"middle\">",
                  kTop + plotH / 2, kTop + plotH / 2) + escaped(unit) + "</text>\n";
    out += format("<text x=\"%d\" y=\"%d\" class=\"tick\" text-anchor=\"middle\">", (kLeft + kWidth - kRight) / 2,
                  kHeight - 4) + escaped(xTitle) + "</text>\n";
    int x = kLeft + 8;
    for (const Line& l : lines) {
        out += format("<rect x=\"%d\" y=\"%d\" width=\"14\" height=\"4\" fill=\"%s\"/>"
                      "<text x=\"%d\" y=\"%d\" class=\"tick\">",
                      x, kTop + 2, l.colour, x + 18, kTop + 7) + escaped(l.name) + "</text>\n";
        x += 30 + 7 * static_cast<int>(std::string(l.name).size());
    }
    return out;
}

// A chart of lines over the intervals of r, the time axis labelled in seconds.
std::string line_chart(const LoadReport& r, const std::vector<Line>& lines, const std::string& unit) {
    double top = 0;
    for (const Line& l : lines)
        for (double v : l.values) top = std::max(top, v);
    top = axis_top(top);
    std::string out = frame(top, unit, "seconds since the start", lines);
    const size_t n = r.intervals.size();
    const double end = n == 0 ? 1 : r.intervals.back().start + r.intervalSeconds;
    const int plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
    // Each value stands at the middle of its interval.
    const auto xOf = [&](size_t i) { return kLeft + plotW * (r.intervals[i].start + r.intervalSeconds / 2) / end; };
    const auto yOf = [&](double v) { return kTop + plotH - plotH * v / top; };
    const double step = round_step(end / kTicks);
    for (double t = 0; t <= end * (1 + 1e-9); t += step)
        out += format("<text x=\"%.1f\" y=\"%d\" class=\"tick\" text-anchor=\"middle\">%s</text>\n",
                      kLeft + plotW * t / end, kHeight - kBottom + 14, figure(t).c_str());
    for (const Line& l : lines) {
        out += format("<polyline fill=\"none\" stroke=\"%s\" stroke-width=\"%g\" points=\"", l.colour, l.width);
        for (size_t i = 0; i < n; ++i) out += format("%s%.1f,%.1f", i == 0 ? "" : " ", xOf(i), yOf(l.values[i]));
        out += "\"/>\n";
        if (n <= 2 * kDistributionBins)  // a point alone draws no line
            for (size_t i = 0; i < n; ++i)
                out += format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\" fill=\"%s\"/>", xOf(i), yOf(l.values[i]),
                              l.colour);
    }
    return out + "</svg>\n";
}

// Bars of the latency distribution on a logarithmic time axis, from the
// smallest latency to the largest.
std::string distribution_chart(const LatencyHistogram& h) {
    uint64_t low = 0;
    while (low < LatencyHistogram::kBuckets && h.bucket(low) == 0) ++low;
    const double lo = std::log(std::max<double>(1, static_cast<double>(LatencyHistogram::lowest(low))));
    const double hi = std::log(std::max<double>(2, static_cast<double>(h.max()) + 1));
    const double span = std::max(hi - lo, 1e-9);
    std::vector<uint64_t> bins(kDistributionBins, 0);
    for (size_t b = low; b < LatencyHistogram::kBuckets; ++b) {
        if (h.bucket(b) == 0) continue;
        const double at = std::log(std::max<double>(1, static_cast<double>(LatencyHistogram::lowest(b))));
        const auto bin = static_cast<size_t>(std::clamp((at - lo) / span * kDistributionBins, 0.0,
                                                        kDistributionBins - 1.0));
        bins[bin] += h.bucket(b);
    }
    const double top = axis_top(static_cast<double>(*std::max_element(bins.begin(), bins.end())));
    std::string out = frame(top, "executions", "latency, ms (logarithmic)", {{"executions", kBarColour, {}}});
    const int plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
    const double barW = plotW / static_cast<double>(kDistributionBins);
    for (int i = 0; i < kDistributionBins; ++i) {
        const double barH = plotH * static_cast<double>(bins[i]) / top;
        if (bins[i] != 0)
            out += format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>\n",
                          kLeft + i * barW + 0.5, kTop + plotH - barH, barW - 1, barH, kBarColour);
    }
    // Ticks at 1, 2 and 5 times the powers of ten inside the range; over
    // more than four decades at the powers alone, which would crowd.
    const bool crowded = span > 4 * std::log(10.0);
    for (double decade = std::pow(10.0, std::floor(lo / std::log(10.0))); decade <= std::exp(hi); decade *= 10)
        for (double m : {1.0, 2.0, 5.0}) {
            if (crowded && m != 1.0) continue;
            const double at = (std::log(m * decade) - lo) / span;
            if (at >= 0 && at <= 1)
                out += format("<text x=\"%.1f\" y=\"%d\" class=\"tick\" text-anchor=\"middle\">%s</text>\n",
                              kLeft + plotW * at, kHeight - kBottom + 14, figure(m * decade / kMicrosPerMs).c_str());
        }
    return out + "</svg>\n";
}

// A row of cells; a cell given as "~name" is a column of texts, aligned left.
std::string row(const std::vector<std::string>& cells, const char* tag = "td") {
    std::string out = "<tr>";
    for (const std::string& c : cells) {
        const bool text = !c.empty() && c[0] == '~';
        out += std::string("<") + tag + (text ? " class=\"text\">" : ">") + c.substr(text ? 1 : 0) + "</" + tag + ">";
    }
    return out + "</tr>\n";
}

std::string count(uint64_t n) { return std::to_string(n); }
}  // namespace

std::string load_report_html(const LoadReport& r) {
    const uint64_t statements = r.total_statements(), passes = r.total_passes();
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>wsql load report</title>\n"
        "<style>\nbody { font: 14px sans-serif; margin: 24px; color: #222; background: #fff; }\n"
        "table { border-collapse: collapse; margin-bottom: 16px; }\n"
        "td, th { border: 1px solid #ccc; padding: 3px 8px; text-align: right; }\n"
        "td.text, th.text { text-align: left; font-family: monospace; }\n"
        ".passed { color: #1a7f37; } .failed { color: #c62828; font-weight: bold; }\n"
        ".grid { stroke: #ddd; stroke-width: 1; } .tick { font: 11px sans-serif; fill: #555; }\n"
        "</style>\n</head>\n<body>\n";
    out += r.runs > 1 ? format("<h1>Merged report of %ld load runs</h1>\n", r.runs) : "<h1>Load run</h1>\n";
    out += "<table>\n";
    out += row({"plan", escaped(r.plan)});
    out += row({"jobs", count(r.jobs.size())});
    out += row({"elapsed", format("%.3f s", r.seconds)});
    out += row({"statements", format("%" PRIu64 " (%.1f/s)", statements, rate(statements, r.seconds))});
    out += row({"passes", format("%" PRIu64 " (%.1f/s)", passes, rate(passes, r.seconds))});
    out += row({"failed commands", count(r.total_failures())});
    out += row({"connections", format("%" PRIu64 " failed, %" PRIu64 " lost", r.connectFailures, r.connectionsLost)});
    for (const std::string& id : r.runIds) out += row({"run", escaped(id)});
    out += "</table>\n";

    if (!r.thresholds.empty()) {
        out += "<h2>Thresholds</h2>\n<table>\n" +
               row({"~threshold", "result", "measured"}, "th");
        for (const LoadThreshold& t : r.thresholds)
            out += "<tr><td class=\"text\">" + escaped(t.expression) + "</td><td class=\"" +
                   (t.passed ? "passed\">passed" : "failed\">FAILED") + "</td><td>" + escaped(t.measured) +
                   "</td></tr>\n";
        out += "</table>\n";
    }

    if (r.intervalSeconds <= 0 || r.intervals.empty()) {
        out += "<p>This report has no series over time: its run had no --interval.</p>\n";
    } else {
        // Statements under passes, wider: they meet in a one-statement script.
        Line passLine{"passes/s", kPassColour, {}, 2.5}, statementLine{"statements/s", kStatementColour, {}, 6};
        Line p50{"p50", kP50Colour, {}}, p95{"p95", kP95Colour, {}}, p99{"p99", kP99Colour, {}};
        for (const LoadInterval& v : r.intervals) {
            passLine.values.push_back(rate(v.passes, v.seconds));
            statementLine.values.push_back(rate(v.statements, v.seconds));
            p50.values.push_back(ms(v.latency.percentile(50)));
            p95.values.push_back(ms(v.latency.percentile(95)));
            p99.values.push_back(ms(v.latency.percentile(99)));
        }
        out += format("<h2>Throughput</h2>\n<p>Per interval of %g s.</p>\n", r.intervalSeconds);
        out += line_chart(r, {statementLine, passLine}, "per second");
        out += "<h2>Statement latency over time</h2>\n" + line_chart(r, {p50, p95, p99}, "ms");
    }

    LatencyHistogram all;
    for (const LoadStatement& s : r.statements) all.add(s.latency);
    const bool ofPasses = r.passLatency.count() != 0;
    const LatencyHistogram& latency = ofPasses ? r.passLatency : all;
    out += ofPasses ? "<h2>Latency distribution of passes</h2>\n" : "<h2>Latency distribution of statements</h2>\n";
    out += latency.count() == 0 ? "<p>No latencies were measured.</p>\n" : distribution_chart(latency);

    out += "<h2>Statements</h2>\n<table>\n" +
           row({"count", "errors", "mean ms", "p50 ms", "p95 ms", "p99 ms", "max ms", "~statement"}, "th");
    for (const LoadStatement& s : r.statements) {
        const LatencyHistogram& h = s.latency;
        const double mean = h.count() == 0 ? 0 : static_cast<double>(h.sum()) / static_cast<double>(h.count());
        out += "<tr>";
        for (const std::string& c : {count(s.count), count(s.errors), format("%.3f", mean / kMicrosPerMs),
                                     format("%.3f", ms(h.percentile(50))), format("%.3f", ms(h.percentile(95))),
                                     format("%.3f", ms(h.percentile(99))), format("%.3f", ms(h.max()))})
            out += "<td>" + c + "</td>";
        out += "<td class=\"text\">" + escaped(s.text) + "</td></tr>\n";
    }
    out += "</table>\n";

    if (!r.errors.empty()) {
        out += "<h2>Errors by SQLSTATE</h2>\n<table>\n" +
               row({"~SQLSTATE", "count", "~first message"}, "th");
        for (const auto& [state, e] : r.errors)
            out += "<tr><td class=\"text\">" + escaped(state) + "</td><td>" + count(e.count) +
                   "</td><td class=\"text\">" + escaped(e.message) + "</td></tr>\n";
        out += "</table>\n";
    }
    return out + "</body>\n</html>\n";
}
