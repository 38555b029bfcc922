// The PFX MAC (RFC 7292 section 4 and appendix B): MacData with an HMAC
// keyed by the PKCS #12 derivation (id 3) over the digest it names, checked
// over the content of the authSafe data ContentInfo.
#include <cstring>

#include "frame/error.h"
#include "hash/hash.h"
#include "pfx/mac.h"
#include "pbe/pbe.h"
#include "pfx/pfx_int.h"
#include "rng/rng.h"
#include "util/ct.h"

namespace velt::pfx {
namespace {

struct MacDigest {
    uint8_t oid[9];
    size_t oid_len;
    long alg;
};

// The digests of HMAC-based PKCS #12 MACs: sha1 (1.3.14.3.2.26) and the
// SHA-2 digests of NIST (2.16.840.1.101.3.4.2.1-4).
constexpr MacDigest kMacDigests[] = {
    {{0x2B, 0x0E, 0x03, 0x02, 0x1A}, 5, hash::kSha1},
    {{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x04}, 9, hash::kSha224},
    {{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01}, 9, hash::kSha256},
    {{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02}, 9, hash::kSha384},
    {{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03}, 9, hash::kSha512},
};

// HMAC over data with the key derived from password, salt and count.
void compute_mac(long alg, const char* password, const uint8_t* salt, size_t salt_len, uint32_t count,
                 const uint8_t* data, size_t n, uint8_t* out) {
    hash::Hasher probe;
    probe.init(alg);
    const size_t u = probe.length();
    SecureBytes pw = bmp_password(password), key(u);
    pkcs12_derive_hash(alg, key.data(), u, pw.data(), pw.size(), salt, salt_len, count, 3);
    hash::hmac(alg, key.data(), u, data, n, out);
}

}  // namespace

long verify_mac(const Tlv& mac_data, const uint8_t* content, size_t n, const char* password) {
    // MacData ::= SEQUENCE { mac DigestInfo, macSalt OCTET STRING, iterations INTEGER DEFAULT 1 }
    // DigestInfo ::= SEQUENCE { digestAlgorithm AlgorithmIdentifier, digest OCTET STRING }
    std::vector<Tlv> md, di, alg;
    if (!mac_data.seq() || !ber_children(mac_data, &md) || md.size() < 2 || md.size() > 3 || !md[0].seq() ||
        !ber_children(md[0], &di) || di.size() != 2 || !di[0].seq() || !ber_children(di[0], &alg) ||
        alg.empty() || alg.size() > 2 || !alg[0].oid() || !di[1].universal(4) || !md[1].universal(4)) {
        eprintf("Invalid MacData");
        return BAD_FORMAT_ERROR;
    }
    const MacDigest* d = nullptr;
    for (const auto& m : kMacDigests)
        if (ber_oid_is(alg[0], m.oid, m.oid_len)) d = &m;
    if (!d) {
        eprintf("MAC algorithm is not supported");
        return NOT_SUPPORTED_ERROR;
    }
    uint32_t count;
    long rc = read_count(md.size() == 3 ? &md[2] : nullptr, &count);
    if (rc) return rc;
    SecureBytes stored, salt;
    if (!ber_octets(di[1], &stored) || !ber_octets(md[1], &salt)) {
        eprintf("Invalid MacData");
        return BAD_FORMAT_ERROR;
    }
    hash::Hasher probe;
    probe.init(d->alg);
    const size_t u = probe.length();
    // The stored MAC must be a whole HMAC output of the named digest: a cut,
    // empty or longer value never verifies.
    if (stored.size() != u) {
        eprintf("MAC has %zu octets, expecting %zu", stored.size(), u);
        return kMacMismatch;
    }
    uint8_t mac[hash::kMaxDigest];
    WipeOnExit wipe(mac, sizeof mac);
    compute_mac(d->alg, password, salt.data(), salt.size(), count, content, n, mac);
    if (!ct::equal(mac, stored.data(), u)) {
        eprintf("MAC does not verify");
        return kMacMismatch;
    }
    return 0;
}

long make_mac_data(std::vector<uint8_t>* out, const uint8_t* content, size_t n, const char* password,
                   size_t salt_len, bool with_null) {
    uint8_t salt[20], mac[20];
    if (salt_len > sizeof salt) salt_len = sizeof salt;
    if (rngNonce(salt, long(salt_len)) != 0) {
        eprintf("Random generator failed while making the MAC salt");
        return PRNG_ERR_FAILURE;
    }
    const uint32_t count = fresh_count();
    compute_mac(hash::kSha1, password, salt, salt_len, count, content, n, mac);
    // SEQUENCE { SEQUENCE { SEQUENCE { OID sha1, NULL }, OCTET STRING mac }, OCTET STRING salt, INTEGER count
    // }
    AsnNode* alg = asn_NewOID("sha1");
    if (with_null) alg = asn_Link(alg, asn_NewNull());
    AsnNode* digest_info = asn_Sequence(asn_LinkVar(asn_Sequence(alg), asn_NewOctetString(mac, 20), nullptr));
    AsnNode* md = asn_Sequence(
        asn_LinkVar(digest_info, asn_NewOctetString(salt, salt_len), asn_NewInteger(count), nullptr));
    int64_t len = 0;
    uint8_t* der = md ? asn_Store(md, &len) : nullptr;
    asn_Free(&md);
    if (!der) return MISC_ERROR;
    out->assign(der, der + len);
    efree_mem(der);
    return 0;
}

}  // namespace velt::pfx
