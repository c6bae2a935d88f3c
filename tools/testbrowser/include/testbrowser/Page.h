// A page: its HTML, a Duktape heap running its scripts, and the bridge
// between the heap's values and NPObjects.
#pragma once

#include <testbrowser/PluginInstance.h>

#include <NPAPI.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct duk_hthread;
typedef struct duk_hthread duk_context;

namespace testbrowser {

class Browser;
class PageObjects;

class Page {
public:
    Page(Browser& browser, const std::string& html);
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;
    // Destroys the remaining instances, lets go every object the page holds
    // and frees the heap.
    ~Page();

    // Parses the HTML, creating instances and running scripts in markup order.
    void load();

    // Runs script in the page. An exception it raises is a page error and
    // gives false; the result's text goes to result when given.
    bool evaluate(const std::string& script, std::string* result = nullptr);
    // Runs script and gives its result's text; raises std::runtime_error
    // with the message of the exception the script raised.
    std::string eval(const std::string& script);
    // Calls the page's global function with no arguments, with no script
    // text compiled, and gives its result's text; raises std::runtime_error
    // with the message of the exception the call raised.
    std::string call(const std::string& function);

    std::vector<PluginInstance*> instances();
    PluginInstance* instance(const std::string& elementId);
    // An NPP with no plug-in behind it, for code that talks to the browser
    // directly: it answers for the page's window like any instance.
    PluginInstance& createDetachedInstance(const std::string& elementId = "");
    // Destroys the instance and takes it off the page.
    void removeInstance(PluginInstance& instance);
    // Destroys every instance, in markup order.
    void destroyInstances();

    // The window as an NPObject, with one new reference for the caller.
    NPObject* windowObject();
    // The element with the id as an NPObject (new reference), or NULL.
    NPObject* elementObject(const std::string& elementId);

    duk_context* context() const { return m_context; }
    Browser& browser() const { return m_browser; }
    PageObjects& objects() const { return *m_objects; }

    // Called by the browser at instance destruction: its objects are
    // invalidated and the page's references to them dropped.
    void forgetInstanceObjects(NPP npp);

    // setTimeout and clearTimeout.
    uint32_t addTimeout(uint32_t delayMilliseconds);
    void cancelTimeout(uint32_t id);

    void reportError(const std::string& message);

private:
    void installGlobals();
    void createInstance(const std::string& id, size_t attributeCount,
                        const std::vector<std::pair<std::string, std::string>>& arguments);
    void runScript(const std::string& source);

    Browser& m_browser;
    std::string m_html;
    duk_context* m_context;
    std::unique_ptr<PageObjects> m_objects;
    std::vector<std::unique_ptr<PluginInstance>> m_instances;
    std::map<uint32_t, uint64_t> m_timeouts; // page timer id to run-loop timer id
    uint32_t m_lastTimeout = 0;
};

} // namespace testbrowser
