// A Velmora on the fake browser host, with its script object called the way
// a page calls it: members by name, values as variants. The PIN store is
// process-wide, so every test starts and ends with it empty.
#pragma once

#include "DigitalSignatureUtil.h"
#include "EngineTestSupport.h"
#include "FakeBrowserHost.h"
#include "SecretPin.h"
#include "Velmora.h"
#include "VelmoraAPI.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <string>

class PluginOnHost : public ::testing::Test {
protected:
    PluginOnHost() {
        gPines.clear();
        plugin->SetHost(host);
    }
    ~PluginOnHost() override { gPines.clear(); }

    FB::variant call(const std::string& name, const FB::VariantList& args = {}) {
        return api->Invoke(name, args);
    }
    FB::variant get(const std::string& name) { return api->GetProperty(name); }
    void set(const std::string& name, const FB::variant& value) { api->SetProperty(name, value); }
    template <typename T> T read(const std::string& name) { return get(name).cast<T>(); }

    // Types the text with "processPinChar", one character at a time.
    void typePin(const std::string& text) {
        for (char c : text) {
            call("processPinChar", {std::string(1, c)});
        }
    }
    void typePin(const SecretPin& pin) {
        for (std::size_t i = 0; i < pin.size(); ++i) {
            call("processPinChar", {std::string(1, pin.at(i))});
        }
    }

    boost::shared_ptr<FakeBrowserHost> host = boost::make_shared<FakeBrowserHost>();
    boost::shared_ptr<Velmora> plugin = boost::make_shared<Velmora>();
    FB::JSAPIPtr api = plugin->getRootJSAPI();
};

// With a SoftHSM2 token holding one signing key and its certificate under
// the id 0a0b; the token's user PIN is "1234".
class PluginOnToken : public PluginOnHost {
protected:
    PluginOnToken() {
        token.writeCertificate(certificateDer, "0a0b");
        token.writePrivateKey(keyPem, "0a0b");
    }
    // The engine goes before the token it used.
    ~PluginOnToken() override {
        api.reset();
        plugin.reset();
    }

    // Signs a hash of that many bytes with the key; the hash is kept.
    std::string sign(std::size_t hashLength) {
        hash = std::string(hashLength, 'h');
        return call("signPkcs1", {certId, toBase64(hash)}).cast<std::string>();
    }

    SoftHsmToken token;
    std::string keyPem = makeRsaKey(token.folder(), "signer");
    std::string certificateDer = makeCertificate(token.folder(), "signer", keyPem);
    std::string certId = toBase64(fromHex("0a0b"));
    std::string hash;
};
