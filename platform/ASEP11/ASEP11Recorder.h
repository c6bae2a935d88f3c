// Test access to the recording build of libASEP11.so. The hooks are found at
// run time, so a test linked against the plain build sees them only when the
// recording build was loaded in its place (its folder first on the run path).
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

class ASEP11Recorder {
public:
    ASEP11Recorder()
        : m_reset(hook<void (*)()>("asep11_test_reset")),
          m_calls(hook<const char* (*)()>("asep11_test_calls")),
          m_inject(hook<void (*)(const char*, unsigned long)>("asep11_test_inject")) {}

    // Forgets the recorded calls and any pending injections.
    void reset() const { m_reset(); }
    // The forwarded calls so far, their names joined by ",".
    std::string calls() const { return m_calls(); }
    // The next call of `function` answers `rv` instead of reaching the token.
    void inject(const std::string& function, unsigned long rv) const {
        m_inject(function.c_str(), rv);
    }

private:
    template <typename Fn> static Fn hook(const char* name) {
        void* symbol = dlsym(RTLD_DEFAULT, name);
        if (!symbol)
            throw std::runtime_error(std::string("recording libASEP11.so not loaded: ") + name);
        return reinterpret_cast<Fn>(symbol);
    }

    void (*m_reset)();
    const char* (*m_calls)();
    void (*m_inject)(const char*, unsigned long);
};
