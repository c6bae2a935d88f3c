#pragma once

// Owners of what the module holds of the browser: NPVariants, blocks of the
// browser's memory and references to NPObjects. Each gives its resource back
// through the module when it goes, on every path, an exception's included.

#include "NpapiPluginModule.h"

#include <NPAPI.h>

#include <boost/noncopyable.hpp>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace FB {
namespace Npapi {

// NPVariants, all Void at first, released when the block goes.
class NPVariantBlock : private boost::noncopyable {
public:
    NPVariantBlock(const NpapiPluginModule& module, std::size_t count)
        : m_module(module), m_variants(count) {
        for (NPVariant& variant : m_variants) {
            clear(variant);
        }
    }
    ~NPVariantBlock() {
        for (std::size_t i = 0; i < m_variants.size(); ++i) {
            release(i);
        }
    }

    NPVariant* data() { return m_variants.data(); }
    NPVariant& operator[](std::size_t i) { return m_variants[i]; }
    std::uint32_t size() const { return static_cast<std::uint32_t>(m_variants.size()); }

    // Gives one variant back now; it is Void again.
    void release(std::size_t i) {
        m_module.ReleaseVariantValue(&m_variants[i]);
        clear(m_variants[i]);
    }

    static void clear(NPVariant& variant) {
        std::memset(&variant, 0, sizeof variant);
        variant.type = NPVariantType_Void;
    }

private:
    const NpapiPluginModule& m_module;
    std::vector<NPVariant> m_variants;
};

// One thing the browser handed out (a block of its memory, a reference to
// an NPObject), given back with Giver when the owner goes.
template <class T, class Giver> class BrowserHeld : private boost::noncopyable {
public:
    explicit BrowserHeld(const NpapiPluginModule& module, T* held = nullptr)
        : m_module(module), m_held(held) {}
    ~BrowserHeld() {
        if (m_held) {
            Giver()(m_module, m_held);
        }
    }

    T* get() const { return m_held; }
    // For a browser call that hands the thing out.
    T** out() { return &m_held; }
    // The caller takes the thing over.
    T* release() {
        T* const held = m_held;
        m_held = nullptr;
        return held;
    }

private:
    const NpapiPluginModule& m_module;
    T* m_held;
};

struct FreeBrowserMemory {
    void operator()(const NpapiPluginModule& module, void* block) const { module.MemFree(block); }
};

struct ReleaseNPObject {
    void operator()(const NpapiPluginModule& module, NPObject* object) const {
        module.ReleaseObject(object);
    }
};

template <class T> using BrowserMemory = BrowserHeld<T, FreeBrowserMemory>;
typedef BrowserHeld<NPObject, ReleaseNPObject> NPObjectReference;

} // namespace Npapi
} // namespace FB
