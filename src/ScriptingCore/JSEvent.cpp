#include "JSEvent.h"

#include "JSAPI.h"

namespace FB {

VariantMap CreateEvent(const JSAPIPtr& source, const std::string& name, const VariantMap& members,
                       const VariantList& arguments) {
    VariantMap event;
    event["type"] = name;
    event["target"] = source;
    event["currentTarget"] = source;
    event["eventPhase"] = 2;
    event["bubbles"] = false;
    event["cancelable"] = false;
    event["namespaceURI"] = name;
    event.insert(members.begin(), members.end());
    event["arguments"] = arguments;
    return event;
}

VariantMap CreateEvent(const JSAPIPtr& source, const std::string& name, const VariantMap& members) {
    return CreateEvent(source, name, members, VariantList());
}

VariantMap CreateEvent(const JSAPIPtr& source, const std::string& name,
                       const VariantList& arguments) {
    return CreateEvent(source, name, VariantMap(), arguments);
}

} // namespace FB
