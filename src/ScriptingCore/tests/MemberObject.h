#pragma once

// A script object with one member of every kind, all registered in one chosen
// zone, and with its behaviour flags set per object:
//   "m"  method echoing its one argument,
//   "p"  property with getter and setter,
//   "r"  getter-only property,
//   "a"  writable attribute holding "A",
//   "ro" read-only attribute holding "RO".

#include "JSAPIAuto.h"
#include "scoped_zonelock.h"

#include <optional>
#include <string>

struct MemberFlags {
    bool dynamicAttributes = true;
    bool removeProperties = false;
    bool methodObjects = true;
};

class MemberObject : public FB::JSAPIAuto {
public:
    explicit MemberObject(const MemberFlags& flags = MemberFlags(), int memberZone = 0)
        : FB::JSAPIAuto("<members>") {
        m_allowDynamicAttributes = flags.dynamicAttributes;
        m_allowRemoveProperties = flags.removeProperties;
        m_allowMethodObjects = flags.methodObjects;
        FB::scoped_zonelock zone(this, memberZone);
        registerMethod("m", FB::make_method(this, &MemberObject::echo));
        registerProperty("p", FB::make_property(this, &MemberObject::getP, &MemberObject::setP));
        registerProperty("r", FB::make_property(this, &MemberObject::getP));
        registerAttribute("a", FB::variant("A"), false);
        registerAttribute("ro", FB::variant("RO"), true);
    }

    FB::variant echo(const FB::variant& value) {
        ++methodCalls;
        zoneDuringCall = getZone();
        return value;
    }
    std::string getP() { return p; }
    void setP(const std::string& value) {
        ++setterCalls;
        p = value;
    }

    std::optional<int> zoneOf(const std::string& name) const {
        const auto zone = m_memberZones.find(name);
        if (zone == m_memberZones.end()) {
            return std::nullopt;
        }
        return zone->second;
    }
    bool holdsProperty(const std::string& name) const { return m_properties.count(name) != 0; }
    bool holdsAttribute(const std::string& name) const {
        boost::mutex::scoped_lock lock(m_attributeMutex);
        return m_attributes.count(name) != 0;
    }

    std::string p = "P";
    int methodCalls = 0;
    int setterCalls = 0;
    int zoneDuringCall = -1;
};
