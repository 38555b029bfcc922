#include "ecc/prime_fixture.h"

#include <openssl/rand.h>

#include <cstring>

namespace primetest {

EC_curve curve(const std::string& name) {
    EC_curve c;
    std::memset(&c, 0, sizeof c);
    EXPECT_EQ(velt::ecc::EC_curve_getbyname(&c, name.c_str()), 1) << name;
    return c;
}

GroupPtr openssl_group(const std::string& name) {
    static const struct {
        const char* name;
        int nid;
    } kNids[] = {
        {"secp192r1", NID_X9_62_prime192v1},
        {"secp224r1", NID_secp224r1},
        {"secp256r1", NID_X9_62_prime256v1},
        {"secp384r1", NID_secp384r1},
        {"secp521r1", NID_secp521r1},
        {"secp256k1", NID_secp256k1},
        {"brainpoolP256r1", NID_brainpoolP256r1},
        {"brainpoolP384r1", NID_brainpoolP384r1},
        {"brainpoolP512r1", NID_brainpoolP512r1},
    };
    for (const auto& r : kNids)
        if (name == r.name) return GroupPtr(EC_GROUP_new_by_curve_name(r.nid));
    return nullptr;
}

BnPtr to_bn(const uint64_t* a, size_t nlimbs) {
    Bytes be(8 * nlimbs);
    velt::ecc::EC_num_to_bytes(be.data(), be.size(), a, nlimbs);
    return BnPtr(BN_bin2bn(be.data(), int(be.size()), nullptr));
}

void from_bn(uint64_t* out, const BIGNUM* b) {
    Bytes be(8 * kMaxLimbs);
    BN_bn2binpad(b, be.data(), int(be.size()));
    std::memset(out, 0, 8 * kMaxLimbs);
    for (size_t i = 0; i < be.size(); ++i) {
        size_t pos = be.size() - 1 - i;
        out[pos / 8] |= uint64_t(be[i]) << (8 * (pos % 8));
    }
}

PointPtr to_openssl(const EC_GROUP* g, const EC_curve& c, const EC_point& P) {
    PointPtr q(EC_POINT_new(g));
    if (velt::ecc::EC_point_is_infinity(c, P)) {
        EC_POINT_set_to_infinity(g, q.get());
        return q;
    }
    EC_point n = P;
    velt::ecc::EC_point_normalize(c, &n);
    BnPtr x = to_bn(n.X, c.nlimbs), y = to_bn(n.Y, c.nlimbs);
    EXPECT_EQ(EC_POINT_set_affine_coordinates(g, q.get(), x.get(), y.get(), nullptr), 1);
    return q;
}

EC_point from_openssl(const EC_GROUP* g, const EC_POINT* P) {
    EC_point out;
    if (EC_POINT_is_at_infinity(g, P)) {
        velt::ecc::EC_point_set_infinity(&out);
        return out;
    }
    BnPtr x(BN_new()), y(BN_new());
    EXPECT_EQ(EC_POINT_get_affine_coordinates(g, P, x.get(), y.get(), nullptr), 1);
    std::memset(&out, 0, sizeof out);
    from_bn(out.X, x.get());
    from_bn(out.Y, y.get());
    out.Z[0] = 1;
    return out;
}

void random_limbs(uint64_t* out, size_t nlimbs) {
    std::memset(out, 0, 8 * kMaxLimbs);
    RAND_bytes(reinterpret_cast<unsigned char*>(out), int(8 * nlimbs));
}

}  // namespace primetest
