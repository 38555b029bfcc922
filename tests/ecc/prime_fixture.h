// Shared by the prime-curve tests: the OpenSSL group of each table curve and
// conversions between OpenSSL numbers and points and ours.
#pragma once

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/obj_mac.h>

#include <memory>
#include <string>

#include "common/test_util.h"
#include "ecc/ecc.h"

namespace primetest {

using testutil::Bytes;
using velt::ecc::EC_curve;
using velt::ecc::EC_point;
using velt::ecc::kMaxLimbs;

struct GroupDeleter {
    void operator()(EC_GROUP* g) const { EC_GROUP_free(g); }
};
struct PointDeleter {
    void operator()(EC_POINT* p) const { EC_POINT_free(p); }
};
struct BnDeleter {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
struct CtxDeleter {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
using GroupPtr = std::unique_ptr<EC_GROUP, GroupDeleter>;
using PointPtr = std::unique_ptr<EC_POINT, PointDeleter>;
using BnPtr = std::unique_ptr<BIGNUM, BnDeleter>;
using CtxPtr = std::unique_ptr<BN_CTX, CtxDeleter>;

// The loaded curve of a canonical name (fails the test when missing).
EC_curve curve(const std::string& name);
// OpenSSL's group for a canonical name of the table.
GroupPtr openssl_group(const std::string& name);

// Limbs <-> BIGNUM.
BnPtr to_bn(const uint64_t* a, size_t nlimbs);
void from_bn(uint64_t* out, const BIGNUM* b);
// Our normalised point <-> OpenSSL's affine point (infinity both ways).
PointPtr to_openssl(const EC_GROUP* g, const EC_curve& c, const EC_point& P);
EC_point from_openssl(const EC_GROUP* g, const EC_POINT* P);
// A random scalar below 2^(64 nlimbs) (not reduced).
void random_limbs(uint64_t* out, size_t nlimbs);

}  // namespace primetest
