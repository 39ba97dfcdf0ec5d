// The Prometheus text form of a load run's counters (declarations in metrics.h).
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "metrics.h"

namespace {
constexpr double kMicrosPerSecond = 1000000.0;
constexpr double kQuantiles[] = {0.5, 0.95, 0.99};

// text as a label value: one line, with backslashes and quotes escaped.
std::string label_value(const std::string& text) {
    std::string out;
    for (char c : load_one_line(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

void header(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void sample(std::string& out, const std::string& name, const std::string& labels, const std::string& value) {
    out += name + "{" + labels + "} " + value + "\n";
}

std::string count(uint64_t n) { return std::to_string(n); }

std::string seconds(double micros) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", micros / kMicrosPerSecond);
    return buf;
}

// The samples of one summary: its quantiles (NaN while empty), sum and count.
void summary(std::string& out, const char* name, const std::string& labels, const LatencyHistogram& h) {
    for (double q : kQuantiles) {
        char quantile[48];
        std::snprintf(quantile, sizeof quantile, ",quantile=\"%g\"", q);
        sample(out, name, labels + quantile,
               h.count() == 0 ? "NaN" : seconds(static_cast<double>(h.percentile(q * 100))));
    }
    sample(out, std::string(name) + "_sum", labels, seconds(static_cast<double>(h.sum())));
    sample(out, std::string(name) + "_count", labels, count(h.count()));
}
}  // namespace

std::string load_metrics_text(const LoadReport& r, long jobs) {
    const std::string labels = "run_id=\"" + (r.runIds.empty() ? std::string() : r.runIds.front()) +
                               "\",jobs=\"" + std::to_string(jobs) + "\"";
    std::string out;
    header(out, "wsql_load_passes_total", "counter", "Complete passes of the script.");
    sample(out, "wsql_load_passes_total", labels, count(r.total_passes()));
    header(out, "wsql_load_statements_total", "counter", "Statement executions.");
    sample(out, "wsql_load_statements_total", labels, count(r.total_statements()));
    header(out, "wsql_load_failures_total", "counter", "Failed statements and commands.");
    sample(out, "wsql_load_failures_total", labels, count(r.total_failures()));
    header(out, "wsql_load_elapsed_seconds", "gauge", "Time since the start of the run.");
    sample(out, "wsql_load_elapsed_seconds", labels, seconds(r.seconds * kMicrosPerSecond));
    header(out, "wsql_load_pass_latency_seconds", "summary", "Latency of whole passes of the script.");
    summary(out, "wsql_load_pass_latency_seconds", labels, r.passLatency);
    header(out, "wsql_load_statement_executions_total", "counter", "Executions of one statement text.");
    for (const LoadStatement& s : r.statements)
        sample(out, "wsql_load_statement_executions_total", labels + ",statement=\"" + label_value(s.text) + "\"",
               count(s.count));
    header(out, "wsql_load_statement_errors_total", "counter", "Failed executions of one statement text.");
    for (const LoadStatement& s : r.statements)
        sample(out, "wsql_load_statement_errors_total", labels + ",statement=\"" + label_value(s.text) + "\"",
               count(s.errors));
    header(out, "wsql_load_statement_latency_seconds", "summary",
           "Latency of the successful executions of one statement text.");
    for (const LoadStatement& s : r.statements)
        summary(out, "wsql_load_statement_latency_seconds", labels + ",statement=\"" + label_value(s.text) + "\"",
                s.latency);
    return out;
}

bool load_write_metrics(const std::string& path, const std::string& text, std::string& error) {
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    // The collector reads the file with its own rights: mkstemp's 0600 would hide it.
    const bool ok = done == text.size() && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    const int saved = errno;
    if (close(fd) == 0 && ok && rename(temp.c_str(), path.c_str()) == 0) return true;
    error = std::strerror(ok ? errno : saved);
    unlink(temp.c_str());
    return false;
}

bool load_metrics_writable(const std::string& path, std::string& error) {
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    close(fd);
    unlink(temp.c_str());
    return true;
}
