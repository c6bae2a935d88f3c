#pragma once

// The script object of the call benchmarks: one method taking two strings
// and returning one, as "signPkcs1" does.

#include "JSAPIAuto.h"

#include <benchmark/benchmark.h>
#include <string>

class Signer : public FB::JSAPIAuto {
public:
    Signer() : FB::JSAPIAuto("<JSAPI-Auto Javascript Object>") {
        registerMethod("signPkcs1", FB::make_method(this, &Signer::signPkcs1));
    }

    std::string signPkcs1(const std::string& id, const std::string& hash) {
        benchmark::DoNotOptimize(id.data());
        benchmark::DoNotOptimize(hash.data());
        return hash;
    }
};
