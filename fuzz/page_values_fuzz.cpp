// Values from a page, on the product's script object in the test browser:
// calls of its methods and of arbitrary names with argument lists of every
// NPVariant kind (numbers, text with NULs and bytes that are not UTF-8, and
// arrays, objects and functions of the page's script runtime, nested), and
// property reads, writes, tests and removals by arbitrary names. Each input
// gets a page of its own; once it is closed the browser must have all its
// memory and objects back, and no C++ exception may have left the module.
// The signing calls reach a SoftHSM2 token made once for the process, with a
// certificate and key under the id 0a0b and the user PIN 1234.
#include "SoftHsmToken.h"
#include "TestCertificates.h"

#include <testbrowser/Browser.h>
#include <testbrowser/Identifiers.h>
#include <testbrowser/Page.h>

#include <nss.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

const char* const kPage =
    "<html><body><object id=\"plugin\" type=\"application/x-velmora\"></object></body></html>";
// The names the object answers to, so that most calls reach a member.
const char* const kKnownNames[] = {"echo",
                                   "testEvent",
                                   "getDigitalSignatureCertificates",
                                   "getCertificate",
                                   "signPkcs1",
                                   "processPinChar",
                                   "deletePinChar",
                                   "testString",
                                   "version",
                                   "pin",
                                   "lastError",
                                   "lastLowLevelError",
                                   "lastErrorMessage",
                                   "pinLength",
                                   "isPinMissing",
                                   "isPinInvalid",
                                   "pinModuleName",
                                   "pinRetryCount",
                                   "toString",
                                   "getAttribute",
                                   "setAttribute",
                                   "value",
                                   "valid",
                                   "addEventListener",
                                   "removeEventListener",
                                   "getLastException",
                                   "onecho",
                                   "ontest"};
const size_t kKnownNameCount = sizeof kKnownNames / sizeof kKnownNames[0];
const int kMaxOperations = 24;
const int kMaxArguments = 6;
const int kMaxDepth = 3;

void require(bool condition, const std::string& what) {
    if (condition)
        return;
    std::fprintf(stderr, "page_values_fuzz: %s\n", what.c_str());
    std::abort();
}

// The input, read front to back; past its end every read gives zeros.
class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_size == 0; }
    uint8_t byte() {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }
    template <typename T> T value() {
        T result{};
        const size_t count = std::min(sizeof result, m_size);
        std::memcpy(&result, m_data, count);
        m_data += count;
        m_size -= count;
        return result;
    }
    // A length byte, then up to that many bytes.
    std::string text() {
        const size_t length = std::min<size_t>(byte(), m_size);
        std::string result(reinterpret_cast<const char*>(m_data), length);
        m_data += length;
        m_size -= length;
        return result;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
};

// A script literal of a number, NaN and the infinities included.
std::string numberLiteral(double number) {
    if (std::isnan(number))
        return "NaN";
    if (std::isinf(number))
        return number > 0 ? "Infinity" : "-Infinity";
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", number);
    return text;
}

// A script literal of the bytes, each byte the character of that code.
std::string stringLiteral(const std::string& bytes) {
    std::string literal = "\"";
    for (unsigned char byte : bytes) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", byte);
        literal += escape;
    }
    return literal + "\"";
}

// A script value's source: a number, text, a constant, an array, an object
// or a function, nested up to kMaxDepth.
std::string scriptLiteral(Input& input, int depth) {
    const uint8_t kind = input.byte() % (depth < kMaxDepth ? 7 : 4);
    switch (kind) {
    case 0:
        return numberLiteral(input.value<double>());
    case 1:
        return stringLiteral(input.text());
    case 2: {
        static const char* const constants[] = {"true", "false", "null", "undefined"};
        return constants[input.byte() % 4];
    }
    case 3:
        return "function () { return arguments.length; }";
    case 4: {
        std::string array = "[";
        for (int count = input.byte() % 5; count > 0; --count)
            array += scriptLiteral(input, depth + 1) + ",";
        return array + "]";
    }
    default: {
        std::string object = "{";
        for (int count = input.byte() % 5; count > 0; --count)
            object += stringLiteral(input.text()) + ":" + scriptLiteral(input, depth + 1) + ",";
        return object + "}";
    }
    }
}

struct NssReleaser {
    void operator()(NSSInitContext* context) const { NSS_ShutdownContext(context); }
};

// The browser with the module loaded, and the page of the input being run.
// The session's own reference to NSS keeps it up between inputs: the first
// engine of each page would otherwise start it again, at great cost.
class Session {
public:
    explicit Session(const SoftHsmToken& token)
        : m_nss(NSS_InitContext("", "", "", "", nullptr,
                                NSS_INIT_READONLY | NSS_INIT_NOCERTDB | NSS_INIT_NOMODDB)) {
        require(m_nss != nullptr, "NSS does not start");
        const std::string key = makeRsaKey(token.folder(), "signer");
        token.writeCertificate(makeCertificate(token.folder(), "signer", key), "0a0b");
        token.writePrivateKey(key, "0a0b");
        m_browser.loadModule(VELMORA_MODULE);
    }

    void run(Input& input) {
        testbrowser::Page& page = m_browser.openPage(kPage);
        m_npp = page.instance("plugin")->npp();
        m_object = page.instance("plugin")->scriptableObject();
        require(m_object != nullptr, "the plug-in has no script object");
        for (int operation = 0; operation < kMaxOperations && !input.empty(); ++operation) {
            perform(input);
            m_browser.takeException();
        }
        m_browser.runUntilIdle(1s);
        clearPin();
        m_browser.closePage();
        require(m_browser.clean(), m_browser.leakReport());
        m_browser.records() = testbrowser::Records();
    }

    // NP_Shutdown, when the process ends: the module frees what it holds.
    void shutdown() { m_browser.shutdownModule(); }

private:
    NPNetscapeFuncs& npn() { return m_browser.functions(); }

    // A known name, an arbitrary text or an integer.
    NPIdentifier name(Input& input) {
        const uint8_t choice = input.byte();
        if (choice < 160)
            return testbrowser::identifiers::fromString(kKnownNames[choice % kKnownNameCount]);
        if (choice < 240)
            return testbrowser::identifiers::fromString(input.text());
        return testbrowser::identifiers::fromInt(input.value<int32_t>());
    }

    // The arguments of one call, with the texts and objects they point to.
    class Arguments {
    public:
        explicit Arguments(NPNetscapeFuncs& npn) : m_npn(npn) {}
        Arguments(const Arguments&) = delete;
        Arguments& operator=(const Arguments&) = delete;
        ~Arguments() {
            for (size_t i = 0; i < m_values.size(); ++i)
                if (m_owned[i])
                    m_npn.releasevariantvalue(&m_values[i]);
        }
        // A value whose text or object the arguments now own.
        void add(const NPVariant& value) {
            m_values.push_back(value);
            m_owned.push_back(true);
        }
        // A text in the arguments' own storage, as a browser passes its
        // strings: not from its allocator, and not to be freed.
        void addText(const std::string& bytes) {
            const std::string& kept = m_texts.emplace_back(bytes);
            NPVariant value{NPVariantType_String, {}};
            value.value.stringValue = {kept.data(), static_cast<uint32_t>(kept.size())};
            m_values.push_back(value);
            m_owned.push_back(false);
        }
        const NPVariant* data() const { return m_values.data(); }
        uint32_t count() const { return static_cast<uint32_t>(m_values.size()); }

    private:
        NPNetscapeFuncs& m_npn;
        std::vector<NPVariant> m_values;
        std::vector<bool> m_owned;
        std::deque<std::string> m_texts;
    };

    // One value as the browser passes it; an object comes with a reference
    // the arguments hold, and a text the page made with the browser's memory.
    void addValue(Input& input, Arguments& arguments) {
        NPVariant value{NPVariantType_Void, {}};
        switch (input.byte() % 8) {
        case 0:
            break;
        case 1:
            value.type = NPVariantType_Null;
            break;
        case 2:
            value.type = NPVariantType_Bool;
            value.value.boolValue = input.byte() & 1;
            break;
        case 3:
            value.type = NPVariantType_Int32;
            value.value.intValue = input.value<int32_t>();
            break;
        case 4:
            value.type = NPVariantType_Double;
            value.value.doubleValue = input.value<double>();
            break;
        case 5:
            arguments.addText(input.text());
            return;
        case 6:
            value.type = NPVariantType_Object;
            value.value.objectValue = npn().retainobject(m_object);
            break;
        default:
            value = evaluate(scriptLiteral(input, 0));
        }
        arguments.add(value);
    }

    // The page's value of the literal, through NPN_Evaluate.
    NPVariant evaluate(const std::string& literal) {
        const std::string script = "(" + literal + ")";
        NPVariant value{NPVariantType_Void, {}};
        NPObject* window = nullptr;
        npn().getvalue(m_npp, NPNVWindowNPObject, &window);
        const NPString source = {script.data(), static_cast<uint32_t>(script.size())};
        const bool evaluated =
            npn().evaluate(m_npp, window, const_cast<NPString*>(&source), &value);
        npn().releaseobject(window);
        require(evaluated, "the page refused the literal " + literal);
        return value;
    }

    void perform(Input& input) {
        Arguments arguments(npn());
        const uint8_t operation = input.byte() % 9;
        const NPIdentifier member = name(input);
        if (operation < 3)
            for (int count = input.byte() % (kMaxArguments + 1); count > 0; --count)
                addValue(input, arguments);
        NPVariant result{NPVariantType_Void, {}};
        bool answered = false;
        switch (operation) {
        case 0:
        case 1:
            answered =
                npn().invoke(m_npp, m_object, member, arguments.data(), arguments.count(), &result);
            break;
        case 2:
            answered =
                npn().invokeDefault(m_npp, m_object, arguments.data(), arguments.count(), &result);
            break;
        case 3:
            npn().hasmethod(m_npp, m_object, member);
            break;
        case 4:
            npn().hasproperty(m_npp, m_object, member);
            break;
        case 5:
            answered = npn().getproperty(m_npp, m_object, member, &result);
            break;
        case 6:
            addValue(input, arguments);
            npn().setproperty(m_npp, m_object, member, arguments.data());
            break;
        case 7:
            npn().removeproperty(m_npp, m_object, member);
            break;
        default:
            enumerate();
        }
        if (answered)
            npn().releasevariantvalue(&result);
    }

    void enumerate() {
        NPIdentifier* names = nullptr;
        uint32_t count = 0;
        if (npn().enumerate(m_npp, m_object, &names, &count))
            npn().memfree(names);
    }

    // The PIN store is the process's: an empty PIN empties it, so that no
    // input finds the PIN another typed.
    void clearPin() {
        Arguments arguments(npn());
        arguments.addText("");
        npn().setproperty(m_npp, m_object, testbrowser::identifiers::fromString("pin"),
                          arguments.data());
    }

    std::unique_ptr<NSSInitContext, NssReleaser> m_nss;
    testbrowser::Browser m_browser;
    NPP m_npp = nullptr;
    NPObject* m_object = nullptr;
};

// The token's folder goes when the process ends.
SoftHsmToken& token() {
    static SoftHsmToken instance;
    return instance;
}

// Never destroyed: the module, and NSS with it, stay loaded to the end, so
// the leak check can still tell NSS's lasting memory from the module's. The
// module is shut down before that check runs.
Session& session() {
    static Session* instance = [] {
        Session* made = new Session(token());
        std::atexit([] { session().shutdown(); });
        return made;
    }();
    return *instance;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    session();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input input(data, size);
    session().run(input);
    return 0;
}
