#pragma once

// FB::PluginCore: one plug-in instance on a page, whatever the browser
// interface. The binding gives it its host, the object's parameters and
// the plug-in's path, tells it when it is ready, sets and clears its window
// and asks it for the instance's root script object; a product derives its
// plug-in class from it and makes that object. Cores are held by shared
// pointers and used on the browser's main thread.

#include "APITypes.h"
#include "PluginEventSink.h"
#include "variant.h"

#include <atomic>
#include <boost/logic/tribool.hpp>
#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>
#include <string>

namespace FB {

class BrowserHost;
class BrowserStreamRequest;
class PluginWindow;

class PluginCore : public PluginEventSink {
public:
    PluginCore();
    // Shuts the host down, when there is one.
    ~PluginCore() override;

    static void setPlatform(const std::string& os, const std::string& browser);
    // The cores constructed and not yet destroyed.
    static int getActivePluginCount();

    virtual void SetHost(const boost::shared_ptr<BrowserHost>& host);
    virtual PluginWindow* GetWindow() const { return m_Window; }
    virtual void setScriptingOnly(bool scriptingOnly) { m_scriptingOnly = scriptingOnly; }
    virtual bool isScriptingOnly() const { return m_scriptingOnly; }
    // Becomes an observer of win; a different window set before is cleared
    // first, the window already set is kept as it is.
    virtual void SetWindow(PluginWindow* win);
    virtual void ClearWindow();
    // Schedules the page's "onload" handler 250 ms later with the root
    // script object as its argument; true exactly when it was scheduled.
    virtual bool setReady();
    virtual void onPluginReady() {}
    // Called by the binding before it releases the core.
    virtual void shutdown() {}
    virtual JSAPIPtr createJSAPI() = 0;
    // Made by createJSAPI on the first call and kept.
    virtual JSAPIPtr getRootJSAPI();
    // The "windowless" parameter read as a boolean, false when absent or
    // unreadable; decided once.
    virtual bool isWindowless();
    virtual void setFSPath(const std::string& path) { m_filesystemPath = path; }
    // Keeps the parameters; those whose names begin with "on" are looked up
    // in the page's window and kept as page handlers.
    virtual void setParams(const VariantMap& inParams);
    // The parameter as text; empty when there is none. Raises
    // bad_variant_cast when it cannot be read as text.
    virtual boost::optional<std::string> getParam(const std::string& key);
    // The parameter as kept; empty when there is none.
    virtual variant getParamVariant(const std::string& key);
    // A stream the browser opened without a request of the plug-in; it
    // takes the stream by giving req a sink or a callback.
    virtual void handleUnsolicitedStream(BrowserStreamRequest& req);
    virtual boost::shared_ptr<BrowserHost> getHost() { return m_host; }

    void releaseRootJSAPI() { m_api.reset(); }

protected:
    static std::atomic<int> ActivePluginCount;
    static std::string OS;
    static std::string Browser;

    boost::shared_ptr<BrowserHost> m_host;
    std::string m_filesystemPath;
    VariantMap m_params;
    PluginWindow* m_Window;
    JSAPIPtr m_api;
    boost::logic::tribool m_windowless;
    bool m_scriptingOnly;

private:
    variant eventHandler(const std::string& name) const;
    bool scheduleOnload();
};

typedef boost::shared_ptr<PluginCore> PluginCorePtr;

} // namespace FB
