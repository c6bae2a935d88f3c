// libASEP11.so: forwards the standard PKCS#11 functions the engine calls to a
// real PKCS#11 module, loaded on first use and kept for the life of the
// process.
//
// The real module is opened without RTLD_DEEPBIND (the sanitizer runtime
// refuses that flag), so its own function table may point back at the
// functions of this library, which come first in the global scope. Each
// function is therefore looked up by name in the module itself; the module's
// function table serves only for names it does not export.

#include <dlfcn.h>
#include <pkcs11.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#ifdef ASEP11_RECORDING
#include <deque>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>
#endif

namespace {

const char* const kDefaultModule = "/usr/lib/softhsm/libsofthsm2.so";
const char* const kModuleVariable = "ASEP11_MODULE";

struct Forwards {
    CK_C_Initialize initialize = nullptr;
    CK_C_Finalize finalize = nullptr;
    CK_C_GetSlotList getSlotList = nullptr;
    CK_C_OpenSession openSession = nullptr;
    CK_C_CloseSession closeSession = nullptr;
    CK_C_Login login = nullptr;
    CK_C_Logout logout = nullptr;
    CK_C_FindObjectsInit findObjectsInit = nullptr;
    CK_C_FindObjects findObjects = nullptr;
    CK_C_FindObjectsFinal findObjectsFinal = nullptr;
    CK_C_GetAttributeValue getAttributeValue = nullptr;
    CK_C_SignInit signInit = nullptr;
    CK_C_Sign sign = nullptr;
};

const char* modulePath() {
    const char* chosen = std::getenv(kModuleVariable);
    return chosen && *chosen ? chosen : kDefaultModule;
}

// The module's own definition of `name`, or else the entry of its function
// table, unless that entry is this library's forwarder of the same name.
template <typename Fn>
void resolve(void* handle, const char* name, Fn tableEntry, Fn ownForwarder, Fn& target) {
    if (void* symbol = dlsym(handle, name)) {
        target = reinterpret_cast<Fn>(symbol);
        if (target != ownForwarder)
            return;
    }
    target = tableEntry != ownForwarder ? tableEntry : nullptr;
}

Forwards load() {
    Forwards forwards;
    const char* path = modulePath();
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "libASEP11: cannot load %s: %s\n", path, dlerror());
        return forwards;
    }
    CK_FUNCTION_LIST empty{};
    CK_FUNCTION_LIST_PTR table = &empty;
    auto getFunctionList =
        reinterpret_cast<CK_C_GetFunctionList>(dlsym(handle, "C_GetFunctionList"));
    if (!getFunctionList || getFunctionList(&table) != CKR_OK || !table)
        table = &empty;

    resolve(handle, "C_Initialize", table->C_Initialize, &C_Initialize, forwards.initialize);
    resolve(handle, "C_Finalize", table->C_Finalize, &C_Finalize, forwards.finalize);
    resolve(handle, "C_GetSlotList", table->C_GetSlotList, &C_GetSlotList, forwards.getSlotList);
    resolve(handle, "C_OpenSession", table->C_OpenSession, &C_OpenSession, forwards.openSession);
    resolve(handle, "C_CloseSession", table->C_CloseSession, &C_CloseSession,
            forwards.closeSession);
    resolve(handle, "C_Login", table->C_Login, &C_Login, forwards.login);
    resolve(handle, "C_Logout", table->C_Logout, &C_Logout, forwards.logout);
    resolve(handle, "C_FindObjectsInit", table->C_FindObjectsInit, &C_FindObjectsInit,
            forwards.findObjectsInit);
    resolve(handle, "C_FindObjects", table->C_FindObjects, &C_FindObjects, forwards.findObjects);
    resolve(handle, "C_FindObjectsFinal", table->C_FindObjectsFinal, &C_FindObjectsFinal,
            forwards.findObjectsFinal);
    resolve(handle, "C_GetAttributeValue", table->C_GetAttributeValue, &C_GetAttributeValue,
            forwards.getAttributeValue);
    resolve(handle, "C_SignInit", table->C_SignInit, &C_SignInit, forwards.signInit);
    resolve(handle, "C_Sign", table->C_Sign, &C_Sign, forwards.sign);
    return forwards;
}

const Forwards& forwards() {
    static const Forwards loaded = load();
    return loaded;
}

#ifdef ASEP11_RECORDING
// How a search goes on once the token has no more objects for it.
enum class EndlessSearch { Off, RepeatLast, NewHandles };

// A search that never ends is stopped after this many made-up answers, so
// that a caller that would follow it for ever fails its test instead.
const CK_ULONG kEndlessSearchStop = 50000;
// The first made-up handle: far above what SoftHSM2 hands out.
const CK_OBJECT_HANDLE kFirstMadeUpHandle = 0x7f000000;

// Handles the caller sees in place of the token's own.
struct Alias {
    bool chosen = false;
    CK_ULONG shown = 0;
    CK_ULONG real = 0;
};

// Test hooks: the names of the forwarded calls in order; return codes to
// answer in place of the real module, each for one call of its function;
// counts and lengths to report in place of the module's, each for one call
// of its function by its number; calls that throw instead of answering;
// searches that never end; and the first slot and the sessions shown under
// handles of the test's choice.
struct Recorder {
    std::mutex lock;
    std::vector<std::string> calls;
    std::map<std::string, CK_ULONG> callCounts;
    std::map<std::string, std::deque<CK_RV>> injected;
    std::map<std::string, std::map<CK_ULONG, CK_ULONG>> reported;
    std::set<std::string> throwing;
    std::string joined;
    EndlessSearch endless = EndlessSearch::Off;
    CK_ULONG madeUpAnswers = 0;
    bool foundAny = false;
    CK_OBJECT_HANDLE lastFound = 0;
    Alias slot;
    Alias session;
};

Recorder& recorder() {
    static Recorder instance;
    return instance;
}

// Records the call; then throws, or gives the code to answer, when a test
// asked for it.
bool recordCall(const char* name, CK_RV& rv) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    r.calls.push_back(name);
    ++r.callCounts[name];
    if (r.throwing.erase(name))
        throw std::bad_alloc();
    auto found = r.injected.find(name);
    if (found == r.injected.end() || found->second.empty())
        return false;
    rv = found->second.front();
    found->second.pop_front();
    return true;
}

// The count or length a test chose for the call of `name` just recorded.
bool chosenSize(const char* name, CK_ULONG& size) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    auto function = r.reported.find(name);
    if (function == r.reported.end())
        return false;
    auto call = function->second.find(r.callCounts[name]);
    if (call == function->second.end())
        return false;
    size = call->second;
    function->second.erase(call);
    return true;
}
// Once the token's search is over, answers one more object, as a token
// whose search never ends would: the last one again or a new handle.
void extendSearch(CK_OBJECT_HANDLE_PTR objects, CK_ULONG maxCount, CK_ULONG_PTR count) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    if (*count > 0) {
        r.foundAny = true;
        r.lastFound = objects[*count - 1];
        return;
    }
    if (r.endless == EndlessSearch::Off || maxCount == 0 || r.madeUpAnswers == kEndlessSearchStop)
        return;
    if (r.endless == EndlessSearch::RepeatLast && !r.foundAny)
        return;
    objects[0] =
        r.endless == EndlessSearch::RepeatLast ? r.lastFound : kFirstMadeUpHandle + r.madeUpAnswers;
    *count = 1;
    ++r.madeUpAnswers;
}

void searchStarted() {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    r.foundAny = false;
}

// The handle the token knows for one the caller was shown.
CK_ULONG toToken(Alias Recorder::*which, CK_ULONG handle) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    const Alias& alias = r.*which;
    return alias.chosen && handle == alias.shown ? alias.real : handle;
}

// Shows the caller the chosen handle in place of the token's.
void toCaller(Alias Recorder::*which, CK_ULONG& handle) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    Alias& alias = r.*which;
    if (!alias.chosen)
        return;
    alias.real = handle;
    handle = alias.shown;
}

CK_SLOT_ID tokenSlot(CK_SLOT_ID slot) {
    return toToken(&Recorder::slot, slot);
}

CK_SESSION_HANDLE tokenSession(CK_SESSION_HANDLE session) {
    return toToken(&Recorder::session, session);
}

void showFirstSlot(CK_SLOT_ID_PTR slots, CK_ULONG count) {
    if (slots && count > 0)
        toCaller(&Recorder::slot, slots[0]);
}

void showSession(CK_SESSION_HANDLE_PTR session) {
    toCaller(&Recorder::session, *session);
}
#else
bool chosenSize(const char*, CK_ULONG&) {
    return false;
}

void extendSearch(CK_OBJECT_HANDLE_PTR, CK_ULONG, CK_ULONG_PTR) {}

void searchStarted() {}

CK_SLOT_ID tokenSlot(CK_SLOT_ID slot) {
    return slot;
}

CK_SESSION_HANDLE tokenSession(CK_SESSION_HANDLE session) {
    return session;
}

void showFirstSlot(CK_SLOT_ID_PTR, CK_ULONG) {}

void showSession(CK_SESSION_HANDLE_PTR) {}
#endif

// Makes the function's answer report the size a test chose, if any.
template <typename Report> void reportChosenSize(const char* name, Report report) {
    CK_ULONG size = 0;
    if (chosenSize(name, size))
        report(size);
}

template <typename Fn, typename... Args>
CK_RV forward(const char* name, Fn Forwards::*member, Args... args) {
#ifdef ASEP11_RECORDING
    CK_RV injected = CKR_OK;
    if (recordCall(name, injected))
        return injected;
#else
    (void)name;
#endif
    Fn target = forwards().*member;
    return target ? target(args...) : CKR_GENERAL_ERROR;
}

} // namespace

extern "C" {

CK_RV C_Initialize(CK_VOID_PTR initArgs) {
    return forward("C_Initialize", &Forwards::initialize, initArgs);
}

CK_RV C_Finalize(CK_VOID_PTR reserved) {
    return forward("C_Finalize", &Forwards::finalize, reserved);
}

CK_RV C_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR slotList, CK_ULONG_PTR count) {
    CK_RV rv = forward("C_GetSlotList", &Forwards::getSlotList, tokenPresent, slotList, count);
    if (rv == CKR_OK)
        showFirstSlot(slotList, *count);
    reportChosenSize("C_GetSlotList", [count](CK_ULONG size) { *count = size; });
    return rv;
}

CK_RV C_OpenSession(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR application, CK_NOTIFY notify,
                    CK_SESSION_HANDLE_PTR session) {
    CK_RV rv = forward("C_OpenSession", &Forwards::openSession, tokenSlot(slot), flags, application,
                       notify, session);
    if (rv == CKR_OK)
        showSession(session);
    return rv;
}

CK_RV C_CloseSession(CK_SESSION_HANDLE session) {
    return forward("C_CloseSession", &Forwards::closeSession, tokenSession(session));
}

CK_RV C_Login(CK_SESSION_HANDLE session, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pin,
              CK_ULONG pinLength) {
    return forward("C_Login", &Forwards::login, tokenSession(session), userType, pin, pinLength);
}

CK_RV C_Logout(CK_SESSION_HANDLE session) {
    return forward("C_Logout", &Forwards::logout, tokenSession(session));
}

CK_RV C_FindObjectsInit(CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR templ, CK_ULONG count) {
    searchStarted();
    return forward("C_FindObjectsInit", &Forwards::findObjectsInit, tokenSession(session), templ,
                   count);
}

CK_RV C_FindObjects(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG maxCount,
                    CK_ULONG_PTR count) {
    CK_RV rv = forward("C_FindObjects", &Forwards::findObjects, tokenSession(session), objects,
                       maxCount, count);
    if (rv == CKR_OK)
        extendSearch(objects, maxCount, count);
    return rv;
}

CK_RV C_FindObjectsFinal(CK_SESSION_HANDLE session) {
    return forward("C_FindObjectsFinal", &Forwards::findObjectsFinal, tokenSession(session));
}

CK_RV C_GetAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                          CK_ATTRIBUTE_PTR templ, CK_ULONG count) {
    CK_RV rv = forward("C_GetAttributeValue", &Forwards::getAttributeValue, tokenSession(session),
                       object, templ, count);
    reportChosenSize("C_GetAttributeValue", [templ, count](CK_ULONG size) {
        for (CK_ULONG i = 0; i < count; ++i)
            templ[i].ulValueLen = size;
    });
    return rv;
}

CK_RV C_SignInit(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key) {
    return forward("C_SignInit", &Forwards::signInit, tokenSession(session), mechanism, key);
}

CK_RV C_Sign(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG dataLength,
             CK_BYTE_PTR signature, CK_ULONG_PTR signatureLength) {
    CK_RV rv = forward("C_Sign", &Forwards::sign, tokenSession(session), data, dataLength,
                       signature, signatureLength);
    reportChosenSize("C_Sign", [signatureLength](CK_ULONG size) { *signatureLength = size; });
    return rv;
}

#ifdef ASEP11_RECORDING
void asep11_test_reset() {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    r.calls.clear();
    r.callCounts.clear();
    r.injected.clear();
    r.reported.clear();
    r.throwing.clear();
    r.endless = EndlessSearch::Off;
    r.madeUpAnswers = 0;
    r.slot = Alias();
    r.session = Alias();
}

// The forwarded calls so far, their names joined by ",".
const char* asep11_test_calls() {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    r.joined.clear();
    for (const std::string& call : r.calls)
        r.joined += (r.joined.empty() ? "" : ",") + call;
    return r.joined.c_str();
}

// The next call of `name` not yet answered by an earlier injection returns `rv`
// without reaching the real module.
void asep11_test_inject(const char* name, CK_RV rv) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    r.injected[name].push_back(rv);
}

// The `call`-th call of `name` since the last reset (counted from 1) answers
// with `size` in place of the count or length it reports: the slot count of
// C_GetSlotList, every length of C_GetAttributeValue's template, the
// signature length of C_Sign.
void asep11_test_report(const char* name, CK_ULONG size, CK_ULONG call) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    r.reported[name][call] = size;
}

// The next call of `name` throws std::bad_alloc instead of answering.
void asep11_test_throw(const char* name) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    r.throwing.insert(name);
}

// From now on every search, once the token has no more objects for it,
// answers one object more at each call: with `newHandles` a handle the token
// never gave, otherwise the last object found again. After 50,000 such
// answers since the last reset, searches end again.
void asep11_test_endless_search(int newHandles) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    r.endless = newHandles ? EndlessSearch::NewHandles : EndlessSearch::RepeatLast;
}

// How many objects searches answered beyond the token's since the last reset.
CK_ULONG asep11_test_made_up_answers() {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.madeUpAnswers;
}

// The first slot with a token is shown as `slot`; calls that name it reach
// the token's own.
void asep11_test_show_slot(CK_SLOT_ID slot) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    r.slot = Alias{true, slot, 0};
}

// Every session opened is shown as `session`; calls that name it reach the
// last one the token opened.
void asep11_test_show_session(CK_SESSION_HANDLE session) {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> guard(r.lock);
    r.session = Alias{true, session, 0};
}
#endif

} // extern "C"
