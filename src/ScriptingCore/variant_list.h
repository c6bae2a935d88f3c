#pragma once

// variant_list_of(a)(b)(c) builds the argument list a, b, c in one expression.

#include "variant.h"

#include <utility>

namespace FB {
namespace detail {

// The temporary that collects the list; it lives to the end of the full
// expression, so a caller that keeps the list copies it.
class VariantListInserter {
public:
    explicit VariantListInserter(variant first) { m_list.push_back(std::move(first)); }

    VariantListInserter& operator()(variant next) {
        m_list.push_back(std::move(next));
        return *this;
    }

    operator VariantList&() { return m_list; }

private:
    friend variant variant_detail::conversion::make_variant(const VariantListInserter& list);

    VariantList m_list;
};

} // namespace detail

namespace variant_detail {
namespace conversion {

inline variant make_variant(const detail::VariantListInserter& list) {
    return variant(list.m_list, true);
}

} // namespace conversion
} // namespace variant_detail

inline detail::VariantListInserter variant_list_of(variant first) {
    return detail::VariantListInserter(first);
}

} // namespace FB
