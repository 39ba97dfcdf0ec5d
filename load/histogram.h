// Latencies of a load run in log-linear buckets that merge exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Latencies in microseconds, in log-linear buckets: below 256 one bucket per
// microsecond, above that each power of two split into 128 equal buckets, so
// a bucket's width is less than 1/128 (0.8%) of its lower edge. Values from
// 2^36 us (19 hours) on share the last bucket. Two histograms merge exactly
// by adding bucket counts, which is how reports of several machines combine.
// The buckets are allocated as values come, up to the highest one used, so
// that the many histograms of an interval series cost nothing while empty
// and little when their latencies stay low.
class LatencyHistogram {
public:
    static constexpr int kSubBucketBits = 7;
    static constexpr uint64_t kSubBuckets = uint64_t{1} << kSubBucketBits;
    static constexpr int kMaxValueBits = 36;
    static constexpr size_t kBuckets = kSubBuckets * (kMaxValueBits - kSubBucketBits + 1);

    LatencyHistogram() = default;

    // The bucket of value, and the lowest and highest value it holds.
    static size_t index_of(uint64_t micros);
    static uint64_t lowest(size_t index);
    static uint64_t highest(size_t index);

    void record(uint64_t micros) {
        const size_t index = index_of(micros);
        if (index >= counts_.size()) grow(index);
        ++counts_[index];
        ++count_;
        sum_ += micros;
        if (micros > max_) max_ = micros;
    }
    // Adds count values to bucket index, as read from a report; false for an
    // index outside the layout, or when a count would pass 2^64 - 1 (nothing
    // is added then).
    bool add_bucket(size_t index, uint64_t count);
    // Adds other; false when a count or the sum passes 2^64 - 1 (this one is
    // then of no use).
    bool add(const LatencyHistogram& other);
    void clear();

    uint64_t count() const { return count_; }
    uint64_t sum() const { return sum_; }
    uint64_t max() const { return max_; }
    // Adds the sum and largest value of values whose buckets add_bucket took;
    // false when the sum passes 2^64 - 1.
    bool add_totals(uint64_t sum, uint64_t max) {
        if (max > max_) max_ = max;
        return !__builtin_add_overflow(sum_, sum, &sum_);
    }
    uint64_t bucket(size_t index) const { return index < counts_.size() ? counts_[index] : 0; }
    // The value at percent (0-100): the highest value of the bucket holding
    // the value of that rank, never above the largest value recorded. 0 when
    // empty.
    uint64_t percentile(double percent) const;

    // Equal counts in every bucket: buckets not allocated hold none.
    bool operator==(const LatencyHistogram& other) const;

private:
    // Makes bucket index (and some above it, as a vector grows) exist.
    void grow(size_t index);

    std::vector<uint64_t> counts_;  // up to the highest bucket used, or a little above
    uint64_t count_ = 0;  // sum of the bucket counts
    uint64_t sum_ = 0;    // of the values, for the mean
    uint64_t max_ = 0;
};
