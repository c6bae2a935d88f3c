#pragma once

// FB::ShareableReference: lets weak pointers watch an object that is not
// itself owned by a shared pointer. The target creates one holder for itself
// and keeps the only shared pointer to it, handing out weak pointers; when
// the target is destroyed the holder goes with it and every weak pointer
// expires. Lock a weak pointer before using getPtr().

#include <boost/enable_shared_from_this.hpp>
#include <boost/noncopyable.hpp>

namespace FB {

template <class T>
class ShareableReference : public boost::enable_shared_from_this<ShareableReference<T>>,
                           private boost::noncopyable {
public:
    explicit ShareableReference(T* target) : m_target(target) {}

    T* getPtr() const { return m_target; }

private:
    T* const m_target;
};

} // namespace FB
