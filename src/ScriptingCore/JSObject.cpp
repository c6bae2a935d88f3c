#include "JSObject.h"

#include "BrowserHost.h"

#include <boost/weak_ptr.hpp>
#include <limits>
#include <stdexcept>

namespace FB {

boost::shared_ptr<BrowserHost> JSObject::getHost() const {
    return boost::shared_ptr<BrowserHost>(m_host);
}

JSObjectPtr JSObject::shared_from_this() {
    return boost::static_pointer_cast<JSObject>(JSAPI::shared_from_this());
}

void JSObject::InvokeAsync(const std::string& methodName, const VariantList& args) {
    hostForAsyncCall()->ScheduleOnMainThread(
        shared_from_this(), [this, args, methodName] { _invokeAsync(args, methodName); });
}

void JSObject::_invokeAsync(const VariantList& args, const std::string& methodName) {
    getHost()->delayedInvoke(0, shared_from_this(), args, methodName);
}

void JSObject::SetPropertyAsync(const std::string& propertyName, const variant& value) {
    hostForAsyncCall()->ScheduleOnMainThread(
        shared_from_this(), [this, propertyName, value] { SetProperty(propertyName, value); });
}

// Locked once, so that a host dying on another thread cannot slip between
// the test and the use.
boost::shared_ptr<BrowserHost> JSObject::hostForAsyncCall() const {
    const boost::shared_ptr<BrowserHost> host = m_host.lock();
    if (!host) {
        throw std::runtime_error("Cannot invoke asynchronously");
    }
    return host;
}

// The indices run as int. A length that is a number outside 0..INT_MAX, too
// large even for a long included, is refused before any element is read,
// rather than walked through billions of reads; a length that is no number
// at all fails as its conversion does.
int JSObject::arrayLength(const JSObjectPtr& array) {
    const variant value = array->GetProperty("length");
    long length = -1;
    try {
        length = value.convert_cast<long>();
    } catch (const bad_variant_cast&) {
        if (!value.can_be_type<double>()) {
            throw;
        }
    }
    if (length < 0 || length > std::numeric_limits<int>::max()) {
        throw script_error("Invalid array length");
    }
    return static_cast<int>(length);
}

namespace variant_detail {
namespace conversion {

JSAPIPtr referred_script_object(const variant& var) {
    if (var.is_of_type<JSObjectPtr>()) {
        return var.cast<JSObjectPtr>();
    }
    if (var.is_of_type<boost::weak_ptr<JSAPI>>()) {
        return var.cast<boost::weak_ptr<JSAPI>>().lock();
    }
    if (var.empty() || var.is_null()) {
        return JSAPIPtr();
    }
    return var.cast<JSAPIPtr>();
}

JSAPIPtr wrapped_script_object(const JSAPIPtr& obj) {
    const JSObjectPtr page = ptr_cast<JSObject>(obj);
    return page ? page->getJSAPI() : JSAPIPtr();
}

JSObjectPtr page_object_for_container(const variant& var) {
    if (!var.can_be_type<JSObjectPtr>()) {
        throw bad_variant_cast(var.get_type(), typeid(JSObjectPtr));
    }
    return var.convert_cast<JSObjectPtr>();
}

} // namespace conversion
} // namespace variant_detail

} // namespace FB
