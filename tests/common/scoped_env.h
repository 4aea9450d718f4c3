#pragma once

#include <cstdlib>
#include <optional>
#include <string>

// Sets an environment variable (or removes it, for a null value) for one test and puts
// the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        Set(value);
    }
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() { Set(m_old ? m_old->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const char* value) const
    {
#if defined(_WIN32)
        // An empty value removes the variable there.
        ::_putenv_s(m_name, value != nullptr ? value : "");
#else
        if (value != nullptr)
            ::setenv(m_name, value, 1);
        else
            ::unsetenv(m_name);
#endif
    }

    const char* m_name;
    std::optional<std::string> m_old;
};
