// SignedData verification (RFC 5652 section 5.6): matching a signer to its
// certificate, the signature check by family, the messageDigest, ESS
// signing-certificate (RFC 2634, RFC 5035) and CMS algorithm protection
// (RFC 6211) attributes, streaming verification, and the recovery of the
// signed digest.
#include <cstring>

#include "asn1/asn1.h"
#include "cms/cms.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "sig/sig.h"
#include "util/ct.h"
#include "x509/x509.h"

namespace velt::cms {

namespace {

bool span_equal(const uint8_t* a, const Tlv& ta, const uint8_t* b, const Tlv& tb) {
    return ta.end - ta.start == tb.end - tb.start &&
           std::memcmp(a + ta.start, b + tb.start, ta.end - ta.start) == 0;
}

// Names match when their DER is identical or the name matcher of the
// ASN.1 module finds equal attribute sets.
bool names_match(const uint8_t* a, const Tlv& ta, const uint8_t* b, const Tlv& tb) {
    if (span_equal(a, ta, b, tb)) return true;
    AsnNode* na = asn_ReadBytes(a + ta.start, ta.end - ta.start);
    AsnNode* nb = asn_ReadBytes(b + tb.start, tb.end - tb.start);
    bool m = na && nb && x509matchNames(na, nb) == 1;
    asn_Free(&na);
    asn_Free(&nb);
    return m;
}

bool cert_matches(const SignerRec& s, const CertParts& c) {
    if (s.sidIsSki) return !c.ski.empty() && c.ski == s.sidValue;
    const uint8_t* b = s.sidValue.data();
    Tlv ias, issuer, serial;
    if (berRead(b, s.sidValue.size(), 0, ias) != 0) return false;
    BerChildren k(b, ias);
    if (k.next(issuer) != 1 || k.next(serial) != 1 || !serial.is(0x02)) return false;
    const uint8_t* cb = c.der.data();
    if (serial.len != c.serial.len || std::memcmp(b + serial.off, cb + c.serial.off, serial.len) != 0)
        return false;
    return names_match(b, issuer, cb, c.issuer);
}

std::string spki_b64(const CertParts& c) {
    return b64_string(c.der.data() + c.spki.start, c.spki.end - c.spki.start);
}

// RSA public key of a certificate; null when it has none.
RsaKey* rsa_key_of(const CertParts& c) {
    RsaKey* key = rsaNew();
    if (rsaParseSpkiDer(key, c.der.data() + c.spki.start, c.spki.end - c.spki.start) != 0) {
        rsaFree(&key);
        errclear();
        return nullptr;
    }
    return key;
}

struct RsaHolder {
    RsaKey* k;
    ~RsaHolder() { rsaFree(&k); }
};

// Contents of an INTEGER without a leading zero octet.
bool int_octets(const uint8_t* b, const Tlv& t, const uint8_t** p, size_t* n) {
    if (!t.is(0x02) || t.len == 0) return false;
    *p = b + t.off;
    *n = t.len;
    while (*n > 1 && **p == 0) {
        ++*p;
        --*n;
    }
    return true;
}

long verify_dsa(const SignerRec& s, const CertParts& c, const uint8_t* digest, size_t dlen) {
    // SubjectPublicKeyInfo { { dsa, Dss-Parms { p, q, g } }, BIT STRING { INTEGER y } }.
    const uint8_t* b = c.der.data();
    BerChildren k(b, c.spki);
    Tlv alg, bits, oid, parms, tp, tq, tg, ty;
    if (k.next(alg) != 1 || k.next(bits) != 1 || !bits.is(0x03) || bits.len < 2) return SIGNATURE_ERROR;
    BerChildren ak(b, alg);
    if (ak.next(oid) != 1 || ak.next(parms) != 1 || !parms.is(0x30)) return SIGNATURE_ERROR;
    BerChildren pk(b, parms);
    if (pk.next(tp) != 1 || pk.next(tq) != 1 || pk.next(tg) != 1) return SIGNATURE_ERROR;
    if (berRead(b, bits.end, bits.off + 1, ty) != 0) return SIGNATURE_ERROR;
    const uint8_t *p, *q, *g, *y, *r, *sv;
    size_t pl, ql, gl, yl, rl, sl;
    if (!int_octets(b, tp, &p, &pl) || !int_octets(b, tq, &q, &ql) || !int_octets(b, tg, &g, &gl) ||
        !int_octets(b, ty, &y, &yl))
        return SIGNATURE_ERROR;
    const uint8_t* sb = s.sigValue.data();
    Tlv seq, tr, ts;
    if (berRead(sb, s.sigValue.size(), 0, seq) != 0 || !seq.is(0x30)) return SIGNATURE_ERROR;
    BerChildren sk(sb, seq);
    if (sk.next(tr) != 1 || sk.next(ts) != 1 || !int_octets(sb, tr, &r, &rl) || !int_octets(sb, ts, &sv, &sl))
        return SIGNATURE_ERROR;
    sig::DsaKey* key = sig::dsaNew();
    int ok = sig::dsaSetParams(key, p, pl, q, ql, g, gl) == 0 && sig::dsaSetPublicKey(key, y, yl) == 0 &&
             sig::dsaVerify(key, digest, dlen, r, rl, sv, sl) == 1;
    sig::dsaFree(&key);
    errclear();
    return ok ? 0 : long(SIGNATURE_ERROR);
}

// The signature check by family over the value that was signed: a digest
// for RSA, DSA and ECDSA; the message itself for EdDSA.
long verify_value(const SignerRec& s, const CertParts& c, const uint8_t* value, size_t vlen) {
    switch (s.family) {
        case kFamPkcs1:
        case kFamPss: {
            std::string name = (s.family == kFamPss ? "RSA-PSS-" : "RSA-") + s.digestName;
            const sig::SigAlgRow* row = sig::sigPtrToSigAlgByName(name.c_str());
            if (!row) {
                eprintf("Unsupported digest algorithm %s", s.digestName.c_str());
                return NOT_SUPPORTED_ERROR;
            }
            RsaHolder key{rsa_key_of(c)};
            if (!key.k) {
                eprintf("Unable to extract RSA key from certificate");
                return INVALID_DATA_ERROR;
            }
            if (s.family == kFamPkcs1)
                return sig::rsasigVerify(s.sigValue.data(), s.sigValue.size(), key.k, value, vlen, *row,
                                         true);
            long opts = 0x1000;
            if (s.pss.mgfHashAlg == 0 && s.pss.hashAlg != 0) opts |= 0x800000;
            if (s.pss.hashAlg != row->hashAlg ||
                (s.pss.mgfHashAlg != 0 && s.pss.mgfHashAlg != row->hashAlg)) {
                eprintf("Unsupported RSA-PSS parameters");
                return NOT_SUPPORTED_ERROR;
            }
            return sig::rsasigVerify_PSS(s.sigValue.data(), s.sigValue.size(), key.k, value, vlen, *row,
                                         opts);
        }
        case kFamDsa:
            return verify_dsa(s, c, value, vlen);
        case kFamEcc: {
            const sig::SigAlgRow* row = sig::sigPtrToSigAlgById(s.sigId);
            if (row && !sig::sigIdIsEdDSA(row->id) && row->digestLen != vlen) {
                // ECDSA over a digest other than the one the OID names: the
                // row of the signer's digest algorithm.
                static const long kEcdsaByHash[] = {0x10, -1, -1, 0x30, 0x40, 0x50, 0x20};
                row = s.digestId >= 0 && s.digestId <= 6 ? sig::sigPtrToSigAlgById(kEcdsaByHash[s.digestId])
                                                         : nullptr;
            }
            if (!row) {
                eprintf("Invalid signatureAlgorithm");
                return NOT_SUPPORTED_ERROR;
            }
            std::string key = spki_b64(c);
            long rc =
                sig::eccDSA_VerifyDataFromBytes(s.sigValue.data(), s.sigValue.size(), value, vlen,
                                                key.c_str(), *row, sig::sigIdIsEdDSA(row->id) ? 0 : 0x1000);
            if (rc == BAD_KEY_ERROR || rc == INVALID_DATA_ERROR || rc == BAD_FORMAT_ERROR) {
                eprintf("Unable to extract ECC key from certificate");
                return INVALID_DATA_ERROR;
            }
            return rc;
        }
        default:
            eprintf("Invalid signatureAlgorithm");
            return NOT_SUPPORTED_ERROR;
    }
}

}  // namespace

long findMatchingCertAndSigner(const std::vector<uint8_t>& der, const SignedDataInfo& info,
                               const CertParts* given, size_t* signer, CertParts& cert) {
    const size_t S = info.signers.size(), C = info.certs.size();
    auto embedded = [&](size_t i, CertParts& out) {
        const Tlv& t = info.certs[i];
        return cmsCertParts(der.data() + t.start, t.end - t.start, out) == 0;
    };
    if (S == 0) {
        eprintf("No SignerInfos in SignedData");
        return INVALID_DATA_ERROR;
    }
    if (S == 1 && (given || C == 1)) {
        if (given) {
            cert = *given;
        } else if (!embedded(0, cert)) {
            eprintf("Invalid certificate in SignedData");
            return INVALID_DATA_ERROR;
        }
        if (!cert_matches(info.signers[0], cert)) eprintcatf("WARNING: cert does not match signerInfo");
        *signer = 0;
        return 0;
    }
    if (!given && C == 0) {
        eprintf("No certificate found or given");
        return MISSING_ERROR;
    }
    if (given) {
        for (size_t i = 0; i < S; ++i) {
            if (cert_matches(info.signers[i], *given)) {
                cert = *given;
                *signer = i;
                return 0;
            }
        }
    } else {
        std::vector<CertParts> parts(C);
        std::vector<bool> ok(C);
        for (size_t j = 0; j < C; ++j) ok[j] = embedded(j, parts[j]);
        for (size_t i = 0; i < S; ++i) {
            for (size_t j = 0; j < C; ++j) {
                if (ok[j] && cert_matches(info.signers[i], parts[j])) {
                    cert = std::move(parts[j]);
                    *signer = i;
                    return 0;
                }
            }
        }
    }
    eprintf("No match found between certificate and signer");
    return NO_MATCH_ERROR;
}

long verify_algprotect(const SignerRec& s) {
    // CMSAlgorithmProtection ::= SEQUENCE { digestAlgorithm,
    //   signatureAlgorithm [1] IMPLICIT OPTIONAL, macAlgorithm [2] IMPLICIT OPTIONAL }
    const uint8_t* b = s.algProtectValue.data();
    Tlv seq, dalg, salg;
    if (berRead(b, s.algProtectValue.size(), 0, seq) != 0 || !seq.is(0x30)) {
        eprintf("Invalid CMS algorithm protection attribute");
        return BAD_FORMAT_ERROR;
    }
    BerChildren k(b, seq);
    if (k.next(dalg) != 1 || !dalg.is(0x30) || k.next(salg) != 1 || !salg.is(0xA1)) {
        eprintf("Invalid CMS algorithm protection attribute");
        return BAD_FORMAT_ERROR;
    }
    // Digest algorithm: the same OID (parameters NULL or absent alike).
    BerChildren dk(b, dalg), sk(b, salg);
    Tlv doid, soid;
    bool same = dk.next(doid) == 1 &&
                cmsDigestIdFromName(oidName(b, doid)) == cmsDigestIdFromName(s.digestName) &&
                oidName(b, doid) == s.digestName;
    if (same && sk.next(soid) == 1) {
        std::string name = oidName(b, soid);
        same = name == s.sigName;
        if (same && s.family == kFamPss) {
            std::vector<uint8_t> alg(b + salg.start, b + salg.end);
            alg[0] = 0x30;
            RsaPssParams p;
            same =
                rsapssGetParamsDer(&p, alg.data(), alg.size(), false) == 0 && rsapssParamsMatch(&p, &s.pss);
        }
    } else {
        same = false;
    }
    if (!same) {
        eprintf("Algorithm protection violated");
        return SIGNATURE_ERROR;
    }
    return 0;
}

long getSigningCertDigest(const SignerRec& s, std::vector<uint8_t>& certHash, long* alg) {
    // SigningCertificate(V2) ::= SEQUENCE { certs SEQUENCE OF ESSCertID(v2), ... }
    // ESSCertID ::= SEQUENCE { certHash, issuerSerial OPTIONAL } (SHA-1)
    // ESSCertIDv2 ::= SEQUENCE { hashAlgorithm DEFAULT sha256, certHash, issuerSerial OPTIONAL }
    certHash.clear();
    *alg = s.signingCertV2 ? 3 : 0;
    const uint8_t* b = s.signingCertValue.data();
    Tlv seq, certs, id, t;
    if (berRead(b, s.signingCertValue.size(), 0, seq) != 0 || !seq.is(0x30)) return SIGNATURE_ERROR;
    BerChildren k1(b, seq);
    if (k1.next(certs) != 1 || !certs.is(0x30)) return SIGNATURE_ERROR;
    BerChildren k2(b, certs);
    if (k2.next(id) != 1 || !id.is(0x30)) return SIGNATURE_ERROR;
    BerChildren k(b, id);
    if (k.next(t) != 1) return SIGNATURE_ERROR;
    if (s.signingCertV2 && t.is(0x30)) {
        BerChildren ak(b, t);
        Tlv oid;
        *alg = ak.next(oid) == 1 ? cmsDigestIdFromName(oidName(b, oid)) : -1;
        if (k.next(t) != 1) return SIGNATURE_ERROR;
    }
    if (!t.is(0x04)) return SIGNATURE_ERROR;
    certHash.assign(b + t.off, b + t.off + t.len);
    return 0;
}

long verify_signing_cert(const SignerRec& s, const CertParts& cert) {
    std::vector<uint8_t> want, h;
    long alg = 0;
    if (getSigningCertDigest(s, want, &alg) != 0) {
        eprintf("Invalid signing-certificate attribute");
        return SIGNATURE_ERROR;
    }
    if (!cmsDigest(alg, cert.der.data(), cert.der.size(), h) || h != want) {
        eprintf("Signing certificate hash does not match");
        return SIGNATURE_ERROR;
    }
    return 0;
}

namespace {

// Verifies signer si of a parsed object with its certificate. digest: the
// caller's content digest, or null to digest the eContent.
long verify_signer(const std::vector<uint8_t>& der, const SignedDataInfo& info, const SignerRec& s,
                   const CertParts& cert, const std::vector<uint8_t>* digest) {
    if (s.digestId < 0) {
        eprintf("Invalid or unsupported digestAlgorithm");
        return NOT_SUPPORTED_ERROR;
    }
    const bool eddsa = s.family == kFamEcc && sig::sigIdIsEdDSA(s.sigId);
    if (eddsa && digest) {
        eprintf("Cannot pass szHexDigest value with EdDSA/Ed25519");
        return NOT_SUPPORTED_ERROR;
    }
    SecureBytes content;
    std::vector<uint8_t> md;
    if (digest) {
        md = *digest;
    } else {
        if (!info.hasEContent) {
            eprintf("No eContent found: a detached signature needs the digest of its content");
            return NO_DATA_ERROR;
        }
        const uint8_t* cp = der.data() + info.eContent.off;
        size_t clen = info.eContent.len;
        if (info.eContent.constructed) {
            // Segments are joined first; a primitive OCTET STRING is digested in place.
            if (octetsOf(der.data(), info.eContent, content) != 0) return BAD_FORMAT_ERROR;
            cp = content.data();
            clen = content.size();
        }
        if (!cmsDigest(s.digestId, cp, clen, md)) return NOT_SUPPORTED_ERROR;
        if (eddsa && !info.eContent.constructed) content.assign(cp, cp + clen);
    }
    if (s.hasSignedAttrs) {
        if (s.hasAlgProtect) {
            long rc = verify_algprotect(s);
            if (rc) return rc;
        }
        // Signed attributes bind the content only through messageDigest
        // (RFC 5652 5.3): without it the signature proves nothing about
        // the content.
        if (!s.hasMessageDigest) {
            eprintf("No messageDigest in signed attributes");
            return SIGNATURE_ERROR;
        }
    }
    long rc;
    if (eddsa) {
        const std::vector<uint8_t>& msg = s.signedAttrs;
        rc = s.hasSignedAttrs ? verify_value(s, cert, msg.data(), msg.size())
                              : verify_value(s, cert, content.data(), content.size());
    } else if (s.hasSignedAttrs) {
        std::vector<uint8_t> ad;
        if (!cmsDigest(s.digestId, s.signedAttrs.data(), s.signedAttrs.size(), ad))
            return NOT_SUPPORTED_ERROR;
        rc = verify_value(s, cert, ad.data(), ad.size());
    } else {
        rc = verify_value(s, cert, md.data(), md.size());
    }
    if (rc) return rc;
    if (s.hasSignedAttrs &&
        (md.size() != s.messageDigest.size() || !ct::equal(md.data(), s.messageDigest.data(), md.size()))) {
        eprintf("Message digests do not match");
        return SIGNATURE_ERROR;
    }
    if (s.hasSigningCert) return verify_signing_cert(s, cert);
    return 0;
}

long read_given_cert(const char* certArg, CertParts& c) {
    std::vector<uint8_t> der;
    long rc = x509readCertDer(der, certArg);
    if (rc) return rc;
    if (cmsCertParts(der.data(), der.size(), c) != 0) {
        eprintf("Invalid X.509 certificate");
        return BAD_FORMAT_ERROR;
    }
    return 0;
}

long verify_object(const std::vector<uint8_t>& der, const char* certArg, const std::vector<uint8_t>* digest) {
    Tlv sd;
    SignedDataInfo info;
    long rc = cmsContentOf(der, "signedData", "signed-data", sd);
    if (!rc) rc = parseSignedData(der, sd, info, true);
    if (rc) return rc;
    CertParts given, cert;
    if (certArg && *certArg) {
        rc = read_given_cert(certArg, given);
        if (rc) return rc;
    }
    size_t si = 0;
    rc = findMatchingCertAndSigner(der, info, certArg && *certArg ? &given : nullptr, &si, cert);
    if (rc) return rc;
    return verify_signer(der, info, info.signers[si], cert, digest);
}

// Digests the content as it streams past. With no fixed list, the
// algorithms are those the digestAlgorithms SET lists, known before the
// first content octet arrives.
struct MultiDigest {
    const StreamedSignedData* sd = nullptr;
    std::vector<long> ids;
    bool started = false;
    std::vector<hash::Hasher> hashers;
    std::vector<hash::KeccakCtx> shakes;

    void start() {
        if (started) return;
        started = true;
        if (ids.empty()) ids = sd->digestIds;
        hashers.resize(ids.size());
        shakes.resize(ids.size());
        for (size_t i = 0; i < ids.size(); ++i) {
            if (ids[i] > 6)
                hash::shake_init(shakes[i], ids[i] == 159 ? 256 : 128);
            else
                hashers[i].init(ids[i]);
        }
    }
};
long sink_digest(void* ctx, const uint8_t* p, size_t n) {
    auto* m = static_cast<MultiDigest*>(ctx);
    m->start();
    for (size_t i = 0; i < m->ids.size(); ++i) {
        if (m->ids[i] > 6)
            hash::keccak_absorb(m->shakes[i], p, n);
        else
            m->hashers[i].update(p, n);
    }
    return 0;
}

// One pass over a streamed file: the detached SignedData in sd and the
// content digests under ids (the listed algorithms when ids is empty).
long stream_digests(const char* file, std::vector<long>& ids, StreamedSignedData& sd,
                    std::vector<std::vector<uint8_t>>& out) {
    FILE* f = std::fopen(file, "rb");
    if (!f) {
        eprintf("Cannot open file %s", file);
        return OPEN_ERROR;
    }
    MultiDigest md;
    md.sd = &sd;
    md.ids = ids;
    BlockManager* bm = block_manager_init(f);
    long rc = block_manager(bm, sink_digest, &md, sd);
    block_manager_final(&bm);
    std::fclose(f);
    if (rc) return rc;
    md.start();
    ids = md.ids;
    out.assign(ids.size(), {});
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] > 6) {
            out[i].resize(ids[i] == 159 ? 64 : 32);
            hash::keccak_squeeze(md.shakes[i], out[i].data(), out[i].size());
        } else {
            out[i].resize(md.hashers[i].length());
            md.hashers[i].final(out[i].data());
        }
    }
    return 0;
}

long verify_bigfile(const char* file, const char* certArg, const std::vector<uint8_t>* digest) {
    FILE* f = std::fopen(file, "rb");
    if (!f) {
        eprintf("Cannot open file %s", file);
        return OPEN_ERROR;
    }
    int c = std::fgetc(f);
    std::fclose(f);
    if (c != 0x30) {
        eprintf("Only binary files can be read with the BIGFILE option");
        return BAD_FORMAT_ERROR;
    }
    // One pass digests the content with every distinct supported algorithm
    // the digestAlgorithms SET lists, so that whichever signer is chosen has
    // its digest ready.
    StreamedSignedData sd;
    std::vector<std::vector<uint8_t>> digests;
    std::vector<long> ids;
    long rc = stream_digests(file, ids, sd, digests);
    if (rc) return rc;
    Tlv content;
    SignedDataInfo info;
    rc = cmsContentOf(sd.detached, "signedData", "signed-data", content);
    if (!rc) rc = parseSignedData(sd.detached, content, info, true);
    if (rc) return rc;
    CertParts given, cert;
    if (certArg && *certArg) {
        rc = read_given_cert(certArg, given);
        if (rc) return rc;
    }
    size_t si = 0;
    rc = findMatchingCertAndSigner(sd.detached, info, certArg && *certArg ? &given : nullptr, &si, cert);
    if (rc) return rc;
    const SignerRec& s = info.signers[si];
    if (s.family == kFamEcc && sig::sigIdIsEdDSA(s.sigId)) {
        eprintf("Cannot use BIGFILE option with EdDSA/Ed25519");
        return NOT_SUPPORTED_ERROR;
    }
    if (digest) return verify_signer(sd.detached, info, s, cert, digest);
    for (size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == s.digestId) return verify_signer(sd.detached, info, s, cert, &digests[i]);
    if (s.digestId < 0) {
        eprintf("Invalid or unsupported digestAlgorithm");
        return NOT_SUPPORTED_ERROR;
    }
    // The signer's algorithm was not listed: a second pass with it alone.
    StreamedSignedData again;
    ids = {s.digestId};
    rc = stream_digests(file, ids, again, digests);
    if (rc) return rc;
    return verify_signer(sd.detached, info, s, cert, &digests[0]);
}

long decode_digest(const char* hex, std::vector<uint8_t>& out) {
    uint8_t buf[64];
    size_t n = std::strlen(hex);
    long got = n > 128 || n % 2 ? -1 : hexstr2bytes_strict(buf, hex, 64);
    if (got <= 0) {
        eprintf("Invalid user-supplied digest--perhaps invalid hex");
        return INVALID_DATA_ERROR;
    }
    out.assign(buf, buf + got);
    return 0;
}

}  // namespace

long cmsVerifySigData(const char* input, const char* certArg, const char* hexDigest, long options) {
    if (!input || !*input) return -BAD_PARAM_ERROR;
    std::vector<uint8_t> digest;
    const std::vector<uint8_t>* dp = nullptr;
    if (hexDigest && *hexDigest) {
        long rc = decode_digest(hexDigest, digest);
        if (rc) return -rc;
        dp = &digest;
    }
    long rc;
    if (options & kOptBigFile) {
        rc = verify_bigfile(input, certArg, dp);
    } else {
        std::vector<uint8_t> der;
        rc = cmsReadObject(input, der);
        if (!rc) rc = verify_object(der, certArg, dp);
    }
    return rc > 0 ? -rc : rc;
}

long cmsGetSigDataDigest(char* out, long outlen, const char* input, const char* certArg, long) {
    if (!input || !*input) return -BAD_PARAM_ERROR;
    std::vector<uint8_t> der;
    SignedDataInfo info;
    long rc = cmsReadSignedData(input, der, info, true);
    if (rc) return rc > 0 ? -rc : rc;
    CertParts given, cert;
    if (certArg && *certArg) {
        rc = read_given_cert(certArg, given);
        if (rc) return -rc;
    }
    size_t si = 0;
    rc = findMatchingCertAndSigner(der, info, certArg && *certArg ? &given : nullptr, &si, cert);
    if (rc) return -rc;
    const SignerRec& s = info.signers[si];
    std::vector<uint8_t> result;
    if (s.family == kFamPkcs1) {
        RsaHolder key{rsa_key_of(cert)};
        if (!key.k) {
            eprintf("Decryption failed");
            return -DECRYPT_ERROR;
        }
        std::vector<uint8_t> block(s.sigValue.size() + 1);
        size_t blen = block.size();
        if (rsaDecryptPublic(key.k, block.data(), &blen, s.sigValue.data(), s.sigValue.size()) != 0) {
            eprintf("Decryption failed");
            return -DECRYPT_ERROR;
        }
        // DigestInfo ::= SEQUENCE { digestAlgorithm, digest OCTET STRING }
        Tlv di, alg, dig;
        if (berRead(block.data(), blen, 0, di) != 0 || !di.is(0x30)) {
            eprintf("Decryption failed");
            return -DECRYPT_ERROR;
        }
        BerChildren dk(block.data(), di);
        if (dk.next(alg) != 1 || dk.next(dig) != 1 || !dig.is(0x04)) {
            eprintf("Decryption failed");
            return -DECRYPT_ERROR;
        }
        result.assign(block.data() + dig.off, block.data() + dig.off + dig.len);
        if (s.hasSignedAttrs) {
            std::vector<uint8_t> ad;
            if (!cmsDigest(s.digestId, s.signedAttrs.data(), s.signedAttrs.size(), ad) || ad != result) {
                eprintf("Signature is not valid");
                return -SIGNATURE_ERROR;
            }
            result = s.messageDigest;
        }
    } else if (s.family == kFamDsa) {
        if (!s.hasSignedAttrs) {
            eprintf("Cannot recover digest if signed with DSA and no signedAttrs");
            return -NO_DATA_ERROR;
        }
        std::vector<uint8_t> ad;
        if (!cmsDigest(s.digestId, s.signedAttrs.data(), s.signedAttrs.size(), ad))
            return -NOT_SUPPORTED_ERROR;
        if (verify_dsa(s, cert, ad.data(), ad.size()) != 0) {
            eprintf("Signature is not valid");
            return -SIGNATURE_ERROR;
        }
        result = s.messageDigest;
    } else {
        eprintf("Invalid or unsupported signature algorithm");
        return -NOT_SUPPORTED_ERROR;
    }
    std::string hex = hex_string(result.data(), result.size(), false);
    const long n = long(hex.size());
    if (out && outlen > 0) {
        if (outlen < n) {
            eprintf("Output buffer too short");
            return -SHORT_BUF_ERROR;
        }
        std::memcpy(out, hex.c_str(), size_t(n) + 1);
    }
    return s.digestId;
}

}  // namespace velt::cms
