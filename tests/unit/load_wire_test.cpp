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

// A message of kind with the fields that set gives it.
template <typename Set>
WireMessage message(WireMessage::Kind kind, Set set) {
    WireMessage m(kind);
    set(m);
    return m;
}

TEST(LoadWire, EveryMessageComesBackAsItWasSent) {
    using K = WireMessage::Kind;
    using M = WireMessage&;
    const std::string awkward = "a\tb\nc\\d\re\\t";  // separators, line ends and escapes in a text
    for (const WireMessage& m :
         {message(K::Text, [&](M m) { m.id = 7, m.text = awkward; }),
          message(K::Stats, [](M m) {
              m.id = 3, m.count = 10, m.errors = 2, m.sum = 123456789012ULL, m.max = UINT64_MAX;
              m.buckets = {{0, 1}, {4223, 9}};
          }),
          WireMessage(K::Stats),  // no success: no bucket
          message(K::Errors, [&](M m) { m.count = 4, m.state = "42S02", m.message = awkward; }),
          message(K::Job, [](M m) { m.failed = 1, m.passes = 99, m.late = 3, m.skipped = 4; }),
          message(K::Passes, [](M m) { m.sum = 70, m.max = 40, m.buckets = {{30, 1}, {40, 1}}; }),
          message(K::Lag, [](M m) { m.sum = UINT64_MAX, m.max = 1, m.buckets = {{1, 2}}; }),
          message(K::ConnectFailed, [](M m) { m.message = "no \"state\""; }), WireMessage(K::Lost), WireMessage(K::Ready),
          message(K::Second, [](M m) { m.id = 604800; }),
          message(K::End, [](M m) {
              m.micros = 5000000, m.end = JobEnd::ScriptUnreadable, m.outputLost = true, m.firstPass = 9;
          })})
        EXPECT_EQ(round_trip(m), m) << wire_encode(m);
}

TEST(LoadWire, RefusesLinesThatAreNoMessage) {
    WireMessage m;
    std::string why;
    for (const char* line : {"", "Q\t1", "TT\t1\tx", "T\t1", "S\t1\t2\t3\t4\t5", "S\tx\t1\t0\t0\t0\t",
                             "J\t-1\t0\t0\t0", "J\t1\t2", "P\t1\t1\t3:", "S\t1\t1\t0\t5\t5\t3",
                             "S\t1\t1\t0\t5\t5\t3:1,", "Z\t10\t99\t0\t0", "Z\t10\t0\t0", "Z\t10\t0\t2\t0", "L\tx"}) {
        why.clear();
        EXPECT_FALSE(wire_decode(line, m, why)) << line;
        EXPECT_FALSE(why.empty()) << line;
    }
}
