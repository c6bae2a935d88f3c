#include "FakePageObject.h"

#include "JSExceptions.h"

#include <boost/make_shared.hpp>

FakePageObject::FakePageObject(const boost::shared_ptr<FB::BrowserHost>& host)
    : FB::JSObject(host) {}

FakePageObjectPtr FakePageObject::makeArray(const boost::shared_ptr<FB::BrowserHost>& host,
                                            const FB::VariantList& elements) {
    const auto array = boost::make_shared<FakePageObject>(host);
    array->properties["length"] = static_cast<int>(elements.size());
    for (std::size_t index = 0; index < elements.size(); ++index) {
        array->properties[std::to_string(index)] = elements[index];
    }
    return array;
}

void FakePageObject::callMultipleFunctions(const std::string& name, const FB::VariantList& args,
                                           const std::vector<FB::JSObjectPtr>& direct,
                                           const std::vector<FB::JSObjectPtr>& ifaces) {
    multipleCalls.push_back({name, args, direct, ifaces});
    if (!multipleCallFailure.empty()) {
        throw FB::script_error(multipleCallFailure);
    }
}

void FakePageObject::InvokeAsync(const std::string& methodName, const FB::VariantList& args) {
    asyncInvocations.push_back({methodName, args});
    if (schedulesAsyncCalls) {
        FB::JSObject::InvokeAsync(methodName, args);
    }
}

void FakePageObject::getMemberNames(std::vector<std::string>& names) const {
    names.clear();
    for (const auto& property : properties) {
        names.push_back(property.first);
    }
}

bool FakePageObject::HasProperty(const std::string& name) const {
    return properties.count(name) != 0;
}

bool FakePageObject::HasProperty(int index) const {
    return HasProperty(std::to_string(index));
}

FB::variant FakePageObject::GetProperty(const std::string& name) {
    if (failingReads.count(name) != 0) {
        throw FB::invalid_member(name);
    }
    const auto found = properties.find(name);
    return found == properties.end() ? FB::variant() : found->second;
}

void FakePageObject::SetProperty(const std::string& name, const FB::variant& value) {
    properties[name] = value;
}

FB::variant FakePageObject::GetProperty(int index) {
    return GetProperty(std::to_string(index));
}

void FakePageObject::SetProperty(int index, const FB::variant& value) {
    SetProperty(std::to_string(index), value);
}

void FakePageObject::RemoveProperty(int index) {
    RemoveProperty(std::to_string(index));
}

FB::variant FakePageObject::Invoke(const std::string& name, const FB::VariantList& args) {
    invocations.push_back({name, args});
    const auto found = methods.find(name);
    if (found == methods.end()) {
        throw FB::invalid_member(name);
    }
    return found->second(args);
}
