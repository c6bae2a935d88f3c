#pragma once

// variant_list_of(a)(b)(c) builds the argument list a, b, c in one expression.

#include "variant.h"

namespace FB {
namespace detail {

// The temporary that collects the list; it lives to the end of the full
// expression, so a caller that keeps the list copies it.
class VariantListInserter {
public:
    explicit VariantListInserter(variant first) : m_list(1, first) {}

    VariantListInserter& operator()(variant next) {
        m_list.push_back(next);
        return *this;
    }

    operator VariantList&() { return m_list; }

private:
    VariantList m_list;
};

} // namespace detail

inline detail::VariantListInserter variant_list_of(variant first) {
    return detail::VariantListInserter(first);
}

} // namespace FB
