#pragma once

// VelmoraAPI: the plug-in's root script object, the one object a page sees.
// It lists the token's signing certificates, fetches one as base64 and signs
// a hash with PKCS#1 through the certificate and signature engine, which it
// owns; keeps the PIN the page types until the next operation hands it to the
// engine; and keeps the engine's error state after each operation for the
// page to read. Every member runs on the browser's main thread.

#include "JSAPIAuto.h"
#include "PinBuffer.h"
#include "Velmora.h"

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>
#include <memory>
#include <string>

class DigitalSignatureUtil;

namespace FB {
class BrowserHost;
}

class VelmoraAPI : public FB::JSAPIAuto {
public:
    // Registers the script members; the host is not used.
    VelmoraAPI(const VelmoraPtr& plugin, const boost::shared_ptr<FB::BrowserHost>& host);
    // Deletes the engine first; the PIN is wiped.
    ~VelmoraAPI() override;

    // The owning plug-in; raises FB::script_error "The plugin is invalid"
    // once it is gone.
    VelmoraPtr getPlugin();

    // Script methods.
    // Fires "onecho" with a text and the process's count of echo calls so
    // far, and returns its argument.
    FB::variant echo(const FB::variant& value);
    // Fires "ontest" with no arguments.
    void testEvent();
    std::string getDigitalSignatureCertificates();
    std::string getCertificate(const std::string& certIdBase64);
    std::string signPkcs1(const std::string& certIdBase64, const std::string& hashBase64);
    void processPinChar(char c);
    void deletePinChar();

    // Script properties.
    std::string get_testString();
    void set_testString(const std::string& value);
    std::string get_version();
    // The PIN cannot be read back: always "".
    std::string get_pin();
    // A non-empty value waits for the next operation; "" logs out every
    // slot, empties the PIN store and deletes the engine.
    void set_pin(std::string value);
    int get_lastError();
    long get_lastLowLevelError();
    std::string get_lastErrorMessage();
    int get_pinLength();
    bool get_isPinMissing();
    bool get_isPinInvalid();
    std::string get_pinModuleName();
    // The refused logins the PIN store counts for the PIN module.
    int get_pinRetryCount();

    // The folder of an NSS security database ("secmod.db"): beside the
    // plug-in's bundle, else in the user's Firefox profiles, else ".".
    std::string getSecurityDatabasePath();
    // The name of the first subfolder of base holding "secmod.db"; "" when
    // none does or base cannot be read.
    std::string FindProfileDir(const std::string& base);
    // Whether the folder has an entry of that name, in any letter case.
    bool directoryHasFile(const std::string& dir, const std::string& name);
    // Equal lengths and equal bytes after tolower.
    bool areEqual(const std::string& a, const std::string& b);

private:
    void fire_echo(const FB::variant& text, int count);
    void fire_test();

    // The object parameter as text, "" when absent.
    std::string getParam(const std::string& name);
    std::string getCaSubjectName();
    // Made on first use and after the PIN store was cleared.
    DigitalSignatureUtil& getDigitalSignatureUtil();

    // Hands the typed PIN to the engine under the PIN module that needs it,
    // then wipes it; nothing happens while either is unknown.
    void loadPin(DigitalSignatureUtil& engine);
    // Which PIN module holds a refused PIN, or else lacks one.
    void setPinModuleName(DigitalSignatureUtil& engine);
    void copyErrorState(const DigitalSignatureUtil& engine);
    // The steps every certificate operation runs around its engine call.
    template <typename EngineCall> std::string runOperation(EngineCall call);

    // The bundle folder of the plug-in file when it holds the database.
    std::string bundleDatabaseFolder();
    // base + "/" + the profile holding the database, or "".
    std::string profileDatabaseFolder(const std::string& base);

    boost::weak_ptr<Velmora> m_plugin;
    std::string m_testString;
    PinBuffer m_pin;
    int m_lastError;
    long m_lastLowLevelError;
    std::string m_lastErrorMessage;
    std::string m_securityDatabasePath;
    std::string m_pinModuleName;
    bool m_isPinMissing;
    bool m_isPinInvalid;
    std::unique_ptr<DigitalSignatureUtil> m_digitalSignatureUtil;
};
