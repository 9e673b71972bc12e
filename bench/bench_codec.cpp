// Frame codec throughput beside memcpy of the same bytes, on 1 KiB and 1 MiB bodies of random
// bytes and of bytes that all need escaping. After the runs a table gives each codec rate as
// a ratio of memcpy's and checks the 1 GB/s target on random bodies.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/protocol_phy.h"

namespace {

enum Content { kRandom = 0, kEscapes = 1 };

std::vector<u8> body(size_t n, int content)
{
    std::vector<u8> b(n);
    std::mt19937 rng(1234);
    static const u8 escapes[] = {0xA5, 0xA6, 0x5A, 0x5B};
    for (auto& x : b)
        x = content == kRandom ? u8(rng()) : escapes[rng() % 4];
    return b;
}

std::vector<u8> wire_of(const std::vector<u8>& b)
{
    protocol_phy phy;
    std::vector<u8> w(2 * b.size() + 4);
    u8 flag;
    w.resize(phy.data_re_transf_meaning(w.data(), b.data(), u32(b.size()), &flag));
    return w;
}

void BM_Memcpy(benchmark::State& st)
{
    const auto in = body(size_t(st.range(0)), int(st.range(1)));
    std::vector<u8> out(in.size());
    for (auto _ : st) {
        std::memcpy(out.data(), in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(in.size()));
}

void BM_Encode(benchmark::State& st)
{
    const auto in = body(size_t(st.range(0)), int(st.range(1)));
    std::vector<u8> out(2 * in.size() + 4);
    protocol_phy phy;
    u8 flag;
    for (auto _ : st) {
        benchmark::DoNotOptimize(phy.data_re_transf_meaning(out.data(), in.data(), u32(in.size()), &flag));
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(in.size()));
}

void BM_Decode(benchmark::State& st)
{
    const auto in = body(size_t(st.range(0)), int(st.range(1)));
    const auto wire = wire_of(in);
    std::vector<u8> out(wire.size());
    protocol_phy phy;
    u8 complete;
    for (auto _ : st) {
        benchmark::DoNotOptimize(phy.data_transf_meaning(wire.data(), out.data(), u32(wire.size()), &complete));
        benchmark::ClobberMemory();
    }
    // Rated by the decoded body, the unit the transports care about.
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(in.size()));
}

#define CODEC_ARGS ->Args({1024, kRandom})->Args({1 << 20, kRandom})->Args({1024, kEscapes})->Args({1 << 20, kEscapes})
BENCHMARK(BM_Memcpy) CODEC_ARGS;
BENCHMARK(BM_Encode) CODEC_ARGS;
BENCHMARK(BM_Decode) CODEC_ARGS;

// Console output as usual, plus the rates kept for the ratio table.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (r.run_type == Run::RT_Iteration && it != r.counters.end())
                rates[r.benchmark_name()] = it->second.value;
        }
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    bool target_met = true;
    std::printf("\n%-10s %-8s %-8s %12s %12s %8s\n", "codec", "body", "bytes", "GB/s", "memcpy GB/s", "ratio");
    for (const char* op : {"BM_Encode", "BM_Decode"}) {
        for (int content : {kRandom, kEscapes}) {
            for (int size : {1024, 1 << 20}) {
                const std::string args = "/" + std::to_string(size) + "/" + std::to_string(content);
                const auto c = reporter.rates.find(op + args);
                const auto m = reporter.rates.find("BM_Memcpy" + args);
                if (c == reporter.rates.end() || m == reporter.rates.end())
                    continue;
                const double gbs = c->second / 1e9;
                std::printf("%-10s %-8s %-8d %12.2f %12.2f %8.3f\n", op + 3,
                            content == kRandom ? "random" : "escapes", size, gbs,
                            m->second / 1e9, c->second / m->second);
                if (content == kRandom && gbs < 1.0)
                    target_met = false;
            }
        }
    }
    std::printf("target (encode and decode >= 1 GB/s on random bodies): %s\n",
                target_met ? "met" : "NOT met");
    benchmark::Shutdown();
    return 0;
}
