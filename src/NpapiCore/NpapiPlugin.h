#pragma once

// FB::Npapi::NpapiPlugin: the receiver of the NPP calls of one plug-in
// instance, the NPAPI form of FB::BrowserPlugin. It hands the object's
// attributes to the plug-in core and marks it ready, answers the browser's
// questions for the plug-in's name, description and scriptable object, binds
// the browser's NPStreams to the binding's streams and passes their data and
// completion on, and ends the core at shutdown. A platform derives from it
// and overrides init, SetWindow, HandleEvent and GetValue. Main thread only;
// what the core, the factory or a stream raises passes through.

#include "BrowserPlugin.h"

#include <NPAPI.h>

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>

namespace FB {

class BrowserStream;
class BrowserStreamRequest;

namespace Npapi {

class NpapiBrowserHost;
class NPJavascriptObject;
class NpapiStream;
typedef boost::shared_ptr<NpapiBrowserHost> NpapiBrowserHostPtr;

class NpapiPlugin : public BrowserPlugin {
public:
    // The factory makes the core, which gets the host.
    NpapiPlugin(const NpapiBrowserHostPtr& host, const std::string& mimetype);
    // Gives back the creation reference of the scriptable object.
    ~NpapiPlugin() override;

    // Clears the core's window and shuts the core down.
    void shutdown() override;

    // The attributes with a value, a later name replacing an earlier one,
    // become the core's parameters; then the core is made ready. The MIME
    // type was given to the constructor.
    virtual void init(NPMIMEType mimetype, std::int16_t argc, char* argn[], char* argv[]);
    // True when the core became ready now; it is made ready once.
    virtual bool setReady();
    // The platform's work: here 0, nothing done.
    virtual NPError SetWindow(NPWindow* window);
    // Binds the NPStream to the stream the plug-in requested, or to a new
    // one when the core accepts a stream the browser opened by itself.
    virtual NPError NewStream(NPMIMEType type, NPStream* stream, NPBool seekable,
                              std::uint16_t* stype);
    virtual NPError DestroyStream(NPStream* stream, NPReason reason);
    // -1 for an NPStream bound to no stream.
    virtual std::int32_t WriteReady(NPStream* stream);
    virtual std::int32_t Write(NPStream* stream, std::int32_t offset, std::int32_t len,
                               void* buffer);
    // fname is UTF-8.
    virtual void StreamAsFile(NPStream* stream, const char* fname);
    virtual void Print(NPPrint* platformPrint);
    // The platform's work: here 0, not handled.
    virtual std::int16_t HandleEvent(void* event);
    // notifyData is the stream of the request, or NULL.
    virtual void URLNotify(const char* url, NPReason reason, void* notifyData);
    // The plug-in's name, description and scriptable object; 1 for any
    // other variable, nothing stored.
    virtual NPError GetValue(NPPVariable variable, void* value);
    virtual NPError SetValue(NPNVariable variable, void* value);

    // The NPObject of the core's root script object, made on the first
    // request, with a new reference for the caller; NULL when the browser
    // makes none.
    NPObject* getScriptableObject();
    // Opens the stream unless it has completed already.
    void signalStreamOpened(BrowserStream* stream);

protected:
    NPJavascriptObject* m_scriptableObject;
    NpapiBrowserHostPtr m_browserHost;
    bool m_retainScriptableObject;
    bool m_ready;
    std::string m_mimeType;
    std::string m_pluginName;
    std::string m_pluginDescription;

private:
    // The stream bound to the NPStream, or NULL.
    static NpapiStream* boundStream(const NPStream* stream);
    NpapiStream* unsolicitedStream(NPStream* stream, NPBool seekable);
    void follow(const boost::shared_ptr<BrowserStream>& stream, const BrowserStreamRequest& req);
};

// The plug-in object of an instance, empty when the instance has none.
boost::shared_ptr<NpapiPlugin> getPlugin(NPP instance);

} // namespace Npapi
} // namespace FB
