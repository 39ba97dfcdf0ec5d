// What varies by nature in a session's output, and what the user masks.
#pragma once

#include <regex>
#include <string>
#include <vector>

// The comment lines of a wsql script that speak to the runner ("#" or "--",
// then): "needs: WORD..." (the databases it runs on) and "mask: REGEX".
struct ScriptDirectives {
    std::vector<std::string> needs;
    std::vector<std::string> masks;
};
ScriptDirectives read_script_directives(const std::string& text);

// text with every elapsed-time figure wsql prints, the build time of -v
// and the times of the -b lines made N (DATE), and each match of a user
// mask made "<masked>"; line by line.
std::string mask_output(const std::string& text, const std::vector<std::regex>& user);
