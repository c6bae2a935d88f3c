#include "DOM/Node.h"

#include "utf8_tools.h"
#include "variant_list.h"

namespace FB {
namespace DOM {

NodePtr Node::create(const JSObjectPtr& obj) {
    return createThroughHost(obj, &BrowserHost::_createNode);
}

NodePtr Node::getNode(const std::wstring& name) const {
    return getNode(wstring_to_utf8(name));
}

NodePtr Node::getNode(const std::string& name) const {
    return Node::create(getProperty<JSObjectPtr>(name));
}

NodePtr Node::getNode(int index) const {
    return Node::create(getProperty<JSObjectPtr>(index));
}

void Node::setProperty(const std::wstring& name, const variant& value) const {
    setProperty(wstring_to_utf8(name), value);
}

void Node::setProperty(const std::string& name, const variant& value) const {
    if (m_jsObject) {
        m_jsObject->SetProperty(name, value);
    }
}

void Node::setProperty(int index, const variant& value) const {
    if (m_jsObject) {
        m_jsObject->SetProperty(index, value);
    }
}

NodePtr Node::appendChild(NodePtr node) {
    if (!node || !node->getJSObject()) {
        return NodePtr();
    }
    return Node::create(
        callMethod<JSObjectPtr>("appendChild", variant_list_of(node->getJSObject())));
}

} // namespace DOM
} // namespace FB
