// Shared helpers for the big-number tests: OpenSSL BIGNUM as the oracle,
// random operands of assorted shapes, and RAII handles.
#pragma once

#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bigd/bigd.h"

namespace bdtest {

struct BdDel {
    void operator()(BdNumber* b) const { bdFree(&b); }
};
using Bd = std::unique_ptr<BdNumber, BdDel>;
inline Bd make() { return Bd(bdNew()); }

struct BnDel {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnDel>;
inline Bn bn() { return Bn(BN_new()); }

struct CtxDel {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
using Ctx = std::unique_ptr<BN_CTX, CtxDel>;

inline Bn to_bn(const BdNumber* b) {
    size_t len = bdConvToOctets(b, nullptr, 0);
    std::vector<unsigned char> buf(len);
    bdConvToOctets(b, buf.data(), len);
    return Bn(BN_bin2bn(buf.data(), int(len), nullptr));
}

inline Bd from_bn(const BIGNUM* x) {
    std::vector<unsigned char> buf(size_t(BN_num_bytes(x)) + 1);
    int len = BN_bn2bin(x, buf.data());
    Bd b = make();
    bdConvFromOctets(b.get(), buf.data(), size_t(len));
    return b;
}

inline std::string hex_of(const BIGNUM* x) {
    char* h = BN_bn2hex(x);
    std::string s(h);
    OPENSSL_free(h);
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    // BN pads to whole bytes; ours has no leading zeros.
    size_t lead = s.find_first_not_of('0');
    s.erase(0, lead == std::string::npos ? s.size() : lead);
    if (s.empty()) s = "0";
    return s;
}

inline std::string hex_of(const BdNumber* b) {
    size_t n = bdConvToHex(b, nullptr, 0);
    std::string s(n + 1, '\0');
    bdConvToHex(b, s.data(), s.size());
    s.resize(n);
    return s;
}

// Random operands: lengths from 1 bit to maxbits, shaped as plain random,
// all-ones digits, runs of zero digits, a top digit of 1, or a power of two.
class Gen {
public:
    explicit Gen(uint64_t seed) : rng_(seed) {}
    uint64_t u64() { return rng_(); }
    size_t below(size_t n) { return size_t(rng_() % n); }

    size_t bits(size_t maxbits) {
        switch (below(4)) {
            case 0: return 1 + below(64);
            case 1: return 1 + below(std::min<size_t>(maxbits, 1024));
            case 2: return 32 * (1 + below(std::max<size_t>(maxbits / 32, 1)));  // whole digits
            default: return 1 + below(maxbits);
        }
    }

    Bd number(size_t maxbits) {
        size_t nb = bits(maxbits);
        size_t nd = (nb + 31) / 32;
        std::vector<BdDigit> d(nd);
        int shape = int(below(8));
        for (size_t i = 0; i < nd; ++i) {
            BdDigit v = BdDigit(rng_());
            if (shape == 1) v = kMaxDigit;
            if (shape == 2 && below(3) == 0) v = 0;
            if (shape == 3 && below(3) == 0) v = kMaxDigit;
            d[i] = v;
        }
        if (nb % 32) d[nd - 1] &= (BdDigit(1) << (nb % 32)) - 1;
        if (shape == 4) d[nd - 1] = 1;  // top digit 1
        if (shape == 5) {
            std::fill(d.begin(), d.end(), 0);
            d[nd - 1] = BdDigit(1) << ((nb - 1) % 32);
        }
        std::vector<unsigned char> oct(4 * nd);
        for (size_t i = 0; i < nd; ++i)
            for (int k = 0; k < 4; ++k) oct[4 * nd - 1 - (4 * i + size_t(k))] = (unsigned char)(d[i] >> (8 * k));
        Bd b = make();
        bdConvFromOctets(b.get(), oct.data(), oct.size());
        return b;
    }

private:
    std::mt19937_64 rng_;
};

}  // namespace bdtest
