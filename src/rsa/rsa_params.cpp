// RSASSA-PSS-params and RSAES-OAEP-params (RFC 8017 appendix A.2.1, A.2.3;
// RFC 4055) read from an AlgorithmIdentifier.
#include <cstdio>
#include <cstring>

#include "asn1/asn1.h"
#include "frame/error.h"
#include "rsa/rsa.h"
#include "rsa/rsa_der.h"
#include "util/strl.h"

using rsader::Reader;
using rsader::Tlv;

namespace {

struct HashOid {
    long alg;
    const char* name;
    uint8_t oid[9];
    size_t len;
};
const HashOid kHashOids[] = {
    {0, "SHA1", {0x2B, 0x0E, 0x03, 0x02, 0x1A}, 5},
    {6, "SHA224", {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x04}, 9},
    {3, "SHA256", {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01}, 9},
    {4, "SHA384", {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02}, 9},
    {5, "SHA512", {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03}, 9},
    {1, "MD5", {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05}, 8},
};
const uint8_t kMgf1[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x08};
const uint8_t kPSpecified[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x09};

std::string dotted(const Tlv& oid) {
    char buf[128];
    if (oid_OctetsToDotted(oid.value, oid.len, buf, sizeof buf) < 0) return "?";
    return buf;
}

const HashOid* hash_by_oid(const Tlv& oid) {
    for (const HashOid& h : kHashOids) {
        if (oid.len == h.len && std::memcmp(oid.value, h.oid, h.len) == 0) return &h;
    }
    return nullptr;
}

bool is_oid(const Tlv& t, const uint8_t* oid, size_t n) {
    return t.tag == 0x06 && t.len == n && std::memcmp(t.value, oid, n) == 0;
}

// An AlgorithmIdentifier { OID, params OPTIONAL } inside a [n] element.
bool read_alg(const Tlv& tagged, Tlv& oid, Tlv& params, bool& has_params) {
    Reader r(tagged.value, tagged.len);
    Tlv seq;
    if (!r.next(seq) || seq.tag != 0x30 || !r.at_end()) return false;
    Reader a(seq.value, seq.len);
    if (!a.next(oid) || oid.tag != 0x06) return false;
    has_params = a.next(params);
    return a.at_end();
}

long fail(RsaPssParams* rec, long code, const char* text) {
    strlcpy(rec->errorText, text, long(sizeof rec->errorText));  // at most 63 characters
    eprintf("%s", rec->errorText);
    return code;
}

// The same with one quoted value: before + value + after.
long fail_with(RsaPssParams* rec, long code, const char* before, const std::string& value, const char* after) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s%s%s", before, value.c_str(), after);
    return fail(rec, code, buf);
}

void set_hash(RsaPssParams* rec, const HashOid& h) {
    rec->hashAlg = h.alg;
    std::snprintf(rec->hashName, sizeof rec->hashName, "%s", h.name);
}

void set_mgf_hash(RsaPssParams* rec, const HashOid& h) {
    rec->mgfHashAlg = h.alg;
    std::snprintf(rec->mgfName, sizeof rec->mgfName, "mgf1%s", h.name);
}

}  // namespace

long rsapssGetParamsDer(RsaPssParams* rec, const uint8_t* der, size_t len, bool oaep) {
    if (!rec) return -NULL_ERROR;
    *rec = RsaPssParams{};
    Reader top(der, len);
    Tlv seq;
    if (!top.next(seq) || seq.tag != 0x30) return fail(rec, -BAD_PARAM_ERROR, "Invalid parameters");
    // An AlgorithmIdentifier: step into its parameters.
    Reader probe(seq.value, seq.len);
    Tlv first;
    if (probe.next(first) && first.tag == 0x06) {
        Tlv params;
        if (!probe.next(params)) return 0;  // absent parameters: the defaults
        if (params.tag == 0x05) return 0;
        if (params.tag != 0x30) return fail(rec, -BAD_PARAM_ERROR, "Invalid parameters");
        seq = params;
    }
    Reader r(seq.value, seq.len);
    Tlv t;
    while (r.next(t)) {
        const uint8_t n = uint8_t(t.tag & 0x1F);
        if ((t.tag & 0xE0) != 0xA0) return fail(rec, -BAD_PARAM_ERROR, "Invalid parameters");
        if (n == 0) {
            Tlv oid, p;
            bool hp = false;
            if (!read_alg(t, oid, p, hp)) return fail(rec, -BAD_PARAM_ERROR, "Invalid parameters");
            const HashOid* h = hash_by_oid(oid);
            if (!h) return fail_with(rec, -NOT_SUPPORTED_ERROR, "hashAlgorithm '", dotted(oid), "' is not supported");
            set_hash(rec, *h);
        } else if (n == 1) {
            Tlv oid, p;
            bool hp = false;
            if (!read_alg(t, oid, p, hp)) return fail(rec, -BAD_PARAM_ERROR, "Invalid parameters");
            if (!is_oid(oid, kMgf1, sizeof kMgf1)) {
                rec->mgfStatus = -1;
                return fail_with(rec, -NOT_SUPPORTED_ERROR, "'", dotted(oid), "' is not supported as maskGenAlgorithm");
            }
            Reader pr(p.value, p.len);
            Tlv hoid;
            if (!hp || p.tag != 0x30 || !pr.next(hoid) || hoid.tag != 0x06)
                return fail(rec, -BAD_PARAM_ERROR, "Invalid parameters");
            const HashOid* h = hash_by_oid(hoid);
            if (!h)
                return fail_with(rec, -NOT_SUPPORTED_ERROR, "Unsupported hash function '", dotted(hoid),
                                 "' for maskGenAlgorithm");
            set_mgf_hash(rec, *h);
        } else if (n == 2 && !oaep) {
            Reader ir(t.value, t.len);
            Tlv i;
            const uint8_t* v;
            size_t vl;
            if (!ir.next(i) || !rsader::read_integer(i, v, vl) || vl > 4)
                return fail(rec, -BAD_PARAM_ERROR, "Invalid or missing saltLength parameter for rsaPSS");
            long s = 0;
            for (size_t k = 0; k < vl; ++k) s = (s << 8) | v[k];
            rec->saltLen = s;
        } else if (n == 3 && !oaep) {
            Reader ir(t.value, t.len);
            Tlv i;
            const uint8_t* v;
            size_t vl;
            if (!ir.next(i) || !rsader::read_integer(i, v, vl) || vl != 1 || v[0] != 1) {
                rec->trailer = 0;
                return fail(rec, -NOT_SUPPORTED_ERROR,
                            "Unsupported trailerField for rsaPSS - expecting trailerFieldBC");
            }
        } else if (n == 2 && oaep) {
            Tlv oid, p;
            bool hp = false;
            if (!read_alg(t, oid, p, hp)) return fail(rec, -BAD_PARAM_ERROR, "Invalid parameters");
            if (!is_oid(oid, kPSpecified, sizeof kPSpecified)) {
                rec->pSourceStatus = -1;
                return fail_with(rec, -NOT_SUPPORTED_ERROR, "'", dotted(oid), "' is not supported as pSourceAlgorithm");
            }
            if (hp && !(p.tag == 0x04 && p.len == 0)) {
                rec->pSourceStatus = -1;
                return fail(rec, -NOT_SUPPORTED_ERROR, "Unsupported label for rsaOAEP - expecting the empty string");
            }
        } else {
            return fail(rec, -BAD_PARAM_ERROR, "Invalid parameters");
        }
    }
    if (!r.at_end()) return fail(rec, -BAD_PARAM_ERROR, "Invalid parameters");
    return 0;
}

namespace {

long from_chain(RsaPssParams* rec, const AsnNode* alg, bool oaep) {
    if (!rec || !alg) return -NULL_ERROR;
    AsnNode* copy = asn_ExtractCurrent(alg);  // the element and its contents only
    int64_t n = 0;
    uint8_t* der = copy ? asn_Store(copy, &n) : nullptr;
    asn_Free(&copy);
    if (!der) {
        *rec = RsaPssParams{};
        return fail(rec, -BAD_PARAM_ERROR, "Invalid parameters");
    }
    long rc = rsapssGetParamsDer(rec, der, size_t(n), oaep);
    efree_mem(der);
    return rc;
}

}  // namespace

long rsapssGetParams(RsaPssParams* rec, const AsnNode* alg) { return from_chain(rec, alg, false); }
long rsapssGetParams_OAEP(RsaPssParams* rec, const AsnNode* alg) { return from_chain(rec, alg, true); }

std::string rsapssParamString(const RsaPssParams* rec) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s/%s/%d/%s", rec->hashName, rec->mgfName, int(rec->saltLen),
                  rec->trailer == 1 ? "trailerFieldBC" : "UNKNOWNtrailerField");
    return buf;
}

std::string rsapssParamString_OAEP(const RsaPssParams* rec) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s/%s/%s", rec->hashName, rec->mgfName,
                  rec->pSourceStatus == 0 ? "pSpecifiedEmpty" : "UNKNOWNsourceAlgorithm");
    return buf;
}

bool rsapssParamsMatch(const RsaPssParams* a, const RsaPssParams* b) {
    return a->hashAlg == b->hashAlg && a->mgfStatus == b->mgfStatus && a->mgfHashAlg == b->mgfHashAlg &&
           a->pSourceStatus == b->pSourceStatus && a->trailer == b->trailer &&
           std::strcmp(a->hashName, b->hashName) == 0 && std::strcmp(a->mgfName, b->mgfName) == 0;
}
