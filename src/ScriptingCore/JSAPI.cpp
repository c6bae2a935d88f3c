#include "JSAPI.h"

#include "JSExceptions.h"
#include "utf8_tools.h"

namespace FB {

void JSAPI::registerEventMethod(const std::string&, JSObjectPtr&) {
    throw script_error("Not implemented");
}

void JSAPI::registerEventMethod(const std::wstring& name, JSObjectPtr& handler) {
    registerEventMethod(wstring_to_utf8(name), handler);
}

void JSAPI::unregisterEventMethod(const std::string&, JSObjectPtr&) {
    throw script_error("Not implemented");
}

void JSAPI::unregisterEventMethod(const std::wstring& name, JSObjectPtr& handler) {
    unregisterEventMethod(wstring_to_utf8(name), handler);
}

void JSAPI::registerEventInterface(const JSObjectPtr&) {
    throw script_error("Not implemented");
}

void JSAPI::unregisterEventInterface(const JSObjectPtr&) {
    throw script_error("Not implemented");
}

void JSAPI::getMemberNames(std::vector<std::wstring>& names) const {
    names.clear();
    std::vector<std::string> utf8Names;
    getMemberNames(utf8Names);
    for (const std::string& name : utf8Names) {
        names.push_back(utf8_to_wstring(name));
    }
}

void JSAPI::getMemberNames(std::vector<std::wstring>* names) const {
    getMemberNames(*names);
}

void JSAPI::getMemberNames(std::vector<std::string>* names) const {
    getMemberNames(*names);
}

bool JSAPI::HasMethod(const std::wstring& name) const {
    return HasMethod(wstring_to_utf8(name));
}

bool JSAPI::HasMethodObject(const std::wstring& name) const {
    return HasMethodObject(wstring_to_utf8(name));
}

bool JSAPI::HasMethodObject(const std::string&) const {
    return false;
}

bool JSAPI::HasProperty(const std::wstring& name) const {
    return HasProperty(wstring_to_utf8(name));
}

JSAPIPtr JSAPI::GetMethodObject(const std::wstring& name) {
    return GetMethodObject(wstring_to_utf8(name));
}

JSAPIPtr JSAPI::GetMethodObject(const std::string&) {
    return JSAPIPtr();
}

variant JSAPI::GetProperty(const std::wstring& name) {
    return GetProperty(wstring_to_utf8(name));
}

void JSAPI::SetProperty(const std::wstring& name, const variant& value) {
    SetProperty(wstring_to_utf8(name), value);
}

void JSAPI::RemoveProperty(const std::wstring& name) {
    RemoveProperty(wstring_to_utf8(name));
}

variant JSAPI::Invoke(const std::wstring& name, const VariantList& args) {
    return Invoke(wstring_to_utf8(name), args);
}

} // namespace FB
