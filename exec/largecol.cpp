// Large-column files: with large-column output on, each value of a long text,
// long wide text or long binary column goes to a file of its own, read from the
// driver in chunks. Messages here go straight to standard output.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "isqlexec.h"
#include "isqltm.h"

namespace {

constexpr char kFolderName[] = "largecolresult";
constexpr size_t kFolderPathBytes = 256;  // folder + kFolderName + terminator must fit
constexpr SQLLEN kChunkBytes = 32766;     // buffer given to each SQLGetData
constexpr SQLLEN kTextChunk = kChunkBytes - 1;   // text data in a full chunk (NUL follows)
constexpr SQLLEN kBinaryChunk = kChunkBytes;     // binary chunks carry no terminator
constexpr int kMaxNoDataAnswers = 3;             // SQL_NO_DATA answers before giving up

// One chunk, reused for every value (the program has one thread).
alignas(8) char gChunk[kChunkBytes];

// Data bytes in a full chunk of wide text: the largest whole number of wide
// characters that leaves room for the wide terminator.
SQLLEN wide_chunk_bytes() {
    const SQLLEN unit = gUnicodeEnc ? 2 : static_cast<SQLLEN>(sizeof(wchar_t));
    return (kChunkBytes / unit - 1) * unit;
}

// Bytes of the NUL-terminated text (wide: terminated by a zero character)
// at the start of the chunk, at most limit.
SQLLEN terminated_length(SQLSMALLINT cType, SQLLEN limit) {
    if (cType == SQL_C_CHAR) return static_cast<SQLLEN>(strnlen(gChunk, static_cast<size_t>(limit)));
    const SQLLEN unit = gUnicodeEnc ? 2 : static_cast<SQLLEN>(sizeof(wchar_t));
    SQLLEN n = 0;
    while (n + unit <= limit) {
        bool zero = true;
        for (SQLLEN k = 0; k < unit; ++k) zero = zero && gChunk[n + k] == 0;
        if (zero) break;
        n += unit;
    }
    return n;
}

void say(const std::string& text) {
    isql_print_always(stdout, "%s", text.c_str());
}

// Owns the output file of one value; it is opened with the first chunk.
struct ValueFile {
    std::FILE* fp = nullptr;
    ~ValueFile() {
        if (fp != nullptr) std::fclose(fp);
    }
    // Closes the file if one was opened; false when buffered bytes could not
    // be written.
    bool close() {
        if (fp == nullptr) return true;
        int rc = std::fclose(fp);
        fp = nullptr;
        return rc == 0;
    }
    bool open(const std::string& name) {
        if (fp == nullptr) fp = std::fopen(name.c_str(), "wb");
        if (fp != nullptr) return true;
        isql_print_always(stdout, "isql_print_longcol_value() Error: Cannot open file %s for writing\n",
                          name.c_str());
        return false;
    }
};

// Reports a value file that could not be written whole and removes it, so
// that no cut value is left looking complete. Returns 0.
int write_failed(const std::string& name, int err) {
    isql_print_always(stdout, "isql_print_longcol_value() Error: Writing to file %s\n", name.c_str());
    const bool removed = std::remove(name.c_str()) == 0;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Output to %s was lost: %s%s\n", name.c_str(),
               std::strerror(err), removed ? "; the file was removed" : "");
    isql_note_output_lost();
    return 0;
}

}  // namespace

// Makes sure folder + "largecolresult" exists. 1 when it does afterwards,
// 0 (with a message) when it cannot be made or its path is too long.
int isql_checkAndCreate_LargeColResultFolder(const char* folder) {
    std::string path = std::string(folder != nullptr ? folder : "") + kFolderName;
    int err = 0;
    if (path.size() >= kFolderPathBytes) {
        err = ENAMETOOLONG;
    } else if (mkdir(path.c_str(), 0777) == 0) {
        return 1;
    } else {
        err = errno;
        if (err == EEXIST) return 1;
    }
    std::printf("isql_checkAndCreate_LargeColResultFolder(): Unexpected error while creating "
                "folder <%s> with system(mkdir). Errno:<%d>. Error Msg:<%s>\n",
                path.c_str(), err, std::strerror(err));
    std::fflush(stdout);
    return 0;
}

// Writes the value of column columnIndex (from 0) of the current row to its
// file, named after the column index and rowNumber (from 1). 1 when the value
// was written or was NULL; 0 after a failure, reported here (the caller adds
// the statement diagnostics).
int isql_print_longcol_value(SQLHSTMT hstmt, SQLSMALLINT sqlType, long long rowNumber,
                             int columnIndex) {
    const ClientState* first = gClientStateList.first();
    const std::string folder = first != nullptr ? first->largeColFolder : "./";
    std::string name = folder + kFolderName + "/Column" + std::to_string(columnIndex) + "Row" +
                       std::to_string(rowNumber);
    SQLSMALLINT cType;
    SQLLEN capacity;
    if (sqlType == SQL_LONGVARCHAR) {
        cType = SQL_C_CHAR;
        capacity = kTextChunk;
        name += ".txt";
    } else if (sqlType == SQL_WLONGVARCHAR) {
        cType = SQL_C_WCHAR;
        capacity = wide_chunk_bytes();
        name += "W.txt";
    } else {
        cType = SQL_C_BINARY;
        capacity = kBinaryChunk;
        name += ".bmp";
    }

    ValueFile file;
    int noDataAnswers = 0;
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(hstmt, static_cast<SQLUSMALLINT>(columnIndex + 1), cType,
                                  gChunk, kChunkBytes, &indicator);
        if (rc == SQL_NO_DATA) {
            say("isql_print_longcol_value() Error: There is no LOB data ready for retrieval\n");
            // A driver that keeps answering so has nothing more: the value
            // ends as written.
            if (++noDataAnswers >= kMaxNoDataAnswers) break;
            continue;
        }
        noDataAnswers = 0;
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            say("Error: Unable to get data\n");
            return 0;
        }

        SQLLEN chunk = -1;  // bytes to write; -1: nothing
        if (indicator == 0) {
            if (!file.open(name)) return 0;
        } else if (indicator == SQL_NO_TOTAL) {
            chunk = capacity;
        } else if (indicator > 0) {
            chunk = indicator < capacity ? indicator : capacity;
        } else if (indicator == SQL_NTS) {
            chunk = terminated_length(cType, capacity);
        }
        if (chunk >= 0) {
            if (!file.open(name)) return 0;
            size_t written = std::fwrite(gChunk, 1, static_cast<size_t>(chunk), file.fp);
            if (written < static_cast<size_t>(chunk)) {
                const int err = errno;
                file.close();
                return write_failed(name, err);
            }
        }
        if (rc == SQL_SUCCESS) break;
    }
    if (!file.close()) return write_failed(name, errno);
    return 1;
}
