// Throughput of the AES and DES engines on 1 MiB buffers, each beside the same
// operation through OpenSSL's EVP interface (padding off), so the ratio of the
// two can be read off one run. Our encryptions also write their one padding
// block (AES) or terminator (DES); the bytes counted are the 1 MiB of input.
// AES runs twice: on the processor's AES instructions (/hw, skipped where
// there are none) and on the constant-time portable rounds (/portable); DES
// likewise on its AVX2 vector batches (/avx2, skipped where there is no
// AVX2) and its 64-block portable batches (/portable). The "one block" rows
// time one call on a 5-byte text, a short text on the DES page.

#include "benchsupport.h"
#include "cipher/aes.h"
#include "cipher/des.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int bufferSize = 1 << 20;

void countBytes(benchmark::State &state)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bufferSize);
}

void aesOurs(benchmark::State &state, int keyBytes, bool cbc, bool encrypt, bool portable)
{
    aesForcePortable(portable);
    if (!portable && !aesUsesHardware()) {
        state.SkipWithError("no AES instructions on this processor");
        return;
    }
    const QByteArray key = randomBytes(keyBytes, 1);
    QByteArray in = randomBytes(bufferSize, 2);
    std::vector<char> out(bufferSize + 16);
    QByteArray iv = randomBytes(16, 3);
    AesCipher cipher;
    cipher.setKey(keyBytes, key.data());
    unsigned char *plain = reinterpret_cast<unsigned char *>(out.data());
    char *input = in.data();
    char *ivBytes = iv.data();
    for (auto _ : state) {
        int n;
        if (encrypt)
            n = cbc ? cipher.encryptCbc(input, bufferSize, out.data(), ivBytes)
                    : cipher.encryptEcb(input, bufferSize, out.data());
        else
            n = cbc ? cipher.decryptCbc(input, bufferSize, plain, ivBytes)
                    : cipher.decryptEcb(input, bufferSize, plain);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    countBytes(state);
}

int desRun(DesContext &context, bool triple, bool encrypt, const char *in, int length, char *out)
{
    if (triple)
        return encrypt ? context.encrypt3Des(in, length, out)
                       : context.decrypt3Des(in, length, out);
    return encrypt ? context.encryptDes(in, length, out) : context.decryptDes(in, length, out);
}

void desOurs(benchmark::State &state, bool triple, bool encrypt, bool portable)
{
    desForcePortable(portable);
    if (!portable && !desUsesVectors()) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    const QByteArray k1 = randomBytes(8, 4), k2 = randomBytes(8, 5);
    const QByteArray in = randomBytes(bufferSize, 6);
    std::vector<char> out(bufferSize + 1);
    DesContext context;
    context.setSubKey(k1.data(), 0);
    context.setSubKey(k2.data(), 1);
    for (auto _ : state) {
        const int n = desRun(context, triple, encrypt, in.data(), bufferSize, out.data());
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    countBytes(state);
}

void desOneBlock(benchmark::State &state, bool triple, bool encrypt)
{
    desForcePortable(false);
    const QByteArray k1 = randomBytes(8, 4), k2 = randomBytes(8, 5);
    const QByteArray in = randomBytes(5, 6);
    std::vector<char> out(9);
    DesContext context;
    context.setSubKey(k1.data(), 0);
    context.setSubKey(k2.data(), 1);
    for (auto _ : state) {
        const int n = desRun(context, triple, encrypt, in.data(), 5, out.data());
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
}

void openSsl(benchmark::State &state, const std::string &name, int keyBytes, bool encrypt)
{
    EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, name.c_str(), nullptr);
    if (cipher == nullptr) {
        state.SkipWithError("cipher not available in this OpenSSL");
        return;
    }
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    const QByteArray key = randomBytes(keyBytes, 1);
    const QByteArray in = randomBytes(bufferSize, 2);
    std::vector<unsigned char> out(bufferSize + 32);
    const QByteArray iv = randomBytes(16, 3);
    const auto *keyBytesPtr = reinterpret_cast<const unsigned char *>(key.data());
    const auto *ivPtr = reinterpret_cast<const unsigned char *>(iv.data());
    const auto *inPtr = reinterpret_cast<const unsigned char *>(in.data());
    for (auto _ : state) {
        int n = 0, last = 0;
        EVP_CipherInit_ex(ctx, cipher, nullptr, keyBytesPtr, ivPtr, encrypt ? 1 : 0);
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        EVP_CipherUpdate(ctx, out.data(), &n, inPtr, bufferSize);
        EVP_CipherFinal_ex(ctx, out.data() + n, &last);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    countBytes(state);
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
}

void registerAll()
{
    for (int keyBytes : {16, 24, 32})
        for (bool cbc : {false, true})
            for (bool encrypt : {true, false}) {
                const std::string name =
                    "AES-" + std::to_string(keyBytes * 8) + (cbc ? "-CBC" : "-ECB");
                const std::string op = name + (encrypt ? "/encrypt" : "/decrypt");
                benchmark::RegisterBenchmark((op + "/hw").c_str(), aesOurs, keyBytes, cbc, encrypt,
                                             false);
                benchmark::RegisterBenchmark((op + "/portable").c_str(), aesOurs, keyBytes, cbc,
                                             encrypt, true);
                benchmark::RegisterBenchmark((op + "/openssl").c_str(), openSsl, name, keyBytes,
                                             encrypt);
            }
    for (bool triple : {false, true})
        for (bool encrypt : {true, false}) {
            const std::string op =
                std::string(triple ? "3DES" : "DES") + (encrypt ? "/encrypt" : "/decrypt");
            benchmark::RegisterBenchmark((op + "/avx2").c_str(), desOurs, triple, encrypt, false);
            benchmark::RegisterBenchmark((op + "/portable").c_str(), desOurs, triple, encrypt,
                                         true);
            // Two-key EDE takes K1 and K2 as one 16-byte key.
            benchmark::RegisterBenchmark((op + "/openssl").c_str(), openSsl,
                                         std::string(triple ? "DES-EDE-ECB" : "DES-ECB"),
                                         triple ? 16 : 8, encrypt);
            benchmark::RegisterBenchmark((op + "/one block").c_str(), desOneBlock, triple, encrypt)
                ->Unit(benchmark::kMicrosecond);
        }
}

} // namespace

int main(int argc, char **argv)
{
    // Single DES lives in OpenSSL 3's legacy provider.
    if (OSSL_PROVIDER_load(nullptr, "legacy") == nullptr ||
        OSSL_PROVIDER_load(nullptr, "default") == nullptr)
        std::fprintf(stderr, "OpenSSL legacy provider unavailable: no single-DES reference\n");
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
