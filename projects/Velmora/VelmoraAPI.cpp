#include "VelmoraAPI.h"

#include "DigitalSignatureUtilPkcs11.h"
#include "JSExceptions.h"
#include "SystemHelpersMac.h"
#include "variant_list.h"

#include <boost/optional.hpp>
#include <cctype>
#include <dirent.h>

namespace {

const char* const echoText = "So far, you clicked this many times: ";
const char* const version = "1.0.0.0";
const char* const securityDatabaseFile = "secmod.db";
const char* const profileFolders[] = {"/Library/Application Support/Firefox/Profiles",
                                      "/Library/Mozilla/Firefox/Profiles"};
// The plug-in file sits at bundle/Contents/MacOS/file.
const int bundleDepth = 3;

// The "echo" calls of the process, across every instance.
int echoCount = 0;

// An open folder, closed when it goes; `isOpen` is false when it could not
// be opened.
class Directory {
public:
    explicit Directory(const std::string& path) : m_dir(opendir(path.c_str())) {}
    ~Directory() {
        if (m_dir) {
            closedir(m_dir);
        }
    }
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    bool isOpen() const { return m_dir != nullptr; }
    // The next entry in the file system's order, or null at the end.
    const dirent* next() { return readdir(m_dir); }

private:
    DIR* m_dir;
};

bool isSelfOrParent(const std::string& name) {
    return name == "." || name == "..";
}

// The path without its last component; false when it has no "/".
bool removeLastComponent(std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return false;
    }
    path.erase(slash);
    return true;
}

} // namespace

VelmoraAPI::VelmoraAPI(const VelmoraPtr& plugin, const boost::shared_ptr<FB::BrowserHost>&)
    : FB::JSAPIAuto("<JSAPI-Auto Javascript Object>"), m_plugin(plugin), m_lastError(0),
      m_lastLowLevelError(0), m_isPinMissing(false), m_isPinInvalid(false) {
    registerMethod("echo", FB::make_method(this, &VelmoraAPI::echo));
    registerMethod("testEvent", FB::make_method(this, &VelmoraAPI::testEvent));
    registerMethod("getDigitalSignatureCertificates",
                   FB::make_method(this, &VelmoraAPI::getDigitalSignatureCertificates));
    registerMethod("getCertificate", FB::make_method(this, &VelmoraAPI::getCertificate));
    registerMethod("signPkcs1", FB::make_method(this, &VelmoraAPI::signPkcs1));
    registerMethod("processPinChar", FB::make_method(this, &VelmoraAPI::processPinChar));
    registerMethod("deletePinChar", FB::make_method(this, &VelmoraAPI::deletePinChar));

    registerProperty("testString", FB::make_property(this, &VelmoraAPI::get_testString,
                                                     &VelmoraAPI::set_testString));
    registerProperty("version", FB::make_property(this, &VelmoraAPI::get_version));
    registerProperty("pin", FB::make_property(this, &VelmoraAPI::get_pin, &VelmoraAPI::set_pin));
    registerProperty("lastError", FB::make_property(this, &VelmoraAPI::get_lastError));
    registerProperty("lastLowLevelError",
                     FB::make_property(this, &VelmoraAPI::get_lastLowLevelError));
    registerProperty("lastErrorMessage",
                     FB::make_property(this, &VelmoraAPI::get_lastErrorMessage));
    registerProperty("pinLength", FB::make_property(this, &VelmoraAPI::get_pinLength));
    registerProperty("isPinMissing", FB::make_property(this, &VelmoraAPI::get_isPinMissing));
    registerProperty("isPinInvalid", FB::make_property(this, &VelmoraAPI::get_isPinInvalid));
    registerProperty("pinModuleName", FB::make_property(this, &VelmoraAPI::get_pinModuleName));
    registerProperty("pinRetryCount", FB::make_property(this, &VelmoraAPI::get_pinRetryCount));
}

VelmoraAPI::~VelmoraAPI() {
    m_digitalSignatureUtil.reset();
}

VelmoraPtr VelmoraAPI::getPlugin() {
    const VelmoraPtr plugin = m_plugin.lock();
    if (!plugin) {
        throw FB::script_error("The plugin is invalid");
    }
    return plugin;
}

// --- Test members ---

FB::variant VelmoraAPI::echo(const FB::variant& value) {
    const FB::variant text(echoText);
    const int count = echoCount++;
    fire_echo(text, count);
    return value;
}

void VelmoraAPI::testEvent() {
    fire_test();
}

void VelmoraAPI::fire_echo(const FB::variant& text, int count) {
    FireEvent("onecho", FB::variant_list_of(text)(count));
}

void VelmoraAPI::fire_test() {
    FireEvent("ontest", FB::VariantList());
}

std::string VelmoraAPI::get_testString() {
    return m_testString;
}

void VelmoraAPI::set_testString(const std::string& value) {
    m_testString = value;
}

std::string VelmoraAPI::get_version() {
    return version;
}

// --- Certificate operations ---

template <typename EngineCall> std::string VelmoraAPI::runOperation(EngineCall call) {
    DigitalSignatureUtil& engine = getDigitalSignatureUtil();
    loadPin(engine);
    const std::string result = call(engine);
    setPinModuleName(engine);
    copyErrorState(engine);
    return result;
}

std::string VelmoraAPI::getDigitalSignatureCertificates() {
    return runOperation([this](DigitalSignatureUtil& engine) {
        const std::string caSubjectNames = getCaSubjectName();
        return engine.ListCertificates(caSubjectNames);
    });
}

std::string VelmoraAPI::getCertificate(const std::string& certIdBase64) {
    return runOperation([&certIdBase64](DigitalSignatureUtil& engine) {
        return engine.GetCertificateBase64(certIdBase64);
    });
}

std::string VelmoraAPI::signPkcs1(const std::string& certIdBase64, const std::string& hashBase64) {
    return runOperation([&certIdBase64, &hashBase64](DigitalSignatureUtil& engine) {
        return engine.SignPkcs1Base64(certIdBase64, hashBase64);
    });
}

DigitalSignatureUtil& VelmoraAPI::getDigitalSignatureUtil() {
    if (!m_digitalSignatureUtil) {
        m_digitalSignatureUtil.reset(new DigitalSignatureUtilPkcs11());
    }
    return *m_digitalSignatureUtil;
}

void VelmoraAPI::copyErrorState(const DigitalSignatureUtil& engine) {
    m_lastError = engine.LastError();
    // NSPR's codes are negative and come back as such.
    m_lastLowLevelError = static_cast<long>(engine.LastLowLevelError());
    m_lastErrorMessage = engine.LastErrorMessage();
}

std::string VelmoraAPI::getParam(const std::string& name) {
    const boost::optional<std::string> value = getPlugin()->getParam(name);
    return value ? *value : std::string();
}

std::string VelmoraAPI::getCaSubjectName() {
    return getParam("CaSubjectNames");
}

int VelmoraAPI::get_lastError() {
    return m_lastError;
}

long VelmoraAPI::get_lastLowLevelError() {
    return m_lastLowLevelError;
}

std::string VelmoraAPI::get_lastErrorMessage() {
    return m_lastErrorMessage;
}

// --- PIN entry and state ---

void VelmoraAPI::processPinChar(char c) {
    m_pin.append(c);
}

void VelmoraAPI::deletePinChar() {
    m_pin.removeLast();
}

std::string VelmoraAPI::get_pin() {
    return std::string();
}

void VelmoraAPI::set_pin(std::string value) {
    const ScopedTextWipe wipe(value);
    m_pin.assign(value);
    if (!value.empty()) {
        return;
    }
    getDigitalSignatureUtil().ClearPin();
    m_digitalSignatureUtil.reset();
}

int VelmoraAPI::get_pinLength() {
    return static_cast<int>(m_pin.size());
}

bool VelmoraAPI::get_isPinMissing() {
    return m_isPinMissing;
}

bool VelmoraAPI::get_isPinInvalid() {
    return m_isPinInvalid;
}

std::string VelmoraAPI::get_pinModuleName() {
    return m_pinModuleName;
}

int VelmoraAPI::get_pinRetryCount() {
    return getDigitalSignatureUtil().InvalidPinRetries(m_pinModuleName);
}

void VelmoraAPI::loadPin(DigitalSignatureUtil& engine) {
    if (m_pinModuleName.empty() || m_pin.empty()) {
        return;
    }
    std::string pin(m_pin.data(), m_pin.size());
    const ScopedTextWipe wipe(pin);
    engine.SetPin(m_pinModuleName, pin);
    m_pin.clear();
}

void VelmoraAPI::setPinModuleName(DigitalSignatureUtil& engine) {
    if (engine.InvalidPin()) {
        m_pinModuleName = engine.InvalidPines().front();
        m_isPinInvalid = true;
        m_isPinMissing = false;
    } else if (engine.MissingPin()) {
        m_pinModuleName = engine.MissingPines().front();
        m_isPinMissing = true;
        m_isPinInvalid = false;
    } else {
        m_pinModuleName.clear();
        m_isPinMissing = false;
        m_isPinInvalid = false;
    }
}

// --- Security database location ---

std::string VelmoraAPI::getSecurityDatabasePath() {
    if (!m_securityDatabasePath.empty()) {
        return m_securityDatabasePath;
    }
    const std::string bundle = bundleDatabaseFolder();
    if (!bundle.empty()) {
        return bundle;
    }
    const std::string home = FB::System::getHomeDirPath();
    for (const char* profiles : profileFolders) {
        const std::string found = profileDatabaseFolder(home + profiles);
        if (!found.empty()) {
            m_securityDatabasePath = found;
            return found;
        }
    }
    m_securityDatabasePath = ".";
    return m_securityDatabasePath;
}

std::string VelmoraAPI::bundleDatabaseFolder() {
    std::string folder = getPlugin()->getFilesystemPath();
    for (int removed = 0; removed < bundleDepth; ++removed) {
        if (!removeLastComponent(folder)) {
            return std::string();
        }
    }
    return directoryHasFile(folder, securityDatabaseFile) ? folder : std::string();
}

std::string VelmoraAPI::profileDatabaseFolder(const std::string& base) {
    const std::string profile = FindProfileDir(base);
    return profile.empty() ? std::string() : base + "/" + profile;
}

std::string VelmoraAPI::FindProfileDir(const std::string& base) {
    Directory folder(base);
    if (!folder.isOpen()) {
        return std::string();
    }
    while (const dirent* entry = folder.next()) {
        const std::string name = entry->d_name;
        if (isSelfOrParent(name) || entry->d_type != DT_DIR) {
            continue;
        }
        if (directoryHasFile(base + "/" + name, securityDatabaseFile)) {
            return name;
        }
    }
    return std::string();
}

bool VelmoraAPI::directoryHasFile(const std::string& dir, const std::string& name) {
    Directory folder(dir);
    if (!folder.isOpen()) {
        return false;
    }
    while (const dirent* entry = folder.next()) {
        if (areEqual(entry->d_name, name)) {
            return true;
        }
    }
    return false;
}

bool VelmoraAPI::areEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::string::size_type i = 0; i < a.size(); ++i) {
        // tolower takes an unsigned char's value; a plain char may be negative.
        const unsigned char left = static_cast<unsigned char>(a[i]);
        const unsigned char right = static_cast<unsigned char>(b[i]);
        if (std::tolower(left) != std::tolower(right)) {
            return false;
        }
    }
    return true;
}
