#include "JSFunction.h"

#include "JSExceptions.h"
#include "scoped_zonelock.h"

namespace FB {

JSFunction::JSFunction(const boost::weak_ptr<JSAPI>& owner, const std::string& name, int zone)
    : JSAPIAuto(zone, name + "()"), m_owner(owner), m_methodName(name) {
    init();
}

// A function object hands out no method objects of its own members and
// reserves no names.
void JSFunction::init() {
    m_allowMethodObjects = false;
    m_reservedNames.clear();
}

variant JSFunction::exec(const VariantList& args) {
    const JSAPIPtr owner = m_owner.lock();
    if (!owner) {
        throw script_error("Invalid JSAPI object");
    }
    scoped_zonelock zone(owner, getZone());
    return owner->Invoke(m_methodName, args);
}

} // namespace FB
