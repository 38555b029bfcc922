// OpenSSL as an independent oracle for the safe-curve tests: raw keys in,
// raw results out, through EVP_PKEY.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <vector>

namespace safe_oracle {

using Bytes = std::vector<uint8_t>;

inline Bytes public_key(int type, const Bytes& priv) {
    Bytes out;
    EVP_PKEY* k = EVP_PKEY_new_raw_private_key(type, nullptr, priv.data(), priv.size());
    size_t len = 0;
    if (k && EVP_PKEY_get_raw_public_key(k, nullptr, &len) == 1) {
        out.resize(len);
        if (EVP_PKEY_get_raw_public_key(k, out.data(), &len) != 1) out.clear();
    }
    EVP_PKEY_free(k);
    return out;
}

// Empty when OpenSSL refuses the derivation.
inline Bytes derive(int type, const Bytes& priv, const Bytes& pub) {
    Bytes out;
    EVP_PKEY* k = EVP_PKEY_new_raw_private_key(type, nullptr, priv.data(), priv.size());
    EVP_PKEY* p = EVP_PKEY_new_raw_public_key(type, nullptr, pub.data(), pub.size());
    EVP_PKEY_CTX* c = k ? EVP_PKEY_CTX_new(k, nullptr) : nullptr;
    size_t len = 0;
    if (c && p && EVP_PKEY_derive_init(c) == 1 && EVP_PKEY_derive_set_peer(c, p) == 1 &&
        EVP_PKEY_derive(c, nullptr, &len) == 1) {
        out.resize(len);
        if (EVP_PKEY_derive(c, out.data(), &len) != 1) out.clear();
    }
    EVP_PKEY_CTX_free(c);
    EVP_PKEY_free(p);
    EVP_PKEY_free(k);
    return out;
}

inline Bytes sign(int type, const Bytes& priv, const Bytes& msg) {
    Bytes out;
    EVP_PKEY* k = EVP_PKEY_new_raw_private_key(type, nullptr, priv.data(), priv.size());
    EVP_MD_CTX* c = EVP_MD_CTX_new();
    size_t len = 0;
    if (k && c && EVP_DigestSignInit(c, nullptr, nullptr, nullptr, k) == 1 &&
        EVP_DigestSign(c, nullptr, &len, msg.data(), msg.size()) == 1) {
        out.resize(len);
        if (EVP_DigestSign(c, out.data(), &len, msg.data(), msg.size()) != 1) out.clear();
    }
    EVP_MD_CTX_free(c);
    EVP_PKEY_free(k);
    return out;
}

inline bool verify(int type, const Bytes& pub, const Bytes& msg, const Bytes& sig) {
    EVP_PKEY* k = EVP_PKEY_new_raw_public_key(type, nullptr, pub.data(), pub.size());
    EVP_MD_CTX* c = EVP_MD_CTX_new();
    bool ok = k && c && EVP_DigestVerifyInit(c, nullptr, nullptr, nullptr, k) == 1 &&
              EVP_DigestVerify(c, sig.data(), sig.size(), msg.data(), msg.size()) == 1;
    EVP_MD_CTX_free(c);
    EVP_PKEY_free(k);
    return ok;
}

inline Bytes random_bytes(size_t n, uint64_t& state) {
    Bytes b(n);
    for (auto& x : b) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        x = uint8_t(state >> 56);
    }
    return b;
}

}  // namespace safe_oracle
