// The safe curves: X25519 and X448 key agreement (RFC 7748), Ed25519 and
// Ed448 signatures (RFC 8032, pure EdDSA). Keys and values are the fixed-size
// little-endian byte strings of those RFCs. Every operation on a private key
// runs in constant time; verification handles only public data and may not.
//
// Results: 0 on success, else a library error code (src/frame/error.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::ecc {

inline constexpr size_t kX25519KeyLen = 32;
inline constexpr size_t kX448KeyLen = 56;
inline constexpr size_t kEd25519KeyLen = 32;
inline constexpr size_t kEd25519SigLen = 64;
inline constexpr size_t kEd448KeyLen = 57;
inline constexpr size_t kEd448SigLen = 114;

// X25519(k, 9): the public key of private key `priv`.
long x25519_public_key(uint8_t pub[32], const uint8_t priv[32]);
// X25519(k, u): the shared secret of `priv` and the peer's `pub`. A result
// of all zero octets (a low-order peer key, RFC 7748 section 6.1) is detected
// in constant time: `out` is zeroed and OUT_OF_RANGE_ERROR (11) returned.
long x25519_shared_secret(uint8_t out[32], const uint8_t priv[32], const uint8_t pub[32]);

// X448(k, 5) and X448(k, u), as above with 56-octet values.
long x448_public_key(uint8_t pub[56], const uint8_t priv[56]);
long x448_shared_secret(uint8_t out[56], const uint8_t priv[56], const uint8_t pub[56]);

// Ed25519 public key of the 32-octet private key (RFC 8032 section 5.1.5).
long ed25519_public_key(uint8_t pub[32], const uint8_t priv[32]);
// Ed25519 signature of msg (section 5.1.6). `pub` is the public key of
// `priv` as ed25519_public_key gives it (taken from a key record that
// derived it), or null to derive it here.
long ed25519_sign(uint8_t sig[64], const uint8_t* msg, size_t msg_len, const uint8_t priv[32],
                  const uint8_t* pub);
// Strict verification (section 5.1.7, cofactorless): S < L, A a canonical
// encoding of a curve point, and [S]B = R + [k]A compared by encoding (which
// also requires R canonical). 0 when valid, SIGNATURE_ERROR (22) otherwise.
long ed25519_verify(const uint8_t sig[64], const uint8_t* msg, size_t msg_len, const uint8_t pub[32]);

// Ed448 (sections 5.2.5 - 5.2.7) with an optional context of at most 255
// octets (null/0 for none); a longer context gives BAD_PARAM_ERROR (6).
long ed448_public_key(uint8_t pub[57], const uint8_t priv[57]);
long ed448_sign(uint8_t sig[114], const uint8_t* msg, size_t msg_len, const uint8_t priv[57],
                const uint8_t* pub, const uint8_t* ctx = nullptr, size_t ctx_len = 0);
long ed448_verify(const uint8_t sig[114], const uint8_t* msg, size_t msg_len, const uint8_t pub[57],
                  const uint8_t* ctx = nullptr, size_t ctx_len = 0);

}  // namespace velt::ecc
