// Redraw of the aging-log page's first page, on a log of 20 entries and on a full log of 3360
// (offscreen). After the runs a table gives both times and checks the target: a full log
// redraws in at most 3 times the time of 20 entries.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMutexLocker>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "core/globals.h"
#include "ui/settings_pages/factoryage.h"
#include "ui/shell/agelog.h"

namespace {

void fill_log(int n)
{
    {
        QMutexLocker lk(&factoryage_log_mutex());
        factoryage_log.clear();
    }
    for (int i = 0; i < n; ++i)
        agelog_append("03-15 14:30", i & 0xFF, (i * 7) & 0x1F, (i * 3) & 0xFF);
}

void BM_AgelogRedraw(benchmark::State& st)
{
    fill_log(static_cast<int>(st.range(0)));
    auto page = std::make_unique<factoryage>(nullptr);
    for (auto _ : st)
        page->update_agelog();
}
BENCHMARK(BM_AgelogRedraw)->Arg(20)->Arg(kAgeLogMax)->Unit(benchmark::kMicrosecond);

class TimeReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration)
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto small = reporter.times.find("BM_AgelogRedraw/20");
    const auto full = reporter.times.find("BM_AgelogRedraw/" + std::to_string(kAgeLogMax));
    if (small != reporter.times.end() && full != reporter.times.end()) {
        const double ratio = full->second / small->second;
        std::printf("\nfirst page redraw: 20 entries %.1f us, %d entries %.1f us, ratio %.2f\n", small->second,
                    kAgeLogMax, full->second, ratio);
        std::printf("target (full log at most 3x 20 entries): %s\n", ratio <= 3.0 ? "met" : "NOT met");
    }
    benchmark::Shutdown();
    return 0;
}
