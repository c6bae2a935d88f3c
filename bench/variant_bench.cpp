// Cost of building variants from the common script values and of converting
// each to the other two kinds.

#include "variant.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

const std::string text = "12345";
const int integer = 12345;
const double number = 12345.5;

template <const auto& value> void BM_Construct(benchmark::State& state) {
    for (auto _ : state) {
        FB::variant held(value);
        benchmark::DoNotOptimize(held);
    }
}
BENCHMARK_TEMPLATE(BM_Construct, text);
BENCHMARK_TEMPLATE(BM_Construct, integer);
BENCHMARK_TEMPLATE(BM_Construct, number);

template <typename Target, const auto& value> void BM_ConvertCast(benchmark::State& state) {
    const FB::variant held(value);
    for (auto _ : state) {
        benchmark::DoNotOptimize(held.convert_cast<Target>());
    }
}
BENCHMARK_TEMPLATE(BM_ConvertCast, int, text);
BENCHMARK_TEMPLATE(BM_ConvertCast, double, text);
BENCHMARK_TEMPLATE(BM_ConvertCast, std::string, integer);
BENCHMARK_TEMPLATE(BM_ConvertCast, double, integer);
BENCHMARK_TEMPLATE(BM_ConvertCast, std::string, number);
BENCHMARK_TEMPLATE(BM_ConvertCast, int, number);

} // namespace

BENCHMARK_MAIN();
