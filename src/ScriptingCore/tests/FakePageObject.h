#pragma once

// A page object over a small in-memory page tree, for tests. Properties and
// methods are plain maps the test fills; indexed elements live under their
// decimal names, as in script. It reports the event keys, validity and
// optimized-call support the test sets, and records every call made on it.

#include "JSObject.h"

#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class FakePageObject : public FB::JSObject {
public:
    typedef std::function<FB::variant(const FB::VariantList&)> Method;

    struct Call {
        std::string name;
        FB::VariantList args;
    };

    struct MultipleCall {
        std::string name;
        FB::VariantList args;
        std::vector<FB::JSObjectPtr> direct;
        std::vector<FB::JSObjectPtr> ifaces;
    };

    explicit FakePageObject(const boost::shared_ptr<FB::BrowserHost>& host);

    // A page array holding elements, with its "length".
    static boost::shared_ptr<FakePageObject>
    makeArray(const boost::shared_ptr<FB::BrowserHost>& host, const FB::VariantList& elements);

    std::map<std::string, FB::variant> properties;
    // Under "" the object called as a function.
    std::map<std::string, Method> methods;
    // Properties whose read raises FB::invalid_member.
    std::set<std::string> failingReads;

    void* eventId = this;
    void* eventContext = nullptr;
    bool valid = true;
    bool optimizedCalls = false;
    FB::JSAPIPtr wrapped;
    // Whether InvokeAsync also schedules the call as the base class does.
    bool schedulesAsyncCalls = true;
    // When set, callMultipleFunctions records the call and then raises
    // FB::script_error with this text, as a page object whose page helper
    // is gone does.
    std::string multipleCallFailure;

    std::vector<Call> invocations;
    std::vector<Call> asyncInvocations;
    std::vector<MultipleCall> multipleCalls;

    void* getEventId() override { return eventId; }
    void* getEventContext() const override { return eventContext; }
    bool supportsOptimizedCalls() const override { return optimizedCalls; }
    void callMultipleFunctions(const std::string& name, const FB::VariantList& args,
                               const std::vector<FB::JSObjectPtr>& direct,
                               const std::vector<FB::JSObjectPtr>& ifaces) override;
    bool isValid() override { return valid; }
    void InvokeAsync(const std::string& methodName, const FB::VariantList& args) override;
    FB::JSAPIPtr getJSAPI() const override { return wrapped; }

    void invalidate() override { valid = false; }
    void getMemberNames(std::vector<std::string>& names) const override;
    std::size_t getMemberCount() const override { return properties.size(); }
    bool HasMethod(const std::string& name) const override { return methods.count(name) != 0; }
    bool HasProperty(const std::string& name) const override;
    bool HasProperty(int index) const override;
    FB::variant GetProperty(const std::string& name) override;
    void SetProperty(const std::string& name, const FB::variant& value) override;
    FB::variant GetProperty(int index) override;
    void SetProperty(int index, const FB::variant& value) override;
    void RemoveProperty(const std::string& name) override { properties.erase(name); }
    void RemoveProperty(int index) override;
    FB::variant Invoke(const std::string& name, const FB::VariantList& args) override;
    FB::variant Construct(const FB::VariantList&) override { return FB::variant(); }

    using FB::JSObject::GetProperty;
    using FB::JSObject::HasProperty;
    using FB::JSObject::RemoveProperty;
    using FB::JSObject::SetProperty;
};

typedef boost::shared_ptr<FakePageObject> FakePageObjectPtr;
