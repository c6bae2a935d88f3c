#include "DOM/Document.h"

#include "DOM/Window.h"
#include "variant_list.h"

namespace FB {
namespace DOM {

DocumentPtr Document::create(const JSObjectPtr& obj) {
    return createThroughHost(obj, &BrowserHost::_createDocument);
}

WindowPtr Document::getWindow() const {
    return Window::create(getProperty<JSObjectPtr>("window"));
}

ElementPtr Document::getBody() const {
    return Element::create(getProperty<JSObjectPtr>("body"));
}

ElementPtr Document::createElement(const std::string& name) const {
    return Element::create(callMethod<JSObjectPtr>("createElement", variant_list_of(name)));
}

} // namespace DOM
} // namespace FB
