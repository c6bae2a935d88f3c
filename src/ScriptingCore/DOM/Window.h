#pragma once

// FB::DOM::Window: the page's window: its document, alerts, new script
// arrays and objects, and its location.

#include "DOM/Node.h"

#include <string>

namespace FB {
namespace DOM {

class Window : public virtual Node {
public:
    explicit Window(const JSObjectPtr& element) : Node(element) {}
    virtual ~Window() = default;

    // A wrapper made by obj's host, or an empty pointer for an empty obj.
    static WindowPtr create(const JSObjectPtr& obj);

    virtual DocumentPtr getDocument() const;
    virtual void alert(const std::string& str) const;
    virtual void alert(const std::wstring& str) const;
    // The page's new array and object themselves, not wrapped.
    virtual JSObjectPtr createArray() const;
    virtual JSObjectPtr createMap() const;
    virtual std::string getLocation() const;
};

} // namespace DOM
} // namespace FB
