#pragma once

// FB::JSObject: an object living in the page's script, seen from native code
// through the JSAPI interface. It keeps only a weak link to the browser host
// of the instance that produced it, so it never prolongs the host's life.
// A browser binding implements the member operations; this base adds calls
// and property writes that run later on the main thread, the keys under
// which events are filed, and the readers of page arrays and page objects.
//
// The converting reads of a variant into object pointers, lists and maps
// read page objects, so they are declared here beside the class.

#include "JSAPI.h"
#include "JSExceptions.h"
#include "meta.h"

#include <boost/shared_ptr.hpp>
#include <boost/type_traits/is_base_of.hpp>
#include <boost/utility/enable_if.hpp>
#include <boost/weak_ptr.hpp>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

namespace FB {

class BrowserHost;

class JSObject : public JSAPI {
public:
    explicit JSObject(const boost::shared_ptr<BrowserHost>& host) : m_host(host) {}

    // Identifies the page object itself, the same for every wrapper of it.
    virtual void* getEventId() { return nullptr; }
    // Shared by all page objects of one page context.
    virtual void* getEventContext() const { return nullptr; }
    // Whether callMultipleFunctions can deliver one event to several handlers.
    virtual bool supportsOptimizedCalls() const { return false; }
    // Calls every function of direct with args and, on every object of
    // ifaces, its method name with args, from the main thread.
    virtual void callMultipleFunctions(const std::string& /*name*/, const VariantList& /*args*/,
                                       const std::vector<JSObjectPtr>& /*direct*/,
                                       const std::vector<JSObjectPtr>& /*ifaces*/) {}
    virtual bool isValid() = 0;

    // Any thread: the page calls this object (an empty methodName) or its
    // method later, from its own timer.
    virtual void InvokeAsync(const std::string& methodName, const VariantList& args);
    // Main-thread half of InvokeAsync.
    virtual void _invokeAsync(const VariantList& args, const std::string& methodName);
    // Any thread: the property is written later on the main thread.
    virtual void SetPropertyAsync(const std::string& propertyName, const variant& value);

    // The plug-in's own script object when this page object is one handed
    // to the page; otherwise an empty pointer.
    virtual JSAPIPtr getJSAPI() const = 0;

    // Raises boost::bad_weak_ptr once the host is gone.
    boost::shared_ptr<BrowserHost> getHost() const;

    JSObjectPtr shared_from_this();

    // Appends the elements of the page array src to dst, each converted to
    // the container's element type.
    template <class Cont> static void GetArrayValues(const JSObjectPtr& src, Cont& dst);

    // Inserts the members of the page object src into dst under their
    // names; a name dst already holds keeps its value.
    template <class Map> static void GetObjectValues(const JSObjectPtr& src, Map& dst);

private:
    static int arrayLength(const JSObjectPtr& array);
    boost::shared_ptr<BrowserHost> hostForAsyncCall() const;

    boost::weak_ptr<BrowserHost> m_host;
};

// The readers report a page's script failure as a plain script_error with
// the same text, whatever its class.
template <class Cont> void JSObject::GetArrayValues(const JSObjectPtr& src, Cont& dst) {
    if (!src) {
        return;
    }
    try {
        const int length = arrayLength(src);
        for (int index = 0; index < length; ++index) {
            dst.push_back(
                src->GetProperty(index).template convert_cast<typename Cont::value_type>());
        }
    } catch (const script_error& e) {
        throw script_error(e.what());
    }
}

template <class Map> void JSObject::GetObjectValues(const JSObjectPtr& src, Map& dst) {
    if (!src) {
        return;
    }
    try {
        std::vector<std::string> names;
        src->getMemberNames(names);
        for (const std::string& name : names) {
            dst.insert(std::make_pair(name, src->GetProperty(name)));
        }
    } catch (const script_error& e) {
        throw script_error(e.what());
    }
}

namespace variant_detail {
namespace conversion {

// The script object a variant refers to: a held page or script object, a
// locked weak script-object pointer, or an empty pointer for undefined and
// null. Raises bad_variant_cast for any other value.
JSAPIPtr referred_script_object(const variant& var);

// The plug-in's own script object wrapped by a page object, or an empty
// pointer when obj is no page object or wraps none.
JSAPIPtr wrapped_script_object(const JSAPIPtr& obj);

// The page object whose elements or members fill a container. Raises
// bad_variant_cast naming the page-object pointer type for values that are
// no page object.
JSObjectPtr page_object_for_container(const variant& var);

template <typename T>
typename boost::enable_if<boost::is_base_of<JSAPI, T>, boost::shared_ptr<T>>::type
convert_variant(const variant& var, const type_spec<boost::shared_ptr<T>>&) {
    const JSAPIPtr obj = referred_script_object(var);
    if (!obj) {
        return boost::shared_ptr<T>();
    }
    if (const boost::shared_ptr<T> inner = ptr_cast<T>(wrapped_script_object(obj))) {
        return inner;
    }
    const boost::shared_ptr<T> result = ptr_cast<T>(obj);
    if (!result) {
        throw bad_variant_cast(var.get_type(), typeid(T));
    }
    return result;
}

// A held container of the target type is copied; any other value is read as
// a page object into a new container.
template <typename Cont>
Cont container_from_variant(const variant& var, void (*read)(const JSObjectPtr&, Cont&)) {
    if (var.is_of_type<Cont>()) {
        return var.cast<Cont>();
    }
    Cont result;
    read(page_object_for_container(var), result);
    return result;
}

template <typename Cont>
typename meta::enable_for_non_assoc_containers<Cont>::type convert_variant(const variant& var,
                                                                           const type_spec<Cont>&) {
    return container_from_variant<Cont>(var, &JSObject::GetArrayValues<Cont>);
}

template <typename Map>
typename meta::enable_for_pair_assoc_containers<Map>::type convert_variant(const variant& var,
                                                                           const type_spec<Map>&) {
    return container_from_variant<Map>(var, &JSObject::GetObjectValues<Map>);
}

} // namespace conversion
} // namespace variant_detail

} // namespace FB
