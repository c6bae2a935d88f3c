#pragma once

// FB::DOM::Node: typed access to one object of the page's document object
// model. Every operation is a property read, a property write or a method
// call on the wrapped page object, asked again each time; results are
// converted by the variant's converting reads. A wrapper around no page
// object reads as empty (an empty pointer, 0, "") and writes nothing.

#include "BrowserHost.h"
#include "JSObject.h"
#include "variant.h"

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>
#include <string>

namespace FB {
namespace DOM {

class Node : public boost::enable_shared_from_this<Node> {
public:
    explicit Node(const JSObjectPtr& element) : m_jsObject(element) {}
    virtual ~Node() = default;

    // A wrapper made by obj's host, or an empty pointer for an empty obj.
    static NodePtr create(const JSObjectPtr& obj);

    template <typename T> T getProperty(const std::string& name) const {
        if (!m_jsObject) {
            return T();
        }
        return m_jsObject->GetProperty(name).template convert_cast<T>();
    }

    template <typename T> T getProperty(int index) const {
        if (!m_jsObject) {
            return T();
        }
        return m_jsObject->GetProperty(index).template convert_cast<T>();
    }

    // With T = void the page's result is discarded.
    template <typename T> T callMethod(const std::string& name, const VariantList& args) const {
        if (!m_jsObject) {
            return T();
        }
        return m_jsObject->Invoke(name, args).template convert_cast<T>();
    }

    virtual JSObjectPtr getJSObject() const { return m_jsObject; }
    virtual NodePtr getNode(const std::wstring& name) const;
    virtual NodePtr getNode(const std::string& name) const;
    virtual NodePtr getNode(int index) const;
    virtual void setProperty(const std::wstring& name, const variant& value) const;
    virtual void setProperty(const std::string& name, const variant& value) const;
    virtual void setProperty(int index, const variant& value) const;
    // The page's "appendChild" with node's page object; an empty pointer
    // when there is nothing to append.
    virtual NodePtr appendChild(NodePtr node);

protected:
    // Asks obj's host for a wrapper through one of its construction hooks; an
    // empty obj gives an empty pointer without touching any host.
    template <class Wrapper>
    static boost::shared_ptr<Wrapper>
    createThroughHost(const JSObjectPtr& obj,
                      boost::shared_ptr<Wrapper> (BrowserHost::*hook)(const JSObjectPtr&) const) {
        if (!obj) {
            return boost::shared_ptr<Wrapper>();
        }
        return ((*obj->getHost()).*hook)(obj);
    }

    JSObjectPtr m_jsObject;
};

} // namespace DOM
} // namespace FB
