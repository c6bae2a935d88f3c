#include "JSFunction.h"

#include "ArgumentConverter.h"
#include "JSExceptions.h"
#include "JSObject.h"
#include "scoped_zonelock.h"
#include "utf8_tools.h"

namespace FB {

namespace {

bool isFunctionForm(const std::string& name) {
    return name.empty() || name == "call" || name == "apply";
}

// Position of the argument array among the arguments of "apply", counted
// from 1.
const std::size_t applyArrayPosition = 2;

} // namespace

JSFunction::JSFunction(const boost::weak_ptr<JSAPI>& owner, const std::string& name, int zone)
    : JSAPIAuto(zone, name + "()"), m_owner(owner), m_methodName(name) {
    init();
}

JSFunction::JSFunction(const boost::weak_ptr<JSAPI>& owner, const std::wstring& name, int zone)
    : JSFunction(owner, wstring_to_utf8(name), zone) {}

// A function object hands out no method objects of its own members and
// reserves no names.
void JSFunction::init() {
    m_allowMethodObjects = false;
    m_reservedNames.clear();
}

bool JSFunction::HasMethod(const std::string& name) const {
    return isFunctionForm(name) || JSAPIAuto::HasMethod(name);
}

bool JSFunction::HasMethodObject(const std::string& /*name*/) const {
    return false;
}

bool JSFunction::HasProperty(const std::string& name) const {
    return name != "call" && name != "apply" && JSAPIAuto::HasProperty(name);
}

// The function forms make no validity test and take no lock of this object;
// exec takes the owner's.
variant JSFunction::Invoke(const std::string& name, const VariantList& args) {
    if (name.empty()) {
        return exec(args);
    }
    if (name == "call") {
        return call(args);
    }
    if (name == "apply") {
        return apply(args);
    }
    return JSAPIAuto::Invoke(name, args);
}

variant JSFunction::exec(const VariantList& args) {
    const JSAPIPtr owner = m_owner.lock();
    if (!owner) {
        throw script_error("Invalid JSAPI object");
    }
    scoped_zonelock zone(owner, getZone());
    return owner->Invoke(m_methodName, args);
}

variant JSFunction::call(const VariantList& args) {
    if (args.empty()) {
        return exec(args);
    }
    return exec(VariantList(args.begin() + 1, args.end()));
}

variant JSFunction::apply(const VariantList& args) {
    VariantList callArgs;
    if (args.size() >= applyArrayPosition) {
        callArgs = detail::converter<VariantList, variant>::convert(args[applyArrayPosition - 1],
                                                                    applyArrayPosition);
    }
    return exec(callArgs);
}

} // namespace FB
