#pragma once

// FB::DOM::Element: a page element: its markup, size, child and parent
// nodes, attributes and the elements it contains.

#include "DOM/Node.h"

#include <string>
#include <vector>

namespace FB {
namespace DOM {

class Element : public virtual Node {
public:
    explicit Element(const JSObjectPtr& element) : Node(element) {}
    virtual ~Element() = default;

    // A wrapper made by obj's host, or an empty pointer for an empty obj.
    static ElementPtr create(const JSObjectPtr& obj);

    virtual std::string getInnerHTML() const;
    virtual void setInnerHTML(const std::string& html) const;
    virtual int getWidth() const;
    virtual void setWidth(int width) const;
    virtual int getScrollWidth() const;
    virtual int getHeight() const;
    virtual void setHeight(int height) const;
    virtual int getScrollHeight() const;
    virtual int getChildNodeCount() const;
    virtual ElementPtr getChildNode(int index) const;
    virtual ElementPtr getParentNode() const;
    // Wraps the property's page object directly as an Element, not through
    // the host.
    virtual ElementPtr getElement(const std::string& name) const;
    virtual ElementPtr getElement(int index) const;
    virtual std::string getStringAttribute(const std::string& attr) const;
    virtual ElementPtr getElementById(const std::string& id) const;
    virtual std::vector<ElementPtr> getElementsByTagName(const std::string& tagName) const;
    virtual std::vector<ElementPtr> getElementsByTagName(const std::wstring& tagName) const;
};

} // namespace DOM
} // namespace FB
