// Ways in from the command line (policy in isqllaunch.h).
#include "isqllaunch.h"

#include <cstdio>
#include <cstdlib>
#include <termios.h>
#include <unistd.h>

#include "isqlodbc.h"
#include "isqltm.h"
#include "zvunicode.h"

namespace {
LaunchRequest gRequest;  // as isql_set_launch left it
}  // namespace

void isql_set_launch(LaunchRequest request) { gRequest = std::move(request); }

namespace {

// Wide form of a multibyte text of the locale; empty when it does not convert.
std::wstring widen(const std::string& text) {
    const size_t n = zvmbstowcs(nullptr, text.c_str(), 0);
    if (n == static_cast<size_t>(-1)) return {};
    std::wstring wide(n + 1, L'\0');
    zvmbstowcs(wide.data(), text.c_str(), n + 1);
    wide.resize(n);
    return wide;
}

// Reads a password from the terminal with echo off. Empty without a terminal.
std::string prompt_password() {
    if (!isatty(STDIN_FILENO)) return {};
    termios before{};
    if (tcgetattr(STDIN_FILENO, &before) != 0) return {};
    termios silent = before;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    isql_print_always(stdout, "Password: ");
    isql_flush_all();
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    std::string password;
    for (int c; (c = std::getchar()) != EOF && c != '\n';) password.push_back(static_cast<char>(c));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
    isql_print_always(stdout, "\n");
    return password;
}

std::string password_for_user() {
    if (gRequest.user.empty()) return {};
    if (const char* fromEnv = std::getenv(kPasswordVariable)) return fromEnv;
    return prompt_password();
}
}  // namespace

std::string isql_launch_problem() {
    const LaunchRequest& r = gRequest;
    if (r.dsnGiven && r.dsn.empty()) return "The data source name on the command line is empty";
    if (!r.extraOperand.empty())
        return "Only one data source name may be given on the command line, not also " + r.extraOperand;
    if (r.connectGiven && r.connectString.empty()) return "--connect needs a connect string";
    if (r.dsnGiven && r.connectGiven) return "Give a data source name or --connect, not both";
    if (!r.user.empty() && widen(r.user).empty())
        return "--user is not valid text in the locale";
    return {};
}

bool isql_prompting(const ClientState* state) {
    if (state->inFile != stdin) return false;
    // CSV and JSON keep standard output for rows; a prompt there would break them.
    const bool quiet = gRequest.noPrompt || isql_format_is_data_only(gSettings.format);
    return !quiet || isatty(STDIN_FILENO) != 0;
}

bool isql_commands_as_input(ClientState* first) {
    if (gRequest.commands.empty()) return true;
    FILE* input = std::tmpfile();
    if (input == nullptr) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not hold the --command texts\n");
        return false;
    }
    for (const std::string& command : gRequest.commands) {
        std::fputs(command.c_str(), input);
        std::fputc('\n', input);
    }
    if (std::fflush(input) != 0 || std::fseek(input, 0, SEEK_SET) != 0) {
        std::fclose(input);
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not hold the --command texts\n");
        return false;
    }
    if (first->inFile != stdin) std::fclose(first->inFile);
    first->inFile = input;
    first->inName = "--command";
    first->reader = LineReader{};
    return true;
}

Outcome isql_connect_from_command_line(ClientState* first) {
    if (gRequest.dsn.empty() && gRequest.connectString.empty()) return Outcome::Empty;
    const std::wstring user = widen(gRequest.user);
    const std::wstring password = widen(password_for_user());
    const bool byDsn = gRequest.connectString.empty();
    const std::wstring connStr = widen(gRequest.connectString);
    const int ok = isql_connect(first, byDsn ? gRequest.dsn.c_str() : nullptr,
                                byDsn ? nullptr : connStr.c_str(), 1, user.c_str(),
                                password.c_str());
    if (ok) return Outcome::Done;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_connect() failure \n");
    return Outcome::Failed;
}
