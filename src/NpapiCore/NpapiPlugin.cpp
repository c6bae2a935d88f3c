#include "NpapiPlugin.h"

#include "BrowserStreamRequest.h"
#include "FactoryBase.h"
#include "NPJavascriptObject.h"
#include "NpapiBrowserHost.h"
#include "NpapiStream.h"
#include "SimpleStreamHelper.h"
#include "logging.h"
#include "utf8_tools.h"

#include <utf8.h>

#include <algorithm>
#include <iterator>
#include <limits>

namespace FB {
namespace Npapi {

namespace {

std::string textOf(const char* text) {
    return text ? std::string(text) : std::string();
}

// The wide form of a UTF-8 text; malformed sequences read as U+FFFD.
std::wstring wideOf(const char* utf8Text) {
    const std::string given = utf8Text;
    std::string valid;
    utf8::replace_invalid(given.begin(), given.end(), std::back_inserter(valid));
    return utf8_to_wstring(valid);
}

template <class T> void store(void* value, T answer) {
    *static_cast<T*>(value) = answer;
}

} // namespace

NpapiPlugin::NpapiPlugin(const NpapiBrowserHostPtr& host, const std::string& mimetype)
    : BrowserPlugin(mimetype), m_scriptableObject(nullptr), m_browserHost(host),
      m_retainScriptableObject(true), m_ready(false), m_mimeType(mimetype),
      m_pluginName(getFactoryInstance()->getPluginName(mimetype)),
      m_pluginDescription(getFactoryInstance()->getPluginDescription(mimetype)) {
    pluginMain->SetHost(host);
}

NpapiPlugin::~NpapiPlugin() {
    if (m_scriptableObject) {
        m_browserHost->ReleaseObject(m_scriptableObject);
    }
}

void NpapiPlugin::shutdown() {
    pluginMain->ClearWindow();
    pluginMain->shutdown();
}

void NpapiPlugin::init(NPMIMEType, std::int16_t argc, char* argn[], char* argv[]) {
    VariantMap params;
    for (int i = 0; argn && argv && i < argc; ++i) {
        if (argn[i] && argv[i]) {
            params[argn[i]] = std::string(argv[i]);
        }
    }
    pluginMain->setParams(params);
    setReady();
}

bool NpapiPlugin::setReady() {
    if (m_ready) {
        return false;
    }
    m_ready = pluginMain->setReady();
    return m_ready;
}

NPError NpapiPlugin::SetWindow(NPWindow*) {
    return NPERR_NO_ERROR;
}

NPError NpapiPlugin::NewStream(NPMIMEType type, NPStream* stream, NPBool seekable,
                               std::uint16_t* stype) {
    if (stream->notifyData && !stream->pdata) {
        stream->pdata = stream->notifyData;
    }
    NpapiStream* s = static_cast<NpapiStream*>(stream->pdata);
    if (!s) {
        s = unsolicitedStream(stream, seekable);
        if (!s) {
            return NPERR_NO_ERROR;
        }
    }
    const BrowserStreamPtr held = s->shared_from_this();
    s->setMimeType(textOf(type));
    s->setStream(stream);
    s->setLength(stream->end);
    s->setUrl(textOf(stream->url));
    if (stream->headers) {
        s->setHeaders(stream->headers);
    }
    s->setSeekableByServer(seekable != 0);
    if (s->isSeekableRequested() && !s->isSeekableByServer()) {
        // Nothing stays bound to the refused NPStream.
        s->signalFailedOpen();
        s->setStream(nullptr);
        stream->pdata = nullptr;
        return NPERR_STREAM_NOT_SEEKABLE;
    }
    *stype = s->isSeekable() ? NP_SEEK : s->isCached() ? NP_ASFILE : NP_NORMAL;
    signalStreamOpened(s);
    return NPERR_NO_ERROR;
}

// A stream the browser opened by itself, taken when the core accepts it;
// NULL otherwise.
NpapiStream* NpapiPlugin::unsolicitedStream(NPStream* stream, NPBool seekable) {
    BrowserStreamRequest req(textOf(stream->url), "GET", false);
    req.setLastModified(stream->lastmodified);
    if (stream->headers) {
        req.setHeaders(stream->headers);
    }
    req.setSeekable(seekable != 0);
    pluginMain->handleUnsolicitedStream(req);
    if (!req.wasAccepted()) {
        return nullptr;
    }
    const BrowserStreamPtr ptr = m_browserHost->createUnsolicitedStream(req);
    follow(ptr, req);
    NpapiStream* const s = dynamic_cast<NpapiStream*>(ptr.get());
    stream->pdata = s;
    return s;
}

// The receiver the core named for an unsolicited stream starts to follow it.
void NpapiPlugin::follow(const BrowserStreamPtr& stream, const BrowserStreamRequest& req) {
    if (const PluginEventSinkPtr sink = req.getEventSink()) {
        if (stream) {
            stream->AttachObserver(sink);
        }
    } else if (req.getCallback()) {
        SimpleStreamHelper::AsyncRequest(m_browserHost, stream, req);
    } else {
        FBLOG_WARN("NpapiPlugin", "Unsolicited request accepted but no callback or sink provided");
    }
}

NPError NpapiPlugin::DestroyStream(NPStream* stream, NPReason reason) {
    NpapiStream* const s = boundStream(stream);
    if (!s) {
        return NPERR_NO_ERROR;
    }
    const BrowserStreamPtr held = s->shared_from_this();
    s->setStream(nullptr);
    stream->pdata = nullptr;
    stream->notifyData = nullptr;
    if (!s->isCompleted()) {
        s->signalCompleted(reason == NPRES_DONE);
    }
    s->setDestroyed();
    return NPERR_NO_ERROR;
}

std::int32_t NpapiPlugin::WriteReady(NPStream* stream) {
    const NpapiStream* const s = boundStream(stream);
    if (!s) {
        return -1;
    }
    return static_cast<std::int32_t>(std::min<std::size_t>(
        s->getInternalBufferSize(), std::numeric_limits<std::int32_t>::max()));
}

std::int32_t NpapiPlugin::Write(NPStream* stream, std::int32_t offset, std::int32_t len,
                                void* buffer) {
    NpapiStream* const s = boundStream(stream);
    if (!s) {
        return -1;
    }
    return s->signalDataArrived(buffer, len, offset);
}

void NpapiPlugin::StreamAsFile(NPStream* stream, const char* fname) {
    NpapiStream* const s = boundStream(stream);
    if (s && fname) {
        s->signalCacheFilename(wideOf(fname));
    }
}

void NpapiPlugin::Print(NPPrint*) {}

std::int16_t NpapiPlugin::HandleEvent(void*) {
    return 0;
}

// The notification is the browser's last word on the request: completion
// is reported unless it was already, and no NPStream of the request stays
// bound, whether or not one was ever opened.
void NpapiPlugin::URLNotify(const char*, NPReason reason, void* notifyData) {
    if (!notifyData) {
        return;
    }
    NpapiStream* const s = static_cast<NpapiStream*>(notifyData);
    const BrowserStreamPtr held = s->shared_from_this();
    s->signalCompleted(reason == NPRES_DONE);
    s->setDestroyed();
    s->setNotified();
}

NPError NpapiPlugin::GetValue(NPPVariable variable, void* value) {
    switch (variable) {
    case NPPVpluginNameString:
        store(value, m_pluginName.c_str());
        FBLOG_TRACE("PluginCore", "GetValue(NPPVpluginNameString)");
        return NPERR_NO_ERROR;
    case NPPVpluginDescriptionString:
        store(value, m_pluginDescription.c_str());
        FBLOG_TRACE("PluginCore", "GetValue(NPPVpluginDescriptionString)");
        return NPERR_NO_ERROR;
    case NPPVpluginScriptableNPObject:
        store(value, getScriptableObject());
        FBLOG_TRACE("PluginCore", "GetValue(NPPVpluginScriptableNPObject)");
        return NPERR_NO_ERROR;
    default:
        FBLOG_TRACE("PluginCore", "GetValue(Unknown)");
        return NPERR_GENERIC_ERROR;
    }
}

NPError NpapiPlugin::SetValue(NPNVariable, void*) {
    return NPERR_NO_ERROR;
}

NPObject* NpapiPlugin::getScriptableObject() {
    if (!m_scriptableObject) {
        m_scriptableObject =
            NPJavascriptObject::NewObject(m_browserHost, pluginMain->getRootJSAPI(), false);
    }
    if (m_scriptableObject && m_retainScriptableObject) {
        m_browserHost->RetainObject(m_scriptableObject);
    }
    return m_scriptableObject;
}

void NpapiPlugin::signalStreamOpened(BrowserStream* stream) {
    NpapiStream* const s = dynamic_cast<NpapiStream*>(stream);
    if (s && !s->isCompleted()) {
        s->signalOpened();
    }
}

NpapiStream* NpapiPlugin::boundStream(const NPStream* stream) {
    NpapiStream* const s = static_cast<NpapiStream*>(stream->pdata);
    return s && s->getStream() ? s : nullptr;
}

} // namespace Npapi
} // namespace FB
