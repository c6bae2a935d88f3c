#include "FakeBrowserHost.h"

#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Window.h"
#include "PluginEvents/StreamEvents.h"

#include <algorithm>
#include <boost/make_shared.hpp>

void FakeStream::open() {
    setOpen(true);
    FB::StreamOpenedEvent evt(this);
    SendEvent(&evt);
}

void FakeStream::failOpen() {
    FB::StreamFailedOpenEvent evt(this);
    SendEvent(&evt);
}

void FakeStream::deliver(const std::string& bytes, std::size_t position) {
    const float progress =
        getLength() == 0 ? 0.0f : 100.0f * (position + bytes.size()) / getLength();
    FB::StreamDataArrivedEvent evt(this, bytes.data(), bytes.size(), position, progress);
    SendEvent(&evt);
}

void FakeStream::complete(bool success) {
    setCompleted(true);
    FB::StreamCompletedEvent evt(this, success);
    SendEvent(&evt);
}

bool FakeStream::readRanges(const std::vector<Range>& ranges) {
    rangeReads.push_back(ranges);
    return true;
}

bool FakeStream::write(const char*, std::size_t dataLength, std::size_t& written) {
    written = isOpen() ? dataLength : 0;
    return isOpen();
}

bool FakeStream::close() {
    ++closed;
    if (!isOpen()) {
        return false;
    }
    FB::StreamCompletedEvent evt(this, true);
    SendEvent(&evt);
    setOpen(false);
    return true;
}

std::string FakeBrowserHost::helperScript(const std::string& key) {
    return "window.__FB_CALL_" + key +
           " = function(delay, f, args, fname) {   if (arguments.length == 3)       return "
           "setTimeout(function() { f.apply(null, args); }, delay);   else       return "
           "setTimeout(function() { f[fname].apply(f, args); }, delay);};";
}

FakePageObjectPtr FakeBrowserHost::pageObject(FakePageObjectPtr& slot) {
    if (!slot) {
        slot = boost::make_shared<FakePageObject>(shared_from_this());
    }
    return slot;
}

FakePageObjectPtr FakeBrowserHost::window() {
    return pageObject(m_window);
}

FB::DOM::DocumentPtr FakeBrowserHost::getDOMDocument() {
    return FB::DOM::Document::create(pageObject(m_document));
}

FB::DOM::WindowPtr FakeBrowserHost::getDOMWindow() {
    return hasWindow ? FB::DOM::Window::create(window()) : FB::DOM::WindowPtr();
}

FB::DOM::ElementPtr FakeBrowserHost::getDOMElement() {
    return FB::DOM::Element::create(pageObject(m_element));
}

// Only the helper's own text defines a helper; any other script runs
// without visible effect.
void FakeBrowserHost::evaluateJavaScript(const std::string& script) {
    evaluatedScripts.push_back(script);
    const std::string prefix = "window.";
    const std::size_t nameEnd = script.find(" = ");
    if (!runsScripts || script.compare(0, prefix.size(), prefix) != 0 ||
        nameEnd == std::string::npos) {
        return;
    }
    const std::string name = script.substr(prefix.size(), nameEnd - prefix.size());
    const std::string namePrefix = "__FB_CALL_";
    if (name.compare(0, namePrefix.size(), namePrefix) != 0 ||
        script != helperScript(name.substr(namePrefix.size()))) {
        return;
    }
    const auto helper = boost::make_shared<FakePageObject>(shared_from_this());
    helper->methods[""] = [this](const FB::VariantList& args) { return fileTimer(args); };
    window()->properties[name] = FB::variant(FB::JSObjectPtr(helper));
}

// As the helper does: with three arguments func itself is called, with more
// its method fname; the answer is the new timer's id.
FB::variant FakeBrowserHost::fileTimer(const FB::VariantList& helperArgs) {
    helperCalls.push_back(helperArgs);
    const bool isMethodCall = helperArgs.size() != 3;
    PageTimer timer{m_now + helperArgs.at(0).convert_cast<int>(),
                    ++m_lastTimerId,
                    helperArgs.at(1).convert_cast<FB::JSObjectPtr>(),
                    helperArgs.at(2).convert_cast<FB::VariantList>(),
                    isMethodCall,
                    isMethodCall ? helperArgs.at(3).convert_cast<std::string>() : ""};
    m_timers.push_back(timer);
    return timer.id;
}

std::size_t FakeBrowserHost::advancePageClock(int ms) {
    const int until = m_now + ms;
    std::size_t ran = 0;
    for (;;) {
        const auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                           [](const PageTimer& a, const PageTimer& b) {
                                               return a.due != b.due ? a.due < b.due : a.id < b.id;
                                           });
        if (next == m_timers.end() || next->due > until) {
            break;
        }
        const PageTimer timer = *next;
        m_timers.erase(next);
        m_now = timer.due;
        timer.func->Invoke(timer.isMethodCall ? timer.fname : "", timer.args);
        ++ran;
    }
    m_now = until;
    return ran;
}

std::size_t FakeBrowserHost::runPageTimers() {
    int last = m_now;
    for (const PageTimer& timer : m_timers) {
        last = std::max(last, timer.due);
    }
    return advancePageClock(last - m_now);
}

bool FakeBrowserHost::_scheduleAsyncCall(void (*func)(void*), void* userData) const {
    ++scheduleRequests;
    if (refusesScheduling || isShutDown()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_mainThreadQueue.emplace_back(func, userData);
    return true;
}

FB::BrowserStreamPtr FakeBrowserHost::_createStream(const FB::BrowserStreamRequest& req) const {
    streamRequests.push_back(req);
    if (refusesStreams) {
        return FB::BrowserStreamPtr();
    }
    const auto stream = boost::make_shared<FakeStream>(req.uri.toString(true), req.cache,
                                                       req.seekable, req.bufferSize);
    openedStreams.push_back(stream);
    if (req.getEventSink()) {
        stream->AttachObserver(req.getEventSink());
    }
    FB::StreamCreatedEvent created(stream.get());
    stream->SendEvent(&created);
    return stream;
}

FB::BrowserStreamPtr
FakeBrowserHost::_createUnsolicitedStream(const FB::BrowserStreamRequest& req) const {
    unsolicitedRequests.push_back(req);
    return boost::make_shared<FakeStream>(req.uri.toString(true), false, req.seekable,
                                          req.bufferSize);
}

std::size_t FakeBrowserHost::pumpMainThread() {
    std::size_t ran = 0;
    for (;;) {
        QueuedCall call;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_mainThreadQueue.empty()) {
                return ran;
            }
            call = m_mainThreadQueue.front();
            m_mainThreadQueue.pop_front();
        }
        call.first(call.second);
        ++ran;
    }
}

std::size_t FakeBrowserHost::pendingCalls() const {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_mainThreadQueue.size();
}
