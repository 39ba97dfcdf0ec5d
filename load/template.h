// Substitution of ${WSQL_JOB}, ${WSQL_PASS} and ${WSQL_RANDOM(LOW,HIGH[,NAME])}
// in the statement texts of a load script.
#pragma once

#include <random>
#include <string>
#include <vector>

// Statement texts of a load script may hold ${WSQL_JOB} (the job number),
// ${WSQL_PASS} (the pass number) and ${WSQL_RANDOM(LOW,HIGH)} (a random
// integer from LOW to HIGH, new at every execution). ${WSQL_RANDOM(LOW,HIGH,
// NAME)} is drawn once per pass instead: every one of that NAME in the pass
// has the same value, so that the statements of one transaction can meet on
// the same rows. The job number is put into the text, so a job's text stays
// the same and stays prepared. The pass number and random values outside
// quotes become "?" parameters bound at each execution; inside '...' or
// "..." they are put into the text as well.
struct LoadPiece {
    enum class Kind { Text, Job, Pass, Random };
    Kind kind = Kind::Text;
    std::wstring text;  // Kind::Text
    long long low = 0, high = 0;  // Kind::Random
    std::wstring name{};          // Kind::Random drawn once per pass; empty: at each execution
    bool quoted = false;  // inside quotes: substituted as text
};

struct LoadTemplate {
    std::vector<LoadPiece> pieces;
    bool textVaries = false;  // a quoted pass number or random value
    size_t parameters = 0;    // "?" markers it adds
};

// Splits text into pieces. False with a reason for an unknown ${WSQL_...}
// name, a malformed one or one without its closing brace.
bool parse_load_template(const std::wstring& text, LoadTemplate& out, std::wstring& error);
// The statement text for job and pass, and the values of its parameters in
// order. text may be null when only the values are wanted. A named random
// value is drawn when first met in the pass and kept until job or pass
// changes; pass 0 (a text rendered outside any pass) keeps none.
void render_load_template(const LoadTemplate& tmpl, long job, long long pass, std::mt19937_64& rng,
                          std::wstring* text, std::vector<long long>& values);
