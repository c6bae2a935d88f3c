// A SoftHSM2 token of the test's own, in a temporary folder: the process's
// SOFTHSM2_CONF points there for the fixture's life, never at the system's
// token store.
#pragma once

#include <string>

class SoftHsmToken {
public:
    static const char* const kModule;

    // Creates the folder and a token with the given label and user PIN.
    explicit SoftHsmToken(const std::string& label = "Velmora test",
                          const std::string& userPin = "1234");
    ~SoftHsmToken();
    SoftHsmToken(const SoftHsmToken&) = delete;
    SoftHsmToken& operator=(const SoftHsmToken&) = delete;

    const std::string& folder() const { return m_folder; }
    const std::string& userPin() const { return m_userPin; }
    // A path inside the token's folder, for the test's own files.
    std::string path(const std::string& name) const { return m_folder + "/" + name; }

    // Writes a DER certificate or a PEM private key onto the token with
    // pkcs11-tool, under the hex id given; an empty id writes no CKA_ID.
    void writeCertificate(const std::string& derFile, const std::string& idHex) const;
    void writePrivateKey(const std::string& pemFile, const std::string& idHex) const;

private:
    void writeObject(const std::string& file, const std::string& type,
                     const std::string& idHex) const;

    std::string m_folder;
    std::string m_userPin;
};

// Runs a shell command and returns its output (standard error included);
// throws std::runtime_error with the output when it fails.
std::string runCommand(const std::string& command);
