#include "SoftHsmToken.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

const char* const SoftHsmToken::kModule = "/usr/lib/softhsm/libsofthsm2.so";

std::string runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run: " + command);
    char buffer[512];
    while (size_t read = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, read);
    if (pclose(pipe) != 0)
        throw std::runtime_error("command failed: " + command + "\n" + output);
    return output;
}

SoftHsmToken::SoftHsmToken(const std::string& label, const std::string& userPin)
    : m_userPin(userPin) {
    std::string pattern = "/tmp/velmora-hsm-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        throw std::runtime_error("cannot create a temporary folder");
    m_folder = pattern;
    runCommand("mkdir -p " + path("tokens"));
    std::ofstream(path("softhsm2.conf")) << "directories.tokendir = " << path("tokens") << "\n"
                                         << "objectstore.backend = file\n"
                                         << "log.level = ERROR\n";
    setenv("SOFTHSM2_CONF", path("softhsm2.conf").c_str(), 1);
    runCommand("softhsm2-util --init-token --free --label '" + label +
               "' --so-pin 87654321 --pin '" + userPin + "'");
}

SoftHsmToken::~SoftHsmToken() {
    unsetenv("SOFTHSM2_CONF");
    try {
        runCommand("rm -rf '" + m_folder + "'");
    } catch (const std::exception&) {
        // a folder left in /tmp is no reason to fail the test run
    }
}

void SoftHsmToken::writeCertificate(const std::string& derFile, const std::string& idHex) const {
    writeObject(derFile, "cert", idHex);
}

void SoftHsmToken::writePrivateKey(const std::string& pemFile, const std::string& idHex) const {
    writeObject(pemFile, "privkey", idHex);
}

void SoftHsmToken::writeObject(const std::string& file, const std::string& type,
                               const std::string& idHex) const {
    runCommand(std::string("pkcs11-tool --module ") + kModule + " --login --pin '" + m_userPin +
               "' --write-object '" + file + "' --type " + type +
               (idHex.empty() ? "" : " --id " + idHex));
}
