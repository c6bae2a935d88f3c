#include <testbrowser/Page.h>

#include "PageObjects.h"
#include "ScriptText.h"

#include <testbrowser/Browser.h>

#include <MacStandIn/RunLoop.h>

#include <duktape.h>
#include <gumbo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace testbrowser {

namespace {

// The page's own DOM: window is the global object; document finds elements
// by id, and document.body.removeChild takes an element found so out of the
// document, destroying the plug-in of an object element at once
// (destroyPlugin).
const char* const kPrelude = R"JS(
(function (global, destroyPlugin) {
    var elements = {};
    global.window = global;
    global.document = {
        getElementById: function (id) {
            return Object.prototype.hasOwnProperty.call(elements, id) ? elements[id] : null;
        },
        body: {
            removeChild: function (element) {
                for (var id in elements) {
                    if (elements[id] === element) {
                        delete elements[id];
                        destroyPlugin(element);
                        return element;
                    }
                }
                throw new Error('NotFoundError: the element is not in the document');
            }
        }
    };
    return {
        make: function (tag, attributes, target) {
            var element = target || {};
            element.tagName = tag.toUpperCase();
            element.attributes = attributes;
            element.getAttribute = function (name) {
                return Object.prototype.hasOwnProperty.call(attributes, name) ? attributes[name] : null;
            };
            for (var name in attributes)
                if (!(name in element)) element[name] = attributes[name];
            return element;
        },
        register: function (id, element) { if (id) elements[id] = element; }
    };
})
)JS";

Page& pageOf(duk_context* context) {
    duk_memory_functions functions;
    duk_get_memory_functions(context, &functions);
    return *static_cast<Page*>(functions.udata);
}

void fatal(void*, const char* message) {
    std::fprintf(stderr, "velmora-browser: script engine failure: %s\n", message);
    std::abort();
}

std::string errorText(duk_context* context, duk_idx_t index) {
    const char* text = duk_safe_to_string(context, index);
    return toUtf8(text, std::strlen(text));
}

duk_ret_t consoleLog(duk_context* context) {
    duk_idx_t count = duk_get_top(context);
    for (duk_idx_t i = 0; i < count; ++i)
        duk_safe_to_string(context, i);
    duk_push_string(context, " ");
    duk_insert(context, 0);
    duk_join(context, count);
    duk_size_t length = 0;
    const char* line = duk_get_lstring(context, -1, &length);
    pageOf(context).browser().consoleLog(toUtf8(line, length));
    return 0;
}

// destroyPlugin(element): NPP_Destroy, within the call, for the instance of
// an object element (a Proxy, whose target holds the instance's key);
// nothing for other elements.
duk_ret_t destroyPluginEntry(duk_context* context) {
    if (PluginInstance* instance = pageOf(context).objects().elementInstance(0))
        instance->destroy();
    return 0;
}

duk_ret_t setTimeoutEntry(duk_context* context) {
    duk_idx_t count = duk_get_top(context);
    if (!duk_is_callable(context, 0) && !duk_is_string(context, 0))
        return duk_type_error(context, "setTimeout needs a function or a script");
    double delay = count > 1 ? duk_to_number(context, 1) : 0;
    auto milliseconds = static_cast<uint32_t>(delay > 0 && delay < 4e9 ? delay : 0);
    // The callback and its extra arguments wait in the stash under the timer's id.
    duk_push_array(context);
    duk_dup(context, 0);
    duk_put_prop_index(context, -2, 0);
    for (duk_idx_t i = 2; i < count; ++i) {
        duk_dup(context, i);
        duk_put_prop_index(context, -2, static_cast<duk_uarridx_t>(i - 1));
    }
    uint32_t id = pageOf(context).addTimeout(milliseconds);
    duk_push_heap_stash(context);
    duk_get_prop_string(context, -1, "timeouts");
    duk_dup(context, -3);
    duk_put_prop_index(context, -2, id);
    duk_push_uint(context, id);
    return 1;
}

duk_ret_t clearTimeoutEntry(duk_context* context) {
    auto id = static_cast<uint32_t>(duk_to_uint32(context, 0));
    pageOf(context).cancelTimeout(id);
    return 0;
}

duk_ret_t runTimeout(duk_context* context, void*) {
    // The entry on top of the caller's stack: the callback, then its arguments.
    duk_idx_t entry = duk_get_top_index(context);
    auto length = static_cast<duk_idx_t>(duk_get_length(context, entry));
    duk_get_prop_index(context, entry, 0);
    if (duk_is_string(context, -1)) {
        duk_eval(context);
        return 0;
    }
    duk_push_undefined(context);
    for (duk_idx_t i = 1; i < length; ++i)
        duk_get_prop_index(context, entry, static_cast<duk_uarridx_t>(i));
    duk_call_method(context, length - 1);
    return 0;
}

std::string textOf(const GumboNode* node) {
    std::string text;
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA ||
            child->type == GUMBO_NODE_WHITESPACE)
            text += child->v.text.text;
    }
    return text;
}

const char* attribute(const GumboNode* node, const char* name) {
    const GumboAttribute* found = gumbo_get_attribute(&node->v.element.attributes, name);
    return found ? found->value : nullptr;
}

std::string tagName(const GumboNode* node) {
    if (node->v.element.tag != GUMBO_TAG_UNKNOWN)
        return gumbo_normalized_tagname(node->v.element.tag);
    GumboStringPiece piece = node->v.element.original_tag;
    gumbo_tag_from_original_text(&piece);
    return std::string(piece.data, piece.length);
}

using Arguments = std::vector<std::pair<std::string, std::string>>;

// The attributes, then the <param>s, in markup order: the NPP_New arguments.
Arguments objectArguments(const GumboNode* node) {
    Arguments arguments;
    const GumboVector& attributes = node->v.element.attributes;
    for (unsigned i = 0; i < attributes.length; ++i) {
        auto* a = static_cast<const GumboAttribute*>(attributes.data[i]);
        arguments.emplace_back(a->name, a->value);
    }
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (child->type != GUMBO_NODE_ELEMENT || child->v.element.tag != GUMBO_TAG_PARAM)
            continue;
        const char* name = attribute(child, "name");
        const char* value = attribute(child, "value");
        if (name)
            arguments.emplace_back(name, value ? value : "");
    }
    return arguments;
}

uint32_t dimension(const char* text) {
    if (!text)
        return 0;
    long value = std::strtol(text, nullptr, 10);
    return value > 0 && value < 65536 ? static_cast<uint32_t>(value) : 0;
}

} // namespace

Page::Page(Browser& browser, const std::string& html)
    : m_browser(browser), m_html(html),
      m_context(duk_create_heap(nullptr, nullptr, nullptr, this, fatal)) {
    if (!m_context)
        throw std::runtime_error("cannot create the page's script heap");
    m_objects = std::make_unique<PageObjects>(*this, m_context);
    installGlobals();
}

Page::~Page() {
    destroyInstances();
    for (const auto& timeout : m_timeouts)
        macos::RunLoop::main().cancelTimer(timeout.second);
    m_objects->detachAll();
    duk_destroy_heap(m_context);
}

void Page::installGlobals() {
    duk_context* ctx = m_context;
    m_objects->installHandlers();
    duk_push_heap_stash(ctx);
    duk_push_array(ctx);
    duk_put_prop_string(ctx, -2, "timeouts");
    if (duk_peval_string(ctx, kPrelude) != 0)
        throw std::runtime_error("page prelude failed: " + errorText(ctx, -1));
    duk_push_global_object(ctx);
    duk_push_c_function(ctx, destroyPluginEntry, 1);
    if (duk_pcall(ctx, 2) != 0)
        throw std::runtime_error("page prelude failed: " + errorText(ctx, -1));
    duk_put_prop_string(ctx, -2, "dom");
    duk_pop(ctx);

    duk_push_global_object(ctx);
    duk_push_object(ctx);
    duk_push_c_function(ctx, consoleLog, DUK_VARARGS);
    duk_put_prop_string(ctx, -2, "log");
    duk_put_prop_string(ctx, -2, "console");
    duk_push_c_function(ctx, setTimeoutEntry, DUK_VARARGS);
    duk_put_prop_string(ctx, -2, "setTimeout");
    duk_push_c_function(ctx, clearTimeoutEntry, 1);
    duk_put_prop_string(ctx, -2, "clearTimeout");
    duk_pop(ctx);
}

void Page::load() {
    GumboOutput* output =
        gumbo_parse_with_options(&kGumboDefaultOptions, m_html.data(), m_html.size());
    std::vector<const GumboNode*> pending{output->root};
    try {
        while (!pending.empty()) {
            const GumboNode* node = pending.back();
            pending.pop_back();
            if (node->type != GUMBO_NODE_ELEMENT)
                continue;
            GumboTag tag = node->v.element.tag;
            const char* id = attribute(node, "id");
            if (tag == GUMBO_TAG_SCRIPT) {
                runScript(textOf(node));
                continue;
            }
            const char* type = attribute(node, "type");
            if (tag == GUMBO_TAG_OBJECT && type && m_browser.options().mimeType == type) {
                createInstance(id ? id : "", node->v.element.attributes.length,
                               objectArguments(node));
                continue; // fallback content is not shown when the plug-in loads
            }
            duk_push_heap_stash(m_context);
            duk_get_prop_string(m_context, -1, "dom");
            duk_push_string(m_context, "register");
            duk_push_string(m_context, id ? id : "");
            duk_get_prop_string(m_context, -3, "make");
            duk_push_string(m_context, tagName(node).c_str());
            duk_push_object(m_context);
            const GumboVector& attributes = node->v.element.attributes;
            for (unsigned i = 0; i < attributes.length; ++i) {
                auto* a = static_cast<const GumboAttribute*>(attributes.data[i]);
                duk_push_string(m_context, toCesu(a->value).c_str());
                duk_put_prop_string(m_context, -2, toCesu(a->name).c_str());
            }
            duk_call(m_context, 2);
            duk_call_prop(m_context, -4, 2);
            duk_pop_3(m_context);
            const GumboVector& children = node->v.element.children;
            for (unsigned i = children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
        }
    } catch (...) {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
        throw;
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
}

void Page::createInstance(const std::string& id, size_t attributeCount,
                          const Arguments& arguments) {
    PluginModule* module = m_browser.module();
    if (!module)
        return;
    auto instance = std::make_unique<PluginInstance>(m_browser, module, id, arguments);
    PluginInstance& created = *instance;
    m_instances.push_back(std::move(instance));
    uint32_t width = 0, height = 0;
    for (const auto& [name, value] : arguments) {
        if (name == "width")
            width = dimension(value.c_str());
        else if (name == "height")
            height = dimension(value.c_str());
    }
    // The element is in the document before its plug-in starts, as in a
    // browser, so that page code the plug-in calls while starting finds it.
    duk_context* ctx = m_context;
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, "dom");
    duk_get_prop_string(ctx, -1, "make");
    duk_push_string(ctx, "object");
    duk_push_object(ctx);
    for (size_t i = 0; i < attributeCount && i < arguments.size(); ++i) {
        duk_push_string(ctx, toCesu(arguments[i].second).c_str());
        duk_put_prop_string(ctx, -2, toCesu(arguments[i].first).c_str());
    }
    m_objects->pushCallableTarget();
    duk_call(ctx, 3);
    m_objects->pushElementProxy(-1, created);
    duk_remove(ctx, -2);
    duk_push_string(ctx, "register");
    duk_push_string(ctx, toCesu(id).c_str());
    duk_dup(ctx, -3);
    duk_call_prop(ctx, -5, 2);
    duk_pop_n(ctx, 4);
    created.create(m_browser.options().mimeType, width, height);
}

void Page::runScript(const std::string& source) {
    evaluate(source);
}

bool Page::evaluate(const std::string& script, std::string* result) {
    std::string cesu = toCesu(script);
    bool ok = duk_peval_lstring(m_context, cesu.data(), cesu.size()) == DUK_EXEC_SUCCESS;
    if (!ok)
        reportError(errorText(m_context, -1));
    else if (result)
        *result = errorText(m_context, -1);
    duk_pop(m_context);
    return ok;
}

std::string Page::eval(const std::string& script) {
    std::string cesu = toCesu(script);
    bool ok = duk_peval_lstring(m_context, cesu.data(), cesu.size()) == DUK_EXEC_SUCCESS;
    std::string text = errorText(m_context, -1);
    duk_pop(m_context);
    if (!ok)
        throw std::runtime_error(text);
    return text;
}

std::string Page::call(const std::string& function) {
    duk_push_global_object(m_context);
    duk_push_string(m_context, toCesu(function).c_str());
    bool ok = duk_pcall_prop(m_context, -2, 0) == DUK_EXEC_SUCCESS;
    std::string text = errorText(m_context, -1);
    duk_pop_2(m_context);
    if (!ok)
        throw std::runtime_error(text);
    return text;
}

void Page::reportError(const std::string& message) {
    m_browser.pageError(message);
}

std::vector<PluginInstance*> Page::instances() {
    std::vector<PluginInstance*> all;
    for (auto& instance : m_instances)
        all.push_back(instance.get());
    return all;
}

PluginInstance* Page::instance(const std::string& elementId) {
    for (auto& instance : m_instances)
        if (instance->elementId() == elementId)
            return instance.get();
    return nullptr;
}

PluginInstance& Page::createDetachedInstance(const std::string& elementId) {
    m_instances.push_back(
        std::make_unique<PluginInstance>(m_browser, nullptr, elementId, Arguments{}));
    return *m_instances.back();
}

void Page::removeInstance(PluginInstance& instance) {
    instance.destroy();
    for (auto it = m_instances.begin(); it != m_instances.end(); ++it)
        if (it->get() == &instance) {
            m_instances.erase(it);
            return;
        }
}

void Page::destroyInstances() {
    while (!m_instances.empty()) {
        m_instances.front()->destroy();
        m_instances.erase(m_instances.begin());
    }
}

void Page::forgetInstanceObjects(NPP npp) {
    m_objects->forgetInstance(npp);
}

NPObject* Page::windowObject() {
    duk_push_global_object(m_context);
    NPObject* window = m_objects->wrap(-1);
    duk_pop(m_context);
    return window;
}

NPObject* Page::elementObject(const std::string& elementId) {
    duk_push_global_object(m_context);
    duk_get_prop_string(m_context, -1, "document");
    duk_push_string(m_context, "getElementById");
    duk_push_string(m_context, toCesu(elementId).c_str());
    NPObject* element = nullptr;
    if (duk_pcall_prop(m_context, -3, 1) == DUK_EXEC_SUCCESS && duk_is_object(m_context, -1))
        element = m_objects->wrap(-1);
    duk_pop_3(m_context);
    return element;
}

uint32_t Page::addTimeout(uint32_t delayMilliseconds) {
    uint32_t id = ++m_lastTimeout;
    m_timeouts[id] = macos::RunLoop::main().addTimer(
        std::chrono::milliseconds(delayMilliseconds), std::chrono::milliseconds(0), [this, id] {
            m_timeouts.erase(id);
            duk_push_heap_stash(m_context);
            duk_get_prop_string(m_context, -1, "timeouts");
            duk_get_prop_index(m_context, -1, id);
            duk_del_prop_index(m_context, -2, id);
            if (duk_safe_call(m_context, runTimeout, nullptr, 1, 1) != DUK_EXEC_SUCCESS)
                reportError(errorText(m_context, -1));
            duk_pop_3(m_context);
        });
    return id;
}

void Page::cancelTimeout(uint32_t id) {
    auto found = m_timeouts.find(id);
    if (found == m_timeouts.end())
        return;
    macos::RunLoop::main().cancelTimer(found->second);
    m_timeouts.erase(found);
    duk_push_heap_stash(m_context);
    duk_get_prop_string(m_context, -1, "timeouts");
    duk_del_prop_index(m_context, -1, id);
    duk_pop_2(m_context);
}

} // namespace testbrowser
