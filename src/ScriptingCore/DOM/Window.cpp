#include "DOM/Window.h"

#include "DOM/Document.h"
#include "utf8_tools.h"
#include "variant_list.h"

namespace FB {
namespace DOM {

WindowPtr Window::create(const JSObjectPtr& obj) {
    return createThroughHost(obj, &BrowserHost::_createWindow);
}

DocumentPtr Window::getDocument() const {
    return Document::create(getProperty<JSObjectPtr>("document"));
}

void Window::alert(const std::string& str) const {
    callMethod<void>("alert", variant_list_of(str));
}

void Window::alert(const std::wstring& str) const {
    alert(wstring_to_utf8(str));
}

JSObjectPtr Window::createArray() const {
    return callMethod<JSObjectPtr>("Array", VariantList());
}

JSObjectPtr Window::createMap() const {
    return callMethod<JSObjectPtr>("Object", VariantList());
}

std::string Window::getLocation() const {
    const NodePtr location = getNode("location");
    return location ? location->getProperty<std::string>("href") : std::string();
}

} // namespace DOM
} // namespace FB
