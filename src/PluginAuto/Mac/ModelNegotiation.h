#pragma once

// The two questions of drawing-model and event-model negotiation: does the
// browser support something, and does it accept the plug-in's choice.

#include "FactoryBase.h"

#include <NPAPI.h>

#include <cstdint>

namespace FB {

namespace Mac {

// True only when the browser answers the question and answers yes.
bool supports(const Npapi::NpapiBrowserHostPtr& host, NPNVariable variable);
// True when the browser accepts the value.
bool set(const Npapi::NpapiBrowserHostPtr& host, NPPVariable variable, void* value);

// A model number as NPN_SetValue takes it: in the pointer itself.
inline void* modelValue(std::int32_t model) {
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(model));
}

} // namespace Mac
} // namespace FB
