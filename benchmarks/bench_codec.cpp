// Throughput of the text conversions on 1 MiB. Base64 figures count the
// binary side's bytes for encoding and the text's characters for decoding;
// hex and validator figures count characters of text (one per byte of
// typical ASCII input).
//
//   bench_codec --benchmark_repetitions=10 --benchmark_report_aggregates_only=true

#include "benchsupport.h"
#include "codec/codec.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QString>

#include <memory>

namespace {

constexpr qsizetype kMiB = 1 << 20;
constexpr quint32 kSeed = 20240601;

// About 1 MiB of spaced hex text, as the DES page writes it.
QString spacedHex()
{
    return bytesToHexStr(randomBytes(kMiB / 3, kSeed), 16, true, QLatin1Char(' '));
}

void BM_Base64Encode(benchmark::State &state)
{
    const QByteArray bytes = randomBytes(kMiB, kSeed);
    std::unique_ptr<char[]> out(new char[base64EncodedSize(int(bytes.size()))]);
    for (auto _ : state) {
        base64Encode(bytes.constData(), out.get(), int(bytes.size()));
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_Base64Decode(benchmark::State &state)
{
    const QByteArray text = randomBytes(kMiB / 4 * 3, kSeed).toBase64(); // 1 MiB of text
    const int capacity = base64DecodedCapacity(text.size());
    std::unique_ptr<char[]> out(new char[capacity]);
    for (auto _ : state) {
        benchmark::DoNotOptimize(base64Decode(text.constData(), out.get(), std::size_t(capacity)));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}

void BM_BytesToHexStr(benchmark::State &state)
{
    const bool spaced = state.range(0) != 0;
    const QByteArray bytes = randomBytes(spaced ? kMiB / 3 : kMiB / 2, kSeed); // ~1 MiB of text
    qsizetype chars = 0;
    for (auto _ : state) {
        const QString text = bytesToHexStr(bytes, 16, spaced, QLatin1Char(' '));
        chars = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    state.SetBytesProcessed(state.iterations() * chars);
    state.SetLabel(spaced ? "spaced" : "unspaced");
}

void BM_ReadHex(benchmark::State &state)
{
    const QString text = spacedHex();
    for (auto _ : state) {
        const QByteArray bytes = readHex(text);
        benchmark::DoNotOptimize(bytes.constData());
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}

void BM_GroupThenHexStrToBytes(benchmark::State &state)
{
    const QString text = spacedHex();
    for (auto _ : state) {
        const QByteArray bytes =
            hexStrToBytes(groupHexStr(text, 2, QLatin1Char(' ')), 16, QLatin1Char(' '));
        benchmark::DoNotOptimize(bytes.constData());
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}

void BM_IsHexStr(benchmark::State &state)
{
    const QString text = spacedHex();
    for (auto _ : state)
        benchmark::DoNotOptimize(isHexStr(text));
    state.SetBytesProcessed(state.iterations() * text.size());
}

void BM_IsBase64Str(benchmark::State &state)
{
    const QString text = QString::fromLatin1(randomBytes(kMiB / 4 * 3, kSeed).toBase64());
    for (auto _ : state)
        benchmark::DoNotOptimize(isBase64Str(text));
    state.SetBytesProcessed(state.iterations() * text.size());
}

} // namespace

BENCHMARK(BM_Base64Encode);
BENCHMARK(BM_Base64Decode);
BENCHMARK(BM_BytesToHexStr)->Arg(1)->Arg(0);
BENCHMARK(BM_ReadHex);
BENCHMARK(BM_GroupThenHexStrToBytes);
BENCHMARK(BM_IsHexStr);
BENCHMARK(BM_IsBase64Str);

BENCHMARK_MAIN();
