// rematch over 1.5 million subjects and 20 patterns: once through the cache
// of compiled patterns, once compiling each pattern for every subject as the
// unbuffered road does. Run: bench_rematch [--rows=N]
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "helpers/kwutil.h"

namespace {

int64_t rows = 1500000;

const std::vector<std::string>& patterns() {
    static const std::vector<std::string> p = {
        "*@spam*.example",         "*viagra*",               "KWRE:^win\\w+@",        "*lottery?winner*",
        "kwre:\\d{5,}@",           "*@*.ru",                 "*free*money*",          "KWRE:(?i)casino",
        "*noreply@bulk*",          "kwre:^[a-z]+\\.[a-z]+@", "*@mailer?.example",     "*unsubscribe*",
        "KWRE:@(ads|promo)\\.",    "*prize*",                "*@newsletter.*",        "kwre:xx+@",
        "*offer@*",                "KWRE:^\\s*$",            "*[SPAM]*",              "*@example.invalid",
    };
    return p;
}

const std::vector<std::string>& subjects() {
    static const std::vector<std::string> s = [] {
        std::vector<std::string> v;
        v.reserve(static_cast<size_t>(rows));
        const char* names[] = {"anna", "bert", "carl.diaz", "win", "news", "xx", "offer", "prize"};
        const char* hosts[] = {"mail.example", "spam7.example", "ads.example", "mailer2.example", "host.ru"};
        for (int64_t i = 0; i < rows; ++i)
            v.push_back(std::string(names[i % 8]) + std::to_string(i % 100003) + "@" + hosts[i % 5]);
        return v;
    }();
    return s;
}

// What a call compiled anew every time: translate, compile, run, release.
bool rematchuncached(const std::string& pattern, const std::string& text) {
    const bool regex = pattern.size() >= 5 && (pattern.compare(0, 5, "KWRE:") == 0 || pattern.compare(0, 5, "kwre:") == 0);
    std::string expr = regex ? pattern.substr(5) : helpers::reescape(pattern.substr(pattern.find_first_not_of('*')));
    const helpers::PRegex re = helpers::reerror("(?U)(?m)" + expr);
    return re && helpers::rexec(*re, text);
}

template <typename Match>
void run(benchmark::State& state, Match match) {
    const auto& s = subjects();
    int64_t hits = 0;
    for (auto _ : state) {
        for (const auto& row : s)
            for (const auto& p : patterns()) hits += match(p, row);
    }
    state.counters["rows"] = static_cast<double>(s.size());
    state.counters["hits"] = static_cast<double>(hits);
    state.counters["matches/s"] =
        benchmark::Counter(static_cast<double>(s.size() * patterns().size()), benchmark::Counter::kIsRate);
}

void BM_RematchCached(benchmark::State& state) {
    run(state, [](const std::string& p, const std::string& t) { return helpers::rematch(p, t); });
}

void BM_RematchCompilePerCall(benchmark::State& state) { run(state, rematchuncached); }

BENCHMARK(BM_RematchCached)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_RematchCompilePerCall)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--rows=", 7) == 0) rows = std::atoll(argv[i] + 7);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
