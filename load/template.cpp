// Substitution of ${WSQL_...} in the statement texts of a load script
// (declarations in template.h).
#include <cerrno>
#include <cwchar>
#include <cwctype>

#include "template.h"

namespace {
constexpr wchar_t kOpen[] = L"${WSQL_";
constexpr size_t kOpenChars = sizeof kOpen / sizeof kOpen[0] - 1;

// Reads a signed decimal integer at text[pos] (blanks around it skipped).
bool read_integer(const std::wstring& text, size_t& pos, long long& value) {
    while (pos < text.size() && std::iswspace(static_cast<wint_t>(text[pos]))) ++pos;
    const size_t start = pos;
    if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+')) ++pos;
    if (pos >= text.size() || !std::iswdigit(static_cast<wint_t>(text[pos]))) return false;
    errno = 0;
    wchar_t* end = nullptr;
    value = std::wcstoll(text.c_str() + start, &end, 10);
    if (errno == ERANGE) return false;
    pos = static_cast<size_t>(end - text.c_str());
    while (pos < text.size() && std::iswspace(static_cast<wint_t>(text[pos]))) ++pos;
    return true;
}

// Reads a NAME (letters, digits, _; blanks around it skipped) that ends text.
bool read_name(const std::wstring& text, size_t pos, std::wstring& name) {
    const size_t first = text.find_first_not_of(L" \t", pos);
    const size_t last = text.find_last_not_of(L" \t");
    if (first == std::wstring::npos) return false;
    name = text.substr(first, last + 1 - first);
    for (const wchar_t c : name)
        if (c != L'_' && !(c < 128 && std::iswalnum(static_cast<wint_t>(c)))) return false;
    return true;
}

// The named random values of the pass under way. They live here, beside the
// substitution, because a job renders the statements of a pass one after the
// other and each must find what the ones before it drew.
struct PassValues {
    long job = 0;
    long long pass = 0;
    std::vector<std::pair<std::wstring, long long>> values;  // few: looked through in order
};
PassValues gPassValues;

// The value of the named piece for job and pass, drawn when new.
long long pass_value(const LoadPiece& piece, long job, long long pass, std::mt19937_64& rng) {
    const auto draw = [&] { return std::uniform_int_distribution<long long>(piece.low, piece.high)(rng); };
    if (pass <= 0) return draw();
    PassValues& kept = gPassValues;
    if (kept.job != job || kept.pass != pass) kept = PassValues{job, pass, {}};
    for (const auto& [name, value] : kept.values)
        if (name == piece.name) return value;
    kept.values.emplace_back(piece.name, draw());
    return kept.values.back().second;
}

// Reads the name and arguments after "${WSQL_" up to the closing brace into
// piece; pos ends after the brace.
bool read_substitution(const std::wstring& text, size_t& pos, LoadPiece& piece, std::wstring& error) {
    const size_t close = text.find(L'}', pos);
    const size_t start = pos - kOpenChars;
    if (close == std::wstring::npos) {
        error = L"no closing \"}\" after " + text.substr(start, kOpenChars + 10);
        return false;
    }
    const std::wstring whole = text.substr(start, close + 1 - start);
    const std::wstring name = text.substr(pos, close - pos);
    pos = close + 1;
    if (name == L"JOB") {
        piece.kind = LoadPiece::Kind::Job;
        return true;
    }
    if (name == L"PASS") {
        piece.kind = LoadPiece::Kind::Pass;
        return true;
    }
    if (name.starts_with(L"RANDOM(") && name.back() == L')') {
        const std::wstring args = name.substr(7, name.size() - 8);
        size_t at = 0;
        piece.kind = LoadPiece::Kind::Random;
        if (read_integer(args, at, piece.low) && at < args.size() && args[at] == L',' &&
            read_integer(args, ++at, piece.high) && piece.low <= piece.high &&
            (at == args.size() || (args[at] == L',' && read_name(args, ++at, piece.name))))
            return true;
        error = L"expected ${WSQL_RANDOM(LOW,HIGH)} with integers LOW <= HIGH, or ${WSQL_RANDOM(LOW,HIGH,NAME)} "
                L"with a NAME of letters, digits and _, not " + whole;
        return false;
    }
    error = L"unknown substitution " + whole + L" (known: ${WSQL_JOB}, ${WSQL_PASS}, "
            L"${WSQL_RANDOM(LOW,HIGH[,NAME])})";
    return false;
}
}  // namespace

bool parse_load_template(const std::wstring& text, LoadTemplate& out, std::wstring& error) {
    out = LoadTemplate{};
    wchar_t quote = 0;  // the quote character of the quoted part we are in
    std::wstring plain;
    for (size_t pos = 0; pos < text.size();) {
        if (text.compare(pos, kOpenChars, kOpen) == 0) {
            LoadPiece piece;
            pos += kOpenChars;
            if (!read_substitution(text, pos, piece, error)) return false;
            piece.quoted = quote != 0;
            if (!plain.empty()) out.pieces.push_back({LoadPiece::Kind::Text, std::move(plain)});
            plain.clear();
            if (piece.kind != LoadPiece::Kind::Job) {
                if (piece.quoted) out.textVaries = true;
                else ++out.parameters;
            }
            out.pieces.push_back(std::move(piece));
            continue;
        }
        const wchar_t c = text[pos++];
        if (quote == 0 && (c == L'\'' || c == L'"')) quote = c;
        else if (c == quote) quote = 0;  // a doubled quote closes and opens again
        plain += c;
    }
    if (!plain.empty()) out.pieces.push_back({LoadPiece::Kind::Text, std::move(plain)});
    return true;
}

void render_load_template(const LoadTemplate& tmpl, long job, long long pass, std::mt19937_64& rng,
                          std::wstring* text, std::vector<long long>& values) {
    values.clear();
    if (text != nullptr) text->clear();
    for (const LoadPiece& piece : tmpl.pieces) {
        long long value = 0;
        switch (piece.kind) {
        case LoadPiece::Kind::Text:
            if (text != nullptr) *text += piece.text;
            continue;
        case LoadPiece::Kind::Job:
            if (text != nullptr) *text += std::to_wstring(job);
            continue;
        case LoadPiece::Kind::Pass: value = pass; break;
        case LoadPiece::Kind::Random:
            value = piece.name.empty() ? std::uniform_int_distribution<long long>(piece.low, piece.high)(rng)
                                       : pass_value(piece, job, pass, rng);
            break;
        }
        if (!piece.quoted) values.push_back(value);
        if (text != nullptr) *text += piece.quoted ? std::to_wstring(value) : L"?";
    }
}
