// Cost of building variants from the common script values, of converting
// each to the other two kinds, and of growing a list of variants that each
// hold a list.

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

// Appends 10,000 variants, each holding a list of three numbers, to a list
// that grows as it goes (or is reserved up front): what reallocation costs
// when the elements must be copied rather than moved.
void growList(benchmark::State& state, bool reserve) {
    const FB::VariantList element = {FB::variant(1), FB::variant(2), FB::variant(3)};
    const std::size_t count = 10000;
    for (auto _ : state) {
        FB::VariantList list;
        if (reserve) {
            list.reserve(count);
        }
        for (std::size_t i = 0; i < count; ++i) {
            list.push_back(FB::variant(element));
        }
        benchmark::DoNotOptimize(list.data());
    }
}
BENCHMARK_CAPTURE(growList, Growing, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(growList, Reserved, true)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
