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

private:
    std::string m_folder;
    std::string m_userPin;
};

// Runs a shell command; throws std::runtime_error with its output when it
// fails.
void runCommand(const std::string& command);
