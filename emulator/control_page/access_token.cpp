// Random access tokens from the operating system's cryptographic source.
#include "emulator/control_page/access_token.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#else
#include <sys/random.h>

#include <cerrno>
#endif

namespace velmora::emu::control_page {
namespace {

void FillRandom(unsigned char* bytes, size_t count) {
#if defined(_WIN32)
    if (BCryptGenRandom(nullptr, bytes, ULONG(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        throw std::runtime_error("the system's random source (BCryptGenRandom) failed");
#else
    size_t filled = 0;
    while (filled < count) {
        const ssize_t got = getrandom(bytes + filled, count - filled, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) throw std::runtime_error("the system's random source (getrandom) failed");
        filled += size_t(got);
    }
#endif
}

}  // namespace

std::string NewAccessToken() {
    unsigned char bytes[16];
    FillRandom(bytes, sizeof bytes);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

bool SameToken(std::string_view given, std::string_view token) {
    // The token's length is no secret; its bytes are.
    if (given.size() != token.size()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < token.size(); ++i) difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

}  // namespace velmora::emu::control_page
