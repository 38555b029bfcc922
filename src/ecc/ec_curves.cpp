// The named prime curves: domain parameters of SEC 2 version 2 (secp curves)
// and RFC 5639 section 3 (brainpool curves), the curve-name aliases and the
// mapping between curve names and OIDs.
#include <strings.h>

#include <cstring>

#include "ecc/ec_internal.h"
#include "frame/error.h"

namespace velt::ecc {

namespace {

struct CurveRow {
    const char* name;
    int fieldbits;
    int orderbits;
    const char *p, *a, *b, *gx, *gy, *n;  // a null: a = p - 3
};

// Searched in this order.
constexpr CurveRow kCurves[] = {
    {"secp192r1", 192, 192, "fffffffffffffffffffffffffffffffeffffffffffffffff", nullptr,
     "64210519e59c80e70fa7e9ab72243049feb8deecc146b9b1", "188da80eb03090f67cbf20eb43a18800f4ff0afd82ff1012",
     "07192b95ffc8da78631011ed6b24cdd573f977a11e794811", "ffffffffffffffffffffffff99def836146bc9b1b4d22831"},
    {"secp224r1", 224, 224, "ffffffffffffffffffffffffffffffff000000000000000000000001", nullptr,
     "b4050a850c04b3abf54132565044b0b7d7bfd8ba270b39432355ffb4",
     "b70e0cbd6bb4bf7f321390b94a03c1d356c21122343280d6115c1d21",
     "bd376388b5f723fb4c22dfe6cd4375a05a07476444d5819985007e34",
     "ffffffffffffffffffffffffffff16a2e0b8f03e13dd29455c5c2a3d"},
    {"secp256r1", 256, 256, "ffffffff00000001000000000000000000000000ffffffffffffffffffffffff", nullptr,
     "5ac635d8aa3a93e7b3ebbd55769886bc651d06b0cc53b0f63bce3c3e27d2604b",
     "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296",
     "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5",
     "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551"},
    {"secp384r1", 384, 384,
     "fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffeffffffff0000000000000000ffffffff",
     nullptr,
     "b3312fa7e23ee7e4988e056be3f82d19181d9c6efe8141120314088f5013875ac656398d8a2ed19d2a85c8edd3ec2aef",
     "aa87ca22be8b05378eb1c71ef320ad746e1d3b628ba79b9859f741e082542a385502f25dbf55296c3a545e3872760ab7",
     "3617de4a96262c6f5d9e98bf9292dc29f8f41dbd289a147ce9da3113b5f0b8c00a60b1ce1d7e819d7a431d7c90ea0e5f",
     "ffffffffffffffffffffffffffffffffffffffffffffffffc7634d81f4372ddf581a0db248b0a77aecec196accc52973"},
    {"secp521r1", 521, 521,
     "01ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
     "ffffffffffffffffffffffffffffffff",
     nullptr,
     "0051953eb9618e1c9a1f929a21a0b68540eea2da725b99b315f3b8b489918ef109e156193951ec7e937b1652c0bd3bb1bf07"
     "3573df883d2c34f1ef451fd46b503f00",
     "00c6858e06b70404e9cd9e3ecb662395b4429c648139053fb521f828af606b4d3dbaa14b5e77efe75928fe1dc127a2ffa8de"
     "3348b3c1856a429bf97e7e31c2e5bd66",
     "011839296a789a3bc0045c8a5fb42c7d1bd998f54449579b446817afbd17273e662c97ee72995ef42640c550b9013fad0761"
     "353c7086a272c24088be94769fd16650",
     "01ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
     "fa51868783bf2f966b7fcc0148f709a5d03bb5c9b8899c47aebb6fb71e91386409"},
    {"secp256k1", 256, 256, "fffffffffffffffffffffffffffffffffffffffffffffffffffffffefffffc2f", "00", "07",
     "79be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798",
     "483ada7726a3c4655da4fbfc0e1108a8fd17b448a68554199c47d08ffb10d4b8",
     "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141"},
    {"brainpoolP256r1", 256, 256, "a9fb57dba1eea9bc3e660a909d838d726e3bf623d52620282013481d1f6e5377",
     "7d5a0975fc2c3057eef67530417affe7fb8055c126dc5c6ce94a4b44f330b5d9",
     "26dc5c6ce94a4b44f330b5d9bbd77cbf958416295cf7e1ce6bccdc18ff8c07b6",
     "8bd2aeb9cb7e57cb2c4b482ffc81b7afb9de27e1e3bd23c23a4453bd9ace3262",
     "547ef835c3dac4fd97f8461a14611dc9c27745132ded8e545c1d54c72f046997",
     "a9fb57dba1eea9bc3e660a909d838d718c397aa3b561a6f7901e0e82974856a7"},
    {"brainpoolP384r1", 384, 384,
     "8cb91e82a3386d280f5d6f7e50e641df152f7109ed5456b412b1da197fb71123acd3a729901d1a71874700133107ec53",
     "7bc382c63d8c150c3c72080ace05afa0c2bea28e4fb22787139165efba91f90f8aa5814a503ad4eb04a8c7dd22ce2826",
     "04a8c7dd22ce28268b39b55416f0447c2fb77de107dcd2a62e880ea53eeb62d57cb4390295dbc9943ab78696fa504c11",
     "1d1c64f068cf45ffa2a63a81b7c13f6b8847a3e77ef14fe3db7fcafe0cbd10e8e826e03436d646aaef87b2e247d4af1e",
     "8abe1d7520f9c2a45cb1eb8e95cfd55262b70b29feec5864e19c054ff99129280e4646217791811142820341263c5315",
     "8cb91e82a3386d280f5d6f7e50e641df152f7109ed5456b31f166e6cac0425a7cf3ab6af6b7fc3103b883202e9046565"},
    {"brainpoolP512r1", 512, 512,
     "aadd9db8dbe9c48b3fd4e6ae33c9fc07cb308db3b3c9d20ed6639cca703308717d4d9b009bc66842aecda12ae6a380e62881ff2"
     "f2d82"
     "c68528aa6056583a48f3",
     "7830a3318b603b89e2327145ac234cc594cbdd8d3df91610a83441caea9863bc2ded5d5aa8253aa10a2ef1c98b9ac8b57f1117a"
     "72bf2"
     "c7b9e7c1ac4d77fc94ca",
     "3df91610a83441caea9863bc2ded5d5aa8253aa10a2ef1c98b9ac8b57f1117a72bf2c7b9e7c1ac4d77fc94cadc083e67984050b"
     "75eba"
     "e5dd2809bd638016f723",
     "81aee4bdd82ed9645a21322e9c4c6a9385ed9f70b5d916c1b43b62eef4d0098eff3b1f78e2d0d48d50d1687b93b97d5f7c6d504"
     "7406a"
     "5e688b352209bcb9f822",
     "7dde385d566332ecc0eabfa9cf7822fdf209f70024a57b1aa000c55b881f8111b2dcde494a5f485e5bca4bd88a2763aed1ca2b2"
     "fa8f0"
     "540678cd1e0f3ad80892",
     "aadd9db8dbe9c48b3fd4e6ae33c9fc07cb308db3b3c9d20ed6639cca70330870553e5c414ca92619418661197fac10471db1d38"
     "1085d"
     "daddb58796829ca90069"},
};
constexpr size_t kCurveCount = sizeof kCurves / sizeof kCurves[0];

// Caller's spelling (any case) to the table's spelling.
struct AliasRow {
    const char* alias;
    const char* name;
};
constexpr AliasRow kAliases[] = {
    {"secp192r1", "secp192r1"},
    {"secp224r1", "secp224r1"},
    {"secp256r1", "secp256r1"},
    {"secp384r1", "secp384r1"},
    {"secp521r1", "secp521r1"},
    {"secp256k1", "secp256k1"},
    {"brainpoolP256r1", "brainpoolP256r1"},
    {"brainpoolP384r1", "brainpoolP384r1"},
    {"brainpoolP512r1", "brainpoolP512r1"},
    {"Ed25519", "Ed25519"},
    {"X25519", "X25519"},
    {"Ed448", "Ed448"},
    {"X448", "X448"},
    {"prime256v1", "secp256r1"},
    {"prime192v1", "secp192r1"},
    {"P-192", "secp192r1"},
    {"P_192", "secp192r1"},
    {"P-224", "secp224r1"},
    {"P_224", "secp224r1"},
    {"P-256", "secp256r1"},
    {"P_256", "secp256r1"},
    {"P-384", "secp384r1"},
    {"P_384", "secp384r1"},
    {"P-521", "secp521r1"},
    {"P_521", "secp521r1"},
};

int hexval(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// Hex text (spaces skipped) into little-endian limbs.
void load_hex(uint64_t* out, const char* hex) {
    std::memset(out, 0, kMaxLimbs * sizeof(uint64_t));
    size_t bit = 0;
    for (size_t i = std::strlen(hex); i-- > 0;) {
        int v = hexval(hex[i]);
        if (v < 0) continue;
        out[bit / 64] |= uint64_t(v) << (bit % 64);
        bit += 4;
    }
}

void fill(EC_curve* c, size_t id) {
    const CurveRow& r = kCurves[id];
    std::memset(c, 0, sizeof *c);
    c->name = r.name;
    c->id = int(id);
    c->fieldbits = r.fieldbits;
    c->words = (r.fieldbits + 31) / 32;
    c->orderbits = r.orderbits;
    c->h = 1;
    c->nlimbs = size_t(r.fieldbits + 63) / 64;
    load_hex(c->p, r.p);
    load_hex(c->b, r.b);
    load_hex(c->n, r.n);
    load_hex(c->G.X, r.gx);
    load_hex(c->G.Y, r.gy);
    c->G.Z[0] = 1;
    if (r.a) {
        load_hex(c->a, r.a);
    } else {
        // a = p - 3, with the borrow carried (p's low limb may be below 3).
        uint64_t borrow = 3;
        for (size_t i = 0; i < kMaxLimbs; ++i) {
            c->a[i] = c->p[i] - borrow;
            borrow = c->p[i] < borrow ? 1 : 0;
        }
        c->a_minus3 = 1;
    }
}

}  // namespace

size_t EC_curve_count() {
    return kCurveCount;
}
const char* EC_curve_name(size_t i) {
    return i < kCurveCount ? kCurves[i].name : nullptr;
}

int EC_curve_getbyname(EC_curve* c, const char* name) {
    if (!c || !name) return 0;
    for (size_t i = 0; i < kCurveCount; ++i) {
        if (std::strcmp(kCurves[i].name, name) == 0) {
            fill(c, i);
            return 1;
        }
    }
    return 0;
}

const char* EC_curve_alias(const char* name) {
    if (!name) return name;
    for (const AliasRow& r : kAliases)
        if (strcasecmp(r.alias, name) == 0) return r.name;
    return name;
}

int EC_curve_is_canonical(const char* name) {
    if (!name) return 0;
    for (const AliasRow& r : kAliases)
        if (std::strcmp(r.alias, name) == 0 && std::strcmp(r.name, name) == 0) return 1;
    return 0;
}

int EC_curve_lookup(EC_curve* c, const char* name) {
    return EC_curve_getbyname(c, EC_curve_alias(name));
}

int EC_curve_oid(const EC_curve& c, OidRec* rec) {
    if (oid_SetOID(rec, c.name) <= 0) return -NOT_SUPPORTED_ERROR;
    return 0;
}

int EC_curve_from_oid(EC_curve* c, const OidRec* rec) {
    if (!rec) return 0;
    OidRec r = *rec;
    if (oid_SetRef(&r) != 0 || !EC_curve_is_canonical(r.name)) return 0;
    return EC_curve_getbyname(c, r.name);
}

}  // namespace velt::ecc
