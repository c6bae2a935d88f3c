#include "FakeBrowserHost.h"
#include "FakePageObject.h"
#include "JSAPIAuto.h"
#include "JSExceptions.h"
#include "variant_list.h"

#include <algorithm>
#include <atomic>
#include <boost/make_shared.hpp>
#include <boost/thread/mutex.hpp>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using FB::variant;

// A script object that fires events, with a look at its proxy list.
class EventSource : public FB::JSAPIAuto {
public:
    EventSource() : FB::JSAPIAuto("<events>") {}

    std::size_t proxyEntries() const {
        boost::recursive_mutex::scoped_lock lock(m_proxyMutex);
        return m_proxies.size();
    }
    boost::mutex& attributeLock() { return m_attributeMutex; }
};

typedef boost::shared_ptr<EventSource> EventSourcePtr;

void* context(std::uintptr_t key) {
    return reinterpret_cast<void*>(key);
}

void listen(FB::JSAPI& object, const std::string& name, const FB::JSObjectPtr& handler) {
    FB::JSObjectPtr registered = handler;
    object.registerEventMethod(name, registered);
}

void stopListening(FB::JSAPI& object, const std::string& name, const FB::JSObjectPtr& handler) {
    FB::JSObjectPtr registered = handler;
    object.unregisterEventMethod(name, registered);
}

// Runs `work` on a thread that is never joined, so that a test whose threads
// deadlock fails after a bounded wait instead of hanging. What the work uses
// must be owned by it.
std::future<void> runDetached(const std::function<void()>& work) {
    const auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([work, done] {
        try {
            work();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    }).detach();
    return finished;
}

bool byAddress(const FakePageObjectPtr& left, const FakePageObjectPtr& right) {
    return left.get() < right.get();
}

class Events : public ::testing::Test {
protected:
    // What the page objects recorded refers back to the script objects that
    // hold them.
    void TearDown() override {
        host->shutdown();
        for (const auto& object : created) {
            object->asyncInvocations.clear();
            object->multipleCalls.clear();
        }
    }

    FakePageObjectPtr pageFunction(void* eventContext = nullptr, bool optimized = false,
                                   const boost::shared_ptr<FB::BrowserHost>& pageHost = nullptr) {
        const auto function = boost::make_shared<FakePageObject>(pageHost ? pageHost : host);
        function->eventContext = eventContext;
        function->optimizedCalls = optimized;
        function->methods[""] = [](const FB::VariantList&) { return variant(); };
        created.push_back(function);
        return function;
    }

    // The page objects that the page's timer was asked to call once the
    // main thread ran, in order; a method call is marked with its name.
    std::vector<std::string> pageCalls() {
        host->pumpMainThread();
        std::vector<std::string> calls;
        for (const FB::VariantList& call : host->helperCalls) {
            const auto target = call[1].cast<FB::JSObjectPtr>().get();
            std::string entry = names.count(target) ? names[target] : "?";
            if (call.size() == 4) {
                entry += "." + call[3].cast<std::string>();
            }
            calls.push_back(entry);
        }
        return calls;
    }

    FakePageObjectPtr named(const std::string& name, const FakePageObjectPtr& object) {
        names[object.get()] = name;
        return object;
    }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    EventSourcePtr source = boost::make_shared<EventSource>();
    std::map<const FB::JSObject*, std::string> names;
    std::vector<FakePageObjectPtr> created;
    const FB::VariantList args = FB::variant_list_of("hello")(2);
};

TEST_F(Events, AFunctionIsRegisteredOncePerNameWhateverWrapsIt) {
    const auto function = pageFunction();
    function->schedulesAsyncCalls = false;
    const auto otherWrapper = pageFunction();
    otherWrapper->eventId = function->eventId;
    listen(*source, "onecho", function);
    listen(*source, "onecho", otherWrapper);
    listen(*source, "ontest", function);

    source->FireEvent("onecho", args);
    source->FireEvent("ontest", args);
    EXPECT_EQ(function->asyncInvocations.size(), 2u);
    EXPECT_TRUE(otherWrapper->asyncInvocations.empty());

    stopListening(*source, "onecho", otherWrapper);
    source->FireEvent("onecho", args);
    EXPECT_EQ(function->asyncInvocations.size(), 2u) << "removed through the other wrapper";
    EXPECT_NO_THROW(stopListening(*source, "onecho", pageFunction()));
}

TEST_F(Events, ANullHandlerOrInterfaceIsRefused) {
    FB::JSObjectPtr none;
    try {
        source->registerEventMethod("onecho", none);
        ADD_FAILURE() << "accepted";
    } catch (const FB::invalid_arguments& e) {
        EXPECT_STREQ(e.what(), "Invalid Arguments");
    }
    EXPECT_THROW(source->unregisterEventMethod("onecho", none), FB::invalid_arguments);
    EXPECT_THROW(source->registerEventInterface(none), FB::invalid_arguments);
    EXPECT_THROW(source->unregisterEventInterface(none), FB::invalid_arguments);
    source->FireEvent("onecho", args);
    EXPECT_TRUE(pageCalls().empty());
}

TEST_F(Events, WideNamesReachTheirUtf8Forms) {
    const auto function = pageFunction();
    function->schedulesAsyncCalls = false;
    FB::JSObjectPtr handler = function;
    source->registerEventMethod(std::wstring(L"on\u00e9cho"), handler);
    source->FireEvent(std::wstring(L"on\u00e9cho"), args);
    source->FireEvent("on\xc3\xa9"
                      "cho",
                      args);
    EXPECT_EQ(function->asyncInvocations.size(), 2u);
}

// Handlers of one context, in registration order: whether each is valid and
// supports optimized calls, and what each receives.
struct HandlerCase {
    const char* label;
    std::vector<bool> valid;
    std::vector<bool> optimized;
    // Index of the handler given every handler in one call, or -1.
    int optimizedCall;
    // Handlers called one by one, in order.
    std::vector<std::size_t> singleCalls;
};

std::ostream& operator<<(std::ostream& out, const HandlerCase& c) {
    return out << c.label;
}

class HandlerDelivery : public Events, public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(HandlerDelivery, OneOptimizedCallOrOneCallPerValidHandler) {
    const HandlerCase& c = GetParam();
    std::vector<FakePageObjectPtr> handlers;
    for (std::size_t i = 0; i < c.valid.size(); ++i) {
        handlers.push_back(pageFunction(context(1), c.optimized[i]));
        handlers.back()->valid = c.valid[i];
        handlers.back()->schedulesAsyncCalls = false;
        listen(*source, "onecho", handlers.back());
    }
    const auto iface = pageFunction(context(1));
    iface->schedulesAsyncCalls = false;
    source->registerEventInterface(iface);

    source->FireEvent("onecho", args);

    std::vector<std::size_t> singleCalls;
    for (std::size_t i = 0; i < handlers.size(); ++i) {
        const auto& handler = *handlers[i];
        if (static_cast<int>(i) == c.optimizedCall) {
            ASSERT_EQ(handler.multipleCalls.size(), 1u);
            const auto& call = handler.multipleCalls[0];
            EXPECT_EQ(call.name, "onecho");
            EXPECT_EQ(call.args.size(), 2u);
            EXPECT_EQ(call.direct, std::vector<FB::JSObjectPtr>(handlers.begin(), handlers.end()));
            EXPECT_EQ(call.ifaces, std::vector<FB::JSObjectPtr>{iface});
        } else {
            EXPECT_TRUE(handler.multipleCalls.empty()) << i;
        }
        for (const auto& call : handler.asyncInvocations) {
            EXPECT_EQ(call.name, "");
            singleCalls.push_back(i);
        }
    }
    EXPECT_EQ(singleCalls, c.singleCalls);
    // The interface goes with an optimized call, else on its own.
    EXPECT_EQ(iface->asyncInvocations.size(), c.optimizedCall < 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Events, HandlerDelivery,
    ::testing::Values(
        HandlerCase{"first optimized takes all", {true, true}, {true, false}, 0, {}},
        HandlerCase{
            "invalid first, optimized second takes all", {false, true}, {true, true}, 1, {}},
        HandlerCase{"plain first makes every call single",
                    {true, true, true},
                    {false, true, false},
                    -1,
                    {0, 1, 2}},
        HandlerCase{
            "invalid handlers are skipped", {true, false, true}, {false, false, false}, -1, {0, 2}},
        HandlerCase{"no valid handler", {false, false}, {true, true}, -1, {}}),
    [](const ::testing::TestParamInfo<HandlerCase>& info) {
        std::string name = info.param.label;
        std::replace(name.begin(), name.end(), ' ', '_');
        std::replace(name.begin(), name.end(), ',', '_');
        return name;
    });

TEST_F(Events, ContextsAreServedInAscendingOrderAndInterfacesAfterHandlers) {
    listen(*source, "onecho", named("c3", pageFunction(context(3))));
    listen(*source, "onecho", named("c1a", pageFunction(context(1))));
    listen(*source, "onecho", named("c2", pageFunction(context(2))));
    listen(*source, "onecho", named("c1b", pageFunction(context(1))));
    listen(*source, "ontest", named("other", pageFunction(context(1))));
    source->registerEventInterface(named("i0", pageFunction(context(0))));
    source->registerEventInterface(named("i2", pageFunction(context(2))));

    source->FireEvent("onecho", args);
    EXPECT_EQ(pageCalls(),
              (std::vector<std::string>{"c1a", "c1b", "c2", "c3", "i0.onecho", "i2.onecho"}));
}

TEST_F(Events, InterfacesOfAContextWithoutOptimizedHandlersAreCalledByTheirMethod) {
    std::vector<FakePageObjectPtr> plain{pageFunction(context(5)), pageFunction(context(5))};
    std::sort(plain.begin(), plain.end(), byAddress);
    for (const auto& iface : plain) {
        iface->schedulesAsyncCalls = false;
        source->registerEventInterface(iface);
        source->registerEventInterface(iface);
    }
    plain.front()->valid = false;
    source->FireEvent("onecho", args);
    for (const auto& iface : plain) {
        ASSERT_EQ(iface->asyncInvocations.size(), 1u) << "an invalid interface is still called";
        EXPECT_EQ(iface->asyncInvocations[0].name, "onecho");
    }

    source->unregisterEventInterface(plain.front());
    source->FireEvent("onecho", args);
    EXPECT_EQ(plain.front()->asyncInvocations.size(), 1u);
    EXPECT_EQ(plain.back()->asyncInvocations.size(), 2u);
}

TEST_F(Events, AnOptimizedInterfaceTakesOnlyTheInterfacesNotYetCalled) {
    std::vector<FakePageObjectPtr> ifaces{pageFunction(context(5)), pageFunction(context(5)),
                                          pageFunction(context(5))};
    std::sort(ifaces.begin(), ifaces.end(), byAddress);
    ifaces[1]->optimizedCalls = true;
    for (const auto& iface : ifaces) {
        iface->schedulesAsyncCalls = false;
        source->registerEventInterface(iface);
    }
    source->FireEvent("onecho", args);

    EXPECT_EQ(ifaces[0]->asyncInvocations.size(), 1u);
    ASSERT_EQ(ifaces[1]->multipleCalls.size(), 1u);
    EXPECT_TRUE(ifaces[1]->multipleCalls[0].direct.empty());
    EXPECT_EQ(ifaces[1]->multipleCalls[0].ifaces,
              (std::vector<FB::JSObjectPtr>{ifaces[1], ifaces[2]}));
    EXPECT_TRUE(ifaces[2]->asyncInvocations.empty());
}

TEST_F(Events, AttributeHandlersAreCalledAfterTheRegisteredHandlers) {
    source->SetProperty("onecho", variant(FB::JSObjectPtr(named("attr", pageFunction()))));
    listen(*source, "onecho", named("h1", pageFunction()));
    listen(*source, "onecho", named("h2", pageFunction()));
    source->FireEvent("onecho", args);
    EXPECT_EQ(pageCalls(), (std::vector<std::string>{"h1", "h2", "attr"}));
}

TEST_F(Events, AttributesHoldingNoPageFunctionAreIgnored) {
    listen(*source, "onecho", named("h", pageFunction()));
    for (const variant& value : {variant("text"), variant(3), variant(FB::JSObjectPtr()),
                                 variant(FB::JSAPIPtr(boost::make_shared<EventSource>()))}) {
        source->setAttribute("onecho", value);
        EXPECT_NO_THROW(source->FireEvent("onecho", args));
    }
    EXPECT_EQ(pageCalls(), std::vector<std::string>(4, "h"));
}

TEST_F(Events, FireJSEventHandsEveryListenerTheEventObject) {
    const auto handler = pageFunction(context(1), true);
    const auto stale = pageFunction(context(1));
    stale->valid = false;
    const auto iface = pageFunction(context(1));
    const auto attribute = pageFunction();
    for (const auto& listener : {handler, stale, iface, attribute}) {
        listener->schedulesAsyncCalls = false;
    }
    listen(*source, "ontest", handler);
    listen(*source, "ontest", stale);
    source->registerEventInterface(iface);
    source->setAttribute("ontest", variant(FB::JSObjectPtr(attribute)));

    source->FireJSEvent("ontest", FB::VariantMap{{"detail", variant("d")}}, FB::variant_list_of(5));

    EXPECT_TRUE(handler->multipleCalls.empty());
    ASSERT_EQ(stale->asyncInvocations.size(), 1u) << "no validity test";
    ASSERT_EQ(iface->asyncInvocations.size(), 1u);
    EXPECT_EQ(iface->asyncInvocations[0].name, "ontest");
    for (const auto& listener : {handler, stale, attribute}) {
        ASSERT_EQ(listener->asyncInvocations.size(), 1u);
        EXPECT_EQ(listener->asyncInvocations[0].name, "");
    }
    for (const auto& listener : {handler, iface, attribute}) {
        const FB::VariantList& received = listener->asyncInvocations[0].args;
        ASSERT_EQ(received.size(), 1u);
        const auto event = received[0].cast<FB::VariantMap>();
        EXPECT_EQ(event.at("type").cast<std::string>(), "ontest");
        EXPECT_EQ(event.at("target").cast<FB::JSAPIPtr>(), source);
        EXPECT_EQ(event.at("detail").cast<std::string>(), "d");
        const auto arguments = event.at("arguments").cast<FB::VariantList>();
        ASSERT_EQ(arguments.size(), 1u);
        EXPECT_EQ(arguments[0].cast<int>(), 5);
    }
}

TEST_F(Events, FireJSEventServesHandlersByContextThenInterfacesThenTheAttribute) {
    listen(*source, "ontest", named("c2", pageFunction(context(2), true)));
    listen(*source, "ontest", named("c1a", pageFunction(context(1))));
    listen(*source, "ontest", named("c1b", pageFunction(context(1), true)));
    source->registerEventInterface(named("i0", pageFunction(context(0))));
    source->registerEventInterface(named("i2", pageFunction(context(2))));
    source->SetProperty("ontest", variant(FB::JSObjectPtr(named("attr", pageFunction()))));

    source->FireJSEvent("ontest", FB::VariantMap(), args);
    EXPECT_EQ(pageCalls(),
              (std::vector<std::string>{"c1a", "c1b", "c2", "i0.ontest", "i2.ontest", "attr"}));
}

TEST_F(Events, AnInvalidObjectFiresNothingButDirectDeliveryStillWorks) {
    const auto handler = pageFunction();
    const auto attribute = pageFunction();
    const auto proxyHandler = pageFunction();
    for (const auto& listener : {handler, attribute, proxyHandler}) {
        listener->schedulesAsyncCalls = false;
    }
    listen(*source, "onecho", handler);
    source->setAttribute("onecho", variant(FB::JSObjectPtr(attribute)));
    const auto proxy = boost::make_shared<EventSource>();
    listen(*proxy, "onecho", proxyHandler);
    source->registerProxy(proxy);

    source->invalidate();
    source->FireEvent("onecho", args);
    source->FireJSEvent("onecho", FB::VariantMap(), args);
    EXPECT_TRUE(handler->asyncInvocations.empty());
    EXPECT_TRUE(attribute->asyncInvocations.empty());
    EXPECT_TRUE(proxyHandler->asyncInvocations.empty());

    source->fireAsyncEvent("onecho", args);
    EXPECT_EQ(handler->asyncInvocations.size(), 1u);
    EXPECT_EQ(attribute->asyncInvocations.size(), 1u);
    EXPECT_TRUE(proxyHandler->asyncInvocations.empty());
}

// Listeners of a page whose browser host is gone cannot be scheduled; one
// whose page helper is gone fails its call with a script error.
TEST_F(Events, AListenerThatCannotTakeTheEventDoesNotStopTheOthers) {
    auto closedHost = boost::make_shared<FakeBrowserHost>();
    const auto orphan = [&](void* eventContext) {
        return pageFunction(eventContext, false, closedHost);
    };
    const auto failing = pageFunction(context(1), true);
    failing->multipleCallFailure = "Error calling handlers (delegate disappeared)";
    listen(*source, "onecho", failing);
    listen(*source, "onecho", orphan(context(2)));
    listen(*source, "onecho", named("h2", pageFunction(context(2))));
    source->registerEventInterface(orphan(context(3)));
    source->registerEventInterface(named("i3", pageFunction(context(3))));
    source->setAttribute("onecho", variant(FB::JSObjectPtr(orphan(nullptr))));
    listen(*source, "ontest", orphan(context(2)));
    listen(*source, "ontest", named("t2", pageFunction(context(2))));
    const auto proxy = boost::make_shared<EventSource>();
    listen(*proxy, "onecho", orphan(nullptr));
    listen(*proxy, "onecho", named("p", pageFunction()));
    source->registerProxy(proxy);
    closedHost.reset();

    EXPECT_NO_THROW(source->FireEvent("onecho", args));
    EXPECT_EQ(failing->multipleCalls.size(), 1u);
    EXPECT_NO_THROW(source->FireJSEvent("ontest", FB::VariantMap(), args));
    const std::vector<std::string> calls = pageCalls();
    std::vector<std::string> sorted(calls);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"h2", "i3.onecho", "i3.ontest", "p", "t2"}));
}

class Proxies : public Events {
protected:
    FakePageObjectPtr listenOn(FB::JSAPI& object, const std::string& name = "onecho") {
        const auto handler = pageFunction();
        handler->schedulesAsyncCalls = false;
        listen(object, name, handler);
        return handler;
    }
};

TEST_F(Proxies, SeeEveryReferenceToTheSourceReplacedAtAnyDepth) {
    const auto proxy = boost::make_shared<EventSource>();
    source->registerProxy(proxy);
    const auto own = listenOn(*source);
    const auto forwarded = listenOn(*proxy);
    const auto array = FakePageObject::makeArray(host, FB::variant_list_of("x"));
    const FB::JSAPIPtr self = source;

    const FB::VariantList inner = FB::variant_list_of(self)("a");
    const FB::VariantMap map{{"k", variant(self)}, {"n", variant(FB::VariantList(inner))}};
    source->FireEvent("onecho", FB::variant_list_of(1)(self)(inner)(map)(FB::JSObjectPtr(array)));

    ASSERT_EQ(own->asyncInvocations.size(), 1u);
    const FB::VariantList& unchanged = own->asyncInvocations[0].args;
    EXPECT_EQ(unchanged[1].cast<FB::JSAPIPtr>(), self);
    EXPECT_EQ(unchanged[2].cast<FB::VariantList>()[0].cast<FB::JSAPIPtr>(), self);

    ASSERT_EQ(forwarded->asyncInvocations.size(), 1u);
    const FB::VariantList& rewritten = forwarded->asyncInvocations[0].args;
    ASSERT_EQ(rewritten.size(), 5u);
    const FB::JSAPIPtr asProxy = proxy;
    EXPECT_EQ(rewritten[0].cast<int>(), 1);
    EXPECT_EQ(rewritten[1].cast<FB::JSAPIPtr>(), asProxy);
    const auto list = rewritten[2].cast<FB::VariantList>();
    EXPECT_EQ(list[0].cast<FB::JSAPIPtr>(), asProxy);
    EXPECT_EQ(list[1].cast<std::string>(), "a");
    const auto members = rewritten[3].cast<FB::VariantMap>();
    EXPECT_EQ(members.at("k").cast<FB::JSAPIPtr>(), asProxy);
    EXPECT_EQ(members.at("n").cast<FB::VariantList>()[0].cast<FB::JSAPIPtr>(), asProxy);
    EXPECT_EQ(rewritten[4].cast<FB::JSObjectPtr>(), array) << "page arrays pass unchanged";
}

TEST_F(Proxies, ReceiveJSEventsAsTheirOwnWithRewrittenMembers) {
    const auto proxy = boost::make_shared<EventSource>();
    source->registerProxy(proxy);
    const auto forwarded = listenOn(*proxy);
    const FB::JSAPIPtr self = source;
    source->FireJSEvent("onecho", FB::VariantMap{{"from", variant(self)}},
                        FB::variant_list_of(self));

    ASSERT_EQ(forwarded->asyncInvocations.size(), 1u);
    const auto event = forwarded->asyncInvocations[0].args.at(0).cast<FB::VariantMap>();
    const FB::JSAPIPtr asProxy = proxy;
    EXPECT_EQ(event.at("target").cast<FB::JSAPIPtr>(), asProxy);
    EXPECT_EQ(event.at("from").cast<FB::JSAPIPtr>(), asProxy);
    EXPECT_EQ(event.at("arguments").cast<FB::VariantList>()[0].cast<FB::JSAPIPtr>(), asProxy);
}

TEST_F(Proxies, DeadProxiesArePrunedAndTheOthersServed) {
    auto dead = boost::make_shared<EventSource>();
    const auto live = boost::make_shared<EventSource>();
    source->registerProxy(dead);
    source->registerProxy(live);
    source->registerProxy(live);
    const auto forwarded = listenOn(*live);
    dead.reset();

    source->FireEvent("onecho", args);
    EXPECT_EQ(forwarded->asyncInvocations.size(), 2u) << "duplicates are kept";
    EXPECT_EQ(source->proxyEntries(), 2u);

    source->unregisterProxy(live);
    EXPECT_EQ(source->proxyEntries(), 0u);
}

// A proxy that unregisters itself while it is being served.
class LeavingProxy : public EventSource {
public:
    explicit LeavingProxy(const EventSourcePtr& from) : m_from(from) {}

    void FireEvent(const std::string& name, const FB::VariantList& args) override {
        m_from->unregisterProxy(shared_from_this());
        EventSource::FireEvent(name, args);
    }

private:
    EventSourcePtr m_from;
};

TEST_F(Proxies, MayChangeTheProxyListWhileTheyAreServed) {
    const auto leaving = boost::make_shared<LeavingProxy>(source);
    const auto staying = boost::make_shared<EventSource>();
    source->registerProxy(leaving);
    source->registerProxy(staying);
    const auto left = listenOn(*leaving);
    const auto stayed = listenOn(*staying);

    source->FireEvent("onecho", args);
    source->FireEvent("onecho", args);
    EXPECT_EQ(left->asyncInvocations.size(), 1u);
    EXPECT_EQ(stayed->asyncInvocations.size(), 2u);
}

TEST_F(Proxies, ACycleServesEveryObjectOnce) {
    const auto other = boost::make_shared<EventSource>();
    source->registerProxy(other);
    other->registerProxy(source);
    source->registerProxy(source);
    const auto own = listenOn(*source);
    const auto forwarded = listenOn(*other);

    source->FireEvent("onecho", args);
    source->FireJSEvent("onecho", FB::VariantMap(), args);
    EXPECT_EQ(own->asyncInvocations.size(), 2u);
    EXPECT_EQ(forwarded->asyncInvocations.size(), 2u);

    other->FireEvent("onecho", args);
    EXPECT_EQ(own->asyncInvocations.size(), 3u);
    EXPECT_EQ(forwarded->asyncInvocations.size(), 3u);
}

// A proxy whose delivery of "onecho" fires its source again with "ontest".
class RelayingProxy : public EventSource {
public:
    explicit RelayingProxy(const EventSourcePtr& from) : m_from(from) {}

    void FireEvent(const std::string& name, const FB::VariantList& args) override {
        if (name == "onecho") {
            m_from->FireEvent("ontest", args);
        }
        EventSource::FireEvent(name, args);
    }

private:
    EventSourcePtr m_from;
};

// The source forwards to a middle proxy, which forwards to the relay; the
// relay's delivery fires the source again with another event while the
// source and the middle proxy are still forwarding the first one.
TEST_F(Proxies, AProxyMayFireItsSourceAgainWithAnotherEvent) {
    const auto middle = boost::make_shared<EventSource>();
    const auto relay = boost::make_shared<RelayingProxy>(source);
    source->registerProxy(middle);
    middle->registerProxy(relay);
    std::vector<FakePageObjectPtr> listeners;
    for (const EventSourcePtr& object : {source, middle, EventSourcePtr(relay)}) {
        for (const std::string name : {"onecho", "ontest"}) {
            listeners.push_back(listenOn(*object, name));
        }
    }

    source->FireEvent("onecho", args);
    for (std::size_t i = 0; i < listeners.size(); ++i) {
        EXPECT_EQ(listeners[i]->asyncInvocations.size(), 1u) << i;
    }
}

// Counts the events it is handed and keeps the last one's first argument.
// Only the firing thread writes them.
class CountingListener : public FakePageObject {
public:
    using FakePageObject::FakePageObject;

    void InvokeAsync(const std::string& /*methodName*/, const FB::VariantList& args) override {
        ++received;
        last = args.at(0).cast<int>();
    }

    int received = 0;
    int last = 0;
};

typedef boost::shared_ptr<CountingListener> CountingListenerPtr;

std::vector<CountingListenerPtr> countingListeners(const boost::shared_ptr<FB::BrowserHost>& host,
                                                   int count) {
    std::vector<CountingListenerPtr> listeners;
    for (int i = 0; i < count; ++i) {
        listeners.push_back(boost::make_shared<CountingListener>(host));
        listeners.back()->eventContext = context(i % 4);
    }
    return listeners;
}

// A listener registered later is in no delivery that misses an earlier one,
// and every listener still registered has the last event.
void expectNoneLost(const std::vector<CountingListenerPtr>& inRegistrationOrder, int lastEvent) {
    for (std::size_t i = 0; i < inRegistrationOrder.size(); ++i) {
        EXPECT_EQ(inRegistrationOrder[i]->last, lastEvent) << i;
        if (i > 0) {
            EXPECT_GE(inRegistrationOrder[i - 1]->received, inRegistrationOrder[i]->received) << i;
        }
    }
}

// The attribute handler is read under the attribute lock: while that lock is
// held, firing waits.
TEST_F(Events, TheAttributeHandlerIsReadUnderTheAttributeLock) {
    const auto handler = pageFunction();
    handler->schedulesAsyncCalls = false;
    source->SetProperty("onping", variant(FB::JSObjectPtr(handler)));

    boost::mutex::scoped_lock held(source->attributeLock());
    std::future<void> firing =
        runDetached([fired = source, args = args] { fired->FireEvent("onping", args); });
    EXPECT_EQ(firing.wait_for(200ms), std::future_status::timeout);
    held.unlock();
    ASSERT_EQ(firing.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(handler->asyncInvocations.size(), 1u);
}

// Two threads meet: a method of one object fires an event that a proxy, the
// other object, forwards, while a method of the other object calls the
// first. Neither may wait for a lock the other holds.
TEST_F(Events, AProxyForwardsWhileItsOwnMethodCallsTheSource) {
    struct Meeting {
        std::promise<void> sourceEntered;
        std::promise<void> proxyEntered;
        std::shared_future<void> sourceReady = sourceEntered.get_future().share();
        std::shared_future<void> proxyReady = proxyEntered.get_future().share();
    };
    const auto meeting = std::make_shared<Meeting>();
    const auto proxy = boost::make_shared<EventSource>();
    const auto handler = pageFunction();
    handler->schedulesAsyncCalls = false;
    proxy->SetProperty("onping", variant(FB::JSObjectPtr(handler)));
    source->registerProxy(proxy);

    const boost::weak_ptr<EventSource> weakSource = source;
    source->registerMethod("fire", [weakSource, meeting](const FB::VariantList&) {
        meeting->sourceEntered.set_value();
        meeting->proxyReady.wait_for(5s);
        weakSource.lock()->FireEvent("onping", FB::VariantList());
        return variant();
    });
    proxy->registerMethod("callSource", [weakSource, meeting](const FB::VariantList&) {
        meeting->proxyEntered.set_value();
        meeting->sourceReady.wait_for(5s);
        return weakSource.lock()->Invoke("toString", FB::VariantList());
    });

    std::future<void> firing = runDetached([fired = source] { fired->Invoke("fire", {}); });
    std::future<void> calling = runDetached([caller = proxy] { caller->Invoke("callSource", {}); });
    ASSERT_EQ(firing.wait_for(10s), std::future_status::ready);
    ASSERT_EQ(calling.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(handler->asyncInvocations.size(), 1u);
}

TEST(EventStress, AWorkerFiresWhileTheMainThreadRegistersAndNoListenerIsLost) {
    const int handlerCount = 400;
    const int everyTenth = handlerCount / 10;
    const int finalEvent = -1;
    const auto host = boost::make_shared<FakeBrowserHost>();
    const auto source = boost::make_shared<EventSource>();
    const auto handlers = countingListeners(host, handlerCount);
    const auto interfaces = countingListeners(host, everyTenth);
    const auto attributes = countingListeners(host, 2);
    const auto transient = countingListeners(host, 1).front();
    std::vector<EventSourcePtr> keptProxies;

    std::atomic<bool> stop(false);
    std::atomic<int> fired(0);
    std::thread worker([&] {
        for (int event = 1; !stop; ++event) {
            source->FireEvent("onecho", FB::variant_list_of(event));
            fired = event;
        }
    });
    // Each round of registration waits for the worker to fire again, so the
    // two really run side by side; the wait is bounded, and a round that
    // waits in vain fails the test.
    const auto waitForAnotherEvent = [&fired] {
        const int seen = fired;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (fired == seen && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        EXPECT_NE(fired, seen) << "the worker stopped firing";
    };

    waitForAnotherEvent();
    for (int i = 0; i < handlerCount; ++i) {
        listen(*source, "onecho", handlers[i]);
        source->SetProperty("onecho", variant(FB::JSObjectPtr(attributes[i % 2])));
        if (i % 10 != 0) {
            continue;
        }
        source->registerEventInterface(interfaces[i / 10]);
        listen(*source, "onecho", transient);
        stopListening(*source, "onecho", transient);
        const auto proxy = boost::make_shared<EventSource>();
        source->registerProxy(proxy);
        if (i % 20 == 0) {
            keptProxies.push_back(proxy);
        }
        waitForAnotherEvent();
    }
    stop = true;
    worker.join();
    source->FireEvent("onecho", FB::variant_list_of(finalEvent));

    expectNoneLost(handlers, finalEvent);
    expectNoneLost(interfaces, finalEvent);
    EXPECT_EQ(attributes[(handlerCount - 1) % 2]->last, finalEvent);
    EXPECT_NE(transient->last, finalEvent);
    EXPECT_EQ(source->proxyEntries(), keptProxies.size());
}

} // namespace
