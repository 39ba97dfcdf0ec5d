// sqllogictest files: their records, the values as sqllogictest prints
// them, the result lines of a query and the completed text of a file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class SltSort { NoSort, RowSort, ValueSort };

// skipif ENGINE (only false) or onlyif ENGINE (only true).
struct SltCondition {
    bool only = false;
    std::string engine;
};

struct SltRecord {
    enum class Kind { Statement, Query, HashThreshold, Halt };
    Kind kind = Kind::Statement;
    int line = 0;       // 1-based line of the record's keyword
    size_t begin = 0;   // index in SltFile::lines of its first line (a condition, or the keyword)
    size_t end = 0;     // index one past its last line (the blank line after is not part of it)
    std::vector<SltCondition> conditions;
    std::string sql;            // the SQL lines joined with "\n"
    bool expectError = false;   // statement error, query error
    std::string errorPattern;   // the text after "error" (a regular expression); empty: any error
    std::string types;          // query: one letter per column (I, T, R)
    SltSort sort = SltSort::NoSort;
    std::string label;          // query: its label, may be empty
    bool hasSeparator = false;  // query: a "----" line follows the SQL
    size_t resultBegin = 0;     // query with separator: index of the first result line
    std::vector<std::string> expected;  // query: the result lines as written
    long long threshold = 0;            // hash-threshold N
};

struct SltFile {
    std::vector<std::string> lines;  // the text split at '\n', without the line ends
    std::vector<SltRecord> records;
};

// Reads text into file. False, with error "line N: what is wrong", at the
// first malformed record.
bool slt_parse(const std::string& text, SltFile& file, std::string& error);

// Whether r runs on engine: no skipif naming it, and every onlyif names it.
bool slt_applies(const SltRecord& r, const std::string& engine);

// One value as sqllogictest prints it for its column type.
std::string slt_value(char type, const std::optional<std::string>& value);

// Whether the expected lines of a query are rows (values joined by spaces)
// rather than one value per line.
bool slt_row_layout(const std::vector<std::string>& expected, size_t ncols);

// The result lines of a query from its converted values (row-major, ncols
// per row): sorted as sort says, then one value per line or one row per
// line; more values than a threshold above 0 give the single line
// "N values hashing to MD5".
std::vector<std::string> slt_result_lines(SltSort sort, std::vector<std::string> values, size_t ncols,
                                          long long threshold, bool rowLayout);

// MD5 of bytes in lower-case hex.
std::string slt_md5_hex(const std::string& bytes);

// The text of file with the result section of each query named in results
// (record index, its lines) replaced, a "----" line added where missing.
std::string slt_complete(const SltFile& file, const std::vector<std::pair<size_t, std::vector<std::string>>>& results);
