// Line diffs in the unified format, hunk for hunk as `diff -u` writes them,
// so that a failing test reads the way developers are used to. The edit
// script comes from Myers' O(ND) algorithm in its linear-space form: outputs
// of tens of thousands of lines that differ in a few cost little time and
// memory in proportion to their length.
#include "diff.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace {

using Index = std::ptrdiff_t;

// One mark per line, set when the line is not in the common subsequence,
// with an unset sentinel at -1 and at n so that scans need no bounds checks.
class Marks {
public:
    explicit Marks(size_t n) : v_(n + 2, 0) {}
    char& operator[](Index i) { return v_[static_cast<size_t>(i + 1)]; }

private:
    std::vector<char> v_;
};

// The shortest edit script between two sequences of line numbers (equal
// numbers for equal lines), found by bisecting at the middle snake; on
// costly inputs, one close to the shortest.
class Myers {
public:
    Myers(const std::vector<int>& x, const std::vector<int>& y, Marks& xdel, Marks& yins)
        : x_(x), y_(y), xdel_(xdel), yins_(yins), offset_(static_cast<Index>(y.size()) + 1),
          fd_(x.size() + y.size() + 3), bd_(x.size() + y.size() + 3) {
        // Past a cost of about the square root of the sizes (4096 at least),
        // a cheaper split than the exact middle is taken: the script may then
        // be a little longer than the shortest, but unrelated inputs stay fast.
        Index limit = 1;
        for (size_t diags = x.size() + y.size() + 3; diags != 0; diags >>= 2) limit <<= 1;
        tooExpensive_ = std::max<Index>(4096, limit);
    }

    void run() { compare(0, static_cast<Index>(x_.size()), 0, static_cast<Index>(y_.size()), false); }

private:
    struct Split {
        Index x, y;
        bool loMinimal, hiMinimal;  // whether each half must be solved exactly
    };

    Index& fd(Index diagonal) { return fd_[static_cast<size_t>(diagonal + offset_)]; }
    Index& bd(Index diagonal) { return bd_[static_cast<size_t>(diagonal + offset_)]; }

    // Marks the deletions from x[xoff, xlim) and insertions into y[yoff, ylim).
    void compare(Index xoff, Index xlim, Index yoff, Index ylim, bool minimal) {
        for (;;) {
            while (xoff < xlim && yoff < ylim && x_[xoff] == y_[yoff]) ++xoff, ++yoff;
            while (xoff < xlim && yoff < ylim && x_[xlim - 1] == y_[ylim - 1]) --xlim, --ylim;
            if (xoff == xlim) {
                while (yoff < ylim) yins_[yoff++] = 1;
                return;
            }
            if (yoff == ylim) {
                while (xoff < xlim) xdel_[xoff++] = 1;
                return;
            }
            const Split s = middle(xoff, xlim, yoff, ylim, minimal);
            compare(xoff, s.x, yoff, s.y, s.loMinimal);
            xoff = s.x, yoff = s.y, minimal = s.hiMinimal;  // the second half without recursion
        }
    }

    // A point on a shortest path through the box, about halfway along it:
    // paths are grown from both corners a step at a time until they meet.
    // fd(k) is the furthest x reached on diagonal k = x - y from the top
    // left, bd(k) the smallest x reached from the bottom right.
    Split middle(Index xoff, Index xlim, Index yoff, Index ylim, bool minimal) {
        const Index dmin = xoff - ylim, dmax = xlim - yoff;
        const Index fmid = xoff - yoff, bmid = xlim - ylim;
        Index fmin = fmid, fmax = fmid, bmin = bmid, bmax = bmid;
        const bool odd = ((fmid - bmid) & 1) != 0;
        fd(fmid) = xoff;
        bd(bmid) = xlim;
        for (Index cost = 1;; ++cost) {
            // Each search widens by one diagonal on each side while it can;
            // the diagonals just outside are fenced off so they never win.
            if (fmin > dmin) fd(--fmin - 1) = -1; else ++fmin;
            if (fmax < dmax) fd(++fmax + 1) = -1; else --fmax;
            for (Index k = fmax; k >= fmin; k -= 2) {
                const Index lo = fd(k - 1), hi = fd(k + 1);
                Index xs = lo < hi ? hi : lo + 1, ys = xs - k;
                while (xs < xlim && ys < ylim && x_[xs] == y_[ys]) ++xs, ++ys;
                fd(k) = xs;
                if (odd && bmin <= k && k <= bmax && bd(k) <= xs) return {xs, ys, true, true};
            }
            if (bmin > dmin) bd(--bmin - 1) = PTRDIFF_MAX; else ++bmin;
            if (bmax < dmax) bd(++bmax + 1) = PTRDIFF_MAX; else --bmax;
            for (Index k = bmax; k >= bmin; k -= 2) {
                const Index lo = bd(k - 1), hi = bd(k + 1);
                Index xs = lo < hi ? lo : hi - 1, ys = xs - k;
                while (xoff < xs && yoff < ys && x_[xs - 1] == y_[ys - 1]) --xs, --ys;
                bd(k) = xs;
                if (!odd && fmin <= k && k <= fmax && xs <= fd(k)) return {xs, ys, true, true};
            }
            if (!minimal && cost >= tooExpensive_) return cheap_split(xoff, xlim, yoff, ylim, fmin, fmax, bmin, bmax);
        }
    }

    // The furthest point either search has reached, measured from its own
    // corner; the half on that side is solved exactly, the other may not be.
    Split cheap_split(Index xoff, Index xlim, Index yoff, Index ylim, Index fmin, Index fmax, Index bmin, Index bmax) {
        Index fbest = -1, fx = 0;
        for (Index k = fmax; k >= fmin; k -= 2) {
            Index xs = std::min(fd(k), xlim), ys = xs - k;
            if (ylim < ys) xs = ylim + k, ys = ylim;
            if (fbest < xs + ys) fbest = xs + ys, fx = xs;
        }
        Index bbest = PTRDIFF_MAX, bx = 0;
        for (Index k = bmax; k >= bmin; k -= 2) {
            Index xs = std::max(xoff, bd(k)), ys = xs - k;
            if (ys < yoff) xs = yoff + k, ys = yoff;
            if (xs + ys < bbest) bbest = xs + ys, bx = xs;
        }
        if ((xlim + ylim) - bbest < fbest - (xoff + yoff)) return {fx, fbest - fx, true, false};
        return {bx, bbest - bx, false, true};
    }

    const std::vector<int>& x_;
    const std::vector<int>& y_;
    Marks& xdel_;
    Marks& yins_;
    Index offset_;
    std::vector<Index> fd_, bd_;
    Index tooExpensive_ = 0;
};

// Lines that match no line of the other side are changes in any script;
// leaving them out before the search is exact and makes outputs that have
// little in common cheap. Marks them and returns the lines that remain.
std::vector<Index> keep_matchable(const std::vector<int>& ids, const std::vector<size_t>& otherCount,
                                  Marks& changed) {
    std::vector<Index> kept;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (otherCount[static_cast<size_t>(ids[i])] == 0) changed[static_cast<Index>(i)] = 1;
        else kept.push_back(static_cast<Index>(i));
    }
    return kept;
}

// Slides each run of changed lines over equal neighbours: where a change
// could be shown at several places among repeated lines, it is joined with
// the changes around it if it can be, otherwise moved as far down as it
// goes, and then back up to where the other side changes too, if it does.
// This is the placement `diff` settles on, so that both show the same hunks.
void shift_boundaries(const std::vector<int>& ids, Marks& changed, Marks& otherChanged) {
    const Index end = static_cast<Index>(ids.size());
    Index i = 0, j = 0;  // j: the line of the other side that i is paired with
    for (;;) {
        while (i < end && !changed[i]) {
            while (otherChanged[j++]) continue;
            ++i;
        }
        if (i == end) return;
        Index start = i;
        while (changed[++i]) continue;
        while (otherChanged[j]) ++j;
        Index runLength, corresponding;
        do {
            runLength = i - start;
            while (start > 0 && ids[start - 1] == ids[i - 1]) {
                changed[--start] = 1, changed[--i] = 0;
                while (changed[start - 1]) --start;
                while (otherChanged[--j]) continue;
            }
            corresponding = otherChanged[j - 1] ? i : end;
            while (i != end && ids[start] == ids[i]) {
                changed[start++] = 0, changed[i++] = 1;
                while (changed[i]) ++i;
                while (otherChanged[++j]) corresponding = i;
            }
        } while (runLength != i - start);
        while (corresponding < i) {
            changed[--start] = 1, changed[--i] = 0;
            while (otherChanged[--j]) continue;
        }
    }
}

struct Change {
    size_t a, b;             // first line of each side at the change
    size_t deleted, inserted;
};

// The changes, in order, from the marks of both sides.
std::vector<Change> changes_of(size_t n, size_t m, Marks& del, Marks& ins) {
    std::vector<Change> out;
    Index i = 0, j = 0;
    const Index ni = static_cast<Index>(n), nj = static_cast<Index>(m);
    while (i < ni || j < nj) {
        if (del[i] || ins[j]) {
            const Index i0 = i, j0 = j;
            while (del[i]) ++i;
            while (ins[j]) ++j;
            out.push_back({static_cast<size_t>(i0), static_cast<size_t>(j0), static_cast<size_t>(i - i0),
                           static_cast<size_t>(j - j0)});
        }
        ++i, ++j;
    }
    return out;
}

// A hunk header's range: "l,s", just "l" for one line, and for no lines
// the number of the line before them with ",0".
std::string range(size_t first, size_t count) {
    if (count == 0) return std::to_string(first) + ",0";
    if (count == 1) return std::to_string(first + 1);
    return std::to_string(first + 1) + "," + std::to_string(count);
}

void add_line(std::string& out, char mark, const std::string& line) {
    out += mark;
    out += line;
    out += '\n';
}

// The changes from a to b. The lines both start and end with are left out
// of the search, but for `context` of them that changes may slide into:
// `diff` places changes in the same way, so both show the same hunks.
std::vector<Change> changes_between(const std::vector<std::string>& a, const std::vector<std::string>& b,
                                    size_t context) {
    size_t head = 0, tail = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    head -= std::min(head, context), tail -= std::min(tail, context);
    const size_t n = a.size() - head - tail, m = b.size() - head - tail;

    // Lines become numbers, equal for equal bytes, so the search compares ints.
    std::unordered_map<std::string_view, int> numbers;
    auto number = [&](const std::vector<std::string>& lines, size_t count) {
        std::vector<int> ids;
        ids.reserve(count);
        for (size_t i = head; i < head + count; ++i)
            ids.push_back(numbers.try_emplace(lines[i], static_cast<int>(numbers.size())).first->second);
        return ids;
    };
    const std::vector<int> idsA = number(a, n), idsB = number(b, m);
    std::vector<size_t> countA(numbers.size()), countB(numbers.size());
    for (int id : idsA) ++countA[static_cast<size_t>(id)];
    for (int id : idsB) ++countB[static_cast<size_t>(id)];

    Marks del(n), ins(m);
    const std::vector<Index> keptA = keep_matchable(idsA, countB, del), keptB = keep_matchable(idsB, countA, ins);
    std::vector<int> x, y;
    for (Index i : keptA) x.push_back(idsA[static_cast<size_t>(i)]);
    for (Index i : keptB) y.push_back(idsB[static_cast<size_t>(i)]);
    Marks xdel(x.size()), yins(y.size());
    Myers(x, y, xdel, yins).run();
    for (size_t k = 0; k < keptA.size(); ++k) del[keptA[k]] |= xdel[static_cast<Index>(k)];
    for (size_t k = 0; k < keptB.size(); ++k) ins[keptB[k]] |= yins[static_cast<Index>(k)];

    shift_boundaries(idsA, del, ins);
    shift_boundaries(idsB, ins, del);
    std::vector<Change> changes = changes_of(n, m, del, ins);
    for (Change& c : changes) c.a += head, c.b += head;
    return changes;
}

}  // namespace

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        lines.emplace_back(text, pos, nl - pos);
        pos = nl + 1;
    }
    return lines;
}

// Hunks as `diff -u` forms them: changes whose contexts touch or overlap
// (at most 2 * context unchanged lines apart) share one.
std::string unified_diff(const std::vector<std::string>& a, const std::vector<std::string>& b,
                         const std::string& nameA, const std::string& nameB, size_t context) {
    if (a == b) return "";
    const std::vector<Change> changes = changes_between(a, b, context);
    std::string out = "--- " + nameA + "\n+++ " + nameB + "\n";
    for (size_t first = 0; first < changes.size();) {
        size_t last = first;
        while (last + 1 < changes.size()) {
            const size_t gap = changes[last + 1].a - (changes[last].a + changes[last].deleted);
            if (gap > context && gap - context > context) break;
            ++last;
        }
        const Change& f = changes[first];
        const Change& l = changes[last];
        const size_t lead = std::min(f.a, context);
        const size_t trail = std::min(a.size() - (l.a + l.deleted), context);
        const size_t a0 = f.a - lead, b0 = f.b - lead;
        const size_t a1 = l.a + l.deleted + trail, b1 = l.b + l.inserted + trail;
        out += "@@ -" + range(a0, a1 - a0) + " +" + range(b0, b1 - b0) + " @@\n";
        size_t i = a0;
        for (size_t k = first; k <= last; ++k) {
            const Change& c = changes[k];
            for (; i < c.a; ++i) add_line(out, ' ', a[i]);
            for (size_t d = 0; d < c.deleted; ++d) add_line(out, '-', a[c.a + d]);
            for (size_t d = 0; d < c.inserted; ++d) add_line(out, '+', b[c.b + d]);
            i = c.a + c.deleted;
        }
        for (; i < a1; ++i) add_line(out, ' ', a[i]);
        first = last + 1;
    }
    return out;
}
