// The latency histogram of load runs (declarations in histogram.h).
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cwchar>
#include <cwctype>

#include "histogram.h"

namespace {
constexpr uint64_t kLinearLimit = 2 * LatencyHistogram::kSubBuckets;  // one bucket per value below
}  // namespace

size_t LatencyHistogram::index_of(uint64_t micros) {
    if (micros < kLinearLimit) return static_cast<size_t>(micros);
    const int shift = std::bit_width(micros) - (kSubBucketBits + 1);
    const size_t index = kSubBuckets * static_cast<size_t>(shift + 1) +
                         static_cast<size_t>((micros >> shift) - kSubBuckets);
    return std::min(index, kBuckets - 1);
}

uint64_t LatencyHistogram::lowest(size_t index) {
    if (index < kLinearLimit) return index;
    const size_t shift = index / kSubBuckets - 1;
    return (kSubBuckets + index % kSubBuckets) << shift;
}

uint64_t LatencyHistogram::highest(size_t index) {
    if (index < kLinearLimit) return index;
    const size_t shift = index / kSubBuckets - 1;
    return lowest(index) + (uint64_t{1} << shift) - 1;
}

// Doubling at least keeps a histogram that fills from low to high buckets
// from being copied at every new bucket.
void LatencyHistogram::grow(size_t index) {
    constexpr size_t kFirstBuckets = 2 * kSubBuckets;  // below 256 us: one allocation for fast statements
    counts_.resize(std::min(kBuckets, std::max({index + 1, 2 * counts_.size(), kFirstBuckets})), 0);
}

bool LatencyHistogram::add_bucket(size_t index, uint64_t count) {
    uint64_t bucket = 0, total = 0;
    if (index >= kBuckets || __builtin_add_overflow(this->bucket(index), count, &bucket) ||
        __builtin_add_overflow(count_, count, &total))
        return false;
    if (count == 0) return true;
    if (index >= counts_.size()) grow(index);
    counts_[index] = bucket;
    count_ = total;
    return true;
}

bool LatencyHistogram::add(const LatencyHistogram& other) {
    bool fits = true;
    size_t used = other.counts_.size();
    while (used > 0 && other.counts_[used - 1] == 0) --used;
    if (used > counts_.size()) grow(used - 1);
    for (size_t i = 0; i < used; ++i)
        fits = !__builtin_add_overflow(counts_[i], other.counts_[i], &counts_[i]) && fits;
    fits = !__builtin_add_overflow(count_, other.count_, &count_) && fits;
    max_ = std::max(max_, other.max_);
    return add_totals(other.sum_, 0) && fits;
}

void LatencyHistogram::clear() {
    if (count_ != 0) std::fill(counts_.begin(), counts_.end(), 0);
    count_ = sum_ = max_ = 0;
}

// The rank is ceil(percent of the count), at least 1: p50 of two values is
// the first, p100 the last.
uint64_t LatencyHistogram::percentile(double percent) const {
    if (count_ == 0) return 0;
    const double wanted = std::ceil(std::clamp(percent, 0.0, 100.0) / 100.0 * static_cast<double>(count_));
    const uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(wanted));
    uint64_t seen = 0;
    for (size_t i = 0; i < counts_.size(); ++i) {
        seen += counts_[i];
        if (seen >= rank) return std::min(highest(i), max_);
    }
    return max_;
}

bool LatencyHistogram::operator==(const LatencyHistogram& other) const {
    if (count_ != other.count_ || sum_ != other.sum_ || max_ != other.max_) return false;
    const size_t n = std::max(counts_.size(), other.counts_.size());
    for (size_t i = 0; i < n; ++i)
        if (bucket(i) != other.bucket(i)) return false;
    return true;
}
