// sboxgen-aes: writes cipher/generated/aes_sbox_circuits.h, the AES S-box and
// its inverse as straight-line Boolean circuits for the bit-sliced rounds.
//
// Nothing is typed in from a table. The S-box is computed from its definition
// in FIPS-197 5.1.1 (inversion in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1, 0
// to 0, then the affine map with constant 63), and the circuits from the field
// arithmetic, by the method of D. Canright, "A very compact S-box for AES"
// (CHES 2005): GF(2^8) is treated as GF(2^4)[Y] / (Y^2 + Y + v), GF(2^4) as
// GF(2^2)[Z] / (Z^2 + Z + N), GF(2^2) as GF(2)[W] / (W^2 + W + 1). With
// g = c1 B1 + c0 B0 over GF(2^4), g^-1 = g^16 (g^17)^-1, where the norm
// g^17 = c1 c0 T + (linear in c1, c0) lies in GF(2^4) and g^16 is linear in
// c1, c0 again; so the inverse costs one GF(2^4) product, one GF(2^4)
// inversion (the same step one level down) and two GF(2^4) products sharing
// one operand. Every product is Karatsuba's three half-size products at each
// level, nine ANDs of linear forms ("forms") of the operands, which the linear
// layers compute once for all the products that share them.
//
// The generator tries every tower of this form, 432 in all (for each level a
// normal basis {R^q, R} or a polynomial basis {R, 1} on either conjugate root,
// and every admissible N and v), each with the AES basis change and the affine
// map merged into the linear layers. Each linear layer is a shortest-linear-program
// instance, solved with the heuristic of J. Boyar and R. Peralta ("A new
// combinational logic minimization technique with applications to
// cryptology", SEA 2010): repeatedly add the sum of two known signals that
// brings the targets closest, ties going to the larger Euclidean norm of the
// distance vector and then to a pseudo-random choice from a fixed seed.
//
// Gates: two-input AND, OR, XOR, AND-NOT (a & ~b) and NOT, each counted as one.
// Constants never cost a gate where a product can absorb them: a product of a
// complemented signal is an AND-NOT, of two complemented signals an OR whose
// output is complemented; what remains at the outputs is fixed by the fewest
// NOTs placed in the last linear layer. Every circuit is simulated on all 256
// inputs before it is written.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------- GF(2^8)

unsigned fieldMul(unsigned a, unsigned b)
{
    unsigned product = 0;
    for (; b != 0; b >>= 1) {
        if (b & 1)
            product ^= a;
        a <<= 1;
        if (a & 0x100)
            a ^= 0x11B;
    }
    return product;
}

unsigned fieldPow(unsigned a, unsigned e)
{
    unsigned result = 1;
    for (; e != 0; e >>= 1) {
        if (e & 1)
            result = fieldMul(result, a);
        a = fieldMul(a, a);
    }
    return result;
}

// x^254: the inverse for x != 0, and 0 for 0, as FIPS-197 asks.
unsigned fieldInverse(unsigned x)
{
    return fieldPow(x, 254);
}

// FIPS-197 5.1.1: bit i is b[i] ^ b[i+4] ^ b[i+5] ^ b[i+6] ^ b[i+7] ^ c[i],
// indices mod 8, c = 63.
unsigned affineMap(unsigned b)
{
    unsigned out = 0;
    for (int i = 0; i < 8; ++i) {
        unsigned bit = b >> i;
        for (int k = 4; k < 8; ++k)
            bit ^= b >> ((i + k) & 7);
        out |= (bit & 1) << i;
    }
    return out ^ 0x63;
}

struct SBoxes
{
    unsigned forward[256];
    unsigned inverse[256];
};

SBoxes computeSBoxes()
{
    SBoxes s{};
    for (unsigned x = 0; x < 256; ++x)
        s.forward[x] = affineMap(fieldInverse(x));
    for (unsigned x = 0; x < 256; ++x)
        s.inverse[s.forward[x]] = x;
    return s;
}

// ------------------------------------------------ functions of the input byte

// A Boolean function of the circuit's input byte: bit x is its value at x.
struct Table
{
    std::array<std::uint64_t, 4> w{};

    bool at(unsigned x) const { return (w[x >> 6] >> (x & 63)) & 1; }
    void set(unsigned x) { w[x >> 6] |= std::uint64_t(1) << (x & 63); }
    bool zero() const { return (w[0] | w[1] | w[2] | w[3]) == 0; }
    bool operator==(const Table &o) const { return w == o.w; }
    bool operator!=(const Table &o) const { return w != o.w; }
    Table operator^(const Table &o) const
    {
        Table t;
        for (int i = 0; i < 4; ++i)
            t.w[i] = w[i] ^ o.w[i];
        return t;
    }
    Table operator&(const Table &o) const
    {
        Table t;
        for (int i = 0; i < 4; ++i)
            t.w[i] = w[i] & o.w[i];
        return t;
    }
    Table operator|(const Table &o) const
    {
        Table t;
        for (int i = 0; i < 4; ++i)
            t.w[i] = w[i] | o.w[i];
        return t;
    }
    Table operator~() const
    {
        Table t;
        for (int i = 0; i < 4; ++i)
            t.w[i] = ~w[i];
        return t;
    }
};

template <class F>
Table tableOf(F f)
{
    Table t;
    for (unsigned x = 0; x < 256; ++x)
        if (f(x))
            t.set(x);
    return t;
}

Table ones()
{
    return ~Table{};
}

// Expresses functions as XORs of given coordinate functions and a constant,
// by Gaussian elimination over GF(2) on their tables.
class AffineSolver
{
public:
    explicit AffineSolver(const std::vector<Table> &coordinates) : count(int(coordinates.size()))
    {
        for (int k = 0; k <= count; ++k) {
            Row row{k < count ? coordinates[k] : ones(), std::uint64_t(1) << k, -1};
            reduce(row);
            if (row.table.zero())
                throw std::runtime_error("coordinates are not independent");
            for (unsigned x = 0; x < 256; ++x)
                if (row.table.at(x)) {
                    row.pivot = int(x);
                    break;
                }
            for (Row &other : rows)
                if (other.table.at(unsigned(row.pivot))) {
                    other.table = other.table ^ row.table;
                    other.combination ^= row.combination;
                }
            rows.push_back(row);
        }
    }

    // The coordinates (bit k) whose XOR, with `constant`, is `f`; false if none.
    bool solve(const Table &f, std::uint32_t &mask, bool &constant) const
    {
        Row row{f, 0, -1};
        reduce(row);
        if (!row.table.zero())
            return false;
        mask = std::uint32_t(row.combination & ((std::uint64_t(1) << count) - 1));
        constant = (row.combination >> count) & 1;
        return true;
    }

private:
    struct Row
    {
        Table table;
        std::uint64_t combination;
        int pivot;
    };

    void reduce(Row &row) const
    {
        for (const Row &r : rows)
            if (row.table.at(unsigned(r.pivot))) {
                row.table = row.table ^ r.table;
                row.combination ^= r.combination;
            }
    }

    int count;
    std::vector<Row> rows;
};

// ---------------------------------------------------------- fixed-seed choice

class Random
{
public:
    explicit Random(std::uint64_t seed) : state(seed) {}
    // SplitMix64: the same sequence on every compiler and library.
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return std::uint32_t(next() % n); }

private:
    std::uint64_t state;
};

// ------------------------------------------- Boyar and Peralta's SLP heuristic

struct LinearProgram
{
    // New signals in order, each the XOR of two earlier ones (indices into the
    // starting signals followed by the new ones).
    std::vector<std::pair<int, int>> sums;
    // Per target, the index of the signal that equals it.
    std::vector<int> targetAt;
};

// Distances from the known signals to every vector of GF(2)^m: the fewest
// known signals whose XOR is the vector. Eight to a 64-bit word, byte j of the
// word's memory the vector 8i + j, so that admitting a signal is a few word
// operations per eight vectors. Distances stay below 128 (`unreached` at most
// plus one) for the byte-wise minimum.
class Distances
{
public:
    static const int unreached = 100;

    // Only the unit vectors in `units` known: the distance is the weight.
    Distances(int m, std::uint32_t units) : words(((std::size_t(1) << m) + 7) / 8)
    {
        unsigned char *d = bytes();
        d[0] = 0;
        for (std::uint32_t v = 1; v < (std::uint32_t(1) << m); ++v)
            d[v] = (v & ~units) != 0 ? unreached : std::uint8_t(d[v >> 1] + (v & 1));
    }

    int operator[](std::uint32_t v) const { return bytes()[v]; }

    // A minimal sum uses a new signal c at most once, so the new distance of v
    // is the smaller of the old one and one more than that of v ^ c. The XOR
    // moves whole words by c / 8 and bytes within a word by c % 8.
    void admit(std::uint32_t c)
    {
        const std::size_t across = c >> 3;
        const unsigned within = c & 7;
        const std::uint64_t high = 0x8080808080808080ull, one = 0x0101010101010101ull;
        for (std::size_t i = 0; i < words.size(); ++i) {
            if ((i ^ across) >= words.size())
                continue;
            std::uint64_t other = words[i ^ across];
            if (within & 1)
                other =
                    ((other >> 8) & 0x00FF00FF00FF00FFull) | ((other & 0x00FF00FF00FF00FFull) << 8);
            if (within & 2)
                other = ((other >> 16) & 0x0000FFFF0000FFFFull) |
                        ((other & 0x0000FFFF0000FFFFull) << 16);
            if (within & 4)
                other = (other >> 32) | (other << 32);
            other += one;
            const std::uint64_t mine = words[i];
            // Per byte: high bit set where mine >= other (both below 128).
            const std::uint64_t notSmaller = (((mine | high) - other) & high) >> 7;
            const std::uint64_t take = notSmaller * 0xFF;
            words[i] = (other & take) | (mine & ~take);
        }
    }

private:
    unsigned char *bytes() { return reinterpret_cast<unsigned char *>(words.data()); }
    const unsigned char *bytes() const
    {
        return reinterpret_cast<const unsigned char *>(words.data());
    }

    std::vector<std::uint64_t> words;
};

// Signals and targets are vectors over GF(2)^m (bit k: coordinate k).
LinearProgram shortLinearProgram(int m, std::vector<std::uint32_t> known,
                                 const std::vector<std::uint32_t> &targets, Random &random)
{
    const std::uint32_t size = std::uint32_t(1) << m;
    std::vector<int> index(size, -1);
    std::vector<std::uint32_t> seen(size, 0);
    std::uint32_t units = 0;
    for (std::size_t i = 0; i < known.size(); ++i) {
        if ((known[i] & (known[i] - 1)) == 0)
            units |= known[i];
        if (index[known[i]] < 0)
            index[known[i]] = int(i);
    }
    Distances distance(m, units);
    for (std::uint32_t c : known)
        if ((c & (c - 1)) != 0)
            distance.admit(c);

    LinearProgram program;
    for (std::uint32_t round = 1;; ++round) {
        std::vector<std::uint32_t> near;
        bool open = false;
        for (std::uint32_t t : targets) {
            if (distance[t] > 1)
                open = true;
            if (distance[t] == 2 && std::find(near.begin(), near.end(), t) == near.end())
                near.push_back(t);
        }
        if (!open)
            break;
        std::uint32_t chosen = 0;
        if (!near.empty()) {
            // A target one XOR away is taken at once.
            chosen = near[random.below(std::uint32_t(near.size()))];
        } else {
            int bestSum = 1 << 30, bestNorm = -1;
            std::uint32_t ties = 0;
            for (std::size_t i = 0; i < known.size(); ++i)
                for (std::size_t j = i + 1; j < known.size(); ++j) {
                    const std::uint32_t c = known[i] ^ known[j];
                    if (distance[c] <= 1 || seen[c] == round)
                        continue;
                    seen[c] = round;
                    int sum = 0, norm = 0;
                    for (std::uint32_t t : targets) {
                        const int d = std::min(distance[t] - 1, distance[t ^ c]);
                        sum += d;
                        norm += d * d;
                    }
                    if (sum < bestSum || (sum == bestSum && norm > bestNorm)) {
                        bestSum = sum;
                        bestNorm = norm;
                        chosen = c;
                        ties = 1;
                    } else if (sum == bestSum && norm == bestNorm && random.below(++ties) == 0) {
                        chosen = c;
                    }
                }
        }
        int first = -1, second = -1;
        for (std::size_t i = 0; i < known.size() && second < 0; ++i) {
            const int other = index[chosen ^ known[i]];
            if (other >= 0 && other != int(i)) {
                first = std::min(int(i), other);
                second = std::max(int(i), other);
            }
        }
        if (second < 0)
            throw std::logic_error("chosen signal is not a sum of two known ones");
        program.sums.push_back({first, second});
        known.push_back(chosen);
        if (index[chosen] < 0)
            index[chosen] = int(known.size()) - 1;
        distance.admit(chosen);
    }
    for (std::uint32_t t : targets)
        program.targetAt.push_back(index[t]);
    return program;
}

// ------------------------------------------------------------------ circuits

enum class Op { Input, Xor, And, Or, AndNot, Not };

struct Gate
{
    Op op;
    int a, b;
    Table table; // the gate's value at every input byte
};

struct Circuit
{
    std::vector<Gate> gates;  // gates[0..7]: input bits 0..7
    std::vector<int> outputs; // output bit k is gates[outputs[k]]
};

Table evaluate(Op op, const Table &a, const Table &b)
{
    switch (op) {
    case Op::Xor: return a ^ b;
    case Op::And: return a & b;
    case Op::Or: return a | b;
    case Op::AndNot: return a & ~b;
    case Op::Not: return ~a;
    case Op::Input: break;
    }
    throw std::logic_error("no value for an input");
}

int addGate(Circuit &c, Op op, int a, int b)
{
    const Table value = evaluate(op, c.gates[std::size_t(a)].table,
                                 b >= 0 ? c.gates[std::size_t(b)].table : Table{});
    c.gates.push_back({op, a, b, value});
    return int(c.gates.size()) - 1;
}

// 0 if the gate computes `ideal`, 1 if its complement.
int polarity(const Circuit &c, int wire, const Table &ideal)
{
    const Table &t = c.gates[std::size_t(wire)].table;
    if (t == ideal)
        return 0;
    if (t == ~ideal)
        return 1;
    throw std::logic_error("a signal is neither its intended value nor its complement");
}

// The product of two signals' intended values, the complements absorbed by
// the gate's kind: x & y, y & ~x, x & ~y, or ~(x | y) held as x | y.
int addProduct(Circuit &c, int x, const Table &idealX, int y, const Table &idealY)
{
    const int px = polarity(c, x, idealX), py = polarity(c, y, idealY);
    if (px == 0 && py == 0)
        return addGate(c, Op::And, x, y);
    if (px == 1 && py == 0)
        return addGate(c, Op::AndNot, y, x);
    if (px == 0 && py == 1)
        return addGate(c, Op::AndNot, x, y);
    return addGate(c, Op::Or, x, y);
}

// One linear layer: makes signals for `targets` (each an XOR of coordinates,
// perhaps complemented) from every existing signal that is such an XOR.
// Returns the targets' signals; the best of `runs` heuristic runs is kept.
std::vector<int> linearLayer(Circuit &c, const std::vector<Table> &coordinates,
                             const std::vector<Table> &targets, int runs, Random &random)
{
    const AffineSolver solver(coordinates);
    const int m = int(coordinates.size());
    std::vector<std::uint32_t> known;
    std::vector<int> wires;
    for (std::size_t g = 0; g < c.gates.size(); ++g) {
        std::uint32_t mask;
        bool constant;
        if (solver.solve(c.gates[g].table, mask, constant) && mask != 0 &&
            std::find(known.begin(), known.end(), mask) == known.end()) {
            known.push_back(mask);
            wires.push_back(int(g));
        }
    }
    std::vector<std::uint32_t> wanted;
    for (const Table &t : targets) {
        std::uint32_t mask;
        bool constant;
        if (!solver.solve(t, mask, constant) || mask == 0)
            throw std::logic_error("a target is not an XOR of the layer's coordinates");
        wanted.push_back(mask);
    }
    LinearProgram best;
    for (int run = 0; run < runs; ++run) {
        LinearProgram p = shortLinearProgram(m, known, wanted, random);
        if (run == 0 || p.sums.size() < best.sums.size())
            best = std::move(p);
    }
    for (const auto &sum : best.sums)
        wires.push_back(
            addGate(c, Op::Xor, wires[std::size_t(sum.first)], wires[std::size_t(sum.second)]));
    std::vector<int> out;
    for (int at : best.targetAt)
        out.push_back(wires[std::size_t(at)]);
    return out;
}

// ------------------------------------------------------------------- towers

// A tower: GF(2^8) over GF(2^4) over GF(2^2) over GF(2), every element
// written as an element of the AES field itself, so the AES representation
// and the tower's coordinates are two bases of one field.
struct Tower
{
    // Basis {hi, lo} at each level: GF(2^2) over GF(2), GF(2^4) over GF(2^2),
    // GF(2^8) over GF(2^4).
    unsigned w1, w0, z1, z0, y1, y0;
    std::string description;
    // Tower coordinates: bits 7..4 the GF(2^4) coefficient of y1, bits 3..0
    // that of y0; in GF(2^4), bits 3..2 the coefficient of z1, 1..0 of z0; in
    // GF(2^2), bit 1 that of w1, bit 0 of w0.
    int coordinates[256];
    int coordinates16[256]; // of GF(2^4) elements, -1 elsewhere
    int coordinates4[256];  // of GF(2^2) elements, -1 elsewhere
};

bool makeTower(Tower &t)
{
    auto e4 = [&](int c) { return ((c >> 1) & 1 ? t.w1 : 0) ^ (c & 1 ? t.w0 : 0); };
    auto e16 = [&](int c) { return fieldMul(e4(c >> 2), t.z1) ^ fieldMul(e4(c & 3), t.z0); };
    std::fill(std::begin(t.coordinates), std::end(t.coordinates), -1);
    std::fill(std::begin(t.coordinates16), std::end(t.coordinates16), -1);
    std::fill(std::begin(t.coordinates4), std::end(t.coordinates4), -1);
    for (int c = 0; c < 4; ++c)
        t.coordinates4[e4(c)] = c;
    for (int c = 0; c < 16; ++c)
        t.coordinates16[e16(c)] = c;
    for (int c = 0; c < 256; ++c) {
        const unsigned e = fieldMul(e16(c >> 4), t.y1) ^ fieldMul(e16(c & 15), t.y0);
        if (t.coordinates[e] >= 0)
            return false;
        t.coordinates[e] = c;
    }
    return true;
}

std::string hex(unsigned v)
{
    char s[8];
    std::snprintf(s, sizeof s, "{%02x}", v);
    return s;
}

// The candidates, as Canright chooses among them: at each level a normal basis
// on the two conjugate roots, or a polynomial basis on either root; N and v
// every value that makes the polynomial irreducible (trace 1).
std::vector<Tower> allTowers()
{
    std::vector<unsigned> gf4, gf16;
    for (unsigned e = 0; e < 256; ++e) {
        if (fieldPow(e, 4) == e)
            gf4.push_back(e);
        if (fieldPow(e, 16) == e)
            gf16.push_back(e);
    }
    auto rootsOf = [](const std::vector<unsigned> &field, unsigned constant) {
        // R^2 + R + constant = 0 with R in `field`.
        std::vector<unsigned> roots;
        for (unsigned e : field)
            if ((fieldMul(e, e) ^ e ^ constant) == 0)
                roots.push_back(e);
        return roots;
    };
    struct Level
    {
        unsigned hi, lo;
        std::string name;
    };
    // The bases of a quadratic extension with roots r, r^q of R^2 + R + k.
    auto bases = [](unsigned r, unsigned conjugate, const std::string &root, const std::string &q) {
        return std::vector<Level>{{conjugate, r, "normal {" + root + "^" + q + ", " + root + "}"},
                                  {r, 1, "polynomial {" + root + ", 1}"},
                                  {conjugate, 1, "polynomial {" + root + "^" + q + ", 1}"}};
    };
    std::vector<unsigned> all(256);
    for (unsigned e = 0; e < 256; ++e)
        all[e] = e;
    std::vector<Tower> towers;
    const std::vector<unsigned> w = rootsOf(gf4, 1); // W^2 + W + 1 = 0
    for (const Level &l4 : bases(w[0], w[1], "W", "2")) {
        for (unsigned n : {w[0], w[1]}) {
            const std::vector<unsigned> z = rootsOf(gf16, n);
            if (z.size() != 2)
                continue;
            for (const Level &l16 : bases(z[0], z[1], "Z", "4")) {
                for (unsigned v : gf16) {
                    const std::vector<unsigned> roots = rootsOf(all, v);
                    // Irreducible over GF(2^4): its roots lie outside GF(2^4).
                    if (roots.size() != 2 || fieldPow(roots[0], 16) == roots[0])
                        continue;
                    for (const Level &l256 : bases(roots[0], roots[1], "Y", "16")) {
                        Tower t{};
                        t.w1 = l4.hi;
                        t.w0 = l4.lo;
                        t.z1 = l16.hi;
                        t.z0 = l16.lo;
                        t.y1 = l256.hi;
                        t.y0 = l256.lo;
                        t.description =
                            "GF(2^8) over GF(2^4): " + l256.name +
                            " basis, Y^2 + Y + v = 0 with v = " + hex(v) +
                            ", Y = " + hex(roots[0]) + "; GF(2^4) over GF(2^2): " + l16.name +
                            " basis, Z^2 + Z + N = 0 with N = " + (n == w[0] ? "W" : "W^2") +
                            ", Z = " + hex(z[0]) + "; GF(2^2) over GF(2): " + l4.name +
                            " basis, W^2 + W + 1 = 0, W = " + hex(w[0]) + ".";
                        if (makeTower(t))
                            towers.push_back(t);
                    }
                }
            }
        }
    }
    return towers;
}

// Karatsuba's forms of a GF(2^2) element (2 bits): its two coordinates and
// their sum; of a GF(2^4) element (4 bits): those of its high half, its low
// half and their sum. Product i of two elements is form i times form i.
int form2(int c, int s)
{
    return s == 0 ? (c >> 1) & 1 : s == 1 ? c & 1 : ((c >> 1) ^ c) & 1;
}

int form4(int c, int i)
{
    const int half = i / 3 == 0 ? c >> 2 : i / 3 == 1 ? c & 3 : (c >> 2) ^ (c & 3);
    return form2(half, i % 3);
}

// --------------------------------------------------------------- one circuit

struct Built
{
    Circuit circuit;
    int nots = 0;
};

// The circuit from input byte x to out[x], where out = post(g(x)^-1) for an
// affine g and an affine post: for the S-box g(x) = x and post the affine map,
// for the inverse g = the inverse affine map and post the identity.
Built buildCircuit(const Tower &tower, const unsigned *out, bool forward, const SBoxes &boxes,
                   int runs, std::uint64_t seed)
{
    Random random(seed);
    // The intended values of every signal, as functions of the input.
    struct Values
    {
        int gamma1, gamma0, norm, theta4, theta;
        unsigned result;
    };
    std::vector<Values> v(256);
    for (unsigned x = 0; x < 256; ++x) {
        const unsigned g = forward ? x : fieldInverse(boxes.inverse[x]);
        const unsigned d = fieldPow(g, 17);     // in GF(2^4)
        const unsigned n = fieldPow(d, 5);      // in GF(2^2)
        const unsigned theta4 = fieldMul(n, n); // n^-1, 0 for 0
        const unsigned theta = fieldPow(d, 14); // d^-1, 0 for 0
        const int coordinates = tower.coordinates[g];
        v[x] = {coordinates >> 4,           coordinates & 15,           tower.coordinates16[d],
                tower.coordinates4[theta4], tower.coordinates16[theta], out[x]};
        if (v[x].norm < 0 || v[x].theta4 < 0 || v[x].theta < 0)
            throw std::logic_error("norm outside its subfield");
    }
    std::vector<Table> inputBits, gammaForms[2], firstProducts, normForms, normBits, smallProducts,
        theta4Forms, middleProducts, thetaForms, lastProducts, outputBits;
    for (int k = 0; k < 8; ++k) {
        inputBits.push_back(tableOf([&](unsigned x) { return (x >> k) & 1; }));
        outputBits.push_back(tableOf([&](unsigned x) { return (v[x].result >> k) & 1; }));
    }
    for (int i = 0; i < 9; ++i) {
        gammaForms[0].push_back(tableOf([&](unsigned x) { return form4(v[x].gamma1, i); }));
        gammaForms[1].push_back(tableOf([&](unsigned x) { return form4(v[x].gamma0, i); }));
        firstProducts.push_back(gammaForms[0][i] & gammaForms[1][i]);
        thetaForms.push_back(tableOf([&](unsigned x) { return form4(v[x].theta, i); }));
    }
    // The norm is used only through the forms of its two GF(2^2) halves.
    for (int i = 0; i < 6; ++i)
        normForms.push_back(tableOf([&](unsigned x) { return form4(v[x].norm, i); }));
    for (int i : {0, 1, 3, 4})
        normBits.push_back(normForms[std::size_t(i)]);
    for (int s = 0; s < 3; ++s) {
        smallProducts.push_back(normForms[std::size_t(s)] & normForms[std::size_t(3 + s)]);
        theta4Forms.push_back(tableOf([&](unsigned x) { return form2(v[x].theta4, s); }));
    }
    for (int h = 0; h < 2; ++h)
        for (int s = 0; s < 3; ++s)
            middleProducts.push_back(theta4Forms[std::size_t(s)] &
                                     normForms[std::size_t(3 * h + s)]);
    for (int h = 0; h < 2; ++h)
        for (int i = 0; i < 9; ++i)
            lastProducts.push_back(thetaForms[std::size_t(i)] & gammaForms[h][std::size_t(i)]);

    Built built;
    Circuit &c = built.circuit;
    for (int k = 0; k < 8; ++k)
        c.gates.push_back({Op::Input, -1, -1, inputBits[std::size_t(k)]});

    // Top layer: the forms of both halves of g.
    std::vector<Table> normCoordinates = firstProducts;
    normCoordinates.insert(normCoordinates.end(), inputBits.begin(), inputBits.end());
    std::vector<Table> topTargets = gammaForms[0];
    topTargets.insert(topTargets.end(), gammaForms[1].begin(), gammaForms[1].end());
    const std::vector<int> top = linearLayer(c, inputBits, topTargets, runs, random);
    std::vector<int> gamma[2];
    for (int i = 0; i < 9; ++i) {
        gamma[0].push_back(top[std::size_t(i)]);
        gamma[1].push_back(top[std::size_t(9 + i)]);
    }
    std::vector<int> first;
    for (int i = 0; i < 9; ++i)
        first.push_back(addProduct(c, gamma[0][std::size_t(i)], gammaForms[0][std::size_t(i)],
                                   gamma[1][std::size_t(i)], gammaForms[1][std::size_t(i)]));

    // The norm's forms, then the inversion in GF(2^4) through GF(2^2).
    const std::vector<int> norm = linearLayer(c, normCoordinates, normForms, runs, random);
    std::vector<int> small;
    for (int s = 0; s < 3; ++s)
        small.push_back(addProduct(c, norm[std::size_t(s)], normForms[std::size_t(s)],
                                   norm[std::size_t(3 + s)], normForms[std::size_t(3 + s)]));
    std::vector<Table> theta4Coordinates = smallProducts;
    theta4Coordinates.insert(theta4Coordinates.end(), normBits.begin(), normBits.end());
    const std::vector<int> theta4 = linearLayer(c, theta4Coordinates, theta4Forms, runs, random);
    std::vector<int> middle;
    for (int h = 0; h < 2; ++h)
        for (int s = 0; s < 3; ++s)
            middle.push_back(addProduct(c, theta4[std::size_t(s)], theta4Forms[std::size_t(s)],
                                        norm[std::size_t(3 * h + s)],
                                        normForms[std::size_t(3 * h + s)]));
    const std::vector<int> theta = linearLayer(c, middleProducts, thetaForms, runs, random);

    // The two products by the norm's inverse, and the bottom layer.
    for (int h = 0; h < 2; ++h)
        for (int i = 0; i < 9; ++i)
            addProduct(c, theta[std::size_t(i)], thetaForms[std::size_t(i)],
                       gamma[h][std::size_t(i)], gammaForms[h][std::size_t(i)]);
    const int bottomStart = int(c.gates.size()) - 18;
    c.outputs = linearLayer(c, lastProducts, outputBits, runs, random);

    // Complements left at the outputs: the fewest NOTs in the bottom layer.
    // A NOT after signal s complements every output reached from s by an odd
    // number of paths.
    unsigned need = 0;
    for (int k = 0; k < 8; ++k)
        need |= unsigned(polarity(c, c.outputs[std::size_t(k)], outputBits[std::size_t(k)])) << k;
    const int total = int(c.gates.size());
    std::vector<unsigned> effect(std::size_t(total), 0);
    for (int s = bottomStart; s < total; ++s) {
        std::vector<char> odd(std::size_t(total), 0);
        odd[std::size_t(s)] = 1;
        for (int g = s + 1; g < total; ++g) {
            const Gate &gate = c.gates[std::size_t(g)];
            if (gate.op == Op::Xor)
                odd[std::size_t(g)] = char(odd[std::size_t(gate.a)] ^ odd[std::size_t(gate.b)]);
        }
        for (int k = 0; k < 8; ++k)
            effect[std::size_t(s)] |= unsigned(odd[std::size_t(c.outputs[std::size_t(k)])]) << k;
    }
    std::vector<int> from(256, -2), by(256, -1);
    std::vector<unsigned> queue{0};
    from[0] = -1;
    for (std::size_t q = 0; q < queue.size() && from[need] == -2; ++q)
        for (int s = bottomStart; s < total; ++s) {
            const unsigned next = queue[q] ^ effect[std::size_t(s)];
            if (from[next] == -2) {
                from[next] = int(queue[q]);
                by[next] = s;
                queue.push_back(next);
            }
        }
    if (from[need] == -2)
        throw std::logic_error("output complements cannot be fixed in the bottom layer");
    std::vector<int> complemented;
    for (unsigned state = need; state != 0; state = unsigned(from[state]))
        complemented.push_back(by[state]);
    built.nots = int(complemented.size());
    // Rebuild with each chosen signal followed by its NOT, which its readers
    // then read instead.
    std::sort(complemented.begin(), complemented.end());
    Circuit fixed;
    std::vector<int> renamed(static_cast<std::size_t>(total));
    for (int g = 0; g < total; ++g) {
        Gate gate = c.gates[std::size_t(g)];
        if (gate.a >= 0)
            gate.a = renamed[std::size_t(gate.a)];
        if (gate.b >= 0)
            gate.b = renamed[std::size_t(gate.b)];
        fixed.gates.push_back(gate);
        renamed[std::size_t(g)] = int(fixed.gates.size()) - 1;
        if (std::binary_search(complemented.begin(), complemented.end(), g))
            renamed[std::size_t(g)] = addGate(fixed, Op::Not, renamed[std::size_t(g)], -1);
    }
    for (int o : c.outputs)
        fixed.outputs.push_back(renamed[std::size_t(o)]);
    c = std::move(fixed);
    return built;
}

// Drops gates nothing reads, renumbers, and recomputes every value from the
// inputs, so that what is checked is exactly what will be written.
Circuit finish(const Circuit &c)
{
    std::vector<char> live(c.gates.size(), 0);
    for (int o : c.outputs)
        live[std::size_t(o)] = 1;
    for (std::size_t g = c.gates.size(); g-- > 0;) {
        if (!live[g])
            continue;
        if (c.gates[g].a >= 0)
            live[std::size_t(c.gates[g].a)] = 1;
        if (c.gates[g].b >= 0)
            live[std::size_t(c.gates[g].b)] = 1;
    }
    Circuit out;
    std::vector<int> renamed(c.gates.size(), -1);
    for (std::size_t g = 0; g < c.gates.size(); ++g) {
        const Gate &gate = c.gates[g];
        if (gate.op == Op::Input) {
            out.gates.push_back(gate);
        } else if (live[g]) {
            addGate(out, gate.op, renamed[std::size_t(gate.a)],
                    gate.b >= 0 ? renamed[std::size_t(gate.b)] : -1);
        } else {
            continue;
        }
        renamed[g] = int(out.gates.size()) - 1;
    }
    for (int o : c.outputs)
        out.outputs.push_back(renamed[std::size_t(o)]);
    return out;
}

struct Counts
{
    int total = 0, xors = 0, ands = 0, ors = 0, andNots = 0, nots = 0;
};

Counts count(const Circuit &c)
{
    Counts n;
    for (const Gate &g : c.gates) {
        switch (g.op) {
        case Op::Xor: ++n.xors; break;
        case Op::And: ++n.ands; break;
        case Op::Or: ++n.ors; break;
        case Op::AndNot: ++n.andNots; break;
        case Op::Not: ++n.nots; break;
        case Op::Input: continue;
        }
        ++n.total;
    }
    return n;
}

bool computes(const Circuit &c, const unsigned *out)
{
    for (int k = 0; k < 8; ++k)
        if (c.gates[std::size_t(c.outputs[std::size_t(k)])].table !=
            tableOf([&](unsigned x) { return (out[x] >> k) & 1; }))
            return false;
    return true;
}

// How hard the search tries: the towers with the fewest gates after one run
// per layer are built again, keeping the best of several runs per layer.
const std::size_t finalistCount = 12;
const int finalistRuns = 24;

struct Choice
{
    Circuit circuit;
    const Tower *tower = nullptr;
};

// Every tower with one heuristic run per layer; then the most promising again
// with more runs. Seeds depend only on the tower's place in the list.
Choice bestCircuit(const std::vector<Tower> &towers, const unsigned *out, bool forward,
                   const SBoxes &boxes)
{
    auto seedOf = [&](std::size_t t, int pass) {
        return 0x5B0C5EEDull * (forward ? 1 : 7) + 1000003ull * t + 0x100000000ull * unsigned(pass);
    };
    std::vector<std::pair<int, std::size_t>> scores;
    for (std::size_t t = 0; t < towers.size(); ++t) {
        const Built b = buildCircuit(towers[t], out, forward, boxes, 1, seedOf(t, 0));
        scores.push_back({count(finish(b.circuit)).total, t});
    }
    std::stable_sort(scores.begin(), scores.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    Choice best;
    int bestGates = 1 << 30;
    const std::size_t finalists = std::min<std::size_t>(scores.size(), finalistCount);
    for (std::size_t f = 0; f < finalists; ++f) {
        const std::size_t t = scores[f].second;
        const Built b = buildCircuit(towers[t], out, forward, boxes, finalistRuns, seedOf(t, 1));
        Circuit c = finish(b.circuit);
        const int gates = count(c).total;
        if (gates < bestGates) {
            bestGates = gates;
            best.circuit = std::move(c);
            best.tower = &towers[t];
        }
    }
    if (!computes(best.circuit, out))
        throw std::logic_error("the chosen circuit does not compute its table");
    return best;
}

// -------------------------------------------------------------------- output

std::string countsText(const Counts &n)
{
    std::ostringstream s;
    s << n.total << " gates: " << n.ands << " AND, " << n.xors << " XOR, " << n.ors << " OR, "
      << n.andNots << " AND-NOT, " << n.nots << " NOT";
    return s.str();
}

// The text as // comment lines of at most 100 columns; "\n" starts a paragraph.
std::string commentBlock(const std::string &text)
{
    std::istringstream paragraphs(text);
    std::string paragraph, out;
    bool first = true;
    while (std::getline(paragraphs, paragraph)) {
        if (!first)
            out += "//\n";
        first = false;
        std::istringstream words(paragraph);
        std::string word, line;
        while (words >> word) {
            if (!line.empty() && line.size() + 1 + word.size() > 97) {
                out += "// " + line + "\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        out += "// " + line + "\n";
    }
    return out;
}

std::string functionText(const char *name, const Circuit &c)
{
    std::ostringstream s;
    auto wire = [&](int g) {
        return (c.gates[std::size_t(g)].op == Op::Input ? "u" : "g") +
               std::to_string(c.gates[std::size_t(g)].op == Op::Input ? g : g - 8);
    };
    s << "template <class W>\nCIPHER_ALWAYS_INLINE void " << name << "(W (&b)[8])\n{\n";
    for (int k = 0; k < 8; ++k)
        s << "    const W u" << k << " = b[" << k << "];\n";
    for (std::size_t g = 8; g < c.gates.size(); ++g) {
        const Gate &gate = c.gates[g];
        s << "    const W " << wire(int(g)) << " = ";
        const std::string a = wire(gate.a), b = gate.b >= 0 ? wire(gate.b) : "";
        switch (gate.op) {
        case Op::Xor: s << a << " ^ " << b; break;
        case Op::And: s << a << " & " << b; break;
        case Op::Or: s << a << " | " << b; break;
        case Op::AndNot: s << a << " & ~" << b; break;
        case Op::Not: s << "~" << a; break;
        case Op::Input: break;
        }
        s << ";\n";
    }
    for (int k = 0; k < 8; ++k)
        s << "    b[" << k << "] = " << wire(c.outputs[std::size_t(k)]) << ";\n";
    s << "}\n";
    return s.str();
}

std::string headerText(const Choice &forward, const Choice &inverse)
{
    std::ostringstream s;
    s << "// Generated by sboxgen-aes (tools/sboxgen/aesgen.cpp): do not edit. To regenerate, from\n"
         "// the top of the source tree, with a native build in build/:\n"
         "//   cmake --build build --target sboxgen-aes\n"
         "//   build/tools/sboxgen/sboxgen-aes --output cipher/generated/aes_sbox_circuits.h\n\n";
    s << "#ifndef CIPHERBENCH_CIPHER_GENERATED_AES_SBOX_CIRCUITS_H\n"
         "#define CIPHERBENCH_CIPHER_GENERATED_AES_SBOX_CIRCUITS_H\n\n";
    s << commentBlock(
        "The AES S-box (FIPS-197 5.1.1) and its inverse (5.3.2) as Boolean circuits on bit "
        "slices: b[i] holds bit i (bit 0 the coefficient of x^0) of every byte, and each "
        "function replaces the bytes by their substitutes. W is any unsigned integer type.\n"
        "Both circuits invert in GF(2^8) through a tower GF(2^8) over GF(2^4) over GF(2^2), "
        "as Canright describes (\"A very compact S-box for AES\", CHES 2005): one GF(2^4) "
        "product for the norm, its inverse through GF(2^2), two GF(2^4) products by that "
        "inverse, every product as Karatsuba's three half-size products at each level. The "
        "basis change into the tower, the one out of it and the affine map (or, for the "
        "inverse, the inverse affine map) are merged into the linear layers, which are "
        "reduced with Boyar and Peralta's shortest-linear-program heuristic (SEA 2010). The "
        "generator builds each circuit on every such tower (normal or polynomial basis at each "
        "level, on either root; 432 towers) and keeps the one with the fewest gates; field elements are written in FIPS-197's {xx} notation.");
    s << "\n#include \"cipher/detail.h\"\n\nnamespace cipher {\n\n";
    s << commentBlock("SubBytes: " + countsText(count(forward.circuit)) +
                      ".\nTower: " + forward.tower->description);
    s << functionText("aesSBoxForward", forward.circuit) << "\n";
    s << commentBlock("InvSubBytes: " + countsText(count(inverse.circuit)) +
                      "; the inverse affine map is merged into the first linear layer.\nTower: " +
                      inverse.tower->description);
    s << functionText("aesSBoxInverse", inverse.circuit) << "\n";
    s << "} // namespace cipher\n\n#endif\n";
    return s.str();
}

} // namespace

int main(int argc, char **argv)
{
    std::string output;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--output") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--output FILE]\n", argv[0]);
            return 2;
        }
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        const SBoxes boxes = computeSBoxes();
        const std::vector<Tower> towers = allTowers();
        std::printf("%zu towers\n", towers.size());
        const Choice forward = bestCircuit(towers, boxes.forward, true, boxes);
        std::printf("S-box: %s\n  %s\n", countsText(count(forward.circuit)).c_str(),
                    forward.tower->description.c_str());
        const Choice inverse = bestCircuit(towers, boxes.inverse, false, boxes);
        std::printf("inverse S-box: %s\n  %s\n", countsText(count(inverse.circuit)).c_str(),
                    inverse.tower->description.c_str());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%.1f s\n", seconds);
        if (!output.empty()) {
            std::ofstream file(output, std::ios::binary);
            file << headerText(forward, inverse);
            if (!file.flush()) {
                std::fprintf(stderr, "cannot write %s\n", output.c_str());
                return 1;
            }
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "sboxgen-aes: %s\n", e.what());
        return 1;
    }
    return 0;
}
