#pragma once

// FB::JSAPIAuto: a script object whose methods, properties and attributes are
// registered by name at run time. Every name is recorded with the zone that
// was current when it was registered and is accessible only while the current
// zone is at least that zone. Every object starts with five built-in members
// in zone 0: the methods "toString", "getAttribute", "setAttribute" and the
// read-only properties "value" and "valid". Member dispatch runs under the
// object's zone mutex. A page function assigned to the property named after
// an event handles that event after the registered handlers.

#include "JSAPIImpl.h"
#include "MethodAdapters.h"
#include "PropertyAdapters.h"
#include "variant.h"

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/tuple/tuple.hpp>
#include <boost/tuple/tuple_comparison.hpp>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace FB {

class JSFunction;

class JSAPIAuto : public JSAPIImpl {
public:
    // A plain value; a read-only one is neither assigned nor removed by script.
    struct Attribute {
        variant value;
        bool readonly = false;
    };

    // Class-wide defaults, copied by each object when it is constructed.
    static bool s_allowDynamicAttributes;
    static bool s_allowRemoveProperties;
    static bool s_allowMethodObjects;

    explicit JSAPIAuto(const std::string& description);
    JSAPIAuto(const int& zone, const std::string& description);

    using JSAPI::getMemberNames;
    void getMemberNames(std::vector<std::string>& names) const override;
    std::size_t getMemberCount() const override;

    using JSAPI::HasMethod;
    using JSAPI::HasMethodObject;
    using JSAPI::HasProperty;
    bool HasMethod(const std::string& name) const override;
    bool HasMethodObject(const std::string& name) const override;
    bool HasProperty(const std::string& name) const override;
    bool HasProperty(int index) const override;

    using JSAPI::GetMethodObject;
    JSAPIPtr GetMethodObject(const std::string& name) override;

    using JSAPI::GetProperty;
    using JSAPI::RemoveProperty;
    using JSAPI::SetProperty;
    variant GetProperty(const std::string& name) override;
    void SetProperty(const std::string& name, const variant& value) override;
    variant GetProperty(int index) override;
    void SetProperty(int index, const variant& value) override;
    void RemoveProperty(const std::string& name) override;
    void RemoveProperty(int index) override;

    using JSAPI::Invoke;
    variant Invoke(const std::string& name, const VariantList& args) override;
    variant Construct(const VariantList& args) override;

    // Registration records the name in the current zone and replaces any
    // earlier member of the same kind and name.
    virtual void registerAttribute(const std::string& name, const variant& value, bool readonly);
    virtual void setReserved(const std::string& name);
    virtual void unregisterMethod(const std::wstring& name);
    virtual void unregisterMethod(const std::string& name);
    virtual void registerMethod(const std::wstring& name, const MethodFunctor& method);
    virtual void registerMethod(const std::string& name, const MethodFunctor& method);
    virtual void registerProperty(const std::wstring& name, const PropertyFunctors& functors);
    virtual void registerProperty(const std::string& name, const PropertyFunctors& functors);
    virtual void unregisterProperty(const std::wstring& name);
    virtual void unregisterProperty(const std::string& name);

    // After the base delivery, a page function held by the attribute named
    // after the event is called too.
    void fireAsyncEvent(const std::string& name, const VariantList& args) override;
    using JSAPIImpl::FireJSEvent;
    void FireJSEvent(const std::string& name, const VariantMap& members,
                     const VariantList& params) override;

    virtual std::string ToString();
    virtual bool get_valid();
    virtual variant getAttribute(const std::string& name);
    virtual void setAttribute(const std::string& name, const variant& value);
    virtual void unregisterAttribute(const std::string& name);

    bool isReserved(const std::string& name) const;

protected:
    typedef std::map<std::string, int> ZoneMap;

    // Whether a lookup result in m_memberZones names a member accessible in
    // the current zone.
    bool memberAccessible(ZoneMap::const_iterator zone) const;

    // Cache of method objects per (member name, zone).
    std::map<boost::tuple<std::string, int>, boost::shared_ptr<JSFunction>> m_methodObjects;
    std::map<std::string, MethodFunctors> m_methods;
    std::map<std::string, PropertyFunctors> m_properties;
    // One zone per registered name, whatever kinds of member hold it.
    ZoneMap m_memberZones;
    std::string m_description;
    // Guarded by m_attributeMutex.
    std::map<std::string, Attribute> m_attributes;
    // Names that dynamic attributes do not claim.
    std::set<std::string> m_reservedNames;

    bool m_allowDynamicAttributes;
    bool m_allowRemoveProperties;
    bool m_allowMethodObjects;

    // Guards m_attributes. Firing reads an attribute handler under it alone,
    // without the zone mutex, so that firing never waits for a lock that a
    // method of this object holds while it calls other objects. It is taken
    // after the zone mutex when both are held, and nothing is called out
    // while it is held.
    mutable boost::mutex m_attributeMutex;

private:
    void init();
    JSObjectPtr attributeHandler(const std::string& name);
    // Raises FB::object_invalidated once the object is invalidated.
    void requireValid() const;
    bool nameAccessible(const std::string& name) const;
    void refuseInaccessibleRegisteredName(const std::string& name) const;
    void eraseZoneIfUnused(const std::string& name);
    variant unknownMember(const std::string& name) const;
    bool hasAttribute(const std::string& name) const;
    bool writableAttribute(const std::string& name) const;
    // Copies the attribute's value into `value`; false when there is none.
    bool readAttribute(const std::string& name, variant& value) const;
    // Creates or replaces the attribute; a read-only one is refused with
    // FB::script_error when `refuseReadonly` is set.
    void storeAttribute(const std::string& name, const variant& value, bool readonly,
                        bool refuseReadonly);
    void writeAttribute(const std::string& name, const variant& value);
};

} // namespace FB
