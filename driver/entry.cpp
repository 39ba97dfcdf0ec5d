// The ways in: the command line of --driver-report and --diff-reports, and
// the session's \driver.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <strings.h>

#include "collect.h"
#include "isqldriver.h"
#include "isqlsecret.h"
#include "probes.h"

namespace {
constexpr int kExitOk = 0;
constexpr int kExitDiffer = 1;
constexpr int kExitNotDone = 2;
constexpr int kDefaultProbeSeconds = 20;
constexpr int kMaxProbeSeconds = 3600;

struct Options {
    bool diff = false, json = false, probes = true;
    int probeSeconds = kDefaultProbeSeconds;
    ReportSource source;
    std::vector<std::string> files, ignore;
};

int not_done(const std::string& why) {
    std::fprintf(stderr, "wsql: %s\n", why.c_str());
    return kExitNotDone;
}

// "--name=value" or "--name value"; true when argv[i] is the option name.
bool option_value(int argc, char** argv, int& i, const char* name, std::string& value, std::string& why) {
    const size_t n = std::strlen(name);
    if (std::strncmp(argv[i], name, n) != 0) return false;
    if (argv[i][n] == '=') return value = argv[i] + n + 1, true;
    if (argv[i][n] != '\0') return false;
    if (i + 1 >= argc) return why = std::string(name) + " needs a value", true;
    value = argv[++i];
    return true;
}

bool parse(int argc, char** argv, Options& o, std::string& why) {
    for (int i = 1; i < argc && why.empty(); ++i) {
        const std::string a = argv[i];
        std::string v;
        if (a == "--") break;
        if (a == "--driver-report") continue;
        if (a == "--diff-reports") { o.diff = true; continue; }
        if (a == "--no-probes") { o.probes = false; continue; }
        if (option_value(argc, argv, i, "--format", v, why)) {
            if (v != "json" && v != "text") why = "--format of a driver report must be text or json";
            o.json = v == "json";
        } else if (option_value(argc, argv, i, "--connect", v, why)) {
            o.source.connect = v;
            // The process list shows no password from here on.
            isql_hide_secrets(std::strncmp(argv[i], "--connect=", 10) == 0 ? argv[i] + 10 : argv[i]);
        } else if (option_value(argc, argv, i, "--user", v, why)) {
            o.source.user = v;
        } else if (option_value(argc, argv, i, "--ignore", v, why)) {
            o.ignore.push_back(v);
        } else if (option_value(argc, argv, i, "--probe-timeout", v, why)) {
            char* end = nullptr;
            const long s = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || s < 1 || s > kMaxProbeSeconds)
                why = "--probe-timeout must be a number of seconds from 1 to " + std::to_string(kMaxProbeSeconds);
            o.probeSeconds = static_cast<int>(s);
        } else if (a.starts_with("-")) {
            why = "unknown option " + a + " for a driver report (see --help=driver)";
        } else {
            o.files.push_back(a);
        }
    }
    if (!why.empty()) return false;
    if (o.diff) {
        if (o.files.size() != 2) return why = "--diff-reports needs two report files", false;
        return true;
    }
    if (o.files.size() > 1) return why = "a driver report takes one data source", false;
    if (!o.files.empty()) o.source.dsn = o.files[0];
    if (o.source.dsn.empty() && o.source.connect.empty()) return why = "--driver-report needs a data source or --connect", false;
    if (const char* p = std::getenv("WSQL_PASSWORD")) o.source.password = p;
    return true;
}

bool read_report(const std::string& path, Report& r, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return why = path + ": cannot be read: " + std::strerror(errno), false;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return why = path + ": cannot be read", false;
    if (!report_from_json(text.str(), r, why)) return why = path + " " + why, false;
    return true;
}

int diff_main(const Options& o) {
    Report a, b;
    std::string why;
    if (!read_report(o.files[0], a, why) || !read_report(o.files[1], b, why)) return not_done(why);
    const std::vector<Difference> d = diff_reports(a, b, o.ignore);
    const std::string out = o.json ? diff_json(d) : diff_text(d);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return d.empty() ? kExitOk : kExitDiffer;
}

// The data source a connect string names with DSN=, or "".
std::string named_dsn(const std::string& connect) {
    for (size_t at = 0; at < connect.size();) {
        const size_t end = std::min(connect.find(';', at), connect.size());
        const std::string pair = connect.substr(at, end - at);
        if (pair.size() > 4 && strncasecmp(pair.c_str(), "DSN=", 4) == 0) return pair.substr(4);
        at = end + 1;
    }
    return "";
}

Report claims(SQLHENV env, SQLHDBC dbc, const ReportSource& source) {
    Report r;
    r.source = source.label();
    r.sections.push_back(collect_driver(env, dbc, source.dsn.empty() ? named_dsn(source.connect) : source.dsn));
    r.sections.push_back(collect_info(dbc));
    r.sections.push_back(collect_functions(dbc));
    r.sections.push_back(collect_types(dbc));
    r.sections.push_back(collect_attributes(dbc));
    return r;
}

int report_main(const Options& o) {
    Report r;
    {
        OwnConnection conn;
        std::string why;
        if (!conn.open(o.source, why)) return not_done("cannot connect to " + o.source.label() + ": " + why);
        r = claims(conn.env(), conn.dbc(), o.source);
    }
    if (o.probes) r.probes = run_probes(o.source, o.probeSeconds);
    const std::string out = o.json ? report_json(r) : report_text(r);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitNotDone;
}
}  // namespace

bool isql_driver_requested(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], "--driver-report") == 0 || std::strcmp(argv[i], "--diff-reports") == 0) return true;
    return false;
}

int isql_driver_main(int argc, char** argv) {
    Options o;
    std::string why;
    if (!parse(argc, argv, o, why)) return not_done(why);
    return o.diff ? diff_main(o) : report_main(o);
}

const char* isql_driver_help() {
    static const std::string text = [] {
        std::string t =
            "Driver reports:\n"
            "  wsql --driver-report [options] DSN    what the driver claims, and probes of the claims\n"
            "  wsql --diff-reports [options] A.json B.json\n"
            "                                        what differs: 0 equal, 1 different, 2 unreadable\n"
            "  --connect=STRING      connect with this connect string instead of a DSN\n"
            "  --user=NAME           the user (the password comes from WSQL_PASSWORD)\n"
            "  --format=text|json    aligned text (default) or one JSON document\n"
            "  --probe-timeout=SECS  time limit of each probe (default 20)\n"
            "  --no-probes           the claims only\n"
            "  --ignore=KEY          (diff, repeatable) leave out a key such as info.SQL_DBMS_VER;\n"
            "                        shell wildcards match, e.g. 'driver.*'\n"
            "Probes, each in a process and on a connection of its own:\n";
        for (const ProbeDef& p : probe_table()) t += "  " + std::string(p.name) + ": " + p.checks + "\n";
        return t;
    }();
    return text.c_str();
}

std::string isql_driver_summary(SQLHDBC dbc) {
    static const char* const kItems[] = {"SQL_DRIVER_NAME", "SQL_DRIVER_VER", "SQL_DRIVER_ODBC_VER", "SQL_DM_VER",
                                         "SQL_DBMS_NAME", "SQL_DBMS_VER", "SQL_ODBC_INTERFACE_CONFORMANCE",
                                         "SQL_GETDATA_EXTENSIONS", "SQL_TXN_CAPABLE", "SQL_CURSOR_COMMIT_BEHAVIOR",
                                         "SQL_MAX_COLUMN_NAME_LEN", "SQL_PARAM_ARRAY_ROW_COUNTS"};
    ReportSection s{"driver", {}};
    for (const char* item : kItems) s.entries.push_back({item, info_value(dbc, item)});
    return section_text(s);
}

bool isql_driver_full_report(SQLHENV env, SQLHDBC dbc, const std::string& dsn, const std::string& connect, const std::string& user,
                             const std::string& password, std::string& text, std::string& why) {
    const ReportSource source{connect.empty() ? dsn : "", connect, user, password};
    Report r = claims(env, dbc, source);
    r.probes = run_probes(source, kDefaultProbeSeconds);
    for (const ProbeResult& p : r.probes)
        if (p.verdict == "cannot run" && p.observed.starts_with("cannot connect: "))
            return why = p.observed.substr(16), false;
    text = report_text(r);
    return true;
}
