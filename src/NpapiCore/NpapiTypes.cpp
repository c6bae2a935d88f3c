#include "NpapiTypes.h"

#include "NpapiPluginModule.h"
#include "logging.h"

#include <cstddef>
#include <cstdint>
#include <dlfcn.h>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace FB {
namespace Npapi {

namespace {

// The browser's NPAPI minor versions that brought the entries copied under
// a version test.
const std::uint16_t popupsVersion = 16;
const std::uint16_t enumerateVersion = 18;
const std::uint16_t urlValuesVersion = 21;
const std::uint16_t timersVersion = 23;

// Copies one entry when the source's own size covers it: an older browser's
// table is shorter than ours, and what lies beyond its size is not its.
template <class Entry>
void copyEntry(NPNetscapeFuncs* dst, const NPNetscapeFuncs* src, Entry NPNetscapeFuncs::*entry) {
    const std::size_t end = reinterpret_cast<const char*>(&(src->*entry)) -
                            reinterpret_cast<const char*>(src) + sizeof(Entry);
    if (end <= src->size) {
        dst->*entry = src->*entry;
    }
}

template <class... Entries>
void copyEntries(NPNetscapeFuncs* dst, const NPNetscapeFuncs* src, Entries... entries) {
    (copyEntry(dst, src, entries), ...);
}

void copyVersionedEntries(NPNetscapeFuncs* dst, const NPNetscapeFuncs* src) {
    typedef NPNetscapeFuncs F;
    const std::uint16_t version = src->version;
    copyEntries(dst, src, &F::geturl, &F::posturl, &F::requestread, &F::newstream, &F::write,
                &F::destroystream, &F::status, &F::uagent, &F::memalloc, &F::memfree, &F::memflush,
                &F::reloadplugins, &F::geturlnotify, &F::posturlnotify, &F::getvalue, &F::setvalue,
                &F::invalidaterect, &F::invalidateregion, &F::forceredraw, &F::getstringidentifier,
                &F::getstringidentifiers, &F::getintidentifier, &F::identifierisstring,
                &F::utf8fromidentifier, &F::intfromidentifier, &F::createobject, &F::retainobject,
                &F::releaseobject, &F::invoke, &F::invokeDefault, &F::evaluate, &F::getproperty,
                &F::setproperty, &F::removeproperty, &F::hasproperty, &F::hasmethod,
                &F::releasevariantvalue, &F::setexception, &F::construct);
    if (version >= timersVersion) {
        copyEntries(dst, src, &F::scheduletimer, &F::unscheduletimer);
    }
    if (version >= popupsVersion) {
        copyEntries(dst, src, &F::pushpopupsenabledstate, &F::poppopupsenabledstate);
    }
    if (version >= enumerateVersion) {
        copyEntries(dst, src, &F::enumerate);
    }
    if (version >= urlValuesVersion) {
        copyEntries(dst, src, &F::getvalueforurl, &F::setvalueforurl, &F::getauthenticationinfo);
    }
}

typedef std::vector<std::pair<boost::weak_ptr<void>, const char*>> ExpectedReleased;

// The module's frames open on this thread, and what must be gone once the
// outermost has ended: a list made on demand and freed at that end. Nothing
// here has a destructor, so the module registers none for thread exit, and
// the C++ runtime lets it be unloaded.
struct ThreadFrames {
    int depth;
    ExpectedReleased* expectedReleased;
};

thread_local ThreadFrames frames = {0, nullptr};

void reportUnreleased(const ExpectedReleased& expected) {
    for (const auto& entry : expected) {
        if (!entry.first.expired()) {
            FBLOG_WARN("NPAPI", std::string(entry.second) +
                                    " does not hold once the module's calls have returned");
        }
    }
}

} // namespace

EntryFrame::EntryFrame() noexcept {
    ++frames.depth;
}

EntryFrame::~EntryFrame() {
    if (--frames.depth > 0 || !frames.expectedReleased) {
        return;
    }
    const std::unique_ptr<ExpectedReleased> expected(frames.expectedReleased);
    frames.expectedReleased = nullptr;
    try {
        reportUnreleased(*expected);
    } catch (...) {
    }
}

bool EntryFrame::nested() noexcept {
    return frames.depth > 1;
}

void EntryFrame::expectReleased(const boost::weak_ptr<void>& object, const char* check) {
    if (!frames.expectedReleased) {
        frames.expectedReleased = new ExpectedReleased;
    }
    frames.expectedReleased->emplace_back(object, check);
}

void copyNPBrowserFuncs(NPNetscapeFuncs* dstFuncs, const NPNetscapeFuncs* srcFuncs, NPP) {
    if (srcFuncs) {
        dstFuncs->size = srcFuncs->size;
        dstFuncs->version = srcFuncs->version;
        copyVersionedEntries(dstFuncs, srcFuncs);
    }
    dstFuncs->pluginthreadasynccall = &NpapiPluginModule::scheduleAsyncCallback;
}

const void* callerImage(const void* returnAddress) {
    Dl_info info;
    if (dladdr(returnAddress, &info) == 0) {
        return nullptr;
    }
    return info.dli_fbase;
}

void logFailure(const char* where) noexcept {
    try {
        std::string text = "unknown exception";
        try {
            throw;
        } catch (const std::exception& e) {
            text = e.what();
        } catch (...) {
        }
        FBLOG_WARN("NPAPI", std::string(where) + " failed: " + text);
    } catch (...) {
    }
}

} // namespace Npapi
} // namespace FB
