#pragma once

// FB::DOM::Document: the page's document: its window, its body and new
// elements.

#include "DOM/Element.h"

#include <string>

namespace FB {
namespace DOM {

class Document : public virtual Element {
public:
    explicit Document(const JSObjectPtr& element) : Node(element), Element(element) {}

    // A wrapper made by obj's host, or an empty pointer for an empty obj.
    static DocumentPtr create(const JSObjectPtr& obj);

    virtual WindowPtr getWindow() const;
    virtual ElementPtr getBody() const;
    virtual ElementPtr createElement(const std::string& name) const;
};

} // namespace DOM
} // namespace FB
