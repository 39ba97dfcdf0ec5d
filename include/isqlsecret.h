// Passwords in connect strings: which keys name one, and hiding their values
// in the command line. Pure, no output.
#pragma once

#include <string_view>

// Whether a connect-string key (or option name) names a password: it holds
// "pwd" or "password", in any case.
bool isql_names_password(std::string_view name);
// Overwrites the values of the password keys of a connect string where the
// command line holds it, so that the process list shows no password from
// now on (processes forked later inherit the hidden copy).
void isql_hide_secrets(char* connect);
