// Comparing an expected text with an actual one, line by line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The lines of text, split at '\n'; a last line without '\n' is a line too,
// but a final '\n' starts none, so "" has no lines and "a\n" one.
std::vector<std::string> split_lines(const std::string& text);

// The unified diff (3 lines of context unless told) of a against b, with
// the headers "--- nameA" and "+++ nameB", hunks as `diff -u` writes them;
// empty when they are equal. Lines compare as bytes; whether the last one
// ended with '\n' is not known here, so it is never remarked on.
std::string unified_diff(const std::vector<std::string>& a, const std::vector<std::string>& b,
                         const std::string& nameA, const std::string& nameB, size_t context = 3);
