#include "TestCertificates.h"

#include "SoftHsmToken.h"

#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

// A moment `days` from now as openssl ca takes it: YYYYMMDDHHMMSSZ.
std::string utcDate(int days) {
    std::time_t moment = std::time(nullptr) + static_cast<std::time_t>(days) * 24 * 3600;
    std::tm utc{};
    gmtime_r(&moment, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", &utc);
    return text;
}

// A throw-away CA database and configuration for one `openssl ca` run.
std::string writeCaConfig(const std::string& folder, const CertificateProfile& profile) {
    runCommand("mkdir -p '" + folder + "' && : > '" + folder + "/index.txt' && echo 01 > '" +
               folder + "/serial'");
    std::ofstream config(folder + "/ca.cnf");
    config << "[ca]\ndefault_ca = local\n"
           << "[local]\ndatabase = " << folder << "/index.txt\n"
           << "new_certs_dir = " << folder << "\nserial = " << folder << "/serial\n"
           << "default_md = sha256\npolicy = anything\nunique_subject = no\n"
           << "[anything]\n"
           << "[req]\ndistinguished_name = dn\n[dn]\n"
           << "[ext]\nbasicConstraints = CA:FALSE\n";
    if (!profile.keyUsage.empty())
        config << "keyUsage = " << profile.keyUsage << "\n";
    config << profile.extensions << "\n";
    return folder + "/ca.cnf";
}

} // namespace

std::string makeRsaKey(const std::string& folder, const std::string& name) {
    std::string key = folder + "/" + name + ".key.pem";
    runCommand("openssl genrsa -out '" + key + "' 2048");
    return key;
}

std::string makeCertificate(const std::string& folder, const std::string& name,
                            const std::string& keyPem, const CertificateProfile& profile) {
    std::string base = folder + "/" + name;
    std::string config = writeCaConfig(base + ".ca", profile);
    runCommand("openssl req -new -config '" + config + "' -key '" + keyPem + "' -subj '" +
               profile.subject + "' -out '" + base + ".csr'");
    runCommand("openssl ca -batch -config '" + config + "' -selfsign -preserveDN -notext" +
               " -keyfile '" + keyPem + "' -in '" + base + ".csr' -extensions ext" +
               " -startdate " + utcDate(profile.notBeforeDays) + " -enddate " +
               utcDate(profile.notAfterDays) + " -out '" + base + ".pem'");
    runCommand("openssl x509 -in '" + base + ".pem' -outform DER -out '" + base + ".der'");
    return base + ".der";
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
    if (!file)
        throw std::runtime_error("cannot write " + path);
}
