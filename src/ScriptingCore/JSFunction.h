#pragma once

// FB::JSFunction: the object standing for one method of a script object when
// the page reads the method as a property. It holds its owner weakly, so a
// stored function never keeps the owner alive, and runs the owner's method in
// the zone it was created in.

#include "JSAPIAuto.h"

#include <boost/weak_ptr.hpp>
#include <string>

namespace FB {

class JSFunction : public JSAPIAuto {
public:
    JSFunction(const boost::weak_ptr<JSAPI>& owner, const std::string& name, int zone);

    // Calls the owner's method with the arguments, under the owner's zone
    // mutex and with this function's zone pushed on the owner.
    virtual variant exec(const VariantList& args);

private:
    void init();

    boost::weak_ptr<JSAPI> m_owner;
    std::string m_methodName;
};

} // namespace FB
