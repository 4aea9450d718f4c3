#pragma once

#include <utility>

// Sets a test hook for as long as it lives and puts the one before it back: a hook set
// inside another's lifetime cannot leave the outer one lost.
template <typename Hook, Hook (*Set)(Hook)> class CHookGuard {
public:
    explicit CHookGuard(Hook hook) : m_previous(Set(std::move(hook))) {}
    ~CHookGuard() { Set(std::move(m_previous)); }
    CHookGuard(const CHookGuard&) = delete;
    CHookGuard& operator=(const CHookGuard&) = delete;

private:
    Hook m_previous;
};
