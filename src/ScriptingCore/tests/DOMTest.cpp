#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Node.h"
#include "DOM/Window.h"
#include "FakeBrowserHost.h"
#include "FakePageObject.h"
#include "JSExceptions.h"
#include "variant_list.h"

#include <boost/make_shared.hpp>
#include <boost/smart_ptr/bad_weak_ptr.hpp>
#include <gtest/gtest.h>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

using FB::variant;

// Marks the elements the host makes, to tell them from those made directly.
class HostMadeElement : public FB::DOM::Element {
public:
    explicit HostMadeElement(const FB::JSObjectPtr& obj)
        : FB::DOM::Node(obj), FB::DOM::Element(obj) {}
};

class SubstitutingHost : public FakeBrowserHost {
public:
    FB::DOM::ElementPtr _createElement(const FB::JSObjectPtr& obj) const override {
        return boost::make_shared<HostMadeElement>(obj);
    }
};

bool madeByHost(const FB::DOM::ElementPtr& element) {
    return boost::dynamic_pointer_cast<HostMadeElement>(element) != nullptr;
}

// A small page: a window with its location, a document whose body holds
// five child nodes (three paragraphs) and sits in an html element.
class DOMTest : public ::testing::Test {
protected:
    DOMTest() {
        window->properties = {{"document", variant(document)}, {"location", variant(location)}};
        window->methods["alert"] = [](const FB::VariantList&) { return variant(); };
        window->methods["Array"] = [this](const FB::VariantList&) { return variant(newArray); };
        window->methods["Object"] = [this](const FB::VariantList&) { return variant(newMap); };
        location->properties["href"] = "https://example.test/page";

        for (const char* tag : {"p", "span", "p", "em", "p"}) {
            const auto child = make();
            child->properties["tagName"] = tag;
            child->properties["id"] = "child" + std::to_string(children.size());
            children.push_back(child);
        }
        FB::VariantList childList(children.begin(), children.end());
        body->properties = {
            {"innerHTML", variant("<p>hi</p>")}, {"width", variant(640)},
            {"height", variant(480.0)},          {"scrollWidth", variant(700)},
            {"scrollHeight", variant("900")},    {"childNodes", variant(makeArray(childList))},
            {"parentNode", variant(html)}};
        body->methods["getAttribute"] = [](const FB::VariantList& args) {
            return variant("value of " + args.at(0).convert_cast<std::string>());
        };
        body->methods["appendChild"] = [](const FB::VariantList& args) { return args.at(0); };

        document->properties = {{"window", variant(window)}, {"body", variant(body)}};
        document->methods["getElementById"] = [this](const FB::VariantList& args) {
            return variant(byId(args.at(0).convert_cast<std::string>()));
        };
        document->methods["getElementsByTagName"] = [this](const FB::VariantList& args) {
            return variant(makeArray(byTag(args.at(0).convert_cast<std::string>())));
        };
        document->methods["createElement"] = [this](const FB::VariantList& args) {
            const auto created = make();
            created->properties["tagName"] = args.at(0);
            return variant(created);
        };
    }

    // The page tree refers to itself; empty it so that it can be freed.
    ~DOMTest() override {
        for (const FakePageObjectPtr& node : nodes) {
            node->properties.clear();
            node->methods.clear();
        }
    }

    FakePageObjectPtr make() {
        nodes.push_back(boost::make_shared<FakePageObject>(host));
        return nodes.back();
    }

    FakePageObjectPtr makeArray(const FB::VariantList& elements) {
        nodes.push_back(FakePageObject::makeArray(host, elements));
        return nodes.back();
    }

    FB::JSObjectPtr byId(const std::string& id) const {
        for (const FakePageObjectPtr& child : children) {
            if (child->properties.at("id").cast<std::string>() == id) {
                return child;
            }
        }
        return FB::JSObjectPtr();
    }

    FB::VariantList byTag(const std::string& tag) const {
        FB::VariantList found;
        for (const FakePageObjectPtr& child : children) {
            if (child->properties.at("tagName").cast<std::string>() == tag) {
                found.push_back(child);
            }
        }
        return found;
    }

    boost::shared_ptr<SubstitutingHost> host = boost::make_shared<SubstitutingHost>();
    std::vector<FakePageObjectPtr> nodes;
    FakePageObjectPtr window = make();
    FakePageObjectPtr location = make();
    FakePageObjectPtr document = make();
    FakePageObjectPtr html = make();
    FakePageObjectPtr body = make();
    FakePageObjectPtr newArray = make();
    FakePageObjectPtr newMap = make();
    std::vector<FakePageObjectPtr> children;
};

TEST_F(DOMTest, FactoriesOfNoPageObjectGiveEmptyPointers) {
    EXPECT_FALSE(FB::DOM::Node::create(FB::JSObjectPtr()));
    EXPECT_FALSE(FB::DOM::Element::create(FB::JSObjectPtr()));
    EXPECT_FALSE(FB::DOM::Document::create(FB::JSObjectPtr()));
    EXPECT_FALSE(FB::DOM::Window::create(FB::JSObjectPtr()));
}

TEST_F(DOMTest, FactoriesAskThePageObjectsHost) {
    const FB::DOM::NodePtr node = FB::DOM::Node::create(body);
    const FB::DOM::DocumentPtr doc = FB::DOM::Document::create(document);
    const FB::DOM::WindowPtr win = FB::DOM::Window::create(window);
    EXPECT_EQ(typeid(*node), typeid(FB::DOM::Node));
    EXPECT_EQ(typeid(*doc), typeid(FB::DOM::Document));
    EXPECT_EQ(typeid(*win), typeid(FB::DOM::Window));
    const FB::DOM::ElementPtr element = FB::DOM::Element::create(body);
    EXPECT_TRUE(madeByHost(element));
    EXPECT_EQ(element->getJSObject(), body);

    auto lostHost = boost::make_shared<FakeBrowserHost>();
    const auto orphan = boost::make_shared<FakePageObject>(lostHost);
    lostHost.reset();
    EXPECT_THROW(FB::DOM::Element::create(orphan), boost::bad_weak_ptr);
}

TEST_F(DOMTest, DocumentFindsItsWindowBodyAndElements) {
    const FB::DOM::DocumentPtr doc = FB::DOM::Document::create(document);
    EXPECT_EQ(doc->getWindow()->getJSObject(), window);

    const FB::DOM::ElementPtr bodyElement = doc->getBody();
    ASSERT_TRUE(bodyElement);
    EXPECT_TRUE(madeByHost(bodyElement));
    EXPECT_EQ(bodyElement->getJSObject(), body);

    const FB::DOM::ElementPtr second = doc->getElementById("child1");
    ASSERT_TRUE(second);
    EXPECT_TRUE(madeByHost(second));
    EXPECT_EQ(second->getJSObject(), children[1]);
    EXPECT_FALSE(doc->getElementById("nowhere"));

    const FB::DOM::ElementPtr created = doc->createElement("div");
    ASSERT_TRUE(created);
    EXPECT_TRUE(madeByHost(created));
    EXPECT_EQ(created->getProperty<std::string>("tagName"), "div");

    document->properties.erase("body");
    EXPECT_FALSE(doc->getBody());
}

TEST_F(DOMTest, ElementsByTagNameComeInThePagesOrder) {
    const FB::DOM::DocumentPtr doc = FB::DOM::Document::create(document);
    const std::vector<FB::DOM::ElementPtr> paragraphs = doc->getElementsByTagName("p");
    ASSERT_EQ(paragraphs.size(), 3u);
    EXPECT_EQ(paragraphs[0]->getJSObject(), children[0]);
    EXPECT_EQ(paragraphs[1]->getJSObject(), children[2]);
    EXPECT_EQ(paragraphs[2]->getJSObject(), children[4]);
    EXPECT_TRUE(madeByHost(paragraphs[0]));

    EXPECT_EQ(doc->getElementsByTagName(L"span").size(), 1u);
    EXPECT_TRUE(doc->getElementsByTagName("table").empty());
}

TEST_F(DOMTest, ElementReadsAndWritesItsProperties) {
    const FB::DOM::ElementPtr element = FB::DOM::Element::create(body);
    EXPECT_EQ(element->getInnerHTML(), "<p>hi</p>");
    EXPECT_EQ(element->getWidth(), 640);
    EXPECT_EQ(element->getHeight(), 480);
    EXPECT_EQ(element->getScrollWidth(), 700);
    EXPECT_EQ(element->getScrollHeight(), 900);
    EXPECT_EQ(element->getStringAttribute("class"), "value of class");

    element->setInnerHTML("<b>new</b>");
    element->setWidth(120);
    element->setHeight(60);
    EXPECT_EQ(body->properties["innerHTML"].cast<std::string>(), "<b>new</b>");
    EXPECT_EQ(body->properties["width"].cast<int>(), 120) << "the integer itself, not text";
    EXPECT_EQ(body->properties["height"].cast<int>(), 60);
}

TEST_F(DOMTest, ElementReachesItsChildAndParentNodes) {
    const FB::DOM::ElementPtr element = FB::DOM::Element::create(body);
    EXPECT_EQ(element->getChildNodeCount(), 5);

    const FB::DOM::ElementPtr third = element->getChildNode(2);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->getJSObject(), children[2]);
    EXPECT_FALSE(madeByHost(third)) << "wrapped directly, not by the host";

    const FB::DOM::ElementPtr parent = element->getParentNode();
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->getJSObject(), html);
    EXPECT_FALSE(madeByHost(parent));
    EXPECT_FALSE(element->getElement("firstChild"));
}

TEST_F(DOMTest, IndexedAccessReadsAndWritesByIndex) {
    const FB::DOM::NodePtr childNodes = FB::DOM::Element::create(body)->getNode("childNodes");
    ASSERT_TRUE(childNodes);
    const FB::DOM::NodePtr second = childNodes->getNode(1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->getJSObject(), children[1]);
    EXPECT_FALSE(childNodes->getNode(5));

    childNodes->setProperty(5, variant(7));
    EXPECT_EQ(childNodes->getProperty<int>(5), 7);
}

TEST_F(DOMTest, AppendChildHandsThePageTheChildsPageObject) {
    const FB::DOM::ElementPtr element = FB::DOM::Element::create(body);
    const FB::DOM::NodePtr appended = element->appendChild(FB::DOM::Node::create(children[0]));
    ASSERT_TRUE(appended);
    EXPECT_EQ(appended->getJSObject(), children[0]);
    ASSERT_EQ(body->invocations.size(), 1u);
    EXPECT_EQ(body->invocations[0].args.at(0).cast<FB::JSObjectPtr>(), children[0]);
}

TEST_F(DOMTest, WindowReachesItsDocumentLocationAndNewObjects) {
    const FB::DOM::WindowPtr win = FB::DOM::Window::create(window);
    EXPECT_EQ(win->getDocument()->getJSObject(), document);
    EXPECT_EQ(win->getLocation(), "https://example.test/page");
    EXPECT_EQ(win->createArray(), newArray);
    EXPECT_EQ(win->createMap(), newMap);
    EXPECT_EQ(window->invocations.at(0).name, "Array");
    EXPECT_TRUE(window->invocations.at(0).args.empty());
}

TEST_F(DOMTest, AlertSendsTheSameUtf8TextFromEitherOverload) {
    const FB::DOM::WindowPtr win = FB::DOM::Window::create(window);
    win->alert("Se\xC3\xB1or \xE2\x82\xAC");
    win->alert(std::wstring(L"Se\u00F1or \u20AC"));
    ASSERT_EQ(window->invocations.size(), 2u);
    for (const FakePageObject::Call& call : window->invocations) {
        EXPECT_EQ(call.name, "alert");
        ASSERT_EQ(call.args.size(), 1u);
        EXPECT_EQ(call.args[0].cast<std::string>(), "Se\xC3\xB1or \xE2\x82\xAC");
    }
}

TEST_F(DOMTest, MissingPageObjectsReadAsEmpty) {
    const FB::DOM::ElementPtr element = FB::DOM::Element::create(html);
    EXPECT_EQ(element->getChildNodeCount(), 0);
    EXPECT_FALSE(element->getChildNode(0));
    EXPECT_FALSE(element->getParentNode());
    EXPECT_FALSE(element->appendChild(FB::DOM::NodePtr()));
    EXPECT_FALSE(element->appendChild(boost::make_shared<FB::DOM::Node>(FB::JSObjectPtr())));
    EXPECT_TRUE(html->invocations.empty());

    window->properties.erase("location");
    EXPECT_EQ(FB::DOM::Window::create(window)->getLocation(), "");
}

TEST_F(DOMTest, AWrapperAroundNoPageObjectReadsAsEmptyAndWritesNothing) {
    const FB::DOM::Document nothing{FB::JSObjectPtr()};
    EXPECT_EQ(nothing.getProperty<int>("width"), 0);
    EXPECT_EQ(nothing.getProperty<std::string>(0), "");
    EXPECT_FALSE(nothing.getNode("child"));
    EXPECT_EQ(nothing.getInnerHTML(), "");
    EXPECT_EQ(nothing.getChildNodeCount(), 0);
    EXPECT_TRUE(nothing.getElementsByTagName("p").empty());
    EXPECT_FALSE(nothing.getBody());
    EXPECT_NO_THROW(nothing.setWidth(3));
    EXPECT_NO_THROW(nothing.setProperty(0, variant(1)));
    EXPECT_NO_THROW(nothing.callMethod<void>("focus", FB::VariantList()));
    EXPECT_EQ(FB::DOM::Window(FB::JSObjectPtr()).getLocation(), "");
}

// Records the narrow calls that the wide overloads must reach.
class RecordingNode : public FB::DOM::Node {
public:
    using FB::DOM::Node::getNode;
    using FB::DOM::Node::Node;
    using FB::DOM::Node::setProperty;

    mutable std::vector<std::string> names;
    FB::DOM::NodePtr getNode(const std::string& name) const override {
        names.push_back(name);
        return FB::DOM::NodePtr();
    }
    void setProperty(const std::string& name, const variant&) const override {
        names.push_back(name);
    }
};

TEST_F(DOMTest, WideOverloadsReachTheNarrowOnes) {
    const RecordingNode node(body);
    node.getNode(L"\u00E9l\u00E9ment");
    node.setProperty(L"t\u00EDtulo", variant(1));
    EXPECT_EQ(node.names, (std::vector<std::string>{"\xC3\xA9l\xC3\xA9ment", "t\xC3\xADtulo"}));
}

TEST_F(DOMTest, PageAndConversionFailuresReachTheCallerUnchanged) {
    const FB::DOM::ElementPtr element = FB::DOM::Element::create(body);
    body->failingReads.insert("innerHTML");
    try {
        element->getInnerHTML();
        ADD_FAILURE() << "the read succeeded";
    } catch (const FB::script_error& e) {
        EXPECT_EQ(typeid(e), typeid(FB::invalid_member));
    }
    body->properties["width"] = "wide";
    EXPECT_THROW(element->getWidth(), FB::bad_variant_cast);
}

} // namespace
