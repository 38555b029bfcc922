// Reading the bag table of a PFX (RFC 7292 sections 4.1 and 4.2): the
// ContentInfos of the AuthenticatedSafe, plain or password-encrypted, and
// the SafeBags of their SafeContents with their localKeyID attributes.
#include <cstring>

#include "frame/error.h"
#include "pbe/pbe.h"
#include "pfx/pfx_int.h"

namespace velt::pfx {
namespace {

// Records a ContentInfo's failure: the first code in the table and in the
// error record, which keeps the first code since it was cleared.
void content_failed(BagTable* table, long code) {
    if (!table->first_error) table->first_error = code;
    if (table->record) errset(code);
}

// The attributes of a SafeBag: its localKeyID, when present.
void read_attributes(const Tlv& attrs, Bag* bag) {
    std::vector<Tlv> items, parts, values;
    if (!attrs.set() || !ber_children(attrs, &items)) return;
    for (const Tlv& a : items) {
        if (!a.seq() || !ber_children(a, &parts) || parts.size() != 2 || !oid_is(parts[0], kOidLocalKeyId) ||
            !parts[1].set() || !ber_children(parts[1], &values) || values.empty() || !values[0].universal(4))
            continue;
        SecureBytes id;
        if (!ber_octets(values[0], &id)) continue;
        bag->local_key_id.assign(id.begin(), id.end());
        bag->has_local_key_id = true;
        return;
    }
}

// Enters the SafeBags of a SafeContents DER into the table: 0 or 7.
long read_safe_contents(const uint8_t* p, size_t n, BagTable* table) {
    Tlv sc;
    std::vector<Tlv> bags, parts;
    if (!ber_read(p, n, &sc) || !sc.seq() || !ber_children(sc, &bags)) {
        eprintf("Invalid SafeContents");
        return BAD_FORMAT_ERROR;
    }
    for (const Tlv& b : bags) {
        // SafeBag ::= SEQUENCE { bagId OID, bagValue [0] EXPLICIT ANY, bagAttributes SET OPTIONAL }
        if (!b.seq() || !ber_children(b, &parts) || parts.size() < 2 || !parts[0].oid() ||
            !parts[1].is(0x80, true, 0))
            continue;
        if (table->bags.size() >= kMaxBags) break;
        Bag bag;
        if (oid_is(parts[0], kOidCertBag)) {
            bag.kind = BagKind::kCert;
        } else if (oid_is(parts[0], kOidShroudedKeyBag)) {
            bag.kind = BagKind::kShroudedKey;
        }
        // The value is the element inside the [0] tag.
        Tlv inner;
        if (!ber_read(parts[1].body, parts[1].body_len, &inner)) continue;
        bag.value.assign(inner.start, inner.start + inner.total);
        if (parts.size() > 2) read_attributes(parts[2], &bag);
        if (bag.kind == BagKind::kCert) table->certs++;
        if (bag.kind == BagKind::kShroudedKey) table->keys++;
        table->bags.push_back(std::move(bag));
    }
    return 0;
}

// The record for the encryption AlgorithmIdentifier of an EncryptedData:
// 0, 19 for an unsupported scheme, 7 malformed, 8 count above the bound.
long setup_scheme(const Tlv& alg_id, PbeRec* pbe) {
    std::vector<Tlv> alg, params;
    if (!alg_id.seq() || !ber_children(alg_id, &alg) || alg.size() != 2 || !alg[0].oid()) {
        eprintf("Expected encryption parameters are missing");
        return BAD_FORMAT_ERROR;
    }
    const bool rc2_40 = oid_is(alg[0], kOidPbeShaRc2_40), tdes = oid_is(alg[0], kOidPbeSha3Des);
    if (rc2_40 || tdes) {
        // pkcs-12PbeParams ::= SEQUENCE { salt OCTET STRING, iterations INTEGER }
        if (!alg[1].seq() || !ber_children(alg[1], &params) || params.empty() || params.size() > 2 ||
            !params[0].universal(4)) {
            eprintf("Expected encryption parameters are missing");
            return BAD_FORMAT_ERROR;
        }
        uint32_t count;
        long rc = read_count(params.size() == 2 ? &params[1] : nullptr, &count);
        if (rc) return rc;
        SecureBytes salt;
        if (!ber_octets(params[0], &salt)) return BAD_FORMAT_ERROR;
        pbe_SetAlgorithm(pbe, rc2_40 ? "pbeWithSHAAnd40BitRC2-CBC" : "pbeWithSHAAnd3-KeyTripleDES-CBC");
        pbe_SetSalt(pbe, salt.data(), salt.size());
        pbe->count = count;
        return 0;
    }
    if (oid_is(alg[0], kOidPbes2)) {
        // Check the PBKDF2 iteration count first: PBES2-params ::= SEQUENCE {
        //   keyDerivationFunc SEQUENCE { OID, PBKDF2-params SEQUENCE { salt, count, ... } }, encryptionScheme
        //   }
        std::vector<Tlv> kdf, kp;
        if (!alg[1].seq() || !ber_children(alg[1], &params) || params.size() != 2 || !params[0].seq() ||
            !ber_children(params[0], &kdf) || kdf.size() != 2 || !oid_is(kdf[0], kOidPbkdf2) ||
            !kdf[1].seq() || !ber_children(kdf[1], &kp) || kp.size() < 2) {
            eprintf("Expected encryption parameters are missing");
            return BAD_FORMAT_ERROR;
        }
        uint32_t count;
        long rc = read_count(&kp[1], &count);
        if (rc) return rc;
        AsnNode* chain = asn_ReadBytes(alg[1].start, alg[1].total);
        const int got = chain ? asn_Pbes2_Get(pbe, chain) : -1;
        asn_Free(&chain);
        if (got != 0) {
            eprintcatf("Expected encryption parameters are missing");
            return BAD_FORMAT_ERROR;
        }
        pbe_SetAlgorithm(pbe, "pkcs5PBES2");
        pbe->count = clamp_count(pbe->count);
        return 0;
    }
    eprintf("Sorry, encryptedData scheme is not supported.");
    return NOT_SUPPORTED_ERROR;
}

// Decrypts an EncryptedData and enters its bags: 0 or a positive code (15
// when decryption fails or the decrypted data does not parse).
long read_encrypted(const Tlv& wrapper, const char* password, BagTable* table) {
    // [0] { EncryptedData ::= SEQUENCE { version INTEGER, EncryptedContentInfo ::= SEQUENCE {
    //   contentType OID, contentEncryptionAlgorithm, encryptedContent [0] IMPLICIT OCTET STRING } } }
    std::vector<Tlv> outer, ed, eci;
    if (!wrapper.is(0x80, true, 0) || !ber_children(wrapper, &outer) || outer.size() != 1 ||
        !outer[0].seq() || !ber_children(outer[0], &ed) || ed.size() < 2 || !ed[0].integer() ||
        !ed[1].seq() || !ber_children(ed[1], &eci) || eci.size() < 2) {
        eprintf("Invalid EncryptedData Content");
        return BAD_FORMAT_ERROR;
    }
    if (!oid_is(eci[0], kOidData)) {
        eprintf("Expecting 'data' content type");
        return BAD_FORMAT_ERROR;
    }
    if (eci.size() != 3 || !eci[2].context(0)) {
        eprintf("Expected encryption parameters are missing");
        return BAD_FORMAT_ERROR;
    }
    PbeRec* pbe = pbe_New();
    long rc = setup_scheme(eci[1], pbe);
    SecureBytes ct, plain;
    if (rc == 0 && !ber_octets(eci[2], &ct)) {
        eprintf("Invalid EncryptedData Content");
        rc = BAD_FORMAT_ERROR;
    }
    if (rc == 0) {
        pbe_SetPassword(pbe, reinterpret_cast<const uint8_t*>(password), std::strlen(password));
        if (!pbe_Decrypt(pbe, ct.data(), ct.size(), plain)) rc = DECRYPT_ERROR;
    }
    pbe_Free(&pbe);
    if (rc) return rc;
    // A wrong password shows either in the padding or in data that does not parse.
    const size_t before = table->bags.size();
    if (read_safe_contents(plain.data(), plain.size(), table) != 0) {
        table->bags.resize(before);
        eprintf("Decryption error");
        return DECRYPT_ERROR;
    }
    return 0;
}

}  // namespace

long read_bags(const uint8_t* der, size_t len, const char* password, BagTable* table, bool record) {
    *table = BagTable();
    table->record = record;
    // PFX ::= SEQUENCE { version INTEGER, authSafe ContentInfo, macData MacData OPTIONAL }
    Tlv pfx;
    std::vector<Tlv> top, ci, cis, parts;
    if (!ber_read(der, len, &pfx) || !pfx.seq() || !ber_children(pfx, &top) || top.size() < 2 ||
        !top[0].integer() || !top[1].seq() || !ber_children(top[1], &ci) || ci.size() != 2 || !ci[0].oid()) {
        eprintf("Not a valid PFX object");
        return BAD_FORMAT_ERROR;
    }
    SecureBytes auth_safe;
    Tlv as;
    if (!oid_is(ci[0], kOidData) || !ci[1].is(0x80, true, 0) || !ber_children(ci[1], &parts) ||
        parts.size() != 1 || !parts[0].universal(4) || !ber_octets(parts[0], &auth_safe) ||
        !ber_read(auth_safe.data(), auth_safe.size(), &as) || !as.seq() || !ber_children(as, &cis)) {
        eprintf("Cannot find ContentInfo data");
        return BAD_FORMAT_ERROR;
    }
    const bool have_password = password && *password;
    for (const Tlv& c : cis) {
        std::vector<Tlv> cp, inner;
        if (!c.seq() || !ber_children(c, &cp) || cp.size() != 2 || !cp[0].oid()) {
            content_failed(table, BAD_FORMAT_ERROR);
            continue;
        }
        if (oid_is(cp[0], kOidData)) {
            SecureBytes sc;
            long rc = BAD_FORMAT_ERROR;
            if (cp[1].is(0x80, true, 0) && ber_children(cp[1], &inner) && inner.size() == 1 &&
                inner[0].universal(4) && ber_octets(inner[0], &sc))
                rc = read_safe_contents(sc.data(), sc.size(), table);
            if (rc) content_failed(table, rc);
        } else if (oid_is(cp[0], kOidEncryptedData)) {
            if (!have_password) continue;
            long rc = read_encrypted(cp[1], password, table);
            if (rc) content_failed(table, rc);
        }
    }
    return 0;
}

bool cert_from_bag(const Bag& bag, std::vector<uint8_t>* cert) {
    // CertBag ::= SEQUENCE { certId OID x509Certificate, certValue [0] EXPLICIT OCTET STRING }
    Tlv cb;
    std::vector<Tlv> parts, inner;
    if (bag.kind != BagKind::kCert || !ber_read(bag.value.data(), bag.value.size(), &cb) || !cb.seq() ||
        !ber_children(cb, &parts) || parts.size() != 2 || !oid_is(parts[0], kOidX509Cert) ||
        !parts[1].is(0x80, true, 0) || !ber_children(parts[1], &inner) || inner.size() != 1 ||
        !inner[0].universal(4))
        return false;
    SecureBytes der;
    if (!ber_octets(inner[0], &der) || der.empty()) return false;
    cert->assign(der.begin(), der.end());
    return true;
}

}  // namespace velt::pfx
