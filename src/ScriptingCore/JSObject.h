#pragma once

// FB::JSObject: an object living in the page's script, seen from native code
// through the JSAPI interface. It keeps only a weak link to the browser host
// of the instance that produced it, so it never prolongs the host's life.

#include "JSAPI.h"

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

namespace FB {

class BrowserHost;

class JSObject : public JSAPI {
public:
    explicit JSObject(const boost::shared_ptr<BrowserHost>& host) : m_host(host) {}

private:
    boost::weak_ptr<BrowserHost> m_host;
};

} // namespace FB
