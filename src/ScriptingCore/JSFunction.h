#pragma once

// FB::JSFunction: the object standing for one method of a script object when
// the page reads the method as a property. The page calls it directly or
// through the script function protocol "call" and "apply". It holds its
// owner weakly, so a stored function never keeps the owner alive, and runs
// the owner's method in the zone it was created in.

#include "JSAPIAuto.h"

#include <boost/weak_ptr.hpp>
#include <string>

namespace FB {

class JSFunction : public JSAPIAuto {
public:
    JSFunction(const boost::weak_ptr<JSAPI>& owner, const std::string& name, int zone);
    JSFunction(const boost::weak_ptr<JSAPI>& owner, const std::wstring& name, int zone);

    // The empty name, "call" and "apply" are the function itself; every
    // other name is a member of the function object.
    using JSAPIAuto::HasMethod;
    using JSAPIAuto::HasMethodObject;
    using JSAPIAuto::HasProperty;
    using JSAPIAuto::Invoke;
    bool HasMethod(const std::string& name) const override;
    bool HasMethodObject(const std::string& name) const override;
    bool HasProperty(const std::string& name) const override;
    variant Invoke(const std::string& name, const VariantList& args) override;

    // Calls the owner's method with the arguments, under the owner's zone
    // mutex and with this function's zone pushed on the owner. Raises
    // FB::script_error "Invalid JSAPI object" once the owner is gone.
    virtual variant exec(const VariantList& args);
    // Script "call": the first argument is the receiver and is dropped.
    virtual variant call(const VariantList& args);
    // Script "apply": the first argument is the receiver, the second the
    // argument array (a list or a page array); a second argument that is
    // not one raises FB::invalid_arguments.
    virtual variant apply(const VariantList& args);

private:
    void init();

    boost::weak_ptr<JSAPI> m_owner;
    std::string m_methodName;
};

} // namespace FB
