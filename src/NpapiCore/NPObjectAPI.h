#pragma once

// FB::Npapi::NPObjectAPI: an object of the page (window, document, element,
// a function or object the page passed in) seen as an FB::JSObject. It holds
// one browser reference to the NPObject and carries every member operation
// out through the instance's host, always on the browser's main thread: the
// named operations called on another thread run themselves again there and
// wait. When the NPObject is one of the system's own NPJavascriptObjects it
// talks to the script object behind it directly. It gives every page object
// an event id kept in the page object itself, and calls all handlers of an
// event through the page's delayed-call helper, so each runs later from the
// page's own timer.

#include "JSObject.h"
#include "NpapiBrowserHost.h"

#include <NPAPI.h>

#include <atomic>
#include <boost/thread/mutex.hpp>
#include <boost/weak_ptr.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace FB {
namespace Npapi {

class NpapiPluginModule;
class NPVariantBlock;

class NPObjectAPI : public JSObject {
public:
    // Main thread: takes a reference to o. Raises std::bad_cast when o is one
    // of the system's own objects whose script object is gone.
    NPObjectAPI(NPObject* o, const NpapiBrowserHostPtr& host);
    // Any thread: the reference goes back to the browser on the main thread,
    // also when the host is gone.
    ~NPObjectAPI() override;

    // Cuts the link to the system's own script object for good.
    void invalidate() override;

    using JSAPI::getMemberNames;
    void getMemberNames(std::vector<std::string>& names) const override;
    std::size_t getMemberCount() const override;

    using JSAPI::HasMethod;
    using JSAPI::HasProperty;
    bool HasMethod(const std::string& name) const override;
    bool HasProperty(const std::string& name) const override;
    bool HasProperty(int idx) const override;

    using JSAPI::GetProperty;
    using JSAPI::RemoveProperty;
    using JSAPI::SetProperty;
    // A browser that refuses raises FB::script_error with the member's name.
    variant GetProperty(const std::string& name) override;
    void SetProperty(const std::string& name, const variant& value) override;
    // Indexed members are read, written and removed under the index's text.
    variant GetProperty(int idx) override;
    void SetProperty(int idx, const variant& value) override;
    void RemoveProperty(const std::string& name) override;
    void RemoveProperty(int idx) override;

    using JSAPI::Invoke;
    // The empty name calls the object itself.
    variant Invoke(const std::string& name, const VariantList& args) override;
    // A browser that refuses raises FB::script_error "constructor".
    variant Construct(const VariantList& args) override;

    // The page object's "__fb_event_id", given on first use; the same for
    // every wrapper of one page object.
    void* getEventId() override;
    void* getEventContext() const override;
    bool supportsOptimizedCalls() const override { return true; }
    // Any thread; runs on the main thread (queued from others). One handler
    // that fails does not keep the others from their call.
    void callMultipleFunctions(const std::string& name, const VariantList& args,
                               const std::vector<JSObjectPtr>& direct,
                               const std::vector<JSObjectPtr>& ifaces) override;
    bool isValid() override;
    JSAPIPtr getJSAPI() const override;

    NPObject* getNPObject() const { return m_npObject; }
    // Raises std::bad_cast once the host is gone.
    NpapiBrowserHostPtr getHost() const;

    static const std::string eventIdProperty;

private:
    template <class Result, class OwnCall, class BrowserCall>
    Result named(const Result& hostGone, const Result& ownGone, const OwnCall& own,
                 const BrowserCall& browser) const;
    NPIdentifier identifier(const NpapiBrowserHost& host, const std::string& name) const;
    // The script object behind an own NPObject; empty when it is gone.
    JSAPIPtr innerAPI() const;
    // Hands the page object's identifiers to use; nothing when the browser
    // cannot enumerate them.
    void enumerate(const NpapiBrowserHost& host,
                   const std::function<void(NPIdentifier*, std::uint32_t)>& use) const;
    variant call(const std::string& name, const VariantList& args, bool construct);
    void callHandler(NpapiBrowserHost& host, NPObject* helper, const JSObjectPtr& handler,
                     const std::string& name, const VariantList& args, NPVariantBlock& helperArgs,
                     std::uint32_t helperArgCount);
    void callHandlers(const std::string& name, const VariantList& args,
                      const std::vector<JSObjectPtr>& direct,
                      const std::vector<JSObjectPtr>& ifaces);

    boost::weak_ptr<NpapiBrowserHost> m_browser;
    NPObject* m_npObject;
    bool m_isJSAPI;
    boost::weak_ptr<JSAPI> m_innerAPI;
    std::atomic<std::uintptr_t> m_eventId;
    // For the reference's way back when the host is gone.
    NpapiPluginModule* m_module;

    static std::uint32_t m_lastEventId;
    static boost::mutex m_lastEventId_mutex;
};

} // namespace Npapi
} // namespace FB
