#include "ModelNegotiation.h"

#include "NpapiBrowserHost.h"

namespace FB {
namespace Mac {

bool supports(const Npapi::NpapiBrowserHostPtr& host, NPNVariable variable) {
    NPBool flag = false;
    return host->GetValue(variable, &flag) == NPERR_NO_ERROR && flag;
}

bool set(const Npapi::NpapiBrowserHostPtr& host, NPPVariable variable, void* value) {
    return host->SetValue(variable, value) == NPERR_NO_ERROR;
}

} // namespace Mac
} // namespace FB
