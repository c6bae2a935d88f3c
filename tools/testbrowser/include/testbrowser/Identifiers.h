// NPIdentifiers: one per text and one per integer, interned for the life of
// the process (a module may keep them in statics across browsers).
#pragma once

#include <NPAPI.h>

#include <optional>
#include <string>

namespace testbrowser::identifiers {

NPIdentifier fromString(const std::string& name);
NPIdentifier fromInt(int32_t value);
bool isKnown(NPIdentifier identifier);
bool isString(NPIdentifier identifier);
// The text of a string identifier, the decimal text of an integer one.
std::string text(NPIdentifier identifier);
std::optional<int32_t> number(NPIdentifier identifier);
// The identifier a page's property key maps to: an integer one for a
// canonical array index, else a string one.
NPIdentifier fromPropertyKey(const std::string& key);

} // namespace testbrowser::identifiers
