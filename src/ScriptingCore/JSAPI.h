#pragma once

// FB::JSAPI: the interface through which script sees any object, a native
// script object or a page object alike. Members are addressed by UTF-8 name
// or by index. Every name-taking operation has a wide form that converts the
// name to UTF-8 and calls the narrow form, so subclasses override only the
// std::string forms.

#include "APITypes.h"
#include "variant.h"

#include <boost/enable_shared_from_this.hpp>
#include <boost/noncopyable.hpp>
#include <cstddef>
#include <string>
#include <vector>

namespace FB {

class JSAPI : public boost::enable_shared_from_this<JSAPI>, private boost::noncopyable {
public:
    JSAPI() = default;
    virtual ~JSAPI() = default;

    virtual void invalidate() = 0;
    virtual void shutdown() {}

    // Security zones; an object without zones runs everything in zone 0.
    virtual void pushZone(const int& /*zone*/) {}
    virtual void popZone() {}
    virtual void setDefaultZone(const int& /*zone*/) {}
    virtual int getDefaultZone() const { return 0; }
    virtual int getZone() const { return 0; }

    // Event registration; objects that support events override these.
    virtual void registerEventMethod(const std::string& name, JSObjectPtr& handler);
    virtual void registerEventMethod(const std::wstring& name, JSObjectPtr& handler);
    virtual void unregisterEventMethod(const std::string& name, JSObjectPtr& handler);
    virtual void unregisterEventMethod(const std::wstring& name, JSObjectPtr& handler);
    virtual void registerEventInterface(const JSObjectPtr& iface);
    virtual void unregisterEventInterface(const JSObjectPtr& iface);

    // The pointer forms let a caller bind the output into a functor that
    // runs on another thread.
    virtual void getMemberNames(std::vector<std::wstring>& names) const;
    virtual void getMemberNames(std::vector<std::wstring>* names) const;
    virtual void getMemberNames(std::vector<std::string>& names) const = 0;
    virtual void getMemberNames(std::vector<std::string>* names) const;
    virtual std::size_t getMemberCount() const = 0;

    virtual bool HasMethod(const std::wstring& name) const;
    virtual bool HasMethod(const std::string& name) const = 0;
    virtual bool HasMethodObject(const std::wstring& name) const;
    virtual bool HasMethodObject(const std::string& name) const;
    virtual bool HasProperty(const std::wstring& name) const;
    virtual bool HasProperty(const std::string& name) const = 0;
    virtual bool HasProperty(int index) const = 0;

    virtual JSAPIPtr GetMethodObject(const std::wstring& name);
    virtual JSAPIPtr GetMethodObject(const std::string& name);

    virtual variant GetProperty(const std::wstring& name);
    virtual variant GetProperty(const std::string& name) = 0;
    virtual void SetProperty(const std::wstring& name, const variant& value);
    virtual void SetProperty(const std::string& name, const variant& value) = 0;
    virtual variant GetProperty(int index) = 0;
    virtual void SetProperty(int index, const variant& value) = 0;
    virtual void RemoveProperty(const std::wstring& name);
    virtual void RemoveProperty(const std::string& name) = 0;
    virtual void RemoveProperty(int index) = 0;

    // The empty name calls the object itself.
    virtual variant Invoke(const std::wstring& name, const VariantList& args);
    virtual variant Invoke(const std::string& name, const VariantList& args) = 0;
    // The script operator new applied to the object.
    virtual variant Construct(const VariantList& args) = 0;
};

} // namespace FB
