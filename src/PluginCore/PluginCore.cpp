#include "PluginCore.h"

#include "BrowserHost.h"
#include "BrowserStreamRequest.h"
#include "DOM/Window.h"
#include "JSObject.h"
#include "PluginWindow.h"
#include "logging.h"
#include "variant_list.h"

#include <stdexcept>

namespace FB {

namespace {

const int onloadDelayMs = 250;

bool namesEventHandler(const std::string& key) {
    return key.compare(0, 2, "on") == 0;
}

} // namespace

std::atomic<int> PluginCore::ActivePluginCount(0);
std::string PluginCore::OS;
std::string PluginCore::Browser;

PluginCore::PluginCore()
    : m_Window(nullptr), m_windowless(boost::logic::indeterminate), m_scriptingOnly(false) {
    Log::initLogging();
    ++ActivePluginCount;
}

// A failing host shutdown must not leave the destructor.
PluginCore::~PluginCore() {
    if (m_host) {
        try {
            m_host->shutdown();
        } catch (const std::exception& e) {
            FBLOG_WARN("PluginCore", std::string("Host failed to shut down: ") + e.what());
        } catch (...) {
            FBLOG_WARN("PluginCore", "Host failed to shut down");
        }
    }
    --ActivePluginCount;
}

void PluginCore::setPlatform(const std::string& os, const std::string& browser) {
    OS = os;
    Browser = browser;
    FBLOG_INFO("PluginCore", "os: " + os + "; browser: " + browser);
}

int PluginCore::getActivePluginCount() {
    return ActivePluginCount;
}

void PluginCore::SetHost(const boost::shared_ptr<BrowserHost>& host) {
    m_host = host;
}

void PluginCore::SetWindow(PluginWindow* win) {
    FBLOG_TRACE("PluginCore", "Window Set");
    if (win == m_Window) {
        return;
    }
    if (m_Window) {
        ClearWindow();
    }
    m_Window = win;
    if (win) {
        win->AttachObserver(this);
    }
}

void PluginCore::ClearWindow() {
    FBLOG_TRACE("PluginCore", "Window Cleared");
    if (!m_Window) {
        return;
    }
    m_Window->DetachObserver(this);
    m_Window = nullptr;
}

bool PluginCore::setReady() {
    FBLOG_TRACE("PluginCore", "Plugin Ready");
    bool scheduled = false;
    try {
        scheduled = scheduleOnload();
    } catch (...) {
    }
    onPluginReady();
    return scheduled;
}

bool PluginCore::scheduleOnload() {
    const VariantMap::const_iterator onload = m_params.find("onload");
    if (onload == m_params.end() || !m_host) {
        return false;
    }
    const variant handlerValue = onload->second;
    m_host->initJS(this);
    const JSObjectPtr handler = handlerValue.convert_cast<JSObjectPtr>();
    if (!handler) {
        return false;
    }
    FBLOG_TRACE("PluginCore", "InvokeDelayed(onload)");
    return m_host->delayedInvoke(onloadDelayMs, handler, variant_list_of(getRootJSAPI()), "") != -1;
}

JSAPIPtr PluginCore::getRootJSAPI() {
    if (!m_api) {
        m_api = createJSAPI();
    }
    return m_api;
}

bool PluginCore::isWindowless() {
    if (!boost::logic::indeterminate(m_windowless)) {
        return static_cast<bool>(m_windowless);
    }
    m_windowless = false;
    const VariantMap::const_iterator windowless = m_params.find("windowless");
    if (windowless != m_params.end()) {
        try {
            m_windowless = windowless->second.convert_cast<bool>();
        } catch (const bad_variant_cast&) {
        }
    }
    return static_cast<bool>(m_windowless);
}

void PluginCore::setParams(const VariantMap& inParams) {
    for (const VariantMap::value_type& param : inParams) {
        const std::string key = param.first;
        try {
            const std::string value = param.second.convert_cast<std::string>();
            if (namesEventHandler(key)) {
                const variant handler = eventHandler(value);
                FBLOG_TRACE("PluginCore", "Found <param> event handler: " + key);
                m_params[key] = handler;
            } else {
                m_params[key] = param.second;
            }
        } catch (const std::exception& e) {
            FBLOG_WARN("PluginCore",
                       "Exception processing <param> " + key + ": " + std::string(e.what()));
            m_params[key] = param.second;
        }
    }
}

// The page object the window holds under name; an undefined or null
// property gives an empty reference, any other non-object value raises.
variant PluginCore::eventHandler(const std::string& name) const {
    if (!m_host) {
        throw std::runtime_error("No browser host");
    }
    const DOM::WindowPtr window = m_host->getDOMWindow();
    if (!window) {
        throw std::runtime_error("Cannot find HTML window");
    }
    return window->getProperty<JSObjectPtr>(name);
}

boost::optional<std::string> PluginCore::getParam(const std::string& key) {
    const VariantMap::const_iterator found = m_params.find(key);
    if (found == m_params.end()) {
        return boost::optional<std::string>();
    }
    return found->second.convert_cast<std::string>();
}

variant PluginCore::getParamVariant(const std::string& key) {
    const VariantMap::const_iterator found = m_params.find(key);
    return found == m_params.end() ? variant() : found->second;
}

void PluginCore::handleUnsolicitedStream(BrowserStreamRequest&) {}

} // namespace FB
