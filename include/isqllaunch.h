// Ways in from the command line: a connection made before the first command
// (a data source name as the positional argument, or --connect), the user
// name and password for it, commands given with --command, and --no-prompt.
#pragma once

#include <string>
#include <vector>

#include "isql.h"

// The only place a password for --user comes from besides a prompt.
constexpr const char kPasswordVariable[] = "WSQL_PASSWORD";

struct LaunchRequest {
    std::string dsn;                    // positional argument
    bool dsnGiven = false;              // there was one (it may be empty)
    std::string extraOperand;           // a second positional argument, refused
    std::string connectString;          // --connect, as typed
    bool connectGiven = false;
    std::string user;                   // --user
    std::vector<std::string> commands;  // --command, in order
    bool noPrompt = false;              // --no-prompt
};
// Keeps what the command line asked, for the functions below.
void isql_set_launch(LaunchRequest request);
// Why what the command line asks cannot be done (an empty or second data
// source name, --connect beside one, an empty --connect, a --user that is
// not text of the locale); empty when it can.
std::string isql_launch_problem();

// True when the prompt is written before reading a line of state: its input
// is standard input, unless --no-prompt was given and that is no terminal.
bool isql_prompting(const ClientState* state);

// Makes the --command texts, one line each, the input of the first state, so
// that the session ends after them. False (reported) when that fails.
bool isql_commands_as_input(ClientState* first);

// Connects the first state as the command line asks, with the announce lines
// of CONNECT or CUSTOMCONNECT. The password comes from WSQL_PASSWORD or, at a
// terminal, a prompt without echo; it never comes from the command line.
// Empty when nothing was asked.
Outcome isql_connect_from_command_line(ClientState* first);
