#include "NpapiBrowserHost.h"

#include "Assertion.h"
#include "BrowserStreamRequest.h"
#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Window.h"
#include "JSExceptions.h"
#include "NPJavascriptObject.h"
#include "NPObjectAPI.h"
#include "NpapiPluginModule.h"
#include "NpapiResources.h"
#include "NpapiStream.h"
#include "NpapiTypes.h"
#include "PluginEventSink.h"
#include "PluginEvents/StreamEvents.h"
#include "URI.h"
#include "logging.h"
#include "variant_list.h"

#include <algorithm>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/make_shared.hpp>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <typeindex>
#include <vector>

namespace FB {
namespace Npapi {

namespace {

// The page's text made right in the variant's own string, so that no other
// copy of it is made and freed.
variant pageText(const NPString& text) {
    variant value(std::string(), true);
    if (text.UTF8Characters) {
        value.held_ptr<std::string>()->assign(text.UTF8Characters, text.UTF8Length);
    }
    return value;
}

// --- Conversion of FB::variant to NPVariant ---------------------------------

typedef NPVariant (*NPVariantBuilder)(NpapiBrowserHost& host, const variant& value);

NPVariant voidVariant() {
    NPVariant result;
    NPVariantBlock::clear(result);
    return result;
}

NPVariant nullVariant() {
    NPVariant result = voidVariant();
    result.type = NPVariantType_Null;
    return result;
}

// An object with one reference for the receiver; Null when there is none.
NPVariant objectVariant(NPObject* object) {
    if (!object) {
        return nullVariant();
    }
    NPVariant result = voidVariant();
    result.type = NPVariantType_Object;
    result.value.objectValue = object;
    return result;
}

NPVariant makeBool(NpapiBrowserHost&, const variant& value) {
    NPVariant result = voidVariant();
    result.type = NPVariantType_Bool;
    result.value.boolValue = value.convert_cast<bool>();
    return result;
}

NPVariant makeInt(NpapiBrowserHost&, const variant& value) {
    NPVariant result = voidVariant();
    result.type = NPVariantType_Int32;
    result.value.intValue = value.convert_cast<int>();
    return result;
}

NPVariant makeDouble(NpapiBrowserHost&, const variant& value) {
    NPVariant result = voidVariant();
    result.type = NPVariantType_Double;
    result.value.doubleValue = value.convert_cast<double>();
    return result;
}

// The text in the browser's memory, with its NUL, which the length leaves
// out. Raises std::bad_alloc when the browser gives no memory or the text
// is too long for an NPString.
NPVariant makeText(NpapiBrowserHost& host, const variant& value) {
    const std::string text = value.convert_cast<std::string>();
    if (text.size() >= std::numeric_limits<std::uint32_t>::max()) {
        throw std::bad_alloc();
    }
    const std::uint32_t length = static_cast<std::uint32_t>(text.size());
    char* const copy = static_cast<char*>(host.MemAlloc(length + 1));
    if (!copy) {
        throw std::bad_alloc();
    }
    std::memcpy(copy, text.c_str(), length + 1);
    NPVariant result = voidVariant();
    result.type = NPVariantType_String;
    result.value.stringValue.UTF8Characters = copy;
    result.value.stringValue.UTF8Length = length;
    return result;
}

NPVariant makeNull(NpapiBrowserHost&, const variant&) {
    return nullVariant();
}

NPVariant makeVoid(NpapiBrowserHost&, const variant&) {
    return voidVariant();
}

// The NPObject of a page object wrapper, retained; NULL for any other object.
NPObject* retainedPageObject(NpapiBrowserHost& host, const JSAPIPtr& obj) {
    const NPObjectAPIPtr page = ptr_cast<NPObjectAPI>(obj);
    if (!page || !page->getNPObject()) {
        return nullptr;
    }
    return host.RetainObject(page->getNPObject());
}

NPVariant makeList(NpapiBrowserHost& host, const variant& value) {
    const JSObjectPtr array = host.getDOMWindow()->createArray();
    for (const variant& element : value.cast<VariantList>()) {
        array->Invoke("push", variant_list_of(element));
    }
    return objectVariant(retainedPageObject(host, array));
}

NPVariant makeMap(NpapiBrowserHost& host, const variant& value) {
    const JSObjectPtr map = host.getDOMWindow()->createMap();
    for (const VariantMap::value_type& entry : value.cast<VariantMap>()) {
        map->SetProperty(entry.first, entry.second);
    }
    return objectVariant(retainedPageObject(host, map));
}

NPVariant makeScriptObject(NpapiBrowserHost& host, const variant& value) {
    const JSAPIPtr api = value.cast<JSAPIPtr>();
    if (!api) {
        return nullVariant();
    }
    if (NPObject* const page = retainedPageObject(host, api)) {
        return objectVariant(page);
    }
    return objectVariant(host.getJSAPIWrapper(api, true));
}

// A script object the page does not keep alive.
NPVariant makeWeakScriptObject(NpapiBrowserHost& host, const variant& value) {
    const boost::weak_ptr<JSAPI> weak = value.cast<boost::weak_ptr<JSAPI>>();
    const JSAPIPtr api = weak.lock();
    if (!api) {
        return nullVariant();
    }
    if (NPObject* const page = retainedPageObject(host, api)) {
        return objectVariant(page);
    }
    return objectVariant(host.getJSAPIWrapper(weak, false));
}

// A page object of another binding is handed to the page in an NPObject of
// its own, not cached.
NPVariant makePageObject(NpapiBrowserHost& host, const variant& value) {
    const JSObjectPtr obj = value.cast<JSObjectPtr>();
    if (!obj) {
        return nullVariant();
    }
    if (NPObject* const page = retainedPageObject(host, obj)) {
        return objectVariant(page);
    }
    return objectVariant(
        NPJavascriptObject::NewObject(host.shared_from_this(), boost::weak_ptr<JSAPI>(obj), true));
}

// Numbers: true and false stay booleans, integers that a 32-bit int holds in
// every case become numbers, wider ones decimal text, floating point doubles.
template <class T> constexpr NPVariantBuilder numberBuilder() {
    if constexpr (std::is_same<T, bool>::value) {
        return &makeBool;
    } else if constexpr (std::is_floating_point<T>::value) {
        return &makeDouble;
    } else if constexpr (sizeof(T) < sizeof(std::int32_t) || std::is_same<T, int>::value) {
        return &makeInt;
    } else {
        return &makeText;
    }
}

typedef std::map<std::type_index, NPVariantBuilder> NPVariantBuilderMap;

template <class... Numbers> void addNumberBuilders(NPVariantBuilderMap& builders) {
    ((builders[typeid(Numbers)] = numberBuilder<Numbers>()), ...);
}

NPVariantBuilderMap makeNPVariantBuilderMap() {
    NPVariantBuilderMap builders;
    addNumberBuilders<bool, char, unsigned char, short, unsigned short, int, unsigned int, long,
                      unsigned long, long long, unsigned long long, float, double>(builders);
    builders[typeid(std::string)] = &makeText;
    builders[typeid(std::wstring)] = &makeText;
    builders[typeid(variant_detail::null)] = &makeNull;
    builders[typeid(variant_detail::empty)] = &makeVoid;
    builders[typeid(VariantList)] = &makeList;
    builders[typeid(VariantMap)] = &makeMap;
    builders[typeid(JSAPIPtr)] = &makeScriptObject;
    builders[typeid(boost::weak_ptr<JSAPI>)] = &makeWeakScriptObject;
    builders[typeid(JSObjectPtr)] = &makePageObject;
    return builders;
}

const NPVariantBuilderMap& getNPVariantBuilderMap() {
    static const NPVariantBuilderMap builders = makeNPVariantBuilderMap();
    return builders;
}

// --- Proxy answers -----------------------------------------------------------

std::vector<std::string> splitCompressed(const std::string& text, const char* separators) {
    std::vector<std::string> parts;
    boost::split(parts, text, boost::is_any_of(separators), boost::token_compress_on);
    parts.erase(std::remove(parts.begin(), parts.end(), std::string()), parts.end());
    return parts;
}

// The first entry of a proxy answer ("PROXY host:port; SOCKS host:port"
// and so on) into the settings. False, with the settings untouched, for
// "DIRECT" and for an entry without a type, a host and a port.
bool readProxyAnswer(const std::string& answer, const std::string& url,
                     std::map<std::string, std::string>& settings) {
    const std::string entry = boost::algorithm::trim_copy(answer.substr(0, answer.find(';')));
    const std::vector<std::string> words = splitCompressed(entry, " ");
    if (words.size() < 2) {
        return false;
    }
    const std::vector<std::string> address = splitCompressed(words[1], ":");
    if (address.size() < 2) {
        return false;
    }
    std::string type = words[0];
    if (type == "PROXY") {
        try {
            type = URI::fromString(url).protocol;
        } catch (const std::exception&) {
            return false;
        }
    } else if (type == "SOCKS") {
        type = "socks";
    }
    settings.clear();
    settings["type"] = type;
    settings["hostname"] = address[0];
    settings["port"] = address[1];
    return true;
}

} // namespace

// --- Life ----------------------------------------------------------------------

NpapiBrowserHost::NpapiBrowserHost(NpapiPluginModule* module, NPP npp)
    : m_module(module), m_npp(npp), m_threadAsyncCall(nullptr) {
    checkAssertion(module != nullptr, "module != NULL");
    std::memset(&m_browserFuncs, 0, sizeof m_browserFuncs);
}

// Page objects dropped on other threads after the last release on the main
// thread still go back to the browser, through the module.
NpapiBrowserHost::~NpapiBrowserHost() {
    NPObject* obj = nullptr;
    while (m_deferredReleases.try_pop(obj)) {
        m_module->deferred_release(obj);
    }
}

NpapiBrowserHostPtr NpapiBrowserHost::shared_from_this() {
    return boost::static_pointer_cast<NpapiBrowserHost>(BrowserHost::shared_from_this());
}

boost::shared_ptr<const NpapiBrowserHost> NpapiBrowserHost::shared_from_this() const {
    return boost::static_pointer_cast<const NpapiBrowserHost>(BrowserHost::shared_from_this());
}

void NpapiBrowserHost::setBrowserFuncs(const NPNetscapeFuncs* funcs) {
    copyNPBrowserFuncs(&m_browserFuncs, funcs, m_npp);
    m_threadAsyncCall = m_browserFuncs.pluginthreadasynccall;
    m_window = pageObject(NPNVWindowNPObject);
    m_element = pageObject(NPNVPluginElementNPObject);
    m_document = documentOf(m_window);
}

// The wrapper of what the browser answers for the variable, or nothing when
// the browser gives no object. The wrapper takes its own reference.
NPObjectAPIPtr NpapiBrowserHost::pageObject(NPNVariable variable) {
    NPObject* given = nullptr;
    if (GetValue(variable, &given) != NPERR_NO_ERROR || !given) {
        return NPObjectAPIPtr();
    }
    const NPObjectReference reference(*m_module, given);
    try {
        return boost::make_shared<NPObjectAPI>(given, shared_from_this());
    } catch (const std::exception& e) {
        FBLOG_WARN("NPAPI", std::string("Page object not usable: ") + e.what());
        return NPObjectAPIPtr();
    }
}

NPObjectAPIPtr NpapiBrowserHost::documentOf(const NPObjectAPIPtr& window) {
    if (!window) {
        return NPObjectAPIPtr();
    }
    try {
        return ptr_cast<NPObjectAPI>(window->GetProperty("document").cast<JSObjectPtr>());
    } catch (const std::exception& e) {
        FBLOG_WARN("NPAPI", std::string("The page has no document: ") + e.what());
        return NPObjectAPIPtr();
    }
}

void NpapiBrowserHost::shutdown() {
    std::memset(&m_browserFuncs, 0, sizeof m_browserFuncs);
    m_threadAsyncCall = nullptr;
    BrowserHost::shutdown();
    m_window.reset();
    m_element.reset();
    m_document.reset();
    releaseStreams();
}

// --- Page ------------------------------------------------------------------------

DOM::DocumentPtr NpapiBrowserHost::getDOMDocument() {
    if (!m_document) {
        throw std::runtime_error("Cannot find HTML document");
    }
    return DOM::Document::create(m_document);
}

DOM::WindowPtr NpapiBrowserHost::getDOMWindow() {
    if (!m_window) {
        throw std::runtime_error("Cannot find HTML window");
    }
    return DOM::Window::create(m_window);
}

DOM::ElementPtr NpapiBrowserHost::getDOMElement() {
    if (!m_element) {
        throw std::runtime_error("Cannot find HTML window");
    }
    return DOM::Element::create(m_element);
}

void NpapiBrowserHost::Navigate(const std::string& url, const std::string& target) {
    PushPopupsEnabledState(true);
    GetURL(url.c_str(), target.c_str());
    PopPopupsEnabledState();
}

void NpapiBrowserHost::evaluateJavaScript(const std::string& script) {
    assertMainThread();
    if (!m_window) {
        throw std::runtime_error("Cannot find HTML window");
    }
    NPVariantBlock text(*m_module, 1);
    getNPVariant(&text[0], script);
    NPVariantBlock result(*m_module, 1);
    if (!Evaluate(m_window->getNPObject(), &text[0].value.stringValue, &result[0])) {
        throw script_error("Error executing JavaScript code");
    }
}

bool NpapiBrowserHost::DetectProxySettings(std::map<std::string, std::string>& settings,
                                           const std::string& url) {
    BrowserMemory<char> answer(*m_module);
    std::uint32_t length = 0;
    const NPError result = GetValueForURL(NPNURLVProxy, url.c_str(), answer.out(), &length);
    if (result == NPERR_INCOMPATIBLE_VERSION_ERROR) {
        return BrowserHost::DetectProxySettings(settings, url);
    }
    if (result != NPERR_NO_ERROR || !answer.get()) {
        return false;
    }
    return readProxyAnswer(std::string(answer.get(), length), url, settings);
}

std::string NpapiBrowserHost::userAgentText() const {
    const char* const agent = UserAgent();
    return agent ? agent : "";
}

bool NpapiBrowserHost::isChrome() const {
    return userAgentText().find("Chrome") != std::string::npos;
}

bool NpapiBrowserHost::isFirefox() const {
    return userAgentText().find("Firefox") != std::string::npos;
}

bool NpapiBrowserHost::isSafari() const {
    return userAgentText().find("Safari") != std::string::npos && !isChrome();
}

// --- Main thread and releases ------------------------------------------------------

bool NpapiBrowserHost::_scheduleAsyncCall(void (*func)(void*), void* userData) const {
    if (isShutDown()) {
        return false;
    }
    PluginThreadAsyncCall(func, userData);
    return true;
}

void NpapiBrowserHost::deferred_release(NPObject* obj) const {
    m_deferredReleases.push(obj);
    if (isMainThread()) {
        DoDeferredRelease();
    }
}

void NpapiBrowserHost::DoDeferredRelease() const {
    assertMainThread();
    NPObject* obj = nullptr;
    while (m_deferredReleases.try_pop(obj)) {
        ReleaseObject(obj);
    }
    m_module->DoDeferredRelease();
    for (auto entry = m_wrapperCache.begin(); entry != m_wrapperCache.end();) {
        if (entry->second.expired()) {
            entry = m_wrapperCache.erase(entry);
        } else {
            ++entry;
        }
    }
}

// --- Streams -------------------------------------------------------------------------

namespace {

// What is posted for the request: its own headers, or a form's, then a blank
// line and the data.
std::string postBody(const BrowserStreamRequest& req) {
    const std::string data = req.getPostData();
    std::string body;
    if (!req.getPostHeaders().empty()) {
        body = req.getPostHeaders() + "\n\n";
    } else {
        body = "Content-type: application/x-www-form-urlencoded\n"
               "Content-Length: " +
               std::to_string(data.size()) + "\n\n";
    }
    return body + data;
}

void announceCreated(NpapiStream& stream) {
    StreamCreatedEvent created(&stream);
    stream.SendEvent(&created);
}

} // namespace

// The stream is the request's notify data: the browser's answers about the
// request find it there.
BrowserStreamPtr NpapiBrowserHost::_createStream(const BrowserStreamRequest& req) const {
    assertMainThread();
    const std::string url = req.uri.toString(true);
    const auto stream = boost::make_shared<NpapiStream>(url, req.cache, req.seekable,
                                                        req.bufferSize, shared_from_this());
    if (const PluginEventSinkPtr sink = req.getEventSink()) {
        stream->AttachObserver(sink);
    }
    NPError result = NPERR_GENERIC_ERROR;
    if (req.method == "GET") {
        result = GetURLNotify(url.c_str(), nullptr, stream.get());
    } else {
        const std::string body = postBody(req);
        if (body.size() <= std::numeric_limits<std::uint32_t>::max()) {
            result = PostURLNotify(url.c_str(), nullptr, static_cast<std::uint32_t>(body.size()),
                                   body.data(), false, stream.get());
        }
    }
    if (result != NPERR_NO_ERROR) {
        return BrowserStreamPtr();
    }
    stream->setCreated();
    track(stream);
    announceCreated(*stream);
    return stream;
}

// No URL notification comes for a stream the browser opened by itself.
BrowserStreamPtr NpapiBrowserHost::_createUnsolicitedStream(const BrowserStreamRequest& req) const {
    const std::string url = req.uri.toString(true);
    FBLOG_TRACE("NpapiBrowserStream", "Creating an unsolicited stream with url: " + url);
    const auto stream = boost::make_shared<NpapiStream>(url, false, req.seekable, req.bufferSize,
                                                        shared_from_this());
    stream->setCreated();
    stream->setNotified();
    track(stream);
    announceCreated(*stream);
    return stream;
}

void NpapiBrowserHost::track(const boost::shared_ptr<NpapiStream>& stream) const {
    m_streams.erase(std::remove_if(m_streams.begin(), m_streams.end(),
                                   [](const boost::weak_ptr<NpapiStream>& watched) {
                                       return watched.expired();
                                   }),
                    m_streams.end());
    m_streams.push_back(stream);
}

// The instance is going: a stream still bound lets its NPStream go, and
// every stream its hold on itself.
void NpapiBrowserHost::releaseStreams() {
    std::vector<boost::weak_ptr<NpapiStream>> streams;
    streams.swap(m_streams);
    for (const boost::weak_ptr<NpapiStream>& watched : streams) {
        if (const boost::shared_ptr<NpapiStream> stream = watched.lock()) {
            exceptionBarrier("Releasing a stream", [&] {
                stream->close();
                stream->setDestroyed();
                stream->setNotified();
            });
        }
    }
}

// --- Values ----------------------------------------------------------------------------

variant NpapiBrowserHost::getVariant(const NPVariant* npVar) {
    switch (npVar->type) {
    case NPVariantType_Null:
        return variant_detail::null();
    case NPVariantType_Bool:
        return npVar->value.boolValue;
    case NPVariantType_Int32:
        return static_cast<int>(npVar->value.intValue);
    case NPVariantType_Double:
        return npVar->value.doubleValue;
    case NPVariantType_String:
        return pageText(npVar->value.stringValue);
    case NPVariantType_Object:
        if (!npVar->value.objectValue) {
            return variant_detail::null();
        }
        return JSObjectPtr(
            boost::make_shared<NPObjectAPI>(npVar->value.objectValue, shared_from_this()));
    default:
        return variant_detail::empty();
    }
}

void NpapiBrowserHost::getNPVariant(NPVariant* dst, const variant& value) {
    assertMainThread();
    const NPVariantBuilderMap& builders = getNPVariantBuilderMap();
    const auto found = builders.find(value.get_type());
    *dst = found == builders.end() ? voidVariant() : found->second(*this, value);
}

NPObject* NpapiBrowserHost::getJSAPIWrapper(const boost::weak_ptr<JSAPI>& api, bool autoRelease) {
    assertMainThread();
    const JSAPIPtr ptr = api.lock();
    if (!ptr) {
        return NPJavascriptObject::NewObject(shared_from_this(), api, false);
    }
    if (NPObject* const cached = cachedWrapper(ptr)) {
        return cached;
    }
    NPJavascriptObject* const created =
        NPJavascriptObject::NewObject(shared_from_this(), api, autoRelease);
    if (created) {
        m_wrapperCache[ptr.get()] = created->getWeakReference();
    }
    return created;
}

// An entry whose NPObject is gone, or is bound to an earlier script object
// that lived at the same address, is stale and goes.
NPObject* NpapiBrowserHost::cachedWrapper(const JSAPIPtr& api) {
    const auto found = m_wrapperCache.find(api.get());
    if (found == m_wrapperCache.end()) {
        return nullptr;
    }
    const boost::shared_ptr<ShareableReference<NPJavascriptObject>> reference =
        found->second.lock();
    if (reference && reference->getPtr()->isBoundTo(api)) {
        return RetainObject(reference->getPtr());
    }
    m_wrapperCache.erase(found);
    return nullptr;
}

// --- Browser functions ---------------------------------------------------------------------

NPError NpapiBrowserHost::GetURL(const char* url, const char* target) const {
    assertMainThread();
    return callOr(m_browserFuncs.geturl, NPError(NPERR_GENERIC_ERROR), m_npp, url, target);
}

NPError NpapiBrowserHost::GetURLNotify(const char* url, const char* target,
                                       void* notifyData) const {
    assertMainThread();
    return callOr(m_browserFuncs.geturlnotify, NPError(NPERR_GENERIC_ERROR), m_npp, url, target,
                  notifyData);
}

NPError NpapiBrowserHost::PostURL(const char* url, const char* target, std::uint32_t len,
                                  const char* buf, NPBool file) const {
    assertMainThread();
    return callOr(m_browserFuncs.posturl, NPError(NPERR_GENERIC_ERROR), m_npp, url, target, len,
                  buf, file);
}

NPError NpapiBrowserHost::PostURLNotify(const char* url, const char* target, std::uint32_t len,
                                        const char* buf, NPBool file, void* notifyData) const {
    assertMainThread();
    return callOr(m_browserFuncs.posturlnotify, NPError(NPERR_GENERIC_ERROR), m_npp, url, target,
                  len, buf, file, notifyData);
}

NPError NpapiBrowserHost::RequestRead(NPStream* stream, NPByteRange* rangeList) const {
    assertMainThread();
    return callOr(m_browserFuncs.requestread, NPError(NPERR_GENERIC_ERROR), stream, rangeList);
}

NPError NpapiBrowserHost::NewStream(NPMIMEType type, const char* target, NPStream** stream) const {
    assertMainThread();
    return callOr(m_browserFuncs.newstream, NPError(NPERR_GENERIC_ERROR), m_npp, type, target,
                  stream);
}

std::int32_t NpapiBrowserHost::Write(NPStream* stream, std::int32_t len, void* buffer) const {
    assertMainThread();
    return callOr(m_browserFuncs.write, std::int32_t(0), m_npp, stream, len, buffer);
}

NPError NpapiBrowserHost::DestroyStream(NPStream* stream, NPReason reason) const {
    assertMainThread();
    return callOr(m_browserFuncs.destroystream, NPError(NPERR_GENERIC_ERROR), m_npp, stream,
                  reason);
}

void NpapiBrowserHost::SetStatus(const char* message) const {
    assertMainThread();
    callIfPresent(m_browserFuncs.status, m_npp, message);
}

const char* NpapiBrowserHost::UserAgent() const {
    assertMainThread();
    return callOr(m_browserFuncs.uagent, static_cast<const char*>(nullptr), m_npp);
}

NPError NpapiBrowserHost::GetValue(NPNVariable variable, void* value) const {
    assertMainThread();
    return callOr(m_browserFuncs.getvalue, NPError(NPERR_GENERIC_ERROR), m_npp, variable, value);
}

NPError NpapiBrowserHost::SetValue(NPPVariable variable, void* value) const {
    assertMainThread();
    return callOr(m_browserFuncs.setvalue, NPError(NPERR_GENERIC_ERROR), m_npp, variable, value);
}

void NpapiBrowserHost::InvalidateRect(NPRect* rect) const {
    assertMainThread();
    callIfPresent(m_browserFuncs.invalidaterect, m_npp, rect);
}

void NpapiBrowserHost::InvalidateRect2(const NPRect& rect) const {
    NPRect copy = rect;
    InvalidateRect(&copy);
}

void NpapiBrowserHost::InvalidateRegion(NPRegion region) const {
    assertMainThread();
    callIfPresent(m_browserFuncs.invalidateregion, m_npp, region);
}

void NpapiBrowserHost::ForceRedraw() const {
    assertMainThread();
    callIfPresent(m_browserFuncs.forceredraw, m_npp);
}

void NpapiBrowserHost::PushPopupsEnabledState(bool enabled) const {
    assertMainThread();
    callIfPresent(m_browserFuncs.pushpopupsenabledstate, m_npp, NPBool(enabled));
}

void NpapiBrowserHost::PopPopupsEnabledState() const {
    assertMainThread();
    callIfPresent(m_browserFuncs.poppopupsenabledstate, m_npp);
}

NPObject* NpapiBrowserHost::CreateObject(NPClass* aClass) const {
    assertMainThread();
    return callOr(m_browserFuncs.createobject, static_cast<NPObject*>(nullptr), m_npp, aClass);
}

bool NpapiBrowserHost::Invoke(NPObject* obj, NPIdentifier name, const NPVariant* args,
                              std::uint32_t count, NPVariant* result) const {
    assertMainThread();
    return callOr(m_browserFuncs.invoke, false, m_npp, obj, name, args, count, result);
}

bool NpapiBrowserHost::InvokeDefault(NPObject* obj, const NPVariant* args, std::uint32_t count,
                                     NPVariant* result) const {
    assertMainThread();
    return callOr(m_browserFuncs.invokeDefault, false, m_npp, obj, args, count, result);
}

bool NpapiBrowserHost::Evaluate(NPObject* obj, NPString* script, NPVariant* result) const {
    assertMainThread();
    return callOr(m_browserFuncs.evaluate, false, m_npp, obj, script, result);
}

bool NpapiBrowserHost::GetProperty(NPObject* obj, NPIdentifier name, NPVariant* result) const {
    assertMainThread();
    return callOr(m_browserFuncs.getproperty, false, m_npp, obj, name, result);
}

bool NpapiBrowserHost::SetProperty(NPObject* obj, NPIdentifier name, const NPVariant* value) const {
    assertMainThread();
    return callOr(m_browserFuncs.setproperty, false, m_npp, obj, name, value);
}

bool NpapiBrowserHost::RemoveProperty(NPObject* obj, NPIdentifier name) const {
    assertMainThread();
    return callOr(m_browserFuncs.removeproperty, false, m_npp, obj, name);
}

bool NpapiBrowserHost::HasProperty(NPObject* obj, NPIdentifier name) const {
    assertMainThread();
    return callOr(m_browserFuncs.hasproperty, false, m_npp, obj, name);
}

bool NpapiBrowserHost::HasMethod(NPObject* obj, NPIdentifier name) const {
    assertMainThread();
    return callOr(m_browserFuncs.hasmethod, false, m_npp, obj, name);
}

bool NpapiBrowserHost::Enumerate(NPObject* obj, NPIdentifier** identifiers,
                                 std::uint32_t* count) const {
    assertMainThread();
    return callOr(m_browserFuncs.enumerate, false, m_npp, obj, identifiers, count);
}

bool NpapiBrowserHost::Construct(NPObject* obj, const NPVariant* args, std::uint32_t count,
                                 NPVariant* result) const {
    assertMainThread();
    return callOr(m_browserFuncs.construct, false, m_npp, obj, args, count, result);
}

void NpapiBrowserHost::SetException(NPObject* obj, const NPUTF8* message) const {
    assertMainThread();
    callIfPresent(m_browserFuncs.setexception, obj, message);
}

std::uint32_t NpapiBrowserHost::ScheduleTimer(std::uint32_t interval, bool repeat,
                                              void (*func)(NPP npp, std::uint32_t timerID)) const {
    return callOr(m_browserFuncs.scheduletimer, std::uint32_t(0), m_npp, interval, NPBool(repeat),
                  func);
}

void NpapiBrowserHost::UnscheduleTimer(std::uint32_t timerID) const {
    callIfPresent(m_browserFuncs.unscheduletimer, m_npp, timerID);
}

void NpapiBrowserHost::PluginThreadAsyncCall(void (*func)(void*), void* userData) const {
    callIfPresent(m_threadAsyncCall.load(), m_npp, func, userData);
}

NPError NpapiBrowserHost::GetValueForURL(NPNURLVariable variable, const char* url, char** value,
                                         std::uint32_t* len) const {
    return callOr(m_browserFuncs.getvalueforurl, NPError(NPERR_INCOMPATIBLE_VERSION_ERROR), m_npp,
                  variable, url, value, len);
}

NPError NpapiBrowserHost::SetValueForURL(NPNURLVariable variable, const char* url,
                                         const char* value, std::uint32_t len) const {
    return callOr(m_browserFuncs.setvalueforurl, NPError(NPERR_INCOMPATIBLE_VERSION_ERROR), m_npp,
                  variable, url, value, len);
}

NPError NpapiBrowserHost::GetAuthenticationInfo(const char* protocol, const char* host,
                                                std::int32_t port, const char* scheme,
                                                const char* realm, char** username,
                                                std::uint32_t* ulen, char** password,
                                                std::uint32_t* plen) const {
    return callOr(m_browserFuncs.getauthenticationinfo, NPError(NPERR_INCOMPATIBLE_VERSION_ERROR),
                  m_npp, protocol, host, port, scheme, realm, username, ulen, password, plen);
}

void* NpapiBrowserHost::MemAlloc(std::uint32_t size) const {
    return m_module->MemAlloc(size);
}

void NpapiBrowserHost::MemFree(void* ptr) const {
    m_module->MemFree(ptr);
}

std::uint32_t NpapiBrowserHost::MemFlush(std::uint32_t size) const {
    return m_module->MemFlush(size);
}

NPObject* NpapiBrowserHost::RetainObject(NPObject* obj) const {
    assertMainThread();
    return m_module->RetainObject(obj);
}

void NpapiBrowserHost::ReleaseObject(NPObject* obj) const {
    assertMainThread();
    m_module->ReleaseObject(obj);
}

void NpapiBrowserHost::ReleaseVariantValue(NPVariant* variant) const {
    assertMainThread();
    m_module->ReleaseVariantValue(variant);
}

NPIdentifier NpapiBrowserHost::GetStringIdentifier(const NPUTF8* name) const {
    assertMainThread();
    return m_module->GetStringIdentifier(name);
}

void NpapiBrowserHost::GetStringIdentifiers(const NPUTF8** names, std::int32_t nameCount,
                                            NPIdentifier* identifiers) const {
    assertMainThread();
    m_module->GetStringIdentifiers(names, nameCount, identifiers);
}

NPIdentifier NpapiBrowserHost::GetIntIdentifier(std::int32_t intid) const {
    assertMainThread();
    return m_module->GetIntIdentifier(intid);
}

bool NpapiBrowserHost::IdentifierIsString(NPIdentifier identifier) const {
    assertMainThread();
    return m_module->IdentifierIsString(identifier);
}

NPUTF8* NpapiBrowserHost::UTF8FromIdentifier(NPIdentifier identifier) const {
    assertMainThread();
    return m_module->UTF8FromIdentifier(identifier);
}

std::string NpapiBrowserHost::StringFromIdentifier(NPIdentifier identifier) const {
    assertMainThread();
    return m_module->StringFromIdentifier(identifier);
}

std::int32_t NpapiBrowserHost::IntFromIdentifier(NPIdentifier identifier) const {
    assertMainThread();
    return m_module->IntFromIdentifier(identifier);
}

} // namespace Npapi
} // namespace FB
