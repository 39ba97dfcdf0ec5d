// Fuzz target: the input reader on any command-file bytes, read line by line
// to the end as the main loop reads a command file: each line is parsed, an
// SQL statement is gathered to its ";" (reading continuation lines), a
// REPEAT block is read to its END, and CMDFILE / NCMDFILE switch the decoding
// of the rest of the file as they do in the program (the named file itself
// is not opened).
//
// Input: byte 0 holds options, the rest is the file. Bit 0: start in UTF-8
// mode (-n) instead of the locale's decoding; bit 1: the "C" locale instead
// of C.UTF-8; bit 2: hexadecimal display of every line (written to
// /dev/null; files up to 8 KiB only); bits 3-5: the file is the rest repeated 1, 2, 3, 255, 4097,
// 32767, 65536 or 131073 times (at most 136 KiB), so that lines longer than
// a UTF-8 piece, the read chunk or the command buffer come from small inputs;
// bit 6: repeat the text of each line of the rest instead, so that such a
// line can start anywhere in the file (and its pieces end across the chunks).
//
// The file is read twice: once line by line with nothing but the reader,
// where the lines must add up to the whole file whenever it decodes cleanly,
// then as the main loop reads it.
#include <cwchar>
#include <string>

#include "fuzz_util.h"
#include "isql.h"
#include "isqlcmd.h"
#include "zvunicode.h"

using enum CmdKind;  // the kinds by their plain CMD_ names

namespace {

constexpr size_t kMaxFileBytes = 136 * 1024;  // just above the longest locale-mode line
constexpr size_t kRepeats[8] = {1, 2, 3, 255, 4097, 32767, 65536, 131073};
constexpr unsigned kOptionRepeatLines = 0x40;
constexpr size_t kMaxHexFileBytes = 8192;

FILE* gInput = nullptr;  // reads the in-memory file through its descriptor

// The file: the rest of the input, repeated whole, or with the text of each
// of its lines repeated (so a long line can follow lines of any length).
std::string file_of(const uint8_t* data, size_t size, unsigned options) {
    const std::string unit(reinterpret_cast<const char*>(data), size);
    const size_t repeats = kRepeats[(options >> 3) & 7];
    std::string file;
    if ((options & kOptionRepeatLines) == 0) {
        for (size_t i = 0; i < repeats && file.size() + unit.size() <= kMaxFileBytes; ++i) {
            file += unit;
            if (unit.empty()) break;
        }
        return file;
    }
    fuzz_for_each_line(unit, [&](const std::string& text, bool ended) {
        for (size_t i = 0; i < repeats && !text.empty() && file.size() < kMaxFileBytes; ++i)
            file += text;
        if (ended && file.size() < kMaxFileBytes) file += '\n';
    });
    if (file.size() > kMaxFileBytes) file.resize(kMaxFileBytes);
    return file;
}

// What a line handed to the dispatcher looks like in the mode it was read in.
void check_line(const std::wstring& line, bool utf8Mode) {
    const size_t nl = line.find(L'\n');
    FUZZ_CHECK(nl == std::wstring::npos || nl == line.size() - 1);
    if (!utf8Mode) {
        FUZZ_CHECK(line.size() < static_cast<size_t>(kCmdCapacity));
        return;
    }
    FUZZ_CHECK(line.size() <= kUtf8PieceBytes);
    for (const wchar_t c : line) FUZZ_CHECK(c > 0 && c <= 0xFFFF);
}

// The whole file decoded at once, as the reader should see it when it is cut
// into lines: false when the file holds anything that makes the reader drop
// text on purpose (an undecodable sequence, an unfinished one at the end, a
// byte-order mark, a NUL in UTF-8 mode), so the lines need not add up.
bool decode_whole(const std::string& file, bool utf8Mode, std::wstring& text) {
    text.clear();
    if (utf8Mode) {
        if (file.find('\0') != std::string::npos) return false;
        if (file.find("\xEF\xBB\xBF") != std::string::npos) return false;
        // Converted with its terminator, as the reader converts each piece:
        // a character left unfinished at the end then fails the conversion.
        text.assign(file.size() + 1, L'\0');
        const unsigned int n = utf8towcs(reinterpret_cast<const unsigned char*>(file.c_str()), -1,
                                         text.data(), static_cast<unsigned int>(text.size()));
        if (n == 0) return false;
        text.resize(n - 1);
        return true;
    }
    std::mbstate_t st{};
    for (const char byte : file) {
        wchar_t wc;
        const size_t k = std::mbrtowc(&wc, &byte, 1, &st);
        if (k == static_cast<size_t>(-1)) return false;
        if (k != static_cast<size_t>(-2)) text.push_back(wc);
    }
    return std::mbsinit(&st) != 0;
}

// Reads every line as it comes, with nothing but the reader: where the file
// decodes whole, the lines joined give exactly its text, however lines are
// cut into pieces and pieces fall across the reader's chunks.
void check_lines_add_up(const std::string& file, bool utf8Mode) {
    std::wstring expected;
    const bool comparable = decode_whole(file, utf8Mode, expected);
    ClientState state;
    state.inFile = gInput;
    std::wstring line;
    std::wstring joined;
    while (isql_get_newcmd(&state, line, "ISQL")) {
        check_line(line, utf8Mode);
        joined += line;
    }
    if (comparable) FUZZ_CHECK(joined == expected);
}

// The main loop and the dispatcher's reading, without running anything.
void read_to_end(ClientState& state) {
    std::wstring line;
    while (isql_get_nextcmd(&state, line)) {
        check_line(line, gCmdFile != 0);
        if (!line.empty() && line[0] == L'#') continue;
        IsqlCommand cmd = isql_parse_line(line.c_str());
        switch (cmd.kind) {
        case CMD_SQL:
        case CMD_DESCRIBE_STMT: {
            std::wstring stmt;
            isql_get_stmt(&state, cmd.wsText, stmt);
            break;
        }
        case CMD_REPEAT:
            isql_get_repeatlist(&state);
            isql_close_repeatlist(&state);
            break;
        case CMD_CMDFILE:
            if (cmd.sPathOrDsn.value_or("").compare(0, 2, "o:") != 0) gCmdFile = 0;
            break;
        case CMD_NCMDFILE: gCmdFile = 1; break;
        default: break;
        }
    }
    // Once ended, the source stays ended.
    FUZZ_CHECK(isql_get_nextcmd(&state, line) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Messages and hexadecimal dumps go nowhere.
    gClientStateList.idleResFile = std::fopen("/dev/null", "w");
    gClientStateList.idleErrFile = gClientStateList.idleResFile;
    gInput = fdopen(fuzz_memfd(), "rb");
    if (gClientStateList.idleResFile == nullptr || gInput == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const unsigned options = size > 0 ? data[0] : 0;
    const std::string file = file_of(data + (size > 0), size - (size > 0), options);
    fuzz_use_locale((options & 2) == 0);
    gCmdFile = (options & 1) != 0 ? 1 : 0;
    // Dumps of long files find nothing that short ones do not, at great cost.
    gHexDisplay = (options & 4) != 0 && file.size() <= kMaxHexFileBytes ? 1 : 0;
    fuzz_fill_memfd(file.data(), file.size());
    check_lines_add_up(file, gCmdFile != 0);

    fuzz_fill_memfd(file.data(), file.size());
    ClientState state;
    state.inFile = gInput;
    state.resFile = gfpResFile;
    state.errFile = gfpErrFile;
    read_to_end(state);
    return 0;
}
