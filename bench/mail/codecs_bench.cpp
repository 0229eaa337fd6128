// Base64, quoted-printable and MD5 throughput (bytes/s of plain input),
// ours beside OpenSSL's EVP routines where it has one, on the same buffers.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <string>

#include "mail/evqmd5.h"
#include "mail/mimeutils.h"

namespace {

constexpr size_t kSize = 1 << 20;

// Mostly printable text with some 8-bit bytes and line breaks, like a body.
const std::string& plain() {
    static const std::string text = [] {
        std::mt19937 rng(1);
        std::uniform_int_distribution<int> pick(0, 99);
        std::string s;
        s.reserve(kSize);
        while (s.size() < kSize) {
            const int p = pick(rng);
            s += p < 2 ? '\r' : p < 4 ? '\n' : p < 10 ? static_cast<char>(0xA0 + p) : p < 25 ? ' ' : static_cast<char>('a' + p % 26);
        }
        return s;
    }();
    return text;
}

const std::string& encoded() {
    static const std::string e = mail::Base64Encode(plain());
    return e;
}

const std::string& qpEncoded() {
    static const std::string e = mail::SplitQuotedPrintableString(mail::EncodeQuotedPrintable(plain()));
    return e;
}

void Base64Encode_Ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(mail::Base64Encode(plain()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void Base64Encode_OpenSSL(benchmark::State& state) {
    std::string out(encoded().size() + 1, '\0');
    for (auto _ : state)
        benchmark::DoNotOptimize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                                 reinterpret_cast<const unsigned char*>(plain().data()), int(kSize)));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void Base64Decode_Ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(mail::Base64Decode(encoded()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void Base64Decode_OpenSSL(benchmark::State& state) {
    std::string out(kSize + 3, '\0');
    for (auto _ : state)
        benchmark::DoNotOptimize(EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                                 reinterpret_cast<const unsigned char*>(encoded().data()),
                                                 int(encoded().size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void QuotedPrintableEncode_Ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(mail::SplitQuotedPrintableString(mail::EncodeQuotedPrintable(plain())));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

// The body path of the mail writer: one line of 75 columns per call.
void QuotedPrintableLines_Ours(benchmark::State& state) {
    for (auto _ : state) {
        for (int pos = 1; pos <= int(kSize);)
            benchmark::DoNotOptimize(mail::StrEncodeQPEx(plain(), 75, mail::TSysCharSet(), false, pos, true));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void QuotedPrintableDecode_Ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(mail::DecodeQuotedPrintable(qpEncoded()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void MD5_Ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(mail::GetMD5(plain().data(), kSize));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void MD5_OpenSSL(benchmark::State& state) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    for (auto _ : state) benchmark::DoNotOptimize(EVP_Digest(plain().data(), kSize, md, &len, EVP_md5(), nullptr));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

}  // namespace

BENCHMARK(Base64Encode_Ours);
BENCHMARK(Base64Encode_OpenSSL);
BENCHMARK(Base64Decode_Ours);
BENCHMARK(Base64Decode_OpenSSL);
BENCHMARK(QuotedPrintableEncode_Ours);
BENCHMARK(QuotedPrintableLines_Ours);
BENCHMARK(QuotedPrintableDecode_Ours);
BENCHMARK(MD5_Ours);
BENCHMARK(MD5_OpenSSL);

BENCHMARK_MAIN();
