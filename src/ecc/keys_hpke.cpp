// HPKE private-key derivation into a private key string.
#include "ecc/keys.h"
#include "frame/error.h"
#include "hash/hash.h"

namespace velt::ecc {

long eccHpkeDerivePrivateKey(char* out, long outlen, const uint8_t* ikm, long ikmlen, const char* curveName,
                             long options) {
    constexpr long kHex = 0x30000;
    if (options & kHex) return hpkeDerivePrivateKey(out, outlen, ikm, ikmlen, curveName, options);
    long n = hpkeDerivePrivateKey(nullptr, 0, ikm, ikmlen, curveName, options | kHex);
    if (n <= 0) return n;
    SecureString hex(size_t(n) + 1, '\0');
    long r = hpkeDerivePrivateKey(hex.data(), n, ikm, ikmlen, curveName, options | kHex);
    if (r < 0) return r;
    hex.resize(size_t(r));
    return eccReadKeyByCurve(out, outlen, hex.c_str(), curveName, options & kKeyUnwrapped);
}

}  // namespace velt::ecc
