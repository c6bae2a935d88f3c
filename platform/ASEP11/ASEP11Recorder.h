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
          m_inject(hook<void (*)(const char*, unsigned long)>("asep11_test_inject")),
          m_report(hook<void (*)(const char*, unsigned long, unsigned long)>("asep11_test_report")),
          m_throw(hook<void (*)(const char*)>("asep11_test_throw")),
          m_endlessSearch(hook<void (*)(int)>("asep11_test_endless_search")),
          m_madeUpAnswers(hook<unsigned long (*)()>("asep11_test_made_up_answers")),
          m_showSlot(hook<void (*)(unsigned long)>("asep11_test_show_slot")),
          m_showSession(hook<void (*)(unsigned long)>("asep11_test_show_session")) {}

    // Forgets the recorded calls and any pending injections.
    void reset() const { m_reset(); }
    // The forwarded calls so far, their names joined by ",".
    std::string calls() const { return m_calls(); }
    // The next call of `function` answers `rv` instead of reaching the token.
    void inject(const std::string& function, unsigned long rv) const {
        m_inject(function.c_str(), rv);
    }
    // The `call`-th call of `function` since the last reset, counted from 1,
    // reports `size` as its count or length (C_GetSlotList, C_GetAttributeValue,
    // C_Sign) in place of what the token said.
    void report(const std::string& function, unsigned long size, unsigned long call = 1) const {
        m_report(function.c_str(), size, call);
    }
    // The next call of `function` throws std::bad_alloc.
    void throwFrom(const std::string& function) const { m_throw(function.c_str()); }
    // Every search from now on, once the token has no more objects for it,
    // answers one more object at each call: the last one found again, or a
    // handle the token never gave (whose attribute reads fail). The module
    // gives up after 50,000 such answers, so that a caller that would follow
    // the search for ever ends.
    enum class EndlessSearch { RepeatLast, NewHandles };
    void searchNeverEnds(EndlessSearch mode) const {
        m_endlessSearch(mode == EndlessSearch::NewHandles);
    }
    // How many objects the searches answered beyond the token's.
    unsigned long madeUpAnswers() const { return m_madeUpAnswers(); }
    // The first slot with a token, and every session opened, are shown under
    // these handles in place of the token's own.
    void showSlotAs(unsigned long slot) const { m_showSlot(slot); }
    void showSessionAs(unsigned long session) const { m_showSession(session); }

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
    void (*m_report)(const char*, unsigned long, unsigned long);
    void (*m_throw)(const char*);
    void (*m_endlessSearch)(int);
    unsigned long (*m_madeUpAnswers)();
    void (*m_showSlot)(unsigned long);
    void (*m_showSession)(unsigned long);
};
