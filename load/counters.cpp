// A job's counters and their report lines.
#include "counters.h"
#include "wire.h"

namespace {
// Moves the values of h into m (sum, largest, buckets); h is emptied.
void take_histogram(LatencyHistogram& h, WireMessage& m) {
    m.sum = h.sum();
    m.max = h.max();
    for (size_t b = 0; b < LatencyHistogram::kBuckets && h.count() != 0; ++b)
        if (h.bucket(b) != 0) m.buckets.emplace_back(b, h.bucket(b));
    h.clear();
}
}  // namespace

size_t JobCounters::text_id(const std::string& text) {
    statements_.emplace_back();
    statements_.back().text = text;
    return statements_.size() - 1;
}

void JobCounters::note_success(size_t id, uint64_t micros) {
    Counter& c = statements_[id];
    ++c.count;
    c.latency.record(micros);
}

void JobCounters::note_failure(size_t id, const std::string& state, const std::string& message) {
    Counter& c = statements_[id];
    ++c.count;
    ++c.errors;
    FailureGroup& f = failures_[state];
    if (f.count++ == 0) f.message = message;
    if (state.starts_with("08")) lost_ = true;  // connection exceptions
}

void JobCounters::keep_diagnostic(const std::string& state, const std::string& message) {
    if (haveDiagnostic_) return;
    haveDiagnostic_ = !state.empty() || !message.empty();
    diagState_ = state;
    diagMessage_ = message;
}

void JobCounters::take_diagnostic(std::string& state, std::string& message) {
    state = std::move(diagState_);
    message = std::move(diagMessage_);
    diagState_.clear();
    diagMessage_.clear();
    haveDiagnostic_ = false;
}

std::string JobCounters::take_report() {
    std::string out;
    WireMessage m;
    for (size_t id = 0; id < statements_.size(); ++id) {
        Counter& c = statements_[id];
        if (!c.announced) {
            m = WireMessage{WireMessage::Kind::Text};
            m.id = id;
            m.text = c.text;
            out += wire_encode(m);
            c.announced = true;
        }
        if (c.count == 0) continue;
        m = WireMessage{WireMessage::Kind::Stats};
        m.id = id;
        m.count = c.count;
        m.errors = c.errors;
        take_histogram(c.latency, m);
        out += wire_encode(m);
        c.count = c.errors = 0;
    }
    for (const auto& [state, f] : failures_) {
        m = WireMessage{WireMessage::Kind::Errors};
        m.count = f.count;
        m.state = state;
        m.message = f.message;
        out += wire_encode(m);
    }
    failures_.clear();
    if (failedCommands_ != 0 || passes_ != 0 || skipped_ != 0) {
        m = WireMessage{WireMessage::Kind::Job};
        m.failed = failedCommands_;
        m.passes = passes_;
        m.late = late_;
        m.skipped = skipped_;
        out += wire_encode(m);
    }
    failedCommands_ = passes_ = late_ = skipped_ = 0;
    for (auto [h, kind] : {std::pair{&passLatency_, WireMessage::Kind::Passes}, {&lag_, WireMessage::Kind::Lag}}) {
        if (h->count() == 0) continue;
        m = WireMessage{kind};
        take_histogram(*h, m);
        out += wire_encode(m);
    }
    return out;
}
