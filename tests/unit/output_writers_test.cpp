// The output writers on temporary files: the wide-text cut, the order kept
// between two buffered streams, long writes. What the trace mask lets through
// shows in session/quiet, session/trace_mask_errors_only (the prompt written
// whatever the mask) and failures/lost_connection_errors_masked.

#include "isql.h"
#include "isqltm.h"
#include "unit_util.h"

namespace {

// A temporary file used as a session stream; on_disk() shows what reached
// it, without flushing the writers first.
struct TempStream {
    ~TempStream() { isql_close_stream(file_); }
    FILE* get() const { return file_; }
    std::string on_disk() const { return file_text(file_); }
    FILE* file_ = std::tmpfile();
};

class Writers : public ::testing::Test {
protected:
    LocaleGuard utf8_{"C.UTF-8"};
};

TEST_F(Writers, WideTextIsWrittenLiterallyAndCut) {
    TempStream out;
    isql_tracew(out.get(), TRACE_DATA, "%s", L"100% %s %d");
    // 600 two-byte characters: 1200 bytes, cut after 512 whole characters.
    isql_tracew(out.get(), TRACE_DATA, "%s", std::wstring(600, L'\u00e9').c_str());
    isql_flush_all();
    std::string cut;
    for (int i = 0; i < 512; ++i) cut += "\xC3\xA9";
    EXPECT_EQ(out.on_disk(), "100% %s %d" + cut);
    // A character that has no multibyte form in the C locale ends the text.
    setlocale(LC_ALL, "C");
    TempStream c;
    isql_tracew(c.get(), TRACE_DATA, "%s", L"ab\u00e9cd");
    isql_flush_all();
    EXPECT_EQ(c.on_disk(), "ab");
}

TEST_F(Writers, BufferedStreamsFlushWhenTheOtherIsWritten) {
    TempStream results;
    TempStream errors;
    isql_trace(results.get(), TRACE_DATA, "row 1\n");
    EXPECT_EQ(results.on_disk(), "");  // not a terminal: held back
    isql_trace(errors.get(), TRACE_ERROR, "error\n");
    EXPECT_EQ(results.on_disk(), "row 1\n");  // written before the error
    EXPECT_EQ(errors.on_disk(), "");
    isql_write(results.get(), TRACE_DATA, "row 2\n", 6);
    EXPECT_EQ(errors.on_disk(), "error\n");
    isql_flush_all();
    EXPECT_EQ(results.on_disk(), "row 1\nrow 2\n");
}

TEST_F(Writers, LongWritesPassThroughWhole) {
    TempStream out;
    const std::string big(200000, 'x');
    isql_write(out.get(), TRACE_DATA, big.data(), big.size());
    isql_trace(out.get(), TRACE_DATA, "%s|", big.c_str());
    isql_flush_all();
    EXPECT_EQ(out.on_disk(), big + big + "|");
}

}  // namespace
