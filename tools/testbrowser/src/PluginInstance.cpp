#include <testbrowser/PluginInstance.h>

#include <testbrowser/Browser.h>
#include <testbrowser/PluginModule.h>

#include <MacStandIn/StandIn.h>

#include <algorithm>
#include <cstring>

namespace testbrowser {

namespace {

// The browser window behind every NP_CGContext of this browser.
int g_browserWindow;

} // namespace

PluginInstance::PluginInstance(Browser& browser, PluginModule* module, std::string elementId,
                               std::vector<std::pair<std::string, std::string>> arguments)
    : m_browser(browser), m_module(module), m_elementId(std::move(elementId)),
      m_arguments(std::move(arguments)), m_context(macos::createRecordingContext()) {
    m_npp.ndata = this;
    m_alive = m_module == nullptr; // an instance without a plug-in is live from the start
}

PluginInstance::~PluginInstance() {
    destroy();
    CGContextRelease(m_context);
}

const NPPluginFuncs& PluginInstance::functions() const {
    return m_module->pluginFunctions();
}

NPError PluginInstance::create(const std::string& mimeType, uint32_t width, uint32_t height) {
    std::vector<char*> names, values;
    std::vector<std::string> texts;
    texts.reserve(m_arguments.size() * 2 + 1);
    texts.push_back(mimeType);
    for (const auto& [name, value] : m_arguments) {
        texts.push_back(name);
        names.push_back(texts.back().data());
        texts.push_back(value);
        values.push_back(texts.back().data());
    }
    m_alive = true;
    m_newResult = NPERR_GENERIC_ERROR;
    if (functions().newp)
        m_newResult = functions().newp(texts.front().data(), &m_npp, NP_EMBED,
                                       static_cast<int16_t>(names.size()), names.data(),
                                       values.data(), nullptr);
    if (m_newResult != NPERR_NO_ERROR) {
        m_alive = false;
        return m_newResult;
    }
    WindowChange first;
    first.width = width;
    first.height = height;
    first.clip = NPRect{0, 0, static_cast<uint16_t>(height), static_cast<uint16_t>(width)};
    setWindow(first);
    return m_newResult;
}

NPError PluginInstance::destroy() {
    if (!m_alive)
        return NPERR_INVALID_INSTANCE_ERROR;
    NPError result = NPERR_NO_ERROR;
    if (m_module && functions().destroy) {
        NPSavedData* saved = nullptr;
        result = functions().destroy(&m_npp, &saved);
        m_destroyResult = result;
        if (saved) {
            m_browser.ledger().free(saved->buf);
            m_browser.ledger().free(saved);
        }
    }
    m_alive = false;
    m_browser.cancelTimersOf(&m_npp);
    if (Page* page = m_browser.page())
        page->forgetInstanceObjects(&m_npp);
    m_browser.invalidateObjectsOf(&m_npp);
    if (m_scriptable) {
        NPObject* scriptable = m_scriptable;
        m_scriptable = nullptr;
        m_browser.releaseObject(scriptable);
    }
    return result;
}

NPObject* PluginInstance::scriptableObject() {
    if (m_scriptableAsked || !m_alive || !m_module)
        return m_scriptable;
    m_scriptableAsked = true;
    NPObject* object = nullptr;
    if (getValue(NPPVpluginScriptableNPObject, &object) == NPERR_NO_ERROR && object &&
        m_browser.isLiveObject(object))
        m_scriptable = object;
    return m_scriptable;
}

NPError PluginInstance::getValue(NPPVariable variable, void* value) {
    if (!m_alive || !m_module || !functions().getvalue)
        return NPERR_GENERIC_ERROR;
    return functions().getvalue(&m_npp, variable, value);
}

NPError PluginInstance::setWindow(const WindowChange& change) {
    m_cgContext.context = change.context ? change.context : m_context;
    m_cgContext.window = &g_browserWindow;
    m_window.window = change.withWindowPointer ? &m_cgContext : nullptr;
    m_window.x = change.x;
    m_window.y = change.y;
    m_window.width = change.width;
    m_window.height = change.height;
    m_window.clipRect = change.clip;
    m_window.type = NPWindowTypeDrawable;
    if (!m_alive || !m_module || !functions().setwindow)
        return NPERR_GENERIC_ERROR;
    return functions().setwindow(&m_npp, &m_window);
}

NPError PluginInstance::clearWindow() {
    if (!m_alive || !m_module || !functions().setwindow)
        return NPERR_GENERIC_ERROR;
    return functions().setwindow(&m_npp, nullptr);
}

int16_t PluginInstance::sendEvent(NPCocoaEvent& event) {
    if (!m_alive || !m_module || !functions().event)
        return 0;
    return functions().event(&m_npp, &event);
}

void PluginInstance::requestStreamDestroy(NPStream* stream, NPReason reason) {
    if (stream == m_activeStream)
        m_destroyRequested = reason;
}

StreamOutcome PluginInstance::deliverStream(const StreamDelivery& delivery) {
    StreamOutcome outcome;
    if (!m_alive || !m_module)
        return outcome;
    const NPPluginFuncs& f = functions();
    NPStream stream{};
    stream.ndata = this;
    stream.url = delivery.url.c_str();
    stream.end = delivery.end.value_or(static_cast<uint32_t>(delivery.body.size()));
    stream.lastmodified = delivery.lastModified;
    stream.notifyData = delivery.notifyData;
    stream.headers = delivery.headers.empty() ? nullptr : delivery.headers.c_str();
    std::string mimeType = delivery.mimeType;
    outcome.streamType = NP_NORMAL;
    outcome.newStreamResult = f.newstream ? f.newstream(&m_npp, mimeType.data(), &stream,
                                                        delivery.seekable, &outcome.streamType)
                                          : NPError(NPERR_GENERIC_ERROR);
    if (outcome.newStreamResult != NPERR_NO_ERROR) {
        if (delivery.notify && f.urlnotify)
            f.urlnotify(&m_npp, delivery.url.c_str(), NPRES_NETWORK_ERR, delivery.notifyData);
        outcome.reason = NPRES_NETWORK_ERR;
        return outcome;
    }
    m_activeStream = &stream;
    m_destroyRequested.reset();
    outcome.reason = delivery.reason;
    std::string body = delivery.body;
    while (outcome.bytesTaken < body.size() && !m_destroyRequested && m_alive) {
        int32_t ready = f.writeready ? f.writeready(&m_npp, &stream) : 0;
        outcome.writeReadyAnswers.push_back(ready);
        if (ready <= 0)
            break; // a real browser would wait and ask again; here the stream stops
        size_t length = std::min(
            {static_cast<size_t>(ready), delivery.chunkSize, body.size() - outcome.bytesTaken});
        int32_t taken =
            f.write ? f.write(&m_npp, &stream, static_cast<int32_t>(outcome.bytesTaken),
                              static_cast<int32_t>(length), body.data() + outcome.bytesTaken)
                    : -1;
        outcome.writeAnswers.push_back(taken);
        if (taken < 0) {
            outcome.reason = NPRES_NETWORK_ERR;
            break;
        }
        if (taken == 0)
            break;
        outcome.bytesTaken += std::min(static_cast<size_t>(taken), length);
    }
    if (m_destroyRequested) {
        outcome.destroyedByPlugin = true;
        outcome.reason = *m_destroyRequested;
    }
    m_activeStream = nullptr;
    return finishStream(stream, delivery, outcome);
}

StreamOutcome PluginInstance::finishStream(NPStream& stream, const StreamDelivery& delivery,
                                           StreamOutcome outcome) {
    const NPPluginFuncs& f = functions();
    bool asFile = outcome.streamType == NP_ASFILE || outcome.streamType == NP_ASFILEONLY;
    if (asFile && !delivery.cacheFile.empty() && outcome.reason == NPRES_DONE && f.asfile &&
        m_alive)
        f.asfile(&m_npp, &stream, delivery.cacheFile.c_str());
    auto notify = [&] {
        if (delivery.notify && f.urlnotify && m_alive)
            f.urlnotify(&m_npp, delivery.url.c_str(), outcome.reason, delivery.notifyData);
    };
    if (delivery.notifyBeforeDestroy)
        notify();
    if (f.destroystream && m_alive)
        outcome.destroyResult = f.destroystream(&m_npp, &stream, outcome.reason);
    if (!delivery.notifyBeforeDestroy)
        notify();
    return outcome;
}

void PluginInstance::failRequest(const UrlRequest& request, NPReason reason) {
    if (m_alive && m_module && request.notify && functions().urlnotify)
        functions().urlnotify(&m_npp, request.url.c_str(), reason, request.notifyData);
}

StreamOutcome PluginInstance::respond(const UrlRequest& request, StreamDelivery delivery) {
    delivery.url = request.url;
    delivery.notify = request.notify;
    delivery.notifyData = request.notifyData;
    return deliverStream(delivery);
}

} // namespace testbrowser
