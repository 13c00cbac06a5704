// sboxgen-des: derives gate circuits for the eight DES S-boxes from the
// FIPS 46-3 tables and writes them as cipher/generated/des_sbox_circuits.h.
//
// The search is the one M. Kwan describes in "Reducing the gate count of
// bitslice DES" (2000). Every signal is a truth table: a 64-bit word whose
// bit x is the signal's value for the S-box input x (a1 the most significant
// of the six bits). To make a target function, whose don't-care mask may
// leave some inputs free:
//   - reuse a signal that already agrees with it, or its complement;
//   - else one new gate over two existing signals;
//   - else two new gates over existing signals;
//   - else split on an input s the target's branch has not split on yet,
//     f = A ^ (B & s) or f = A ^ (B | s) (and the forms with s or B
//     complemented that AND-NOT makes one gate): make A on the half where
//     the gate with s is constant, then B on the other half, both by the
//     same procedure; keep the cheapest split of all inputs and forms,
//     every attempt bounded by the best count so far.
// The gates are AND, OR, XOR, NOT and AND-NOT (a & ~b, one instruction on
// vectors), each counted as one. The four outputs are made one after the
// other, so later ones reuse the gates of earlier ones, in all 24 orders.
//
// Beyond the paper: each half is made with the other half as don't-care
// (rather than as a copy of itself); a sub-target may come out complemented
// wherever the gate above can absorb that; ties between equally cheap
// candidates at every step go to a seeded pseudo-random choice, so that
// every seed is a different, reproducible search; and the circuit is then
// improved in rounds that each remake every set of one, two or three outputs
// from the gates the other outputs need, keeping the result when it is no
// larger.
//
// Usage:
//   sboxgen-des --output FILE
//       writes the header from the choices recorded in `chosen` below and
//       prints the gate counts (about 12 s).
//   sboxgen-des --search-seeds N [--first-seed K] [--rounds R] [--box B]
//       the exploring search: seeds K to K + N - 1 (K = 1 by default) in
//       every output order, for S-box B (1 to 8) or all eight; a result
//       within `polishSlack` gates of the best plain search gets up to R
//       rounds of remaking (8 by default). Prints every improvement and,
//       per S-box, the line for `chosen`. `chosen` comes from
//       `nice -n 10 sboxgen-des --search-seeds 10 --rounds 8`, which took
//       28 minutes on one core of a shared two-core machine (382 gates);
//       seeds 11 to 15 for S1 and S5 (8 minutes more) found nothing better.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Table = std::uint64_t;

// FIPS 46-3, the selection functions S1 to S8: row (first and last input
// bit) by column (the middle four), as the standard prints them.
// clang-format off
const unsigned char fipsSBoxes[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}},
};
// clang-format on

// What the checked-in header is made from, per S-box: the search's seed,
// the order it makes the outputs in (0 for out1; the first made first) and
// the rounds of remaking outputs after it.
struct Choice
{
    std::uint64_t seed;
    std::array<int, 4> order;
    int rounds;
};

// In the exploring search, a circuit within `polishSlack` gates of the best
// the search alone made gets the rounds of remaking outputs.
const int polishSlack = 2;

// No output needs as many gates: the search is bounded only by what it finds.
const int outputBudget = 64;

const Choice chosen[8] = {
    {1, {1, 3, 0, 2}, 7}, // S1: 53 gates
    {3, {0, 3, 1, 2}, 1}, // S2: 48
    {1, {3, 0, 2, 1}, 2}, // S3: 48
    {2, {3, 0, 1, 2}, 1}, // S4: 37
    {6, {1, 0, 2, 3}, 8}, // S5: 52
    {8, {3, 2, 0, 1}, 2}, // S6: 48
    {2, {3, 0, 2, 1}, 3}, // S7: 49
    {8, {3, 2, 0, 1}, 2}, // S8: 47
};

// Input i (0 for a1) as a truth table: bit x is bit 5 - i of x.
Table inputTable(int i)
{
    Table t = 0;
    for (unsigned x = 0; x < 64; ++x)
        if ((x >> (5 - i)) & 1u)
            t |= Table(1) << x;
    return t;
}

// Output bit j (0 for the most significant) of S-box `box` as a truth table.
Table outputTable(int box, int j)
{
    Table t = 0;
    for (unsigned x = 0; x < 64; ++x) {
        const unsigned row = ((x >> 4) & 2u) | (x & 1u);
        const unsigned column = (x >> 1) & 15u;
        if ((fipsSBoxes[box][row][column] >> (3 - j)) & 1u)
            t |= Table(1) << x;
    }
    return t;
}

// splitmix64: small, and the same numbers on every platform.
class Random
{
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
    // Uniform enough in [0, n) for n far below 2^32.
    unsigned below(unsigned n) { return unsigned(((next() >> 32) * n) >> 32); }

private:
    std::uint64_t state_;
};

enum class Op : unsigned char { Input, Not, And, Or, Xor, AndNot };

Table apply(Op op, Table x, Table y)
{
    switch (op) {
    case Op::Not: return ~x;
    case Op::And: return x & y;
    case Op::Or: return x | y;
    case Op::Xor: return x ^ y;
    case Op::AndNot: return x & ~y;
    case Op::Input: break;
    }
    return 0;
}

struct Gate
{
    Op op;
    int x, y;
    Table value;
};

// A signal made by the search: `inverted` when it is the complement of the
// asked-for function on the cared-for inputs.
struct Made
{
    int signal = -1;
    bool inverted = false;
    bool ok() const { return signal >= 0; }
};

// Finds one index among several equally good ones, each as likely.
struct Pick
{
    int count = 0;
    bool offer(Random &random) { return random.below(unsigned(++count)) == 0; }
};

// Indexes values on the cared-for bits, for the two-gate search's XOR case.
class MaskedIndex
{
public:
    void reset(std::size_t entries)
    {
        std::size_t size = 64;
        bits_ = 6;
        while (size < 2 * entries) {
            size *= 2;
            ++bits_;
        }
        if (keys_.size() < size) {
            keys_.assign(size, 0);
            values_.assign(size, 0);
            ranks_.assign(size, 0);
            stamps_.assign(size, 0);
        }
        mask_ = size - 1;
        if (++stamp_ == 0) {
            std::fill(stamps_.begin(), stamps_.end(), 0);
            stamp_ = 1;
        }
    }
    // Among values equal on the cared-for bits the one of least `rank`
    // stays: a seeded hash, so the choice is arbitrary but costs no draw.
    void insert(Table key, int value, std::uint64_t rank)
    {
        for (std::size_t h = slot(key);; h = (h + 1) & mask_) {
            if (stamps_[h] != stamp_) {
                stamps_[h] = stamp_;
                keys_[h] = key;
                values_[h] = value;
                ranks_[h] = rank;
                return;
            }
            if (keys_[h] == key) {
                if (rank < ranks_[h]) {
                    values_[h] = value;
                    ranks_[h] = rank;
                }
                return;
            }
        }
    }
    int find(Table key) const
    {
        for (std::size_t h = slot(key);; h = (h + 1) & mask_) {
            if (stamps_[h] != stamp_)
                return -1;
            if (keys_[h] == key)
                return values_[h];
        }
    }

private:
    std::size_t slot(Table key) const
    {
        return std::size_t((key * 0x9e3779b97f4a7c15u) >> (64 - bits_)) & mask_;
    }
    std::vector<Table> keys_;
    std::vector<int> values_;
    std::vector<std::uint64_t> ranks_;
    std::vector<unsigned> stamps_;
    unsigned stamp_ = 0;
    int bits_ = 6;
    std::size_t mask_ = 63;
};

// A set of truth tables that forgets its newest entries on request.
// Linear probing, undone newest first, leaves exactly the earlier table.
class ValueSet
{
public:
    ValueSet() : slots_(std::size_t(1) << 18), used_(slots_.size(), 0) {}
    // False if already there.
    bool insert(Table v)
    {
        std::size_t h = slot(v);
        for (; used_[h]; h = (h + 1) & (slots_.size() - 1))
            if (slots_[h] == v)
                return false;
        used_[h] = 1;
        slots_[h] = v;
        log_.push_back(h);
        return true;
    }
    std::size_t size() const { return log_.size(); }
    void undo(std::size_t size)
    {
        while (log_.size() > size) {
            used_[log_.back()] = 0;
            log_.pop_back();
        }
    }

private:
    std::size_t slot(Table v) const
    {
        return std::size_t((v * 0x9e3779b97f4a7c15u) >> 46) & (slots_.size() - 1);
    }
    std::vector<Table> slots_;
    std::vector<unsigned char> used_;
    std::vector<std::size_t> log_;
};

class Search
{
public:
    explicit Search(std::uint64_t seed) : random_(seed), salt_(random_.next())
    {
        singlesUpTo_.push_back(0);
        seen_.insert(0);
        seen_.insert(~Table(0));
        seenUpTo_.push_back(seen_.size());
        for (int i = 0; i < 6; ++i)
            add(Op::Input, i, i);
    }

    // Makes `target` exactly (on all 64 inputs) within `budget` new gates;
    // returns its signal, or -1.
    int makeOutput(Table target, int budget)
    {
        const Made made = make(target, ~Table(0), 0x3f, budget, false);
        return made.signal;
    }

    const std::vector<Gate> &gates() const { return gates_; }

    // Takes over a gate of another circuit (operands already here).
    int copy(const Gate &g) { return add(g.op, g.x, g.y); }

private:
    // A candidate for one new gate over existing signals: op(x, y).
    struct Single
    {
        Op op;
        int x, y;
    };

    int add(Op op, int x, int y)
    {
        const int index = int(gates_.size());
        const Table value = op == Op::Input
                                ? inputTable(x)
                                : apply(op, gates_[std::size_t(x)].value,
                                        op == Op::Not ? 0 : gates_[std::size_t(y)].value);
        gates_.push_back(Gate{op, x, y, value});
        seen_.insert(value);
        if (singles_.size() < singleCount_ + 5 * std::size_t(index) + 1) {
            singles_.resize(2 * (singleCount_ + 5 * std::size_t(index) + 1));
            singleValues_.resize(singles_.size());
        }
        // Each function once: another way to make the same truth table
        // would cost the same one gate and leave the same signal.
        auto offer = [&](Table v, Op o, int p, int q) {
            if (seen_.insert(v)) {
                singleValues_[singleCount_] = v;
                singles_[singleCount_++] = Single{o, p, q};
            }
        };
        for (int i = 0; i < index; ++i) {
            const Table other = gates_[std::size_t(i)].value;
            offer(other & value, Op::And, i, index);
            offer(other | value, Op::Or, i, index);
            offer(other ^ value, Op::Xor, i, index);
            offer(other & ~value, Op::AndNot, i, index);
            offer(value & ~other, Op::AndNot, index, i);
        }
        offer(~value, Op::Not, index, index);
        singlesUpTo_.push_back(singleCount_);
        seenUpTo_.push_back(seen_.size());
        return index;
    }

    int add(std::size_t single)
    {
        const Single &s = singles_[single];
        return add(s.op, s.x, s.y);
    }

    void truncate(std::size_t count)
    {
        gates_.resize(count);
        singleCount_ = singlesUpTo_[count];
        singlesUpTo_.resize(count + 1);
        seen_.undo(seenUpTo_[count]);
        seenUpTo_.resize(count + 1);
    }

    Table value(int signal) const { return gates_[std::size_t(signal)].value; }

    // Makes a signal equal to `target` wherever `care` has a one, with at
    // most `budget` new gates, using as selectors only inputs in `free`.
    // With `either`, the complement will do as well.
    Made make(Table target, Table care, unsigned free, int budget, bool either)
    {
        target &= care;
        const Table complement = ~target & care;

        // An existing signal.
        {
            Pick pick;
            Made found;
            for (std::size_t i = 0; i < gates_.size(); ++i) {
                const Table v = gates_[i].value & care;
                if (v == target && pick.offer(random_))
                    found = Made{int(i), false};
                else if (either && v == complement && pick.offer(random_))
                    found = Made{int(i), true};
            }
            if (found.ok())
                return found;
        }
        if (budget < 1)
            return Made{};

        // One new gate (NOT among them).
        {
            Pick pick;
            int single = -1;
            bool inverted = false;
            for (std::size_t k = 0; k < singleCount_; ++k) {
                const Table v = singleValues_[k] & care;
                if (v == target && pick.offer(random_)) {
                    single = int(k);
                    inverted = false;
                } else if (either && v == complement && pick.offer(random_)) {
                    single = int(k);
                    inverted = true;
                }
            }
            if (single >= 0)
                return Made{add(std::size_t(single)), inverted};
        }
        if (budget < 2)
            return Made{};

        index_.reset(singleCount_);
        for (std::size_t k = 0; k < singleCount_; ++k)
            index_.insert(singleValues_[k] & care, int(k),
                          (singleValues_[k] ^ salt_) * 0xd6e8feb86659fd93u);
        if (Made two = makeWithTwoGates(target, care, either); two.ok())
            return two;
        if (budget < 3)
            return Made{};

        return split(target, care, free, budget, either);
    }

    // Two new gates: a gate over existing signals, then either its
    // complement or a gate over it and an existing signal.
    Made makeWithTwoGates(Table target, Table care, bool either)
    {
        // The second gate: NOT of the first if `other` is -1, else
        // op(first, other), or op(other, first) if `otherFirst`.
        struct Option
        {
            int single;
            Op op;
            int other;
            bool otherFirst;
            bool inverted;
        };
        Pick pick;
        Option choice{-1, Op::Not, -1, false, false};
        auto offer = [&](int single, Op op, int other, bool otherFirst, bool inverted) {
            if (pick.offer(random_))
                choice = Option{single, op, other, otherFirst, inverted};
        };
        const Table complement = ~target & care;
        if (!either) {
            const int s = index_.find(complement);
            if (s >= 0)
                offer(s, Op::Not, -1, false, false);
        }
        distinct_.assign(gates_.size(), 1);
        for (std::size_t z = 0; z < gates_.size(); ++z)
            for (std::size_t w = 0; w < z && distinct_[z]; ++w)
                if (distinct_[w] && ((gates_[w].value ^ gates_[z].value) & care) == 0)
                    distinct_[z] = 0;
        for (int polarity = 0; polarity < (either ? 2 : 1); ++polarity) {
            const Table want = polarity ? complement : target;
            const Table wantNot = polarity ? target : complement;
            const bool inverted = polarity != 0;
            for (std::size_t z = 0; z < gates_.size(); ++z) {
                const Table other = gates_[z].value;
                // Signals alike on the cared-for inputs offer the same gates.
                if (!distinct_[z])
                    continue;
                // want = single ^ other.
                if (const int s = index_.find((want ^ other) & care); s >= 0)
                    offer(s, Op::Xor, int(z), false, inverted);
                // want = single & other, or other & ~single: want inside other.
                if ((want & ~other & care) == 0) {
                    const Table region = care & other;
                    const Table on = want & region;
                    const Table off = wantNot & region;
                    for (std::size_t k = 0; k < singleCount_; ++k) {
                        const Table v = singleValues_[k] & region;
                        if (v == on)
                            offer(int(k), Op::And, int(z), false, inverted);
                        else if (v == off)
                            offer(int(k), Op::AndNot, int(z), true, inverted);
                    }
                }
                // want = single | other (other inside want), or
                // single & ~other (other outside want).
                const bool orFits = (other & ~want & care) == 0;
                const bool andNotFits = (other & want & care) == 0;
                if (orFits || andNotFits) {
                    const Table region = care & ~other;
                    const Table on = want & region;
                    for (std::size_t k = 0; k < singleCount_; ++k) {
                        if ((singleValues_[k] & region) == on)
                            offer(int(k), orFits ? Op::Or : Op::AndNot, int(z), false, inverted);
                    }
                }
            }
        }
        if (choice.single < 0)
            return Made{};
        const int first = add(std::size_t(choice.single));
        if (choice.other < 0)
            return Made{add(Op::Not, first, first), false};
        if (choice.otherFirst)
            return Made{add(choice.op, choice.other, first), choice.inverted};
        return Made{add(choice.op, first, choice.other), choice.inverted};
    }

    // The split on one free input, keeping the cheapest of all selectors
    // and forms.
    Made split(Table target, Table care, unsigned free, int budget, bool either)
    {
        int selectors[6];
        int count = 0;
        for (int i = 0; i < 6; ++i)
            if (free & (1u << i))
                selectors[count++] = i;
        for (int i = count - 1; i > 0; --i)
            std::swap(selectors[i], selectors[random_.below(unsigned(i + 1))]);

        const std::size_t base = gates_.size();
        std::vector<Gate> best;
        Made bestMade;
        int bestCost = budget + 1;
        Pick ties;
        for (int k = 0; k < count; ++k) {
            const int s = selectors[k];
            for (int form = 0; form < 2; ++form) {
                // Equal counts stay in play: ties are broken at random.
                const int cap = std::min(budget, bestCost);
                const unsigned rest = free & ~(1u << s);
                const Made made = form == 0 ? splitConstantOff(target, care, rest, s, cap, either)
                                            : splitConstantOn(target, care, rest, s, cap, either);
                const int cost = int(gates_.size() - base);
                if (made.ok() && (cost < bestCost || ties.offer(random_))) {
                    if (cost < bestCost) {
                        bestCost = cost;
                        ties = Pick{};
                        ties.offer(random_);
                    }
                    best.assign(gates_.begin() + std::ptrdiff_t(base), gates_.end());
                    bestMade = made;
                }
                truncate(base);
            }
        }
        if (!bestMade.ok())
            return Made{};
        for (const Gate &g : best)
            add(g.op, g.x, g.y);
        return bestMade;
    }

    // f = A ^ (B & s), f = A ^ (s & ~B): A is f where s is 0; B, made on the
    // other half, corrects A where s is 1. `budget` bounds the new gates.
    Made splitConstantOff(Table target, Table care, unsigned rest, int s, int budget, bool either)
    {
        const std::size_t base = gates_.size();
        const Table selector = value(s);
        const Table careA = care & ~selector;
        const Table careB = care & selector;
        const Table wantA = target & careA;
        int a = -1;
        bool inverted = false;
        if (wantA == 0) {
        } else if (either && wantA == careA) {
            inverted = true;
        } else {
            const Made made = make(wantA, careA, rest, budget - 1, either);
            if (!made.ok())
                return Made{};
            a = made.signal;
            inverted = made.inverted;
        }
        const Table aValue = a >= 0 ? value(a) : 0;
        const Table wantB = ((inverted ? ~target : target) ^ aValue) & careB;
        int result;
        if (wantB == 0) {
            if (a < 0)
                return Made{};
            result = a;
        } else if (wantB == careB) {
            if (a < 0)
                return Made{};
            result = add(Op::Xor, a, s);
        } else {
            const int left = budget - int(gates_.size() - base) - (a >= 0 ? 2 : 1);
            if (left < 0)
                return Made{};
            const Made b = make(wantB, careB, rest, left, true);
            if (!b.ok())
                return Made{};
            const int gated = b.inverted ? add(Op::AndNot, s, b.signal) : add(Op::And, b.signal, s);
            result = a >= 0 ? add(Op::Xor, a, gated) : gated;
        }
        return finish(Made{result, inverted}, base, budget, either);
    }

    // f = A ^ (B & ~s), f = A ^ (B | s): A is f (with AND-NOT) or its
    // complement (with OR) where s is 1; B corrects it where s is 0.
    Made splitConstantOn(Table target, Table care, unsigned rest, int s, int budget, bool either)
    {
        const std::size_t base = gates_.size();
        const Table selector = value(s);
        const Table careA = care & selector;
        const Table careB = care & ~selector;
        const Table wantA = target & careA;
        int a = -1;
        bool orForm;
        if (wantA == 0) {
            orForm = false;
        } else if (wantA == careA) {
            orForm = true;
        } else {
            const Made made = make(wantA, careA, rest, budget - 1, true);
            if (!made.ok())
                return Made{};
            a = made.signal;
            orForm = made.inverted;
        }
        const Table aValue = a >= 0 ? value(a) : 0;
        const Table wantB = (target ^ aValue) & careB;
        Made result;
        if (wantB == 0) {
            if (a < 0)
                return Made{};
            result = orForm ? Made{add(Op::Xor, a, s), false} : Made{a, false};
        } else if (wantB == careB) {
            if (a < 0)
                return Made{};
            result = orForm ? Made{a, true} : Made{add(Op::Xor, a, s), true};
        } else {
            const int left = budget - int(gates_.size() - base) - (a >= 0 ? 2 : 1);
            if (left < 0)
                return Made{};
            const Made b = make(wantB, careB, rest, left, either);
            if (!b.ok())
                return Made{};
            // B | s when the form and B's polarity agree, else B & ~s; the
            // result is complemented exactly when B is.
            const bool useOr = orForm != b.inverted;
            const int gated = add(useOr ? Op::Or : Op::AndNot, b.signal, s);
            result = Made{a >= 0 ? add(Op::Xor, a, gated) : gated, b.inverted};
        }
        return finish(result, base, budget, either);
    }

    // Adds the NOT a complemented result needs when only the function itself
    // will do, and enforces the budget.
    Made finish(Made made, std::size_t base, int budget, bool either)
    {
        if (made.inverted && !either)
            made = Made{add(Op::Not, made.signal, made.signal), false};
        if (int(gates_.size() - base) > budget)
            return Made{};
        return made;
    }

    Random random_;
    const std::uint64_t salt_;
    std::vector<Gate> gates_;
    std::vector<Single> singles_;
    std::vector<Table> singleValues_;
    std::size_t singleCount_ = 0;
    ValueSet seen_;
    std::vector<std::size_t> seenUpTo_;
    std::vector<std::size_t> singlesUpTo_;
    MaskedIndex index_;
    std::vector<char> distinct_;
};

// One S-box's circuit: the gates after the six inputs, and the signal of
// each output.
struct Circuit
{
    std::vector<Gate> gates;
    std::array<int, 4> outputs{};
    int size() const { return int(gates.size()) - 6; }
};

// Makes the four outputs of S-box `box` in `order`; no gates if one of them
// would need more than `outputBudget`.
Circuit build(int box, std::uint64_t seed, const std::array<int, 4> &order)
{
    Search search(seed * 0x100 + std::uint64_t(box));
    Circuit circuit;
    for (int j : order) {
        const int signal = search.makeOutput(outputTable(box, j), outputBudget);
        if (signal < 0)
            return Circuit{};
        circuit.outputs[std::size_t(j)] = signal;
    }
    circuit.gates = search.gates();
    return circuit;
}

// Drops gates no output needs (the search leaves none, but the count printed
// must be the count written) and numbers the rest in order.
Circuit prune(const Circuit &c)
{
    std::vector<char> live(c.gates.size(), 0);
    for (int o : c.outputs)
        live[std::size_t(o)] = 1;
    for (std::size_t i = c.gates.size(); i-- > 6;)
        if (live[i]) {
            live[std::size_t(c.gates[i].x)] = 1;
            live[std::size_t(c.gates[i].y)] = 1;
        }
    std::vector<int> renumber(c.gates.size(), -1);
    Circuit result;
    for (std::size_t i = 0; i < c.gates.size(); ++i)
        if (i < 6 || live[i]) {
            Gate g = c.gates[i];
            if (i >= 6) {
                g.x = renumber[std::size_t(g.x)];
                g.y = renumber[std::size_t(g.y)];
            }
            renumber[i] = int(result.gates.size());
            result.gates.push_back(g);
        }
    for (int j = 0; j < 4; ++j)
        result.outputs[std::size_t(j)] = renumber[std::size_t(c.outputs[std::size_t(j)])];
    return result;
}

// Gates each output needs: bit j of need[i] set when output j uses gate i.
std::vector<unsigned> cones(const Circuit &c)
{
    std::vector<unsigned> need(c.gates.size(), 0);
    for (int j = 0; j < 4; ++j)
        need[std::size_t(c.outputs[std::size_t(j)])] |= 1u << j;
    for (std::size_t i = c.gates.size(); i-- > 6;) {
        need[std::size_t(c.gates[i].x)] |= need[i];
        need[std::size_t(c.gates[i].y)] |= need[i];
    }
    return need;
}

// Rounds of local search: remakes a set of outputs from the gates the other
// outputs need (including gates made after the set's own, which the first
// search could not use) and keeps the result when it is no larger. Each
// round visits every set of one, two or three outputs in a random order;
// `sizes`, if given, receives the gate count after each round.
Circuit improve(int box, Circuit c, std::uint64_t seed, int rounds, std::vector<int> *sizes)
{
    Random random(seed);
    // The sets, as bit masks of outputs.
    std::vector<unsigned> groups;
    for (unsigned group = 1; group < 15; ++group)
        groups.push_back(group);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = groups.size() - 1; i > 0; --i)
            std::swap(groups[i], groups[random.below(unsigned(i + 1))]);
        for (unsigned group : groups) {
            const std::vector<unsigned> need = cones(c);
            const unsigned others = 15u & ~group;
            Search search(random.next());
            std::vector<int> renumber(c.gates.size(), -1);
            int own = 0;
            for (std::size_t i = 0; i < c.gates.size(); ++i) {
                if (i < 6) {
                    renumber[i] = int(i);
                } else if (need[i] & others) {
                    Gate g = c.gates[i];
                    g.x = renumber[std::size_t(g.x)];
                    g.y = renumber[std::size_t(g.y)];
                    renumber[i] = search.copy(g);
                } else if (need[i]) {
                    ++own;
                }
            }
            std::array<int, 4> outputs{};
            for (int k = 0; k < 4; ++k)
                outputs[std::size_t(k)] = renumber[std::size_t(c.outputs[std::size_t(k)])];
            int remade[4], count = 0;
            for (int k = 0; k < 4; ++k)
                if (group & (1u << k))
                    remade[count++] = k;
            for (int i = count - 1; i > 0; --i)
                std::swap(remade[i], remade[random.below(unsigned(i + 1))]);
            const std::size_t kept = search.gates().size();
            bool ok = true;
            for (int r = 0; r < count && ok; ++r) {
                const int left = own - int(search.gates().size() - kept);
                const int signal = search.makeOutput(outputTable(box, remade[r]), left);
                ok = signal >= 0;
                outputs[std::size_t(remade[r])] = signal;
            }
            if (!ok)
                continue;
            Circuit next;
            next.gates = search.gates();
            next.outputs = outputs;
            c = prune(next);
        }
        if (sizes)
            sizes->push_back(c.size());
    }
    return c;
}

// Evaluates the circuit on all 64 inputs against the table.
bool matchesTable(int box, const Circuit &circuit)
{
    for (int j = 0; j < 4; ++j)
        if (circuit.gates[std::size_t(circuit.outputs[std::size_t(j)])].value !=
            outputTable(box, j))
            return false;
    return true;
}

std::string signalName(int signal)
{
    if (signal < 6)
        return "a" + std::to_string(signal + 1);
    return "t" + std::to_string(signal - 6);
}

std::string expression(const Gate &g)
{
    const std::string x = signalName(g.x), y = signalName(g.y);
    switch (g.op) {
    case Op::Not: return "~" + x;
    case Op::And: return x + " & " + y;
    case Op::Or: return x + " | " + y;
    case Op::Xor: return x + " ^ " + y;
    case Op::AndNot: return x + " & ~" + y;
    case Op::Input: break;
    }
    return x;
}

std::string header(const Circuit (&circuits)[8])
{
    std::ostringstream out;
    int total = 0;
    for (const Circuit &c : circuits)
        total += c.size();
    out << "// Generated by sboxgen-des (tools/sboxgen/desgen.cpp): do not edit. To regenerate, from\n"
           "// the top of the source tree, with a native build in build/:\n"
           "//   cmake --build build --target sboxgen-des\n"
           "//   build/tools/sboxgen/sboxgen-des --output cipher/generated/des_sbox_circuits.h\n"
           "\n"
           "// The eight DES S-boxes of FIPS 46-3 as circuits of AND, OR, XOR, NOT and AND-NOT\n"
           "// gates, "
        << total
        << " in all, found by the search M. Kwan describes in \"Reducing the gate\n"
           "// count of bitslice DES\" (2000) and then by remaking outputs from the other\n"
           "// outputs' gates. desSBoxN takes the six bits of its group, a1 first (FIPS 46-3:\n"
           "// row a1 a6, column a2 a3 a4 a5), and XORs the four output bits, out1 the most\n"
           "// significant, into out1..out4. V is any unsigned integer type or vector of them.\n"
           "// They are in an unnamed namespace, so that every file including them compiles its\n"
           "// own copy, for its own instruction set.\n"
           "\n"
           "#ifndef CIPHERBENCH_CIPHER_GENERATED_DES_SBOX_CIRCUITS_H\n"
           "#define CIPHERBENCH_CIPHER_GENERATED_DES_SBOX_CIRCUITS_H\n"
           "\n"
           "#include \"cipher/detail.h\"\n"
           "\n"
           "namespace {\n";
    for (int box = 0; box < 8; ++box) {
        const Circuit &c = circuits[box];
        out << "\n// S" << box + 1 << ": " << c.size() << " gates.\n"
            << "template <class V>\n"
            << "CIPHER_ALWAYS_INLINE void desSBox" << box + 1
            << "(V a1, V a2, V a3, V a4, V a5, V a6, V &out1, V &out2, V &out3,\n"
               "                                   V &out4)\n"
               "{\n";
        for (std::size_t i = 6; i < c.gates.size(); ++i) {
            out << "    const V " << signalName(int(i)) << " = " << expression(c.gates[i]) << ";\n";
            for (int j = 0; j < 4; ++j)
                if (c.outputs[std::size_t(j)] == int(i))
                    out << "    out" << j + 1 << " ^= " << signalName(int(i)) << ";\n";
        }
        out << "}\n";
    }
    out << "\n} // namespace\n\n#endif\n";
    return out.str();
}

std::vector<std::array<int, 4>> allOrders()
{
    std::vector<std::array<int, 4>> orders;
    std::array<int, 4> order{0, 1, 2, 3};
    do
        orders.push_back(order);
    while (std::next_permutation(order.begin(), order.end()));
    return orders;
}

// The circuit a choice stands for: the search with its seed and order,
// then its rounds of remaking outputs. `sizes`, if given, receives the
// gate count after each round.
Circuit derive(int box, const Choice &choice, std::vector<int> *sizes = nullptr)
{
    const Circuit made = build(box, choice.seed, choice.order);
    if (made.gates.empty())
        return made;
    std::uint64_t polishSeed = choice.seed;
    for (int j : choice.order)
        polishSeed = polishSeed * 5 + std::uint64_t(j);
    return improve(box, prune(made), polishSeed, choice.rounds, sizes);
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int searchSeeds(std::uint64_t first, std::uint64_t count, int rounds, int onlyBox)
{
    const auto orders = allOrders();
    const auto start = std::chrono::steady_clock::now();
    int total = 0;
    for (int box = 0; box < 8; ++box) {
        if (onlyBox >= 0 && box != onlyBox)
            continue;
        int best = 1000, bestMade = 1000;
        Choice bestChoice{0, {0, 1, 2, 3}, 0};
        for (std::uint64_t seed = first; seed < first + count; ++seed)
            for (const auto &order : orders) {
                // Only circuits near the best the search alone made are
                // worth the remaking rounds.
                const Circuit made = build(box, seed, order);
                if (made.gates.empty())
                    continue;
                const int size = prune(made).size();
                bestMade = std::min(bestMade, size);
                if (size > bestMade + polishSlack)
                    continue;
                std::vector<int> sizes;
                const Circuit c = derive(box, Choice{seed, order, rounds}, &sizes);
                // The fewest rounds that reach the final count.
                int needed = rounds;
                while (needed > 0 && sizes[std::size_t(needed - 1)] == c.size())
                    --needed;
                if (!matchesTable(box, c)) {
                    std::fprintf(stderr, "sboxgen-des: S%d circuit wrong\n", box + 1);
                    return 1;
                }
                if (c.size() < best || (c.size() == best && needed + 1 < bestChoice.rounds)) {
                    best = c.size();
                    bestChoice = Choice{seed, order, needed + 1};
                    std::printf(
                        "S%d: %d gates (seed %llu, order %d%d%d%d, %d rounds) after %.0f s\n",
                        box + 1, best, (unsigned long long)seed, order[0] + 1, order[1] + 1,
                        order[2] + 1, order[3] + 1, bestChoice.rounds, secondsSince(start));
                    std::fflush(stdout);
                }
            }
        std::printf("S%d best: {%llu, {%d, %d, %d, %d}, %d}, // %d gates\n", box + 1,
                    (unsigned long long)bestChoice.seed, bestChoice.order[0], bestChoice.order[1],
                    bestChoice.order[2], bestChoice.order[3], bestChoice.rounds, best);
        std::fflush(stdout);
        total += best;
    }
    std::printf("total %d gates, %.0f s\n", total, secondsSince(start));
    return 0;
}

int generate(const char *path)
{
    Circuit circuits[8];
    int total = 0;
    for (int box = 0; box < 8; ++box) {
        circuits[box] = derive(box, chosen[box]);
        if (circuits[box].gates.empty() || !matchesTable(box, circuits[box])) {
            std::fprintf(stderr, "sboxgen-des: no circuit for S%d\n", box + 1);
            return 1;
        }
        total += circuits[box].size();
        std::printf("S%d: %d gates\n", box + 1, circuits[box].size());
    }
    std::printf("total: %d gates\n", total);
    std::ofstream file(path, std::ios::binary);
    file << header(circuits);
    file.close();
    if (!file) {
        std::fprintf(stderr, "sboxgen-des: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const char *output = nullptr;
    std::uint64_t seeds = 0, first = 1;
    int rounds = 8;
    int box = -1;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--output") == 0 && hasValue)
            output = argv[++i];
        else if (std::strcmp(argv[i], "--search-seeds") == 0 && hasValue)
            seeds = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--first-seed") == 0 && hasValue)
            first = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--rounds") == 0 && hasValue)
            rounds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--box") == 0 && hasValue)
            box = std::atoi(argv[++i]) - 1;
        else {
            std::fprintf(stderr,
                         "usage: sboxgen-des --output FILE\n"
                         "       sboxgen-des --search-seeds N [--first-seed K] [--rounds R] "
                         "[--box B]\n");
            return 2;
        }
    }
    if (seeds > 0)
        return searchSeeds(first, seeds, rounds, box);
    if (output == nullptr) {
        std::fprintf(stderr, "sboxgen-des: --output FILE or --search-seeds N\n");
        return 2;
    }
    return generate(output);
}
