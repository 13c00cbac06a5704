#include "cipher/aes.h"

#include "cipher/detail.h"

#include <climits>
#include <cstring>
#include <new>

namespace {

// FIPS-197 Figure 7, the S-box: entry 16 * x + y is the substitution for the
// byte xy (x the high nibble, y the low nibble).
static const unsigned char sBox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

// FIPS-197 Figure 14, the inverse S-box, indexed like sBox.
static const unsigned char invSBox[256] = {
    0x52, 0x09, 0x6a, 0xd5, 0x30, 0x36, 0xa5, 0x38, 0xbf, 0x40, 0xa3, 0x9e, 0x81, 0xf3, 0xd7, 0xfb,
    0x7c, 0xe3, 0x39, 0x82, 0x9b, 0x2f, 0xff, 0x87, 0x34, 0x8e, 0x43, 0x44, 0xc4, 0xde, 0xe9, 0xcb,
    0x54, 0x7b, 0x94, 0x32, 0xa6, 0xc2, 0x23, 0x3d, 0xee, 0x4c, 0x95, 0x0b, 0x42, 0xfa, 0xc3, 0x4e,
    0x08, 0x2e, 0xa1, 0x66, 0x28, 0xd9, 0x24, 0xb2, 0x76, 0x5b, 0xa2, 0x49, 0x6d, 0x8b, 0xd1, 0x25,
    0x72, 0xf8, 0xf6, 0x64, 0x86, 0x68, 0x98, 0x16, 0xd4, 0xa4, 0x5c, 0xcc, 0x5d, 0x65, 0xb6, 0x92,
    0x6c, 0x70, 0x48, 0x50, 0xfd, 0xed, 0xb9, 0xda, 0x5e, 0x15, 0x46, 0x57, 0xa7, 0x8d, 0x9d, 0x84,
    0x90, 0xd8, 0xab, 0x00, 0x8c, 0xbc, 0xd3, 0x0a, 0xf7, 0xe4, 0x58, 0x05, 0xb8, 0xb3, 0x45, 0x06,
    0xd0, 0x2c, 0x1e, 0x8f, 0xca, 0x3f, 0x0f, 0x02, 0xc1, 0xaf, 0xbd, 0x03, 0x01, 0x13, 0x8a, 0x6b,
    0x3a, 0x91, 0x11, 0x41, 0x4f, 0x67, 0xdc, 0xea, 0x97, 0xf2, 0xcf, 0xce, 0xf0, 0xb4, 0xe6, 0x73,
    0x96, 0xac, 0x74, 0x22, 0xe7, 0xad, 0x35, 0x85, 0xe2, 0xf9, 0x37, 0xe8, 0x1c, 0x75, 0xdf, 0x6e,
    0x47, 0xf1, 0x1a, 0x71, 0x1d, 0x29, 0xc5, 0x89, 0x6f, 0xb7, 0x62, 0x0e, 0xaa, 0x18, 0xbe, 0x1b,
    0xfc, 0x56, 0x3e, 0x4b, 0xc6, 0xd2, 0x79, 0x20, 0x9a, 0xdb, 0xc0, 0xfe, 0x78, 0xcd, 0x5a, 0xf4,
    0x1f, 0xdd, 0xa8, 0x33, 0x88, 0x07, 0xc7, 0x31, 0xb1, 0x12, 0x10, 0x59, 0x27, 0x80, 0xec, 0x5f,
    0x60, 0x51, 0x7f, 0xa9, 0x19, 0xb5, 0x4a, 0x0d, 0x2d, 0xe5, 0x7a, 0x9f, 0x93, 0xc9, 0x9c, 0xef,
    0xa0, 0xe0, 0x3b, 0x4d, 0xae, 0x2a, 0xf5, 0xb0, 0xc8, 0xeb, 0xbb, 0x3c, 0x83, 0x53, 0x99, 0x61,
    0x17, 0x2b, 0x04, 0x7e, 0xba, 0x77, 0xd6, 0x26, 0xe1, 0x69, 0x14, 0x63, 0x55, 0x21, 0x0c, 0x7d,
};

// FIPS-197 section 5.2, the round constants: Rcon[i] is the word
// (rcon[i], 00, 00, 00) for i = 1 to 10; entry 0 is never used.
static const unsigned char rcon[11] = {
    0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36,
};

const unsigned int blockSize = 16;

// The block functions hold the state as its four columns, one 32-bit word per
// column with row r in bits 8r to 8r + 7; the key schedule's words have the
// same layout.
typedef std::uint32_t Columns[4];

inline std::uint32_t rotateLeft(std::uint32_t w, int bits)
{
    return (w << bits) | (w >> (32 - bits));
}

inline std::uint32_t rotateRight(std::uint32_t w, int bits)
{
    return (w >> bits) | (w << (32 - bits));
}

inline unsigned int byteOf(std::uint32_t w, int row)
{
    return (w >> (8 * row)) & 0xff;
}

inline std::uint32_t loadWord(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
         | std::uint32_t(p[3]) << 24;
}

inline void storeWord(std::uint32_t w, unsigned char *p)
{
    for (int j = 0; j < 4; ++j)
        p[j] = static_cast<unsigned char>(w >> (8 * j));
}

// FIPS-197 3.4: input byte i goes to row i mod 4, column i div 4.
inline void loadColumns(Columns s, const unsigned char *in)
{
    for (int c = 0; c < 4; ++c)
        s[c] = loadWord(in + 4 * c);
}

inline void storeColumns(const Columns s, unsigned char *out)
{
    for (int c = 0; c < 4; ++c)
        storeWord(s[c], out + 4 * c);
}

inline std::uint32_t substituteWord(std::uint32_t w, const unsigned char *box)
{
    return std::uint32_t(box[byteOf(w, 0)]) | std::uint32_t(box[byteOf(w, 1)]) << 8
         | std::uint32_t(box[byteOf(w, 2)]) << 16 | std::uint32_t(box[byteOf(w, 3)]) << 24;
}

// FIPS-197 5.1.1 and 5.3.2.
inline void subBytes(Columns s)
{
    for (int c = 0; c < 4; ++c)
        s[c] = substituteWord(s[c], sBox);
}

inline void invSubBytes(Columns s)
{
    for (int c = 0; c < 4; ++c)
        s[c] = substituteWord(s[c], invSBox);
}

// FIPS-197 5.1.2: row r moves left by r columns, so column c takes row r
// from column c + r. InvShiftRows (5.3.1) takes it from column c - r.
inline void shiftRows(Columns s)
{
    const std::uint32_t a0 = s[0], a1 = s[1], a2 = s[2], a3 = s[3];
    s[0] = (a0 & 0x000000ffu) | (a1 & 0x0000ff00u) | (a2 & 0x00ff0000u) | (a3 & 0xff000000u);
    s[1] = (a1 & 0x000000ffu) | (a2 & 0x0000ff00u) | (a3 & 0x00ff0000u) | (a0 & 0xff000000u);
    s[2] = (a2 & 0x000000ffu) | (a3 & 0x0000ff00u) | (a0 & 0x00ff0000u) | (a1 & 0xff000000u);
    s[3] = (a3 & 0x000000ffu) | (a0 & 0x0000ff00u) | (a1 & 0x00ff0000u) | (a2 & 0xff000000u);
}

inline void invShiftRows(Columns s)
{
    const std::uint32_t a0 = s[0], a1 = s[1], a2 = s[2], a3 = s[3];
    s[0] = (a0 & 0x000000ffu) | (a3 & 0x0000ff00u) | (a2 & 0x00ff0000u) | (a1 & 0xff000000u);
    s[1] = (a1 & 0x000000ffu) | (a0 & 0x0000ff00u) | (a3 & 0x00ff0000u) | (a2 & 0xff000000u);
    s[2] = (a2 & 0x000000ffu) | (a1 & 0x0000ff00u) | (a0 & 0x00ff0000u) | (a3 & 0xff000000u);
    s[3] = (a3 & 0x000000ffu) | (a2 & 0x0000ff00u) | (a1 & 0x00ff0000u) | (a0 & 0xff000000u);
}

// FIPS-197 4.2.1 xtime, on the four bytes of a word at once: each byte
// shifted left and reduced by 1B where its top bit was set.
inline std::uint32_t xtime(std::uint32_t x)
{
    return ((x & 0x7f7f7f7fu) << 1) ^ (((x >> 7) & 0x01010101u) * 0x1bu);
}

// FIPS-197 5.1.3, one column times the matrix with rows
// (02 03 01 01), (01 02 03 01), (01 01 02 03), (03 01 01 02): row r of the
// result is 02 a[r] ^ 03 a[r+1] ^ a[r+2] ^ a[r+3] (indices mod 4).
inline std::uint32_t mixColumn(std::uint32_t a)
{
    const std::uint32_t a2 = xtime(a);
    return a2 ^ rotateRight(a2 ^ a, 8) ^ rotateRight(a, 16) ^ rotateRight(a, 24);
}

// FIPS-197 5.3.3, one column times the matrix with rows
// (0E 0B 0D 09), (09 0E 0B 0D), (0D 09 0E 0B), (0B 0D 09 0E).
inline std::uint32_t invMixColumn(std::uint32_t a)
{
    const std::uint32_t a2 = xtime(a), a4 = xtime(a2), a8 = xtime(a4);
    const std::uint32_t a9 = a ^ a8, aB = a ^ a8 ^ a2, aD = a ^ a8 ^ a4, aE = a8 ^ a4 ^ a2;
    return aE ^ rotateRight(aB, 8) ^ rotateRight(aD, 16) ^ rotateRight(a9, 24);
}

inline void addRoundKey(Columns s, const std::uint32_t *schedule, int round)
{
    for (int c = 0; c < 4; ++c)
        s[c] ^= schedule[4 * round + c];
}

// The inner rounds as tables: entry x of encRound[r] is MixColumns applied to
// a column holding SubBytes(x) in row r and zeros elsewhere, so one round is
// sixteen lookups, with ShiftRows choosing which column each row is read
// from. decRound[r] is the same for InvSubBytes and InvMixColumns.
struct RoundTables
{
    std::uint32_t encRound[4][256];
    std::uint32_t decRound[4][256];

    RoundTables()
    {
        for (unsigned int x = 0; x < 256; ++x) {
            const std::uint32_t enc = mixColumn(sBox[x]);
            const std::uint32_t dec = invMixColumn(invSBox[x]);
            for (int r = 0; r < 4; ++r) {
                encRound[r][x] = rotateLeft(enc, 8 * r);
                decRound[r][x] = rotateLeft(dec, 8 * r);
            }
        }
    }
};

const RoundTables &roundTables()
{
    static const RoundTables tables;
    return tables;
}

// One column of a fused inner round: row r is read from column `rowR`, the
// column ShiftRows (or InvShiftRows) brings it from.
inline std::uint32_t encRoundColumn(const RoundTables &t, std::uint32_t row0, std::uint32_t row1,
                                    std::uint32_t row2, std::uint32_t row3)
{
    return t.encRound[0][byteOf(row0, 0)] ^ t.encRound[1][byteOf(row1, 1)]
         ^ t.encRound[2][byteOf(row2, 2)] ^ t.encRound[3][byteOf(row3, 3)];
}

inline std::uint32_t decRoundColumn(const RoundTables &t, std::uint32_t row0, std::uint32_t row1,
                                    std::uint32_t row2, std::uint32_t row3)
{
    return t.decRound[0][byteOf(row0, 0)] ^ t.decRound[1][byteOf(row1, 1)]
         ^ t.decRound[2][byteOf(row2, 2)] ^ t.decRound[3][byteOf(row3, 3)];
}

// FIPS-197 5.1 Cipher on the schedule w.
void cipherBlock(const std::uint32_t *w, int Nr, const unsigned char *in, unsigned char *out)
{
    const RoundTables &t = roundTables();
    Columns s;
    loadColumns(s, in);
    addRoundKey(s, w, 0);
    for (int round = 1; round < Nr; ++round) {
        // SubBytes, ShiftRows and MixColumns together, then AddRoundKey.
        const std::uint32_t a0 = s[0], a1 = s[1], a2 = s[2], a3 = s[3];
        s[0] = encRoundColumn(t, a0, a1, a2, a3);
        s[1] = encRoundColumn(t, a1, a2, a3, a0);
        s[2] = encRoundColumn(t, a2, a3, a0, a1);
        s[3] = encRoundColumn(t, a3, a0, a1, a2);
        addRoundKey(s, w, round);
    }
    subBytes(s);
    shiftRows(s);
    addRoundKey(s, w, Nr);
    storeColumns(s, out);
}

// FIPS-197 5.3.5, the equivalent inverse cipher, on the schedule dw: the
// same order of steps as the cipher, which is what lets the tables fuse
// them. It computes exactly InvCipher (5.3).
void equivalentInvCipherBlock(const std::uint32_t *dw, int Nr, const unsigned char *in,
                              unsigned char *out)
{
    const RoundTables &t = roundTables();
    Columns s;
    loadColumns(s, in);
    addRoundKey(s, dw, Nr);
    for (int round = Nr - 1; round >= 1; --round) {
        // InvSubBytes, InvShiftRows and InvMixColumns together, then AddRoundKey.
        const std::uint32_t a0 = s[0], a1 = s[1], a2 = s[2], a3 = s[3];
        s[0] = decRoundColumn(t, a0, a3, a2, a1);
        s[1] = decRoundColumn(t, a1, a0, a3, a2);
        s[2] = decRoundColumn(t, a2, a1, a0, a3);
        s[3] = decRoundColumn(t, a3, a2, a1, a0);
        addRoundKey(s, dw, round);
    }
    invSubBytes(s);
    invShiftRows(s);
    addRoundKey(s, dw, 0);
    storeColumns(s, out);
}

// FIPS-197 5.2 SubWord and RotWord on a key word held as 4 bytes.
inline void subWord(unsigned char *w)
{
    for (int j = 0; j < 4; ++j)
        w[j] = sBox[w[j]];
}

inline void rotWord(unsigned char *w)
{
    const unsigned char first = w[0];
    w[0] = w[1];
    w[1] = w[2];
    w[2] = w[3];
    w[3] = first;
}

// The state field keeps the matrix of the last block row by row (row r,
// column c at 4r + c); blocks travel column by column.
inline void keepState(unsigned char *state, const unsigned char *block)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            state[4 * r + c] = block[4 * c + r];
}

inline void xorBlock(unsigned char *block, const unsigned char *with)
{
    for (unsigned int i = 0; i < blockSize; ++i)
        block[i] ^= with[i];
}

// The last-byte padding rule shared by both decryptions: a last byte n of
// 1 to 16 clears the last n bytes and shortens the result by n, 0 keeps
// everything, anything larger is refused. Only that one byte is examined,
// so zero, ISO 10126 and ANSI X.923 padding come off as well as PKCS#7.
int removePadding(unsigned char *out, unsigned int length)
{
    const unsigned int n = out[length - 1];
    if (n > blockSize)
        return 0;
    std::memset(out + length - n, 0, n);
    return static_cast<int>(length - n);
}

} // namespace

namespace cipher {

const unsigned char *aesSBox()
{
    return sBox;
}

const unsigned char *aesInvSBox()
{
    return invSBox;
}

} // namespace cipher

AesContext::AesContext(int keyLength, const unsigned char *key)
    : state{}, Nb(4), Nk(0), Nr(0), key{}, roundKeys{}, encKeys{}, decKeys{}
{
    // Any other length leaves Nk = Nr = 0 and an all-zero schedule: such a
    // context computes nothing meaningful, but never reads past its tables.
    if (key != nullptr && (keyLength == 16 || keyLength == 24 || keyLength == 32)) {
        Nk = keyLength / 4;
        Nr = Nk + 6;
        std::memcpy(this->key, key, static_cast<std::size_t>(keyLength));
    }
    expandKey();
}

AesContext::~AesContext()
{
    cipher::secureWipe(state, sizeof state);
    cipher::secureWipe(key, sizeof key);
    cipher::secureWipe(roundKeys, sizeof roundKeys);
    cipher::secureWipe(encKeys, sizeof encKeys);
    cipher::secureWipe(decKeys, sizeof decKeys);
}

// FIPS-197 5.2 KeyExpansion.
void AesContext::expandKey()
{
    std::memset(roundKeys, 0, sizeof roundKeys);
    std::memset(encKeys, 0, sizeof encKeys);
    std::memset(decKeys, 0, sizeof decKeys);
    if (Nk == 0)
        return;
    std::memcpy(roundKeys, key, 4 * static_cast<std::size_t>(Nk));
    const int words = Nb * (Nr + 1);
    unsigned char temp[4];
    for (int i = Nk; i < words; ++i) {
        std::memcpy(temp, roundKeys + 4 * (i - 1), 4);
        if (i % Nk == 0) {
            rotWord(temp);
            subWord(temp);
            temp[0] ^= rcon[i / Nk];
        } else if (Nk > 6 && i % Nk == 4) {
            subWord(temp);
        }
        for (int j = 0; j < 4; ++j)
            roundKeys[4 * i + j] = roundKeys[4 * (i - Nk) + j] ^ temp[j];
    }
    cipher::secureWipe(temp, sizeof temp);

    // dw: the round keys of rounds 1 to Nr - 1 go through InvMixColumns.
    for (int i = 0; i < words; ++i) {
        encKeys[i] = loadWord(roundKeys + 4 * i);
        const int round = i / 4;
        decKeys[i] = (round == 0 || round == Nr) ? encKeys[i] : invMixColumn(encKeys[i]);
    }
}

void AesContext::encryptBlock(const unsigned char *in, unsigned char *out)
{
    cipherBlock(encKeys, Nr, in, out);
    keepState(state, out);
}

void AesContext::decryptBlock(const unsigned char *in, unsigned char *out)
{
    equivalentInvCipherBlock(decKeys, Nr, in, out);
    keepState(state, out);
}

AesCipher::AesCipher()
{
    static const char defaultKey[] = "qmtzrwdlkfpxnvob";
    setKey(16, defaultKey);
}

AesCipher::~AesCipher()
{
    delete context;
}

void AesCipher::setKey(int keyLength, const char *key)
{
    delete context;
    context = nullptr;
    // The length is checked before the key is touched, so a wrong length
    // never reads past the bytes the caller has.
    if (key == nullptr || (keyLength != 16 && keyLength != 24 && keyLength != 32))
        return;
    context = new (std::nothrow)
        AesContext(keyLength, reinterpret_cast<const unsigned char *>(key));
}

// Results are counted in int, so an input whose padded length would not fit
// is refused like any other failure.
static bool paddedLengthFits(unsigned int length)
{
    return length <= static_cast<unsigned int>(INT_MAX) - blockSize;
}

// The final block of an encryption: the r bytes left over, then 16 - r bytes
// of value 16 - r (a whole block of 10 hexadecimal when nothing is left over).
static void buildPaddingBlock(unsigned char *block, const unsigned char *rest, unsigned int r)
{
    if (r != 0)
        std::memcpy(block, rest, r);
    std::memset(block + r, static_cast<int>(blockSize - r), blockSize - r);
}

int AesCipher::encryptEcb(char *in, unsigned int length, char *out)
{
    if (context == nullptr || out == nullptr || (in == nullptr && length != 0)
        || !paddedLengthFits(length))
        return 0;
    const unsigned char *src = reinterpret_cast<const unsigned char *>(in);
    unsigned char *dst = reinterpret_cast<unsigned char *>(out);
    const unsigned int full = length / blockSize;
    for (unsigned int i = 0; i < full; ++i)
        context->encryptBlock(src + i * blockSize, dst + i * blockSize);

    unsigned char last[blockSize];
    buildPaddingBlock(last, src + full * blockSize, length % blockSize);
    context->encryptBlock(last, dst + full * blockSize);
    cipher::secureWipe(last, sizeof last);
    return static_cast<int>((full + 1) * blockSize);
}

int AesCipher::decryptEcb(char *in, unsigned int length, unsigned char *out)
{
    if (context == nullptr || out == nullptr || in == nullptr || length == 0
        || length % blockSize != 0 || length > static_cast<unsigned int>(INT_MAX))
        return 0;
    const unsigned char *src = reinterpret_cast<const unsigned char *>(in);
    for (unsigned int i = 0; i < length; i += blockSize)
        context->decryptBlock(src + i, out + i);
    return removePadding(out, length);
}

int AesCipher::encryptCbc(char *in, unsigned int length, char *out, char *iv)
{
    if (context == nullptr || out == nullptr || iv == nullptr
        || (in == nullptr && length != 0) || !paddedLengthFits(length))
        return 0;
    unsigned char *src = reinterpret_cast<unsigned char *>(in);
    unsigned char *dst = reinterpret_cast<unsigned char *>(out);
    unsigned char *chain = reinterpret_cast<unsigned char *>(iv);
    const unsigned int full = length / blockSize;
    for (unsigned int i = 0; i < full; ++i) {
        // The chaining value goes into the caller's block itself: callers
        // see their input change, and rely on nothing else.
        unsigned char *block = src + i * blockSize;
        xorBlock(block, chain);
        context->encryptBlock(block, dst + i * blockSize);
        std::memcpy(chain, dst + i * blockSize, blockSize);
    }

    unsigned char last[blockSize];
    buildPaddingBlock(last, src + full * blockSize, length % blockSize);
    xorBlock(last, chain);
    context->encryptBlock(last, dst + full * blockSize);
    cipher::secureWipe(last, sizeof last);
    std::memcpy(chain, dst + full * blockSize, blockSize);
    return static_cast<int>((full + 1) * blockSize);
}

int AesCipher::decryptCbc(char *in, unsigned int length, unsigned char *out, char *iv)
{
    if (context == nullptr || out == nullptr || in == nullptr || iv == nullptr || length == 0
        || length % blockSize != 0 || length > static_cast<unsigned int>(INT_MAX))
        return 0;
    const unsigned char *src = reinterpret_cast<const unsigned char *>(in);
    unsigned char *chain = reinterpret_cast<unsigned char *>(iv);
    unsigned char cipherBlock[blockSize];
    for (unsigned int i = 0; i < length; i += blockSize) {
        // Keep the cipher block before writing: the output may share the input's memory.
        std::memcpy(cipherBlock, src + i, blockSize);
        context->decryptBlock(cipherBlock, out + i);
        xorBlock(out + i, chain);
        std::memcpy(chain, cipherBlock, blockSize);
    }
    return removePadding(out, length);
}
