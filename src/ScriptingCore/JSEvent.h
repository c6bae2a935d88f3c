#pragma once

// Event objects handed to page handlers of an event fired in the DOM manner:
// a map shaped like a DOM event, with the event's name, its source, a fixed
// phase and flags, extra members supplied by the firing code and the
// event's argument list under "arguments".

#include "APITypes.h"
#include "variant.h"

#include <string>

namespace FB {

// Extra members never replace the fixed keys; "arguments" always holds the
// argument list.
VariantMap CreateEvent(const JSAPIPtr& source, const std::string& name, const VariantMap& members,
                       const VariantList& arguments);
VariantMap CreateEvent(const JSAPIPtr& source, const std::string& name, const VariantMap& members);
VariantMap CreateEvent(const JSAPIPtr& source, const std::string& name,
                       const VariantList& arguments);

} // namespace FB
