// EncryptedPrivateKeyInfo (RFC 5958 section 3) with the algorithm
// identifiers of PBES1, PBES2 (RFC 8018 appendix A) and the PKCS #12
// schemes (RFC 7292 appendix C), for writing and reading.
#include <cstring>
#include <vector>

#include "frame/error.h"
#include "hash/hash.h"
#include "pbe/pbe.h"
#include "pbe/schemes.h"

using velt::SecureBytes;
using namespace velt::pbe;

namespace {

bool is_universal(const AsnNode* n, uint32_t tag) {
    return n && (n->id & ~0x20u) == 0 && n->tag == tag && ((n->id & 0x20) != 0) == (tag == 16 || tag == 17);
}

// The direct children of a node.
std::vector<AsnNode*> children(AsnNode* node) {
    std::vector<AsnNode*> out;
    if (!node) return out;
    for (AsnNode* p = node->next; p && p->level > node->level; p = p->next)
        if (p->level == node->level + 1) out.push_back(p);
    return out;
}

// The table name of an OID node (its dotted form when not in the table).
bool oid_name(const AsnNode* node, std::string* name) {
    OidRec rec;
    if (!is_universal(node, 6) || asn_SetOid(&rec, node) != 0) {
        // asn_SetOid fails for an OID absent from the table; fall back to dotted text.
        char buf[128];
        if (!is_universal(node, 6) || asn_OidDotString(node, buf, sizeof buf) < 0) return false;
        *name = buf;
        return true;
    }
    *name = rec.name;
    return true;
}

// A small non-negative INTEGER (at most 31 bits); false otherwise.
bool small_integer(const AsnNode* node, long* value) {
    if (!is_universal(node, 2) || !node->data || node->length < 1 || node->length > 5) return false;
    if (node->data[0] & 0x80) return false;
    uint64_t v = 0;
    for (int64_t i = 0; i < node->length; i++) v = (v << 8) | node->data[i];
    if (v > 0x7FFFFFFF) return false;
    *value = long(v);
    return true;
}

AsnNode* octets(const std::vector<uint8_t>& v) { return asn_NewOctetString(v.data(), v.size()); }

// AlgorithmIdentifier of the record's scheme after encryption.
AsnNode* algorithm_identifier(const PbeRec* pbe, const Scheme* s) {
    if (s->kind != SchemeKind::kPbes2) {
        AsnNode* params = asn_Sequence(asn_LinkVar(octets(pbe->salt), asn_NewInteger(pbe->count), nullptr));
        return asn_Sequence(asn_LinkVar(asn_NewOID(s->name), params, nullptr));
    }
    AsnNode* kdf_params = asn_LinkVar(octets(pbe->salt), asn_NewInteger(pbe->count), nullptr);
    if (pbe->prfName[0] && pbe->prfId != velt::hash::kSha1)
        kdf_params = asn_Link(kdf_params, asn_Sequence(asn_LinkVar(asn_NewOID(pbe->prfName), asn_NewNull(), nullptr)));
    AsnNode* kdf = asn_Sequence(asn_LinkVar(asn_NewOID("pkcs5PBKDF2"), asn_Sequence(kdf_params), nullptr));
    AsnNode* enc = asn_Sequence(asn_LinkVar(asn_NewOID(pbe->encSchemeName), octets(pbe->iv), nullptr));
    AsnNode* params = asn_Sequence(asn_LinkVar(kdf, enc, nullptr));
    return asn_Sequence(asn_LinkVar(asn_NewOID("pkcs5PBES2"), params, nullptr));
}

// Encrypts the DER of a PrivateKeyInfo into an EncryptedPrivateKeyInfo chain.
AsnNode* make_epki(PbeRec* pbe, const uint8_t* der, size_t n) {
    const Scheme* s = find_scheme(pbe->algorithm.c_str());
    if (!s || !s->key_writable) {
        eprintf("Unsupported PBE algorithm: %s", pbe->algorithm.c_str());
        return nullptr;
    }
    std::vector<uint8_t> ct;
    if (!pbe_Encrypt(pbe, der, n, ct)) return nullptr;
    AsnNode* alg = algorithm_identifier(pbe, s);
    if (!alg) return nullptr;
    return asn_Sequence(asn_LinkVar(alg, octets(ct), nullptr));
}

// An iteration count read from input: false with a detail message when it
// is above the bound.
bool count_acceptable(long count) {
    if (pbe_CountAcceptable(uint64_t(count))) return true;
    eprintf("Iteration count %ld exceeds the limit of %llu", count, (unsigned long long)kPbeMaxIterations);
    return false;
}

// The body of asn_Pbes2_Get: 0, INVALID_DATA_ERROR for an iteration count
// above the bound, DECRYPT_ERROR for anything else.
long read_pbes2(PbeRec* pbe, AsnNode* parameters) {
    auto top = children(parameters);
    if (!is_universal(parameters, 16) || top.size() != 2 || !is_universal(top[0], 16) || !is_universal(top[1], 16)) {
        eprintf("PBES2 encryption scheme parameters invalid or not supported");
        return DECRYPT_ERROR;
    }
    // Encryption scheme.
    auto enc = children(top[1]);
    std::string name;
    if (enc.size() != 2 || !oid_name(enc[0], &name)) {
        eprintf("PBES2 encryption scheme parameters invalid or not supported");
        return DECRYPT_ERROR;
    }
    long id = pbe_SetEncSchemeByName(pbe, name.c_str());
    if (id < 0) {
        eprintf("'%s' not supported", name.c_str());
        return DECRYPT_ERROR;
    }
    AsnNode* iv = enc[1];
    if (id == kPbeRc2Cbc) {
        // RC2-CBCParameter ::= SEQUENCE { rc2ParameterVersion INTEGER OPTIONAL, iv OCTET STRING }
        auto rp = children(enc[1]);
        long version = -1;
        if (!is_universal(enc[1], 16) || rp.empty() || rp.size() > 2 ||
            (rp.size() == 2 && !small_integer(rp[0], &version))) {
            eprintf("PBES2 encryption scheme parameters invalid or not supported");
            return DECRYPT_ERROR;
        }
        iv = rp.back();
        long bits;
        if (version < 0) {
            bits = 32;
        } else if (version == 160) {
            bits = 40;
        } else if (version == 120) {
            bits = 64;
        } else if (version == 58) {
            bits = 128;
        } else if (version >= 256 && version <= 1024) {
            bits = version;
        } else {
            eprintf("Invalid ParameterVersion (%ld)", version);
            return DECRYPT_ERROR;
        }
        pbe_SetKeyParam(pbe, bits);
    }
    if (!is_universal(iv, 4) || !iv->data || size_t(iv->length) != pbe_EncSchemeBlockLen(id)) {
        eprintf("PBES2 encryption scheme parameters invalid or not supported");
        return DECRYPT_ERROR;
    }
    pbe_SetIV(pbe, iv->data, size_t(iv->length));

    // Key derivation: PBKDF2-params ::= SEQUENCE { salt OCTET STRING, iterationCount INTEGER,
    //   keyLength INTEGER OPTIONAL, prf AlgorithmIdentifier DEFAULT hmacWithSHA1 }
    auto kdf = children(top[0]);
    if (kdf.size() != 2 || !oid_name(kdf[0], &name)) {
        eprintf("Key derivation algorithm '%s' not supported", "");
        return DECRYPT_ERROR;
    }
    if (name != "pkcs5PBKDF2") {
        eprintf("Key derivation algorithm '%s' not supported", name.c_str());
        return DECRYPT_ERROR;
    }
    auto kp = children(kdf[1]);
    long count, key_len = 0;
    size_t i = 2;
    if (!is_universal(kdf[1], 16) || kp.size() < 2 || kp.size() > 4 || !is_universal(kp[0], 4) || !kp[0]->data ||
        !small_integer(kp[1], &count)) {
        eprintf("PBES2 encryption scheme parameters invalid or not supported");
        return DECRYPT_ERROR;
    }
    if (!count_acceptable(count)) return INVALID_DATA_ERROR;
    if (i < kp.size() && is_universal(kp[i], 2)) {
        if (!small_integer(kp[i], &key_len) || key_len < 1) {
            eprintf("PBES2 key length invalid");
            return DECRYPT_ERROR;
        }
        i++;
    }
    pbe_SetPrfId(pbe, velt::hash::kSha1);
    if (i < kp.size()) {
        auto prf = children(kp[i]);
        std::string prf_name;
        if (!is_universal(kp[i], 16) || prf.empty() || !oid_name(prf[0], &prf_name) ||
            pbe_SetPrfByName(pbe, prf_name.c_str()) < 0) {
            eprintf("PRF algorithm not supported");
            return DECRYPT_ERROR;
        }
        i++;
    }
    if (i != kp.size()) {
        eprintf("PBES2 encryption scheme parameters invalid or not supported");
        return DECRYPT_ERROR;
    }
    pbe_SetSalt(pbe, kp[0]->data, size_t(kp[0]->length));
    pbe_SetCount(pbe, count);
    pbe_SetKeyLength(pbe, key_len);
    // The derived key must fit the cipher: a stated key length equal to the
    // cipher's, RC2 key lengths within 1 to 128 octets.
    if (id == kPbeRc2Cbc) {
        long n = key_len ? key_len : pbe->keyParam / 8;
        if (n < 1 || n > 128) {
            eprintf("PBES2 key length %ld not valid for rc2CBC", n);
            return DECRYPT_ERROR;
        }
    } else if (key_len && size_t(key_len) != pbe_EncSchemeKeyLen(id)) {
        eprintf("PBES2 key length %ld does not match %s", key_len, pbe->encSchemeName);
        return DECRYPT_ERROR;
    }
    return 0;
}

// Fills the record from an EncryptedPrivateKeyInfo and decrypts its
// contents into plain: 0, INVALID_DATA_ERROR for an iteration count above
// the bound (nothing derived), or DECRYPT_ERROR.
long extract_epki(PbeRec* pbe, AsnNode* epki, SecureBytes& plain) {
    auto top = children(epki);
    auto alg = top.size() == 2 ? children(top[0]) : std::vector<AsnNode*>();
    std::string name;
    if (!is_universal(epki, 16) || top.size() != 2 || !is_universal(top[0], 16) || !is_universal(top[1], 4) ||
        !top[1]->data || alg.size() != 2 || !oid_name(alg[0], &name)) {
        eprintf("Invalid EncryptedPrivateKeyInfo format");
        return DECRYPT_ERROR;
    }
    pbe_SetAlgorithm(pbe, name.c_str());
    const Scheme* s = find_scheme(name.c_str());
    if (s && s->kind == SchemeKind::kPbes2) {
        long rc = read_pbes2(pbe, alg[1]);
        if (rc != 0) return rc;
    } else {
        auto p = children(alg[1]);
        long count;
        if (!is_universal(alg[1], 16) || p.size() != 2 || !is_universal(p[0], 4) ||
            !small_integer(p[1], &count)) {
            eprintf("Failed to extract PBE parameters");
            return DECRYPT_ERROR;
        }
        if (!count_acceptable(count)) return INVALID_DATA_ERROR;
        pbe_SetSalt(pbe, p[0]->data, size_t(p[0]->length));
        pbe_SetCount(pbe, count);
    }
    if (!s) {
        eprintf("Unsupported PBE algorithm: %s", name.c_str());
        return DECRYPT_ERROR;
    }
    return pbe_Decrypt(pbe, top[1]->data, size_t(top[1]->length), plain) ? 0L : long(DECRYPT_ERROR);
}

}  // namespace

int pbeasn_IsEncryptedPrivateKeyInfo_PBES2(const AsnNode* chain) {
    if (!is_universal(chain, 16) || !is_universal(chain->next, 16)) return 0;
    std::string name;
    return oid_name(chain->next->next, &name) && name == "pkcs5PBES2" ? 1 : 0;
}

int asn_Pbes2_Get(PbeRec* pbe, AsnNode* parameters) {
    return read_pbes2(pbe, parameters) == 0 ? 0 : -1;
}

AsnNode* asn_EncryptedPrivateKeyInfo_Make(PbeRec* pbe, AsnNode* privateKeyInfo) {
    if (!pbe || !privateKeyInfo) return nullptr;
    int64_t n = 0;
    uint8_t* der = asn_Store(privateKeyInfo, &n);
    if (!der) return nullptr;
    AsnNode* out = make_epki(pbe, der, size_t(n));
    ewipe(der, size_t(n));
    efree_mem(der);
    return out;
}

AsnNode* asn_EncryptedPrivateKeyInfo_Extract(PbeRec* pbe, AsnNode* encryptedPrivateKeyInfo) {
    if (!pbe || !encryptedPrivateKeyInfo) return nullptr;
    SecureBytes plain;
    if (extract_epki(pbe, encryptedPrivateKeyInfo, plain) != 0) return nullptr;
    AsnNode* pki = asn_ReadBytes(plain.data(), plain.size());
    if (!pki) eprintf("Decryption error");
    return pki;
}

long pbeEncryptPrivateKeyInfoDer(std::vector<uint8_t>& out, const uint8_t* pki, size_t pki_len, const char* password,
                                 long count, long options) {
    out.clear();
    PbeRec* pbe = pbe_New();
    pbe_Setup(pbe, password, count, options);
    AsnNode* epki = pki && pki_len ? make_epki(pbe, pki, pki_len) : nullptr;
    pbe_Free(&pbe);
    int64_t n = 0;
    uint8_t* der = epki ? asn_Store(epki, &n) : nullptr;
    asn_Free(&epki);
    if (!der) {
        eprintcatf("Unable to make encrypted private key");
        return MISC_ERROR;
    }
    out.assign(der, der + n);
    efree_mem(der);
    return 0;
}

long pbeDecryptPrivateKeyInfoDer(SecureBytes& out, const uint8_t* epki, size_t epki_len, const uint8_t* password,
                                 size_t password_len) {
    out.clear();
    AsnNode* chain = epki && epki_len ? asn_ReadBytes(epki, epki_len) : nullptr;
    if (!chain) {
        eprintf("Invalid EncryptedPrivateKeyInfo format");
        return DECRYPT_ERROR;
    }
    PbeRec* pbe = pbe_New();
    pbe_SetPassword(pbe, password, password_len);
    const long rc = extract_epki(pbe, chain, out);
    pbe_Free(&pbe);
    asn_Free(&chain);
    bool ok = rc == 0;
    if (ok) {
        // The contents must be one ASN.1 element.
        AsnNode* check = asn_ReadBytes(out.data(), out.size());
        ok = check != nullptr && asn_Size(check) == int64_t(out.size());
        asn_Free(&check);
        if (!ok) eprintf("Decryption error");
    }
    if (!ok) {
        SecureBytes().swap(out);
        return rc == INVALID_DATA_ERROR ? rc : long(DECRYPT_ERROR);
    }
    return 0;
}
