// Cost of a script call through member dispatch, against a direct call of the
// same member function: Invoke of a method taking two strings and returning
// one.

#include "Signer.h"
#include "variant_list.h"

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>
#include <string>

namespace {

const std::string id = "MTIzNDU2Nzg5MA==";
const std::string hash = "q83vEjRWeJq83vEjRWeJq83vEjQ=";

void BM_DirectCall(benchmark::State& state) {
    const auto signer = boost::make_shared<Signer>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(signer->signPkcs1(id, hash));
    }
}
BENCHMARK(BM_DirectCall);

void BM_Invoke(benchmark::State& state) {
    const auto signer = boost::make_shared<Signer>();
    const std::string method = "signPkcs1";
    const FB::VariantList args = FB::variant_list_of(id)(hash);
    for (auto _ : state) {
        benchmark::DoNotOptimize(signer->Invoke(method, args));
    }
}
BENCHMARK(BM_Invoke);

} // namespace

BENCHMARK_MAIN();
