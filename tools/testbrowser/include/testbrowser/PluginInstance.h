// One plug-in instance: an <object> of the page and its NPP.
#pragma once

#include <testbrowser/Records.h>

#include <NPAPI.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testbrowser {

class Browser;
class PluginModule;

// A new NPWindow for the instance. The window pointer is an NP_CGContext
// whose context is the instance's recording context unless another is given;
// without a window pointer the browser passes NULL there.
struct WindowChange {
    int32_t x = 0;
    int32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    NPRect clip{0, 0, 0, 0};
    CGContext* context = nullptr;
    bool withWindowPointer = true;
};

// A stream the browser feeds to the instance, as from a server.
struct StreamDelivery {
    std::string url;
    std::string mimeType = "text/plain";
    std::string headers; // passed when not empty
    std::string body;
    std::optional<uint32_t> end; // the length announced; the body's size when unset
    uint32_t lastModified = 0;
    bool seekable = false;
    size_t chunkSize = 65536;
    bool notify = false; // send NPP_URLNotify as for a request made with notification
    void* notifyData = nullptr;
    NPReason reason = NPRES_DONE;
    bool notifyBeforeDestroy = false;
    std::string cacheFile; // handed to NPP_StreamAsFile for the file stream types
};

struct StreamOutcome {
    NPError newStreamResult = NPERR_NO_ERROR;
    uint16_t streamType = 0;
    std::vector<int32_t> writeReadyAnswers;
    std::vector<int32_t> writeAnswers;
    size_t bytesTaken = 0;
    NPReason reason = NPRES_DONE;
    NPError destroyResult = NPERR_NO_ERROR;
    bool destroyedByPlugin = false;
};

class PluginInstance {
public:
    PluginInstance(Browser& browser, PluginModule* module, std::string elementId,
                   std::vector<std::pair<std::string, std::string>> arguments);
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;
    ~PluginInstance();

    NPP npp() { return &m_npp; }
    const std::string& elementId() const { return m_elementId; }
    // The attributes and <param>s given to NPP_New, in markup order.
    const std::vector<std::pair<std::string, std::string>>& arguments() const {
        return m_arguments;
    }
    bool hasPlugin() const { return m_module != nullptr; }
    bool alive() const { return m_alive; }

    // NPP_New, then a first NPP_SetWindow when it succeeded.
    NPError create(const std::string& mimeType, uint32_t width, uint32_t height);
    NPError newResult() const { return m_newResult; }
    // NPP_Destroy; the browser then invalidates and lets go the instance's objects.
    NPError destroy();
    // What NPP_Destroy answered, once it was called.
    std::optional<NPError> destroyResult() const { return m_destroyResult; }

    // The instance's scriptable object, asked once and held by the browser
    // until the instance goes; NULL when the plug-in has none.
    NPObject* scriptableObject();

    NPError setWindow(const WindowChange& change);
    NPError clearWindow();
    int16_t sendEvent(NPCocoaEvent& event);
    NPError getValue(NPPVariable variable, void* value);

    StreamOutcome deliverStream(const StreamDelivery& delivery);
    // The browser's answer to a request that got no stream: NPP_URLNotify only.
    void failRequest(const UrlRequest& request, NPReason reason);
    // Answers a request with a stream, notifying when it asked for it.
    StreamOutcome respond(const UrlRequest& request, StreamDelivery delivery);

    // Set by the plug-in through NPN_SetValue; -1 until then.
    int drawingModel() const { return m_drawingModel; }
    int eventModel() const { return m_eventModel; }
    void setDrawingModel(int model) { m_drawingModel = model; }
    void setEventModel(int model) { m_eventModel = model; }
    CGContext* context() const { return m_context; }

    // Used by the browser's stream functions.
    void requestStreamDestroy(NPStream* stream, NPReason reason);

private:
    const NPPluginFuncs& functions() const;
    StreamOutcome finishStream(NPStream& stream, const StreamDelivery& delivery,
                               StreamOutcome outcome);

    Browser& m_browser;
    PluginModule* m_module;
    std::string m_elementId;
    std::vector<std::pair<std::string, std::string>> m_arguments;
    NPP_t m_npp{};
    bool m_alive = false;
    NPError m_newResult = NPERR_GENERIC_ERROR;
    std::optional<NPError> m_destroyResult;
    bool m_scriptableAsked = false;
    NPObject* m_scriptable = nullptr;
    int m_drawingModel = -1;
    int m_eventModel = -1;
    CGContext* m_context;
    NP_CGContext m_cgContext{};
    NPWindow m_window{};
    NPStream* m_activeStream = nullptr;
    std::optional<NPReason> m_destroyRequested;
};

} // namespace testbrowser
