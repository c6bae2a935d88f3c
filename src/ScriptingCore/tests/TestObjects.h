#pragma once

// Concrete script and page objects for tests: every member operation that
// the interface leaves open does nothing.

#include "JSObject.h"

#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <string>
#include <vector>

template <typename Base> class StubMembers : public Base {
public:
    using Base::Base;

    void invalidate() override {}
    void getMemberNames(std::vector<std::string>&) const override {}
    std::size_t getMemberCount() const override { return 0; }
    bool HasMethod(const std::string&) const override { return false; }
    bool HasProperty(const std::string&) const override { return false; }
    bool HasProperty(int) const override { return false; }
    FB::variant GetProperty(const std::string&) override { return FB::variant(); }
    void SetProperty(const std::string&, const FB::variant&) override {}
    FB::variant GetProperty(int) override { return FB::variant(); }
    void SetProperty(int, const FB::variant&) override {}
    void RemoveProperty(const std::string&) override {}
    void RemoveProperty(int) override {}
    FB::variant Invoke(const std::string&, const FB::VariantList&) override {
        return FB::variant();
    }
    FB::variant Construct(const FB::VariantList&) override { return FB::variant(); }
};

// A native script object handed to the page.
class StubScriptObject : public StubMembers<FB::JSAPI> {};

// A page object, without a browser host.
class StubPageObject : public StubMembers<FB::JSObject> {
public:
    StubPageObject() : StubMembers<FB::JSObject>(boost::shared_ptr<FB::BrowserHost>()) {}

    bool isValid() override { return true; }
    FB::JSAPIPtr getJSAPI() const override { return FB::JSAPIPtr(); }
};
