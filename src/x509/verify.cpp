// Signature verification of certificates, CRLs and certification requests
// with the issuer's public key (RFC 5280 sections 4.1.1.2-4.1.1.3 and
// 5.1.1.2; RFC 2986 section 4.2). The signed object is split into its three
// parts over its DER octets, so the to-be-signed octets are checked exactly
// as they stand, whatever length forms they use, and a large CRL file is
// never turned into a chain of nodes.
#include <cstring>

#include "ecc/keys.h"
#include "encode/pem.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "rsa/rsa.h"
#include "sig/sig.h"
#include "util/ct.h"
#include "util/emem.h"
#include "util/futil.h"
#include "x509/x509.h"

using velt::SecureBytes;
namespace vs = velt::sig;

namespace {

constexpr size_t kMinB64 = 256;

// One TLV of a span: single-octet identifier, definite length checked
// against what remains.
struct Tlv {
    uint8_t tag = 0;
    const uint8_t* start = nullptr;  // first octet of the header
    const uint8_t* value = nullptr;
    size_t len = 0;
    size_t total() const { return size_t(value - start) + len; }
};

bool next_tlv(const uint8_t*& p, const uint8_t* end, Tlv& t) {
    if (end - p < 2) return false;
    t.start = p;
    t.tag = p[0];
    if ((t.tag & 0x1F) == 0x1F) return false;
    size_t i = 1;
    size_t len = p[i++];
    if (len & 0x80) {
        size_t n = len & 0x7F;
        if (n == 0 || n > 4 || size_t(end - p) < i + n) return false;  // no indefinite form here
        len = 0;
        for (size_t k = 0; k < n; ++k) len = (len << 8) | p[i++];
    }
    if (size_t(end - p) - i < len) return false;
    t.value = p + i;
    t.len = len;
    p = t.value + len;
    return true;
}

struct Signed {
    Tlv tbs, alg, sig;
};

// Certificate / CertificateList / CertificationRequest ::=
//   SEQUENCE { toBeSigned SEQUENCE, AlgorithmIdentifier, BIT STRING }
bool split_signed(const uint8_t* der, size_t n, Signed& s) {
    const uint8_t* p = der;
    Tlv outer;
    if (!next_tlv(p, der + n, outer) || outer.tag != 0x30) return false;
    const uint8_t* q = outer.value;
    const uint8_t* end = outer.value + outer.len;
    return next_tlv(q, end, s.tbs) && s.tbs.tag == 0x30 && next_tlv(q, end, s.alg) && s.alg.tag == 0x30 &&
           next_tlv(q, end, s.sig) && s.sig.tag == 0x03;
}

// The signature AlgorithmIdentifier inside the to-be-signed part of a
// certificate or CRL: its first SEQUENCE when that opens with an OID (a
// request's first SEQUENCE is its subject Name, which opens with a SET).
bool inner_algorithm(const Tlv& tbs, Tlv& alg) {
    const uint8_t* p = tbs.value;
    const uint8_t* end = tbs.value + tbs.len;
    Tlv t;
    while (next_tlv(p, end, t)) {
        if (t.tag != 0x30) continue;
        const uint8_t* q = t.value;
        Tlv first;
        if (!next_tlv(q, t.value + t.len, first) || first.tag != 0x06) return false;
        alg = t;
        return true;
    }
    return false;
}

std::string file_name(const char* s) {
    std::string d = describe_input(s);
    if (d.size() >= 2 && d.front() == '\'' && d.back() == '\'') d = d.substr(1, d.size() - 2);
    return d;
}

// The DER of the object to verify: PEM or base64 text, else a file holding
// BER or PEM (read whole, bounded by the input file limit, never parsed into
// nodes).
long signed_der(const char* s, std::vector<uint8_t>& der) {
    der.clear();
    if (AsnNode* chain = pemReadAsnFromString(s, kMinB64)) {
        int64_t n = 0;
        uint8_t* p = asn_Store(chain, &n);
        asn_Free(&chain);
        if (!p) return INVALID_DATA_ERROR;
        der.assign(p, p + n);
        efree_mem(p);
        return 0;
    }
    long err = 0;
    FILE* f = futil_open_input(s, kMaxInputFileSize, &err);
    if (!f) {
        eprintf("Unable to open file '%s'", file_name(s).c_str());
        return OPEN_ERROR;
    }
    const bool ber = PEM_IsBERSeq(f);
    SecureBytes raw;
    long rc = 0;
    if (ber) {
        if (futil_read_stream(f, raw, kMaxInputFileSize) < 0) rc = READ_ERROR;
        der.assign(raw.begin(), raw.end());
    } else {
        size_t n = 0;
        uint8_t* body = PEM_ReadStream(f, &n);
        if (body) {
            der.assign(body, body + n);
            efree_mem(body);
        }
    }
    fclose(f);
    if (rc == 0 && der.empty()) {
        eprintf("Invalid ASN.1 data");
        rc = INVALID_DATA_ERROR;
    }
    return rc;
}

// RSASSA-PSS verification (RFC 8017 sections 8.1.2 and 9.1.2) with every
// parameter taken from the AlgorithmIdentifier: the salt must have exactly
// the stated length.
long verify_pss(const RsaKey* key, const vs::SigAlgRow& row, const RsaPssParams& prm, const uint8_t* sig,
                size_t siglen, const uint8_t* data, size_t dlen) {
    const size_t hLen = velt::hash::digest_length(prm.hashAlg);
    uint8_t mHash[velt::hash::kMaxDigest];
    if (hLen == 0 || hLen != row.digestLen || !velt::hash::digest(prm.hashAlg, data, dlen, mHash))
        return NOT_SUPPORTED_ERROR;
    const size_t k = rsaBlockLength(key);
    const size_t emBits = rsaBitLength(key) - 1;
    const size_t emLen = (emBits + 7) / 8;
    if (siglen != k || prm.saltLen < 0 || emLen < hLen + size_t(prm.saltLen) + 2) return SIGNATURE_ERROR;
    std::vector<uint8_t> m(k);
    size_t outlen = k;
    if (rsaPublicRaw(key, m.data(), &outlen, sig, siglen) != 0 || outlen != k) return SIGNATURE_ERROR;
    if (emLen < k && m[0] != 0) return SIGNATURE_ERROR;
    const uint8_t* em = m.data() + (k - emLen);
    if (em[emLen - 1] != 0xBC) return SIGNATURE_ERROR;
    const size_t dbLen = emLen - hLen - 1;
    const uint8_t* H = em + dbLen;
    const uint8_t top = uint8_t(0xFF >> (8 * emLen - emBits));
    if (em[0] & ~top) return SIGNATURE_ERROR;
    std::vector<uint8_t> db(dbLen);
    if (mgf1Bytes(db.data(), long(dbLen), H, long(hLen), prm.mgfHashAlg) < 0) return SIGNATURE_ERROR;
    for (size_t i = 0; i < dbLen; ++i) db[i] ^= em[i];
    db[0] &= top;
    // DB = PS (zeros) || 0x01 || salt, with the salt of exactly saltLen octets.
    const size_t sLen = size_t(prm.saltLen);
    const size_t psLen = dbLen - sLen - 1;
    for (size_t i = 0; i < psLen; ++i) {
        if (db[i] != 0) return SIGNATURE_ERROR;
    }
    if (db[psLen] != 0x01) return SIGNATURE_ERROR;
    velt::hash::Hasher h;
    h.init(prm.hashAlg);
    static const uint8_t kZeros[8] = {};
    h.update(kZeros, 8);
    h.update(mHash, hLen);
    h.update(db.data() + psLen + 1, sLen);
    uint8_t H2[velt::hash::kMaxDigest];
    h.final(H2);
    return velt::ct::equal(H, H2, hLen) ? 0 : long(SIGNATURE_ERROR);
}

long verify_rsa(const vs::SigAlgRow& row, AsnNode* alg, const uint8_t* sig, size_t siglen,
                const uint8_t* data, size_t dlen, AsnNode* spki) {
    RsaKey* key = rsaNew();
    long rc = x509getRsaFromPubKeyInfo(key, spki);
    if (rc == 0) {
        if (vs::sigIdIsPss(row.id)) {
            RsaPssParams prm;
            if (rsapssGetParams(&prm, alg) != 0) {
                eprintf("Invalid parameter for rsaPSS signature algorithm: %s", prm.errorText);
                rc = NOT_SUPPORTED_ERROR;
            } else {
                const vs::SigAlgRow* pss =
                    vs::sigPtrToSigAlgByName((std::string("RSA-PSS-") + prm.hashName).c_str());
                rc = pss ? verify_pss(key, *pss, prm, sig, siglen, data, dlen) : long(NOT_SUPPORTED_ERROR);
                if (!pss) eprintf("Unsupported signature algorithm RSA-PSS-%s", prm.hashName);
            }
        } else {
            rc = vs::rsasigVerify(sig, siglen, key, data, dlen, row, false);
        }
    }
    rsaFree(&key);
    return rc;
}

long verify_ecc(const vs::SigAlgRow& row, const uint8_t* sig, size_t siglen, const uint8_t* data, size_t dlen,
                AsnNode* spki) {
    std::string keyString;
    long rc = x509getECCPublicKeyAsString(keyString, spki);
    if (rc != 0) return rc;
    if (!vs::sigIdIsEdDSA(row.id)) {
        // ECDSA-Sig-Value in certificates is always DER (RFC 5758 section
        // 3.2), whatever its length: raw r || s is not accepted here.
        velt::ecc::EcKey key;
        SecureBytes der;
        if (velt::ecc::ecKeyStringDer(keyString.c_str(), der) != 0 ||
            velt::ecc::ecParseKeyDer(key, der.data(), der.size()) != velt::ecc::kFormEcSpki) {
            eprintf("Expecting ECDSA signature");
            return INVALID_DATA_ERROR;
        }
        const size_t nb = EC_order_bytes(key.curve);
        std::vector<uint8_t> rs(2 * nb);
        if (vs::ecdsaRSFromDer(rs.data(), nb, sig, siglen) != 0) {
            eprintf("Wrong format for signature");
            return SIGNATURE_ERROR;
        }
    }
    return vs::eccDSA_VerifyDataFromBytes(sig, siglen, data, dlen, keyString.c_str(), row, 0);
}

// Dss-Sig-Value ::= SEQUENCE { r INTEGER, s INTEGER }, each at most the
// length of q (one leading 00 allowed).
long verify_dsa(const uint8_t* sig, size_t siglen, const uint8_t* data, size_t dlen, AsnNode* spki) {
    vs::DsaKey* key = vs::dsaNew();
    long rc = x509getDSAFromPubKeyInfo(key, spki);
    if (rc == 0) {
        std::vector<uint8_t> p, q, g, y;
        vs::dsaGetPublicKeyOctets(key, p, q, g, y);
        const uint8_t* cur = sig;
        Tlv seq, r, s;
        const uint8_t *rv = nullptr, *sv = nullptr;
        size_t rl = 0, sl = 0;
        bool ok = next_tlv(cur, sig + siglen, seq) && seq.tag == 0x30 && cur == sig + siglen;
        if (ok) {
            const uint8_t* in = seq.value;
            const uint8_t* end = seq.value + seq.len;
            ok = next_tlv(in, end, r) && r.tag == 0x02 && next_tlv(in, end, s) && s.tag == 0x02 && in == end;
        }
        auto take = [&](const Tlv& t, const uint8_t*& v, size_t& l) {
            v = t.value;
            l = t.len;
            if (l == 0 || (v[0] & 0x80)) return false;  // r and s are positive
            if (l > 1 && v[0] == 0) {
                ++v;
                --l;
            }
            return l >= 1 && l <= q.size();
        };
        if (!ok || !take(r, rv, rl) || !take(s, sv, sl)) {
            eprintf("Wrong format for signature");
            rc = BAD_FORMAT_ERROR;
        } else {
            uint8_t digest[20];
            velt::hash::digest(0, data, dlen, digest);
            rc = vs::dsaVerify(key, digest, sizeof digest, rv, rl, sv, sl) == 1 ? 0 : long(SIGNATURE_ERROR);
        }
    }
    vs::dsaFree(&key);
    return rc;
}

}  // namespace

long x509verifySignature(const uint8_t* tbs, size_t tbsLen, AsnNode* alg, const uint8_t* sig, size_t sigLen,
                         AsnNode* spki) {
    const std::string name = x509getAlgorithmName(alg);
    if (name.empty() || !spki) {
        eprintf("Could not find signature");
        return MISSING_ERROR;
    }
    long rc;
    if (name == "dsaWithSha1") {
        rc = verify_dsa(sig, sigLen, tbs, tbsLen, spki);
    } else {
        const long id = vs::sigAlgIdFromOid(name.c_str());
        const vs::SigAlgRow* row = id < 0 ? nullptr : vs::sigPtrToSigAlgById(id);
        if (!row || vs::sigIdIsDsa(id) || name == "rsaEncryption") {
            eprintf("Unsupported signature algorithm %s", name.c_str());
            return NOT_SUPPORTED_ERROR;
        }
        rc = vs::sigIdIsEcc(id) ? verify_ecc(*row, sig, sigLen, tbs, tbsLen, spki)
                                : verify_rsa(*row, alg, sig, sigLen, tbs, tbsLen, spki);
    }
    if (rc != 0) {
        // A key or parameter that cannot be used keeps its code; any other
        // failure of the check is an invalid signature.
        if (rc != NOT_SUPPORTED_ERROR && rc != BAD_KEY_ERROR && rc != BAD_KEY_LEN_ERROR &&
            rc != BAD_FORMAT_ERROR)
            rc = SIGNATURE_ERROR;
        eprintcatf("Signature did not verify");
    }
    return rc;
}

long x509verifyWithCert(const char* toVerify, const char* issuerCert) {
    if (!toVerify || !*toVerify) return BAD_PARAM_ERROR;
    std::vector<uint8_t> der;
    long rc = signed_der(toVerify, der);
    if (rc != 0) return rc;
    Signed s;
    if (!split_signed(der.data(), der.size(), s)) {
        eprintf("Invalid X.509 file '%s'", file_name(toVerify).c_str());
        return BAD_FORMAT_ERROR;
    }
    if (s.sig.len < 2 || s.sig.value[0] != 0) {
        eprintf("Could not find signature in certificate '%s'", file_name(toVerify).c_str());
        return MISSING_ERROR;
    }
    if (s.tbs.len == 0) {
        eprintf("Invalid to-be-signed data in certificate '%s'", file_name(toVerify).c_str());
        return BAD_FORMAT_ERROR;
    }
    // RFC 5280 4.1.1.2 and 5.1.1.2: the signature field inside the signed
    // part must be identical to the outer signatureAlgorithm.
    Tlv inner;
    if (inner_algorithm(s.tbs, inner) &&
        (inner.total() != s.alg.total() || std::memcmp(inner.start, s.alg.start, inner.total()) != 0)) {
        eprintf("Inner and outer signature algorithms differ in '%s'", file_name(toVerify).c_str());
        eprintcatf("Signature did not verify");
        return SIGNATURE_ERROR;
    }
    AsnNode* alg = asn_ReadBytes(s.alg.start, s.alg.total());
    AsnNode* holder = nullptr;
    AsnNode* spki = nullptr;
    if (!issuerCert || !*issuerCert) {
        // A request verified with its own key.
        AsnNode* csr = asn_ReadBytes(der.data(), der.size());
        if (csr && x509checkCsrShape(csr) == 0) {
            spki = holder = x509getPublicKey(csr);
        } else {
            rc = BAD_FORMAT_ERROR;
        }
        asn_Free(&csr);
    } else {
        holder = x509readCertFromFileOrString(issuerCert, &rc);
        X509Parts p;
        if (holder && (rc = x509locate(holder, &p)) == 0) spki = p.spki;
    }
    if (rc == 0 && !spki) {
        eprintf("Unable to read public key");
        rc = BAD_KEY_ERROR;
    }
    if (rc == 0 && !alg) {
        eprintf("Invalid X.509 file '%s'", file_name(toVerify).c_str());
        rc = BAD_FORMAT_ERROR;
    }
    if (rc == 0)
        rc = x509verifySignature(s.tbs.start, s.tbs.total(), alg, s.sig.value + 1, s.sig.len - 1, spki);
    asn_Free(&alg);
    asn_Free(&holder);
    return rc;
}
