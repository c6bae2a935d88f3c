#include "JSAPIAuto.h"

#include "JSEvent.h"
#include "JSExceptions.h"
#include "JSFunction.h"
#include "JSObject.h"
#include "scoped_zonelock.h"
#include "utf8_tools.h"

#include <boost/lexical_cast.hpp>
#include <boost/make_shared.hpp>
#include <exception>

namespace FB {

bool JSAPIAuto::s_allowDynamicAttributes = true;
bool JSAPIAuto::s_allowRemoveProperties = false;
bool JSAPIAuto::s_allowMethodObjects = true;

namespace {

typedef boost::recursive_mutex::scoped_lock ZoneLock;
typedef boost::mutex::scoped_lock AttributeLock;

// Names that element-like objects answer in the page; a dynamic attribute
// does not claim them.
const char* const reservedNames[] = {"offsetWidth",     "offsetHeight", "width",        "height",
                                     "attributes",      "nodeType",     "namespaceURI", "localName",
                                     "wrappedJSObject", "prototype",    "style",        "id",
                                     "constructor"};

// A failure of the attribute's page call is dropped: the registered handlers
// already have the event.
void callAttributeHandler(const JSObjectPtr& handler, const VariantList& args) {
    try {
        handler->InvokeAsync("", args);
    } catch (const std::exception&) {
    }
}

std::string indexName(int index) {
    return boost::lexical_cast<std::string>(index);
}

// A cast error that leaves a method or a property setter reaches the page as
// invalid arguments naming both types.
invalid_arguments conversionFailure(const bad_variant_cast& error) {
    return invalid_arguments(std::string("Could not convert from ") + error.from + " to " +
                             error.to);
}

} // namespace

JSAPIAuto::JSAPIAuto(const std::string& description) : JSAPIAuto(0, description) {}

JSAPIAuto::JSAPIAuto(const int& zone, const std::string& description)
    : JSAPIImpl(zone), m_description(description),
      m_allowDynamicAttributes(s_allowDynamicAttributes),
      m_allowRemoveProperties(s_allowRemoveProperties), m_allowMethodObjects(s_allowMethodObjects) {
    init();
}

// The built-ins are recorded in zone 0 whatever the default zone, and are
// bound to virtual members so that a subclass's override answers.
void JSAPIAuto::init() {
    {
        scoped_zonelock zone(this, 0);
        registerMethod("toString", make_method(this, &JSAPIAuto::ToString));
        registerMethod("getAttribute", make_method(this, &JSAPIAuto::getAttribute));
        registerMethod("setAttribute", make_method(this, &JSAPIAuto::setAttribute));
        registerProperty("value", make_property(this, &JSAPIAuto::ToString));
        registerProperty("valid", make_property(this, &JSAPIAuto::get_valid));
    }
    for (const char* name : reservedNames) {
        setReserved(name);
    }
}

// --- Registration -----------------------------------------------------------

void JSAPIAuto::registerMethod(const std::wstring& name, const MethodFunctor& method) {
    registerMethod(wstring_to_utf8(name), method);
}

void JSAPIAuto::registerMethod(const std::string& name, const MethodFunctor& method) {
    ZoneLock lock(m_zoneMutex);
    m_methods[name] = MethodFunctors(method);
    m_memberZones[name] = getZone();
}

void JSAPIAuto::registerProperty(const std::wstring& name, const PropertyFunctors& functors) {
    registerProperty(wstring_to_utf8(name), functors);
}

void JSAPIAuto::registerProperty(const std::string& name, const PropertyFunctors& functors) {
    ZoneLock lock(m_zoneMutex);
    m_properties[name] = functors;
    m_memberZones[name] = getZone();
}

void JSAPIAuto::registerAttribute(const std::string& name, const variant& value, bool readonly) {
    ZoneLock lock(m_zoneMutex);
    storeAttribute(name, value, readonly, false);
    m_memberZones[name] = getZone();
}

void JSAPIAuto::unregisterMethod(const std::wstring& name) {
    unregisterMethod(wstring_to_utf8(name));
}

void JSAPIAuto::unregisterMethod(const std::string& name) {
    if (m_methods.erase(name)) {
        eraseZoneIfUnused(name);
    }
}

void JSAPIAuto::unregisterProperty(const std::wstring& name) {
    unregisterProperty(wstring_to_utf8(name));
}

void JSAPIAuto::unregisterProperty(const std::string& name) {
    if (m_properties.erase(name)) {
        eraseZoneIfUnused(name);
    }
}

// The removed value is released after the attribute lock.
void JSAPIAuto::unregisterAttribute(const std::string& name) {
    variant removed;
    {
        AttributeLock lock(m_attributeMutex);
        const auto attribute = m_attributes.find(name);
        if (attribute == m_attributes.end()) {
            return;
        }
        if (attribute->second.readonly) {
            throw script_error("Cannot remove read-only property " + name);
        }
        removed = std::move(attribute->second.value);
        m_attributes.erase(attribute);
    }
    eraseZoneIfUnused(name);
}

// A method, a property and an attribute of one name share one zone entry; it
// goes only with the last of them, so removing one kind never hides another.
void JSAPIAuto::eraseZoneIfUnused(const std::string& name) {
    if (!m_methods.count(name) && !m_properties.count(name) && !hasAttribute(name)) {
        m_memberZones.erase(name);
    }
}

void JSAPIAuto::setReserved(const std::string& name) {
    m_reservedNames.insert(name);
}

bool JSAPIAuto::isReserved(const std::string& name) const {
    return m_reservedNames.count(name) != 0;
}

// --- Built-in members -------------------------------------------------------

std::string JSAPIAuto::ToString() {
    return m_description;
}

bool JSAPIAuto::get_valid() {
    return true;
}

variant JSAPIAuto::getAttribute(const std::string& name) {
    variant value;
    if (!readAttribute(name, value)) {
        return variant(variant_detail::empty());
    }
    return value;
}

void JSAPIAuto::setAttribute(const std::string& name, const variant& value) {
    refuseInaccessibleRegisteredName(name);
    storeAttribute(name, value, false, true);
    m_memberZones[name] = getZone();
}

// --- The attribute table ----------------------------------------------------

bool JSAPIAuto::hasAttribute(const std::string& name) const {
    AttributeLock lock(m_attributeMutex);
    return m_attributes.count(name) != 0;
}

bool JSAPIAuto::writableAttribute(const std::string& name) const {
    AttributeLock lock(m_attributeMutex);
    const auto attribute = m_attributes.find(name);
    return attribute != m_attributes.end() && !attribute->second.readonly;
}

bool JSAPIAuto::readAttribute(const std::string& name, variant& value) const {
    AttributeLock lock(m_attributeMutex);
    const auto attribute = m_attributes.find(name);
    if (attribute == m_attributes.end()) {
        return false;
    }
    value = attribute->second.value;
    return true;
}

// The replaced value is released after the attribute lock.
void JSAPIAuto::storeAttribute(const std::string& name, const variant& value, bool readonly,
                               bool refuseReadonly) {
    variant replaced;
    AttributeLock lock(m_attributeMutex);
    const auto existing = m_attributes.find(name);
    if (refuseReadonly && existing != m_attributes.end() && existing->second.readonly) {
        throw script_error("Cannot set read-only property " + name);
    }
    Attribute& stored = existing != m_attributes.end() ? existing->second : m_attributes[name];
    replaced = std::move(stored.value);
    stored.value = value;
    stored.readonly = readonly;
}

// --- Attribute event handlers -----------------------------------------------

// Read under the attribute lock only (getAttribute), so that firing takes no
// zone mutex; the handler is called after the lock is released. A failed
// read counts as no handler.
JSObjectPtr JSAPIAuto::attributeHandler(const std::string& name) {
    try {
        const variant attribute = getAttribute(name);
        if (attribute.is_of_type<JSObjectPtr>()) {
            return attribute.cast<JSObjectPtr>();
        }
    } catch (const std::exception&) {
    }
    return JSObjectPtr();
}

void JSAPIAuto::fireAsyncEvent(const std::string& name, const VariantList& args) {
    JSAPIImpl::fireAsyncEvent(name, args);
    if (const JSObjectPtr handler = attributeHandler(name)) {
        callAttributeHandler(handler, args);
    }
}

// An invalidated object fires nothing, to its attribute neither.
void JSAPIAuto::FireJSEvent(const std::string& name, const VariantMap& members,
                            const VariantList& params) {
    JSAPIImpl::FireJSEvent(name, members, params);
    if (!m_valid) {
        return;
    }
    if (const JSObjectPtr handler = attributeHandler(name)) {
        const VariantMap event = CreateEvent(shared_from_this(), name, members, params);
        callAttributeHandler(handler, VariantList(1, variant(event)));
    }
}

// --- Listing ----------------------------------------------------------------

void JSAPIAuto::getMemberNames(std::vector<std::string>& names) const {
    ZoneLock lock(m_zoneMutex);
    names.clear();
    const int zone = getZone();
    for (const auto& member : m_memberZones) {
        if (member.second <= zone) {
            names.push_back(member.first);
        }
    }
}

std::size_t JSAPIAuto::getMemberCount() const {
    std::vector<std::string> names;
    getMemberNames(names);
    return names.size();
}

// --- Accessibility ----------------------------------------------------------

bool JSAPIAuto::memberAccessible(ZoneMap::const_iterator zone) const {
    return zone != m_memberZones.end() && getZone() >= zone->second;
}

bool JSAPIAuto::nameAccessible(const std::string& name) const {
    return memberAccessible(m_memberZones.find(name));
}

// A write from a lower zone must not reach, replace or move a member
// registered above it.
void JSAPIAuto::refuseInaccessibleRegisteredName(const std::string& name) const {
    const auto zone = m_memberZones.find(name);
    if (zone != m_memberZones.end() && !memberAccessible(zone)) {
        throw invalid_member(name);
    }
}

void JSAPIAuto::requireValid() const {
    if (!m_valid) {
        throw object_invalidated();
    }
}

variant JSAPIAuto::unknownMember(const std::string& name) const {
    if (!m_allowDynamicAttributes) {
        throw invalid_member(name);
    }
    return variant(variant_detail::empty());
}

// --- Dispatch ---------------------------------------------------------------

bool JSAPIAuto::HasMethod(const std::string& name) const {
    ZoneLock lock(m_zoneMutex);
    return m_valid && m_methods.count(name) && nameAccessible(name);
}

bool JSAPIAuto::HasMethodObject(const std::string& name) const {
    return m_allowMethodObjects && HasMethod(name);
}

bool JSAPIAuto::HasProperty(const std::string& name) const {
    ZoneLock lock(m_zoneMutex);
    if (!m_valid) {
        return false;
    }
    const bool method = HasMethod(name);
    if (m_allowDynamicAttributes && !method && !isReserved(name)) {
        return true;
    }
    if (m_allowMethodObjects && method && nameAccessible(name)) {
        return true;
    }
    return m_properties.count(name) || hasAttribute(name);
}

bool JSAPIAuto::HasProperty(int index) const {
    ZoneLock lock(m_zoneMutex);
    if (!m_valid) {
        return false;
    }
    return m_allowDynamicAttributes || hasAttribute(indexName(index));
}

JSAPIPtr JSAPIAuto::GetMethodObject(const std::string& name) {
    ZoneLock lock(m_zoneMutex);
    requireValid();
    if (!nameAccessible(name) || !HasMethod(name)) {
        throw invalid_member(name);
    }
    const int zone = getZone();
    const boost::tuple<std::string, int> key(name, zone);
    const auto cached = m_methodObjects.find(key);
    if (cached != m_methodObjects.end()) {
        return cached->second;
    }
    const boost::shared_ptr<JSFunction> function =
        boost::make_shared<JSFunction>(boost::weak_ptr<JSAPI>(shared_from_this()), name, zone);
    m_methodObjects.emplace(key, function);
    return function;
}

variant JSAPIAuto::GetProperty(const std::string& name) {
    ZoneLock lock(m_zoneMutex);
    requireValid();
    if (!nameAccessible(name)) {
        return unknownMember(name);
    }
    const auto property = m_properties.find(name);
    if (property != m_properties.end()) {
        // A copy: the getter may unregister or replace its own property.
        const GetterFunctor getter = property->second.getter;
        return getter();
    }
    if (HasMethodObject(name)) {
        return variant(GetMethodObject(name));
    }
    variant value;
    if (readAttribute(name, value)) {
        return value;
    }
    return unknownMember(name);
}

variant JSAPIAuto::GetProperty(int index) {
    ZoneLock lock(m_zoneMutex);
    requireValid();
    const std::string name = indexName(index);
    variant value;
    if (nameAccessible(name) && readAttribute(name, value)) {
        return value;
    }
    return unknownMember(name);
}

// A registered property, like any member, must be accessible to be written.
void JSAPIAuto::SetProperty(const std::string& name, const variant& value) {
    ZoneLock lock(m_zoneMutex);
    requireValid();
    refuseInaccessibleRegisteredName(name);
    const auto property = m_properties.find(name);
    if (property == m_properties.end()) {
        writeAttribute(name, value);
        return;
    }
    // A copy: the setter may unregister or replace its own property.
    const SetterFunctor setter = property->second.setter;
    try {
        setter(value);
    } catch (const bad_variant_cast& error) {
        throw conversionFailure(error);
    }
}

void JSAPIAuto::SetProperty(int index, const variant& value) {
    requireValid();
    ZoneLock lock(m_zoneMutex);
    const std::string name = indexName(index);
    refuseInaccessibleRegisteredName(name);
    writeAttribute(name, value);
}

// A script write creates or replaces a writable attribute, while dynamic
// attributes are allowed or the attribute is already writable.
void JSAPIAuto::writeAttribute(const std::string& name, const variant& value) {
    if (!m_allowDynamicAttributes && !writableAttribute(name)) {
        throw invalid_member(name);
    }
    registerAttribute(name, value, false);
}

void JSAPIAuto::RemoveProperty(const std::string& name) {
    ZoneLock lock(m_zoneMutex);
    requireValid();
    if (!nameAccessible(name)) {
        throw invalid_member(name);
    }
    if (m_allowRemoveProperties && m_properties.count(name)) {
        unregisterProperty(name);
    } else if (m_allowDynamicAttributes && writableAttribute(name)) {
        unregisterAttribute(name);
    }
}

void JSAPIAuto::RemoveProperty(int index) {
    requireValid();
    ZoneLock lock(m_zoneMutex);
    const std::string name = indexName(index);
    if (!m_allowDynamicAttributes || !writableAttribute(name) || !nameAccessible(name)) {
        throw invalid_member(name);
    }
    unregisterAttribute(name);
}

variant JSAPIAuto::Invoke(const std::string& name, const VariantList& args) {
    ZoneLock lock(m_zoneMutex);
    requireValid();
    const auto method = m_methods.find(name);
    if (method == m_methods.end() || !nameAccessible(name)) {
        throw invalid_member(name);
    }
    // A copy: the method may unregister or replace itself while it runs.
    const MethodFunctor call = method->second.method;
    try {
        return call(args);
    } catch (const bad_variant_cast& error) {
        throw conversionFailure(error);
    }
}

variant JSAPIAuto::Construct(const VariantList& /*args*/) {
    ZoneLock lock(m_zoneMutex);
    requireValid();
    throw invalid_member("constructor");
}

} // namespace FB
