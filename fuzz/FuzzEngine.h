// One engine for the life of a fuzz target's process: it holds NSS up, so that
// each input does not start NSS again.
#pragma once

#include "DigitalSignatureUtilPkcs11.h"

inline DigitalSignatureUtilPkcs11& engine() {
    static DigitalSignatureUtilPkcs11* instance = new DigitalSignatureUtilPkcs11();
    return *instance;
}
