// The lines between a load job and its parent: what the job encodes, the
// parent decodes to the same message; anything else is refused with a reason.
#include <gtest/gtest.h>

#include "wire.h"

namespace {
WireMessage round_trip(const WireMessage& m) {
    const std::string line = wire_encode(m);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line per message";
    WireMessage back;
    std::string why;
    EXPECT_TRUE(wire_decode(std::string_view(line).substr(0, line.size() - 1), back, why)) << why;
    return back;
}
}  // namespace

TEST(LoadWire, EveryMessageComesBackAsItWasSent) {
    using K = WireMessage::Kind;
    const std::string awkward = "a\tb\nc\\d\re\\t";  // separators, line ends and escapes in a text
    WireMessage text(K::Text);
    text.id = 7;
    text.text = awkward;
    WireMessage stats(K::Stats);
    stats.id = 3;
    stats.count = 10;
    stats.errors = 2;
    stats.sum = 123456789012ULL;
    stats.max = UINT64_MAX;
    stats.buckets = {{0, 1}, {4223, 9}};
    WireMessage none(K::Stats);  // no success: no bucket
    WireMessage errors(K::Errors);
    errors.count = 4;
    errors.state = "42S02";
    errors.message = awkward;
    WireMessage job(K::Job);
    job.failed = 1;
    job.passes = 99;
    WireMessage connect(K::ConnectFailed);
    connect.message = "no \"state\"";
    WireMessage end(K::End);
    end.micros = 5000000;
    end.end = JobEnd::ScriptUnreadable;
    end.outputLost = true;
    for (const WireMessage& m : {text, stats, none, errors, job, connect, WireMessage(K::Lost), end})
        EXPECT_EQ(round_trip(m), m) << wire_encode(m);
}

TEST(LoadWire, RefusesLinesThatAreNoMessage) {
    WireMessage m;
    std::string why;
    for (const char* line : {"", "Q\t1", "TT\t1\tx", "T\t1", "S\t1\t2\t3\t4\t5", "S\tx\t1\t0\t0\t0\t", "J\t-1\t0",
                             "S\t1\t1\t0\t5\t5\t3", "S\t1\t1\t0\t5\t5\t3:1,", "Z\t10\t99\t0", "Z\t10\t0",
                             "Z\t10\t0\t2", "L\tx"}) {
        why.clear();
        EXPECT_FALSE(wire_decode(line, m, why)) << line;
        EXPECT_FALSE(why.empty()) << line;
    }
    EXPECT_STREQ(job_end_text(JobEnd::CouldNotConnect), "could not connect");
}
