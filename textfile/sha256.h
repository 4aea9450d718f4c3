#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>

// SHA-256 of bytes handed over piece by piece: OpenSSL's libcrypto, or the system's
// BCrypt on Windows.
class CSha256 {
public:
    using Digest = std::array<unsigned char, 32>;

    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest of everything handed over; the object is spent afterwards.
    Digest Final();

    // The 64 lower-case hexadecimal digits sha256sum prints.
    static std::string Hex(const Digest& digest);
    static Digest Of(const void* data, std::size_t size);

private:
    struct State;
    std::unique_ptr<State> m_pState;
};
