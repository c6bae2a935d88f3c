#include "DOM/Element.h"

#include "utf8_tools.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>

namespace FB {
namespace DOM {

namespace {

ElementPtr wrapDirectly(const JSObjectPtr& obj) {
    return obj ? boost::make_shared<Element>(obj) : ElementPtr();
}

} // namespace

ElementPtr Element::create(const JSObjectPtr& obj) {
    return createThroughHost(obj, &BrowserHost::_createElement);
}

std::string Element::getInnerHTML() const {
    return getProperty<std::string>("innerHTML");
}

void Element::setInnerHTML(const std::string& html) const {
    setProperty("innerHTML", html);
}

int Element::getWidth() const {
    return getProperty<int>("width");
}

void Element::setWidth(int width) const {
    setProperty("width", width);
}

int Element::getScrollWidth() const {
    return getProperty<int>("scrollWidth");
}

int Element::getHeight() const {
    return getProperty<int>("height");
}

void Element::setHeight(int height) const {
    setProperty("height", height);
}

int Element::getScrollHeight() const {
    return getProperty<int>("scrollHeight");
}

int Element::getChildNodeCount() const {
    const NodePtr childNodes = getNode("childNodes");
    return childNodes ? childNodes->getProperty<int>("length") : 0;
}

ElementPtr Element::getChildNode(int index) const {
    const ElementPtr childNodes = getElement("childNodes");
    return childNodes ? childNodes->getElement(index) : ElementPtr();
}

ElementPtr Element::getParentNode() const {
    return getElement("parentNode");
}

ElementPtr Element::getElement(const std::string& name) const {
    return wrapDirectly(getProperty<JSObjectPtr>(name));
}

ElementPtr Element::getElement(int index) const {
    return wrapDirectly(getProperty<JSObjectPtr>(index));
}

std::string Element::getStringAttribute(const std::string& attr) const {
    return callMethod<std::string>("getAttribute", variant_list_of(attr));
}

ElementPtr Element::getElementById(const std::string& id) const {
    return Element::create(callMethod<JSObjectPtr>("getElementById", variant_list_of(id)));
}

std::vector<ElementPtr> Element::getElementsByTagName(const std::string& tagName) const {
    const std::vector<JSObjectPtr> found =
        callMethod<std::vector<JSObjectPtr>>("getElementsByTagName", variant_list_of(tagName));
    std::vector<ElementPtr> elements;
    for (const JSObjectPtr& obj : found) {
        elements.push_back(Element::create(obj));
    }
    return elements;
}

std::vector<ElementPtr> Element::getElementsByTagName(const std::wstring& tagName) const {
    return getElementsByTagName(wstring_to_utf8(tagName));
}

} // namespace DOM
} // namespace FB
