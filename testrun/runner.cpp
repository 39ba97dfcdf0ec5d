// A test run: the files to run, a child per file and data source, each
// file's verdict, the report, the diffs, JUnit and what --record writes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <optional>
#include <regex>
#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "children.h"
#include "diff.h"
#include "isqlcmd.h"
#include "isqltest.h"
#include "junit.h"
#include "masks.h"
#include "options.h"
#include "slt_run.h"
#include "zvunicode.h"

namespace fs = std::filesystem;

namespace {
constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNotStarted = 2;
constexpr size_t kDiffLinesOffTerminal = 50;  // a failure's diff in the report is cut after this

enum class Kind { Script, Slt };

struct TestFile {
    std::string path;  // as it is shown: the operand, or below a folder operand
    Kind kind = Kind::Script;
};

struct Verdict {
    enum class Is { Passed, Failed, Skipped } is = Is::Passed;
    std::string message;  // why it failed or was skipped, one or more lines
    std::string diff;
    std::string actual;   // for --diff-dir
    std::vector<std::string> wrote;
    double seconds = 0;
};

constexpr char kDsnVariable[] = "${WSQL_DSN}";  // in a script: the data source's name

// One file against one data source.
struct Task {
    const TestFile* file = nullptr;
    int source = -1;  // index in the options' sources; -1: the file connects itself
    std::string dbms;
    // A script that names the data source, copied with its name put in; the
    // session runs the copy and connects as it says.
    std::string copy;
    bool connectsItself = false;  // a script with a CONNECT of its own is not connected for it
};

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

std::optional<Kind> kind_of(const fs::path& p) {
    const std::string ext = p.extension().string();
    if (ext == ".sql") return Kind::Script;
    if (ext == ".test" || ext == ".slt") return Kind::Slt;
    return std::nullopt;
}

// The test files of the operands: folders walked in name order (names
// beginning with "_" are not tests: scripts that tests run, say).
bool collect(const std::vector<std::string>& paths, std::vector<TestFile>& files, std::string& why) {
    for (const std::string& operand : paths) {
        std::error_code ec;
        const fs::file_status st = fs::status(operand, ec);
        if (ec || !fs::exists(st)) {
            why = "no such file or folder: " + operand;
            return false;
        }
        if (!fs::is_directory(st)) {
            const std::optional<Kind> k = kind_of(operand);
            if (!k) {
                why = "not a test file (.sql, .test or .slt): " + operand;
                return false;
            }
            files.push_back({operand, *k});
            continue;
        }
        std::vector<TestFile> found;
        for (fs::recursive_directory_iterator it(operand, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path p = it->path();
            if (p.filename().string().front() == '_') {
                if (it->is_directory()) it.disable_recursion_pending();
                continue;
            }
            if (!it->is_regular_file()) continue;
            if (const std::optional<Kind> k = kind_of(p)) found.push_back({p.string(), *k});
        }
        if (ec) {
            why = "cannot read the folder " + operand + ": " + ec.message();
            return false;
        }
        std::sort(found.begin(), found.end(), [](const TestFile& a, const TestFile& b) { return a.path < b.path; });
        files.insert(files.end(), found.begin(), found.end());
    }
    if (files.empty()) why = "no test files (.sql, .test, .slt) found";
    return why.empty();
}

// The command line of the session that runs a script, in its folder.
// Whether the script connects by itself: a line that the command parser
// reads as CONNECT or CUSTOMCONNECT.
bool connects_itself(const std::string& text) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::wstring wide(line.size() + 1, L'\0');
        utf8towcs(reinterpret_cast<const unsigned char*>(line.c_str()), -1, wide.data(),
                  static_cast<unsigned int>(wide.size()));
        const CmdKind kind = isql_parse_line(wide.c_str()).kind;
        if (kind == CmdKind::CMD_CONNECT || kind == CmdKind::CMD_CUSTOMCONNECT) return true;
    }
    return false;
}

// text with each ${WSQL_DSN} made dsn.
std::string with_dsn(const std::string& text, const std::string& dsn) {
    std::string out;
    for (size_t at = 0;;) {
        const size_t found = text.find(kDsnVariable, at);
        out += text.substr(at, found == std::string::npos ? std::string::npos : found - at);
        if (found == std::string::npos) return out;
        out += dsn;
        at = found + std::strlen(kDsnVariable);
    }
}

std::vector<std::string> session_args(const TestOptions& o, const Task& t) {
    std::vector<std::string> args = {"wsql"};
    args.insert(args.end(), o.sessionArgs.begin(), o.sessionArgs.end());
    args.push_back("-c");
    args.push_back(t.copy.empty() ? fs::path(t.file->path).filename().string() : t.copy);
    if (t.source >= 0 && !t.connectsItself) {
        const TestSource& s = o.sources[static_cast<size_t>(t.source)];
        if (!s.connect.empty()) args.push_back("--connect=" + s.connect);
        if (!o.user.empty()) args.push_back("--user=" + o.user);
        if (!s.dsn.empty()) args.push_back(s.dsn);
    }
    return args;
}

// Runs the session on the script, its standard output and error both to fd.
int run_script(const TestOptions& o, const Task& t, int fd) {
    const std::vector<std::string> args = session_args(o, t);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 127;
    self[n] = '\0';
    const fs::path dir = fs::path(t.file->path).parent_path();
    if (!dir.empty() && chdir(dir.c_str()) != 0) {
        dprintf(fd, "wsql: cannot enter the folder %s\n", dir.c_str());
        return 127;
    }
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    execv(self, argv.data());
    dprintf(fd, "wsql: cannot run %s: %s\n", self, std::strerror(errno));
    return 127;
}

// The expected file of a script for the database: NAME.<dbms>.out when it
// exists, else NAME.out.
std::string expected_path(const std::string& script, const std::string& dbms) {
    const fs::path p(script);
    const fs::path stem = p.parent_path() / p.stem();
    if (!dbms.empty()) {
        const std::string alternative = stem.string() + "." + dbms + ".out";
        if (fs::exists(alternative)) return alternative;
    }
    return stem.string() + ".out";
}

std::vector<std::regex> compiled(const std::vector<std::string>& texts, std::string& why) {
    std::vector<std::regex> out;
    for (const std::string& t : texts) {
        try {
            out.emplace_back(t);
        } catch (const std::regex_error&) {
            why = "not a valid regular expression in a mask: " + t;
        }
    }
    return out;
}

struct Run {
    const TestOptions& o;
    std::vector<std::regex> masks;  // --mask
    std::vector<TestFile> files;
    std::vector<std::string> dbms;          // per source: the database's word; empty: unknown
    std::vector<std::string> sourceFailure; // per source: why it could not be reached
    std::vector<Task> tasks;
    std::vector<std::optional<Verdict>> verdicts;
    size_t printed = 0;
    bool progress = isatty(STDOUT_FILENO) != 0;

    std::string source_label(const Task& t) const {
        return t.source < 0 ? "" : o.sources[static_cast<size_t>(t.source)].label();
    }

    Verdict judge_script(const Task& t, ChildResult&& r) {
        Verdict v;
        if (r.timedOut) return failed(v, "still running after " + std::to_string(o.timeoutSeconds) + " s: stopped");
        if (r.cut) return failed(v, "more than " + std::to_string(kMaxCapturedBytes >> 20) + " MiB of output");
        std::string actual = std::move(r.output);
        if (r.status != 0) {
            if (!actual.empty() && actual.back() != '\n') actual += '\n';
            actual += "[exit status " + std::to_string(r.status) + "]\n";
        }
        std::string why;
        const std::optional<std::string> script = read_file(t.file->path);
        std::vector<std::regex> masks = masks_of(script.value_or(""), why);
        if (!why.empty()) return failed(v, why);
        actual = mask_output(actual, masks);
        const std::string path = expected_path(t.file->path, t.dbms);
        const std::optional<std::string> expected = read_file(path);
        if (!expected) {
            if (o.record == RecordMode::Off) return failed(v, "no expected file " + path + " (--record writes it)", actual);
            return recorded(v, path, actual);
        }
        const std::string want = mask_output(*expected, masks);
        if (want == actual) return v;
        if (o.record == RecordMode::All) return recorded(v, path, actual);
        v.diff = unified_diff(split_lines(want), split_lines(actual), path, "actual output");
        if (v.diff.empty()) return failed(v, "the output differs from " + path + " only in the line end of its last line", actual);
        return failed(v, "the output differs from " + path, actual);
    }

    std::vector<std::regex> masks_of(const std::string& script, std::string& why) {
        std::vector<std::regex> all = masks;
        const std::vector<std::regex> own = compiled(read_script_directives(script).masks, why);
        all.insert(all.end(), own.begin(), own.end());
        return all;
    }

    Verdict judge_slt(const Task& t, ChildResult&& r) {
        Verdict v;
        if (r.timedOut) return failed(v, "still running after " + std::to_string(o.timeoutSeconds) + " s: stopped");
        SltOutcome out;
        if (!slt_decode(r.output, out))
            return failed(v, "the test process ended without its outcome (status " + std::to_string(r.status) + ")");
        if (!out.toWrite.empty() && write_file(t.file->path, out.toWrite)) v.wrote.push_back(t.file->path);
        if (out.skipped) {
            v.is = Verdict::Is::Skipped;
            v.message = "nothing runs on " + out.engine;
            return v;
        }
        if (out.failures.empty()) return v;
        std::string message;
        for (const std::string& f : out.failures) message += (message.empty() ? "" : "\n") + f;
        // No actual text: the file could not be run at all (malformed, no connection).
        if (!out.actual.empty())
            v.diff = unified_diff(split_lines(read_file(t.file->path).value_or("")), split_lines(out.actual),
                                  t.file->path, "actual results");
        return failed(v, message, out.actual);
    }

    static Verdict failed(Verdict& v, const std::string& why, const std::string& actual = "") {
        v.is = Verdict::Is::Failed;
        v.message = why;
        v.actual = actual;
        return v;
    }

    static Verdict recorded(Verdict& v, const std::string& path, const std::string& actual) {
        if (!write_file(path, actual)) return failed(v, "cannot write " + path, actual);
        v.wrote.push_back(path);
        return v;
    }

    // The script as it runs (see with_dsn), in a file of its own.
    static bool make_copy(Task& t, const std::string& copy) {
        const char* tmp = std::getenv("TMPDIR");
        std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/wsql-test.XXXXXX";
        const int fd = mkstemp(path.data());
        if (fd < 0) return false;
        close(fd);
        t.copy = path;
        return write_file(path, copy);
    }

    // A script whose "needs:" names other databases is skipped there;
    // a script that names the data source gets its copy.
    std::optional<Verdict> decide_before_running(Task& t) {
        if (t.source >= 0 && !sourceFailure[static_cast<size_t>(t.source)].empty()) {
            Verdict v;
            return failed(v, sourceFailure[static_cast<size_t>(t.source)]);
        }
        if (t.file->kind != Kind::Script) return std::nullopt;
        const std::string text = read_file(t.file->path).value_or("");
        const ScriptDirectives d = read_script_directives(text);
        Verdict v;
        if (!t.dbms.empty() && !d.needs.empty() && std::find(d.needs.begin(), d.needs.end(), t.dbms) == d.needs.end()) {
            v.is = Verdict::Is::Skipped;
            v.message = "needs " + d.needs.front() + (d.needs.size() > 1 ? " or another" : "") + ", not " + t.dbms;
            return v;
        }
        const bool namesSource = t.source >= 0 && text.find(kDsnVariable) != std::string::npos;
        const TestSource* s = t.source >= 0 ? &o.sources[static_cast<size_t>(t.source)] : nullptr;
        if (namesSource && s->dsn.empty())
            return failed(v, std::string("the script names ") + kDsnVariable + ", but the data source is a connect string");
        const std::string runs = namesSource ? with_dsn(text, s->dsn) : text;
        t.connectsItself = connects_itself(runs);
        if (namesSource && !make_copy(t, runs)) return failed(v, "cannot copy the script to put the data source's name in");
        return std::nullopt;
    }

    void line_for(size_t i) {
        const Task& t = tasks[i];
        const Verdict& v = *verdicts[i];
        const char* word = v.is == Verdict::Is::Passed ? "ok" : v.is == Verdict::Is::Failed ? "FAIL" : "skipped";
        std::string line = std::string(word) + std::string(8 - std::strlen(word), ' ') + t.file->path;
        if (o.sources.size() > 1) line += "  [" + source_label(t) + "]";
        line += "  " + std::to_string(static_cast<long long>(v.seconds * 1000)) + " ms";
        if (v.is == Verdict::Is::Skipped) line += "  (" + v.message + ")";
        std::printf("%s%s\n", progress ? "\r\033[K" : "", line.c_str());
        for (const std::string& w : v.wrote) std::printf("wrote %s\n", w.c_str());
    }

    // Prints the lines of the verdicts that are in, in the order of the files.
    void print_ready() {
        while (printed < verdicts.size() && verdicts[printed]) line_for(printed++);
        if (progress && printed < verdicts.size())
            std::printf("\r\033[K[%zu/%zu] %s", printed, verdicts.size(), tasks[printed].file->path.c_str());
        std::fflush(stdout);
    }

    size_t diff_lines_shown() const {
        winsize ws{};
        if (progress && ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 4)
            return static_cast<size_t>(ws.ws_row) - 4;
        return kDiffLinesOffTerminal;
    }

    void report_failure(size_t i) {
        const Task& t = tasks[i];
        const Verdict& v = *verdicts[i];
        std::string where = t.file->path + (o.sources.size() > 1 ? " [" + source_label(t) + "]" : "");
        std::printf("\n=== FAIL %s\n%s\n", where.c_str(), v.message.c_str());
        if (!v.diff.empty()) {
            const std::vector<std::string> lines = split_lines(v.diff);
            const size_t shown = std::min(lines.size(), diff_lines_shown());
            for (size_t k = 0; k < shown; ++k) std::printf("%s\n", lines[k].c_str());
            if (shown < lines.size())
                std::printf("... %zu more lines of the diff%s\n", lines.size() - shown,
                            o.diffDir.empty() ? " (--diff-dir keeps it whole)" : "");
        }
        if (!o.diffDir.empty()) keep_failure(t, v);
    }

    // The whole diff and the actual output under the diff folder.
    void keep_failure(const Task& t, const Verdict& v) {
        fs::path rel = fs::path(t.file->path).relative_path();
        std::string clean;
        for (const fs::path& part : rel)
            if (part != ".." && part != ".") clean += (clean.empty() ? "" : "/") + part.string();
        fs::path base = fs::path(o.diffDir) / (t.source >= 0 ? source_label(t) : "") / clean;
        std::error_code ec;
        fs::create_directories(base.parent_path(), ec);
        if (!write_file(base.string() + ".diff", v.diff + v.message + "\n") ||
            !write_file(base.string() + ".actual", v.actual))
            std::fprintf(stderr, "wsql: cannot write the diff of %s under %s\n", t.file->path.c_str(),
                         o.diffDir.c_str());
    }

    bool write_junit() const {
        std::vector<JunitSuite> suites;
        std::map<int, size_t> bySource;
        for (size_t i = 0; i < tasks.size(); ++i) {
            const Task& t = tasks[i];
            auto [it, added] = bySource.try_emplace(t.source, suites.size());
            if (added) suites.push_back({t.source < 0 ? "wsql" : source_label(t), {}});
            const Verdict& v = *verdicts[i];
            JunitCase c;
            c.name = t.file->path;
            c.seconds = v.seconds;
            c.outcome = v.is == Verdict::Is::Passed ? JunitCase::Outcome::Passed
                        : v.is == Verdict::Is::Failed ? JunitCase::Outcome::Failed : JunitCase::Outcome::Skipped;
            c.message = v.message.substr(0, v.message.find('\n'));
            c.details = v.message + "\n" + v.diff;
            suites[it->second].cases.push_back(std::move(c));
        }
        return write_file(o.junit, junit_xml(suites));
    }
};

// Learns each data source's database, in a child, so that a source that
// hangs is stopped like a test.
void probe_sources(Run& run) {
    std::vector<ChildTask> probes;
    for (const TestSource& s : run.o.sources)
        probes.push_back([&run, &s](int fd) { return dbms_probe_child(s, run.o.user, fd); });
    run.dbms.assign(run.o.sources.size(), "");
    run.sourceFailure.assign(run.o.sources.size(), "");
    run_children(probes, run.o.jobs, run.o.timeoutSeconds, [&run](size_t i, ChildResult&& r) {
        SltOutcome out;
        if (r.timedOut) run.sourceFailure[i] = "connecting to " + run.o.sources[i].label() + " did not end";
        else if (!slt_decode(r.output, out)) run.sourceFailure[i] = "connecting to " + run.o.sources[i].label() + " failed";
        else if (!out.failures.empty()) run.sourceFailure[i] = out.failures.front();
        else run.dbms[i] = out.engine;
    });
}

int not_started(const std::string& why) {
    std::fprintf(stderr, "wsql --test: %s\n", why.c_str());
    return kExitNotStarted;
}
}  // namespace

bool isql_test_requested(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], "--test") == 0) return true;
    return false;
}

const char* isql_test_help() { return test_options_help(); }

int isql_test_main(int argc, char** argv) {
    TestOptions o;
    std::string why;
    if (!test_parse_options(argc, argv, o, why)) return not_started(why);
    Run run{o, compiled(o.masks, why), {}, {}, {}, {}, {}};
    if (!why.empty()) return not_started(why);
    std::vector<TestFile> all;
    if (!collect(o.paths, all, why)) return not_started(why);
    for (size_t i = 0; i < all.size(); ++i)
        if (static_cast<int>(i % static_cast<size_t>(o.shardCount)) == o.shardIndex - 1) run.files.push_back(all[i]);
    if (!o.junit.empty() && !write_file(o.junit, junit_xml({}))) return not_started("cannot write " + o.junit);
    std::fflush(stdout);
    probe_sources(run);
    const int sources = static_cast<int>(o.sources.size());
    for (int s = sources == 0 ? -1 : 0; s < std::max(sources, 0); ++s)
        for (const TestFile& f : run.files)
            run.tasks.push_back({&f, s, s < 0 ? "" : run.dbms[static_cast<size_t>(s)], "", false});
    run.verdicts.assign(run.tasks.size(), std::nullopt);

    // What runs in a child: the tasks not decided before running.
    std::vector<ChildTask> children;
    std::vector<size_t> taskOf;
    for (size_t i = 0; i < run.tasks.size(); ++i) {
        if (std::optional<Verdict> v = run.decide_before_running(run.tasks[i])) {
            run.verdicts[i] = std::move(v);
            continue;
        }
        const Task* t = &run.tasks[i];
        taskOf.push_back(i);
        children.push_back([&o, t](int fd) {
            if (t->file->kind == Kind::Script) return run_script(o, *t, fd);
            const int devnull = open("/dev/null", O_WRONLY);
            if (devnull >= 0) {
                dup2(devnull, STDOUT_FILENO);
                dup2(devnull, STDERR_FILENO);
            }
            return slt_child(t->file->path, t->source < 0 ? nullptr : &o.sources[static_cast<size_t>(t->source)],
                             o.user, o.record, fd);
        });
    }
    run.print_ready();
    const int stopped = run_children(children, o.jobs, o.timeoutSeconds, [&run, &taskOf](size_t k, ChildResult&& r) {
        const size_t i = taskOf[k];
        const double seconds = r.seconds;
        Verdict v = run.tasks[i].file->kind == Kind::Script ? run.judge_script(run.tasks[i], std::move(r))
                                                             : run.judge_slt(run.tasks[i], std::move(r));
        v.seconds = seconds;
        if (!run.tasks[i].copy.empty()) unlink(run.tasks[i].copy.c_str());
        run.verdicts[i] = std::move(v);
        run.print_ready();
    });
    if (stopped != 0) {
        if (run.progress) std::printf("\r\033[K");
        std::printf("stopped by signal %d: %zu of %zu files ran\n", stopped, run.printed, run.tasks.size());
        return 128 + stopped;
    }
    size_t passed = 0, failedCount = 0, skipped = 0;
    for (size_t i = 0; i < run.tasks.size(); ++i) {
        const Verdict& v = *run.verdicts[i];
        if (v.is == Verdict::Is::Passed) ++passed;
        else if (v.is == Verdict::Is::Skipped) ++skipped;
        else ++failedCount;
    }
    for (size_t i = 0; i < run.tasks.size(); ++i)
        if (run.verdicts[i]->is == Verdict::Is::Failed) run.report_failure(i);
    if (!o.junit.empty() && !run.write_junit()) std::fprintf(stderr, "wsql --test: cannot write %s\n", o.junit.c_str());
    std::printf("%s%zu passed, %zu failed, %zu skipped\n", failedCount != 0 ? "\n" : "", passed, failedCount, skipped);
    std::fflush(stdout);
    return failedCount == 0 ? kExitPassed : kExitFailed;
}
