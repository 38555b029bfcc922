// Helpers shared by the files of the RSA module only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "bigd/bigd.h"
#include "rsa/rsa.h"

// A big number that frees (and wipes) itself.
struct Bd {
    BdNumber* b;
    Bd() : b(bdNew()) {}
    ~Bd() { bdFree(&b); }
    Bd(const Bd&) = delete;
    Bd& operator=(const Bd&) = delete;
    operator BdNumber*() const { return b; }  // NOLINT: implicit on purpose
};

// A key record that frees itself.
struct RsaKeyHolder {
    RsaKey* k;
    RsaKeyHolder() : k(rsaNew()) {}
    ~RsaKeyHolder() { rsaFree(&k); }
    RsaKeyHolder(const RsaKeyHolder&) = delete;
    RsaKeyHolder& operator=(const RsaKeyHolder&) = delete;
    RsaKey* get() const { return k; }
    RsaKey* operator->() const { return k; }
};
