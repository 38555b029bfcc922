// Value conversions of chain nodes: integers, booleans, bit and octet
// strings, times, display strings, dotted OIDs, digest AlgorithmIdentifiers,
// and the streaming OCTET STRING reader.
#include <cstring>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "bigd/bigd.h"
#include "hash/hash.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "util/emem.h"
#include "util/inp.h"
#include "util/strl.h"

namespace {

uint8_t* dup_bytes(const uint8_t* p, size_t n) {
    uint8_t* out = static_cast<uint8_t*>(emalloc(n));
    if (n) memcpy(out, p, n);
    return out;
}

char* dup_text(const std::string& s) {
    char* out = static_cast<char*>(emalloc(s.size() + 1));
    memcpy(out, s.data(), s.size());
    out[s.size()] = '\0';
    return out;
}

// A primitive BIT STRING with a valid unused-bit octet (X.690 8.6.2): at
// least one content octet, at most 7 unused bits, none when no bits follow.
bool valid_bitstring(const AsnNode* n) {
    if (!n || n->tag != 3 || (n->id & 0x20) || n->length < 1 || !n->data) return false;
    if (n->data[0] > 7) return false;
    return !(n->length == 1 && n->data[0] != 0);
}

// ---- UTF-8, Latin-1, UCS-2 and UCS-4 ----

void put_utf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Decodes well-formed UTF-8 (RFC 3629: no overlongs, no surrogates, at most
// U+10FFFF); false on anything else.
bool utf8_decode(const uint8_t* p, size_t n, std::vector<uint32_t>* out) {
    size_t i = 0;
    while (i < n) {
        uint8_t c = p[i];
        uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            cp = c & 0x1F;
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            cp = c & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (n - i - 1 < size_t(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            uint8_t d = p[i + k];
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
            return false;
        }
        if (out) out->push_back(cp);
        i += size_t(extra) + 1;
    }
    return true;
}

// Code points of a string node's contents by its type; false when they
// cannot be decoded.
bool code_points(const AsnNode* n, std::vector<uint32_t>* cps) {
    const uint8_t* p = n->data;
    size_t len = n->length > 0 ? size_t(n->length) : 0;
    switch (n->tag) {
        case 12:
            return utf8_decode(p, len, cps);
        case 30:
            if (len % 2) return false;
            for (size_t i = 0; i < len; i += 2) cps->push_back(uint32_t(p[i]) << 8 | p[i + 1]);
            return true;
        case 28:
            if (len % 4) return false;
            for (size_t i = 0; i < len; i += 4) {
                uint32_t cp =
                    uint32_t(p[i]) << 24 | uint32_t(p[i + 1]) << 16 | uint32_t(p[i + 2]) << 8 | p[i + 3];
                if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
                cps->push_back(cp);
            }
            return true;
        default:
            for (size_t i = 0; i < len; ++i) cps->push_back(p[i]);
            return true;
    }
}

std::string hex_of(const uint8_t* p, size_t n, bool upper) {
    return hex_string(p, n, upper);
}

}  // namespace

int asn_utf8_valid(const uint8_t* p, size_t n) {
    return (n == 0 || p) && utf8_decode(p, n, nullptr) ? 1 : 0;
}

uint64_t asn_Integer2Long(const AsnNode* node) {
    if (!node || node->id != 0 || (node->tag != 2 && node->tag != 10) || node->length < 1 ||
        node->length > 8 || !node->data) {
        return ~uint64_t(0);
    }
    return asn_Oct2Long(node->data, size_t(node->length));
}

long asn_Integer2Bytes(const AsnNode* node, uint8_t* buf, long max) {
    if (!node || node->id != 0 || node->tag != 2 || node->length < 1 || !node->data) return -1;
    const uint8_t* p = node->data;
    size_t n = size_t(node->length);
    while (n && *p == 0) {
        ++p;
        --n;
    }
    if (long(n) > max || (n && !buf)) return -1;
    if (n) memcpy(buf, p, n);
    return long(n);
}

uint64_t asn_Oct2Long(const uint8_t* octets, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n && octets; ++i) v = (v << 8) | octets[i];
    return v;
}

long asn_Oct2BigInt(uint8_t* out, size_t outLen, const uint8_t* octets, size_t n) {
    if (!out || (!octets && n)) return -1;
    if (n > outLen) {
        // Only a single leading sign octet may be dropped.
        if (n != outLen + 1 || octets[0] != 0) return -1;
        ++octets;
        --n;
    }
    memset(out, 0, outLen - n);
    if (n) memcpy(out + (outLen - n), octets, n);
    return long(outLen);
}

int asn_BooleanValue(const AsnNode* node) {
    if (!node || node->tag != 1 || node->length <= 0 || !node->data) return 0;
    for (int64_t i = 0; i < node->length; ++i) {
        if (node->data[i]) return 1;
    }
    return 0;
}

uint8_t* asn_BitString2Bytes(const AsnNode* node, int64_t* n) {
    if (n) *n = 0;
    if (node && node->tag == 3 && (node->id & 0x20)) {
        eprintf("ASN.1 internal error: constructed BITSTRING not supported");
        return nullptr;
    }
    if (!valid_bitstring(node) || node->length == 1) return nullptr;
    size_t len = size_t(node->length - 1);
    uint8_t* out = dup_bytes(node->data + 1, len);
    out[len - 1] &= uint8_t(0xFF << node->data[0]);
    if (n) *n = int64_t(len);
    return out;
}

uint32_t asn_BitString2Long(const AsnNode* node) {
    if (!valid_bitstring(node)) return 0;
    size_t len = size_t(node->length - 1);
    if (len > 4) {
        eprintf("ASN.1 internal error: unexpected BITSTRING longer than 32-bits");
        return 0;
    }
    uint32_t w = 0;
    for (size_t i = 0; i < len; ++i) {
        uint8_t b = node->data[1 + i];
        if (i == len - 1) b &= uint8_t(0xFF << node->data[0]);
        w |= uint32_t(b) << (24 - 8 * i);
    }
    uint32_t r = 0;
    for (int i = 0; i < 32; ++i) r |= ((w >> i) & 1u) << (31 - i);
    return r;
}

int asn_Long2BitStringOcts(uint32_t value, uint8_t out4[4], int* unused) {
    uint32_t r = 0;
    for (int i = 0; i < 32; ++i) r |= ((value >> i) & 1u) << (31 - i);
    out4[0] = uint8_t(r >> 24);
    out4[1] = uint8_t(r >> 16);
    out4[2] = uint8_t(r >> 8);
    out4[3] = uint8_t(r);
    int n = 4;
    while (n && out4[n - 1] == 0) --n;
    int u = 0;
    if (n) {
        while (!((out4[n - 1] >> u) & 1)) ++u;
    }
    if (unused) *unused = u;
    return n;
}

// Constructed OCTET STRING (X.690 8.7.3): the octets of every primitive
// segment nested only inside OCTET STRINGs, in order. The walk is flat over
// the node's extent, so nesting depth costs no recursion.
static void assemble_octets(const AsnNode* node, velt::SecureBytes& out) {
    std::vector<bool> good{true};  // good[d]: the open element at relative depth d is an OCTET STRING wrapper
    for (const AsnNode* p = node->next; p && p->level > node->level; p = p->next) {
        size_t d = p->level - node->level;
        if (d > good.size()) continue;  // inside a skipped element
        bool ok = good[d - 1] && p->tag == 4 && (p->id & 0xC0) == 0;
        if (good.size() <= d) good.resize(d + 1);
        good.resize(d + 1);
        good[d] = ok && (p->id & 0x20);
        if (ok && !(p->id & 0x20) && p->data && p->length > 0)
            out.insert(out.end(), p->data, p->data + p->length);
    }
}

uint8_t* asn_OctetString2Bytes(const AsnNode* node, int64_t* n) {
    if (n) *n = 0;
    if (!node || node->tag != 4) return nullptr;
    if (!(node->id & 0x20) && !node->data && node->length > 0 && node->next &&
        node->next->level > node->level) {
        // A wrapper built around a chain: its contents are that chain's encoding.
        AsnNode* copy = asn_ExtractCurrent(node);
        int64_t total = 0;
        uint8_t* der = asn_Store(copy, &total);
        asn_Free(&copy);
        if (!der) return nullptr;
        int64_t hdr = total - node->length;
        uint8_t* out = hdr >= 0 && node->length > 0 ? dup_bytes(der + hdr, size_t(node->length)) : nullptr;
        if (out && n) *n = node->length;
        ewipe(der, size_t(total));
        efree_mem(der);
        return out;
    }
    if (!(node->id & 0x20)) {
        if (!node->data || node->length <= 0) return nullptr;
        if (n) *n = node->length;
        return dup_bytes(node->data, size_t(node->length));
    }
    velt::SecureBytes acc;
    assemble_octets(node, acc);
    if (acc.empty()) return nullptr;
    if (n) *n = int64_t(acc.size());
    return dup_bytes(acc.data(), acc.size());
}

uint8_t* asn_TaggedOctetString2Bytes(const AsnNode* node, int64_t* n) {
    if (n) *n = 0;
    if (!node) return nullptr;
    if (!(node->id & 0x20)) {
        if (!node->data || node->length <= 0) return nullptr;
        if (n) *n = node->length;
        return dup_bytes(node->data, size_t(node->length));
    }
    const AsnNode* first = node->next;
    if (!first || first->level != node->level + 1 || first->tag != 4) return nullptr;
    velt::SecureBytes acc;
    for (const AsnNode* p = first; p && p->level > node->level; p = p->next) {
        if (p->level != first->level) continue;
        if (p->tag != 4) break;
        if (p->id & 0x20) {
            assemble_octets(p, acc);
        } else if (p->data && p->length > 0) {
            acc.insert(acc.end(), p->data, p->data + p->length);
        }
    }
    if (acc.empty()) return nullptr;
    if (n) *n = int64_t(acc.size());
    return dup_bytes(acc.data(), acc.size());
}

uint8_t* asn_Contents2Bytes(const AsnNode* node, int64_t* n) {
    if (n) *n = 0;
    if (!node || node->length <= 0 || node->indefinite || !node->data) return nullptr;
    if (n) *n = node->length;
    return dup_bytes(node->data, size_t(node->length));
}

char* asn_Contents2String(const AsnNode* node) {
    if (!node || node->length <= 0 || node->indefinite || !node->data) return nullptr;
    char* s = static_cast<char*>(emalloc(size_t(node->length) + 1));
    memcpy(s, node->data, size_t(node->length));
    s[node->length] = '\0';
    return s;
}

char* asn_ZuluTime2IsoString(char buf[32], const AsnNode* node) {
    if (!buf) return nullptr;
    buf[0] = '\0';
    struct tm t;
    if (asn_ZuluTime2tm(node, &t) == 0) isotime_tm2isostring(buf, &t);
    return buf;
}

char* asn_StoreDataString(const AsnNode* node, int latin1) {
    return dup_text(asn_DataStringText(node, latin1));
}

std::string asn_DataStringText(const AsnNode* node, int latin1) {
    if (!node) return {};
    const uint8_t* p = node->data;
    size_t len = node->length > 0 && p ? size_t(node->length) : 0;
    uint32_t tag = (node->id & 0xC0) == 0 && !(node->id & 0x20) ? node->tag : 0xFFFF;
    std::string out;
    bool done = false;
    if (tag == 12 && !latin1 && asn_utf8_valid(p, len)) {
        out.assign(reinterpret_cast<const char*>(p), len);
        done = true;
    } else if (latin1 && (tag == 12 || tag == 30 || tag == 28)) {
        std::vector<uint32_t> cps;
        if (code_points(node, &cps)) {
            done = true;
            for (uint32_t cp : cps) {
                if (cp > 0xFF) {
                    done = false;
                    break;
                }
                out += char(cp);
            }
        }
    } else if (tag == 18 || tag == 19 || tag == 20 || tag == 22 || tag == 23 || tag == 24 || tag == 26) {
        out.assign(reinterpret_cast<const char*>(p), len);
        done = true;
    }
    if (!done) out = "#x" + hex_of(p, len, true);
    return out;
}

char* asn_StoreUTF8String(const AsnNode* node, int64_t* n) {
    if (n) *n = 0;
    if (!node) return dup_text("");
    const uint8_t* p = node->data;
    size_t len = node->length > 0 && p ? size_t(node->length) : 0;
    uint32_t tag = (node->id & 0xC0) == 0 && !(node->id & 0x20) ? node->tag : 0xFFFF;
    std::string out;
    bool ok = false;
    if (tag == 12 || tag == 18 || tag == 19 || tag == 22 || tag == 23 || tag == 24 || tag == 26) {
        out.assign(reinterpret_cast<const char*>(p), len);
        ok = true;
    } else if (tag == 20 || tag == 28 || tag == 30) {
        std::vector<uint32_t> cps;
        if (code_points(node, &cps)) {
            for (uint32_t cp : cps) put_utf8(out, cp);
            ok = true;
        }
    }
    if (ok && !out.empty() && asn_utf8_valid(reinterpret_cast<const uint8_t*>(out.data()), out.size())) {
        if (n) *n = int64_t(out.size());
        return dup_text(out);
    }
    // The whole element in lower-case hexadecimal.
    std::string hex = "#";
    hex += hex_of(node->header, size_t(node->hdrSize), false);
    hex += hex_of(p, len, false);
    if (n) *n = -int64_t(hex.size());
    return dup_text(hex);
}

long asn_OidDotString(const AsnNode* node, char* buf, long max) {
    if (buf && max > 0) buf[0] = '\0';
    if (!node || node->tag != 6 || !node->data || node->length < 1 || node->length > 32) return -1;
    char tmp[512];
    long n = oid_OctetsToDotted(node->data, size_t(node->length), tmp, sizeof tmp);
    if (n < 0) return -1;
    if (buf && max > 0) strlcpy(buf, tmp, max);
    return n;
}

int asn_SetOid(OidRec* rec, const AsnNode* node) {
    if (!rec) return -1;
    memset(rec, 0, sizeof *rec);
    if (!node || node->tag != 6 || (node->id & 0x20) || !node->data || node->length < 1) return -1;
    // The record holds 31 octets; a longer OID is refused, not cut.
    if (node->length > 31) return -1;
    memcpy(rec->oct, node->data, size_t(node->length));
    rec->length = int32_t(node->length);
    return oid_SetRef(rec);
}

int asn_isPrintable(const AsnNode* node) {
    return node && node->id == 0 &&
           (node->tag == 19 || node->tag == 22 || node->tag == 23 || node->tag == 24);
}

void asn_PrintString(FILE* f, const AsnNode* node) {
    if (!f || !node || !node->data) return;
    bool printable = asn_isPrintable(node);
    for (int64_t i = 0; i < node->length; ++i) {
        if (printable) {
            fputc(node->data[i], f);
        } else {
            fprintf(f, "%02X ", node->data[i]);
        }
    }
}

void asn_DisplayString(const AsnNode* node) {
    asn_PrintString(stdout, node);
}

void asn_PrintStringMsg(FILE* f, const char* before, const AsnNode* node, const char* after) {
    if (!f) return;
    if (before) fputs(before, f);
    asn_PrintString(f, node);
    if (after) fputs(after, f);
}

void asn_DisplayStringMsg(const char* before, const AsnNode* node, const char* after) {
    asn_PrintStringMsg(stdout, before, node, after);
}

static const char* digest_name(long code) {
    switch (code & 0xF) {
        case 1:
            return "md5";
        case 2:
            return "md2";
        case 3:
            return "sha256";
        case 4:
            return "sha384";
        case 5:
            return "sha512";
        case 6:
            return "sha224";
        default:
            return "sha1";
    }
}

AsnNode* asn_MakeDigestAlg(long code) {
    return asn_Sequence(asn_LinkVar(asn_NewOID(digest_name(code)), asn_NewNull(), nullptr));
}

AsnNode* asn_MakeDigestAlgStrict(long code) {
    const char* name = digest_name(code);
    if ((code & 0xFF) == 0x8F) name = "shake128";
    if ((code & 0xFF) == 0x9F) name = "shake256";
    bool withNull = !strcmp(name, "md5") || !strcmp(name, "md2") || !strcmp(name, "sha1");
    AsnNode* oid = asn_NewOID(name);
    return asn_Sequence(withNull ? asn_Link(oid, asn_NewNull()) : oid);
}

long asn_HashToBytes(AsnNode* chain, uint8_t* out, long max, long code) {
    int64_t n = 0;
    uint8_t* der = asn_Store(chain, &n);
    if (!der) return -1;
    long r = hashBytes(out, max, der, long(n), code);
    ewipe(der, size_t(n));
    efree_mem(der);
    return r;
}

long asn_HashToHex(AsnNode* chain, char* outHex, long max, long code) {
    int64_t n = 0;
    uint8_t* der = asn_Store(chain, &n);
    if (!der) return -1;
    long r = hashBytesHex(outHex, max, der, long(n), code);
    ewipe(der, size_t(n));
    efree_mem(der);
    return r;
}

int asn_Integer2BigD(const AsnNode* node, BdNumber* b) {
    if (!b || !node || node->id != 0 || node->tag != 2 || node->length < 1 || !node->data) return -1;
    bdConvFromOctets(b, node->data, size_t(node->length));
    return 0;
}

// ---- Streaming OCTET STRING reader ----

RdoReader* rdo_New() {
    RdoReader* r = static_cast<RdoReader*>(ecalloc(1, sizeof(RdoReader)));
    r->state = 3;
    return r;
}

void rdo_Free(RdoReader** r) {
    if (!r || !*r) return;
    ewipe(*r, sizeof(RdoReader));
    efree_mem(*r);
    *r = nullptr;
}

void rdo_Init(RdoReader* r, int64_t length, int primitive) {
    if (!r) return;
    memset(r, 0, sizeof *r);
    r->state = 1;
    if (length < 0) {
        r->unknownLength = 1;
    } else {
        r->remaining = length;
    }
    if (primitive) {
        r->state = 2;
        r->segmentLeft = length < 0 ? 0 : length;
        r->remaining = 0;
        r->unknownLength = 0;
    }
}

static long rdo_fail(RdoReader* r) {
    r->state = 3;
    r->failed = 1;
    return -2;
}

long rdo_ReadOctetString_Part(RdoReader* r, uint8_t* buf, long max, AsnInput* in) {
    if (!r || !in) return -2;
    if (r->state == 3) return r->failed ? -2 : -1;
    if (r->state == 1) {
        for (;;) {
            if (!r->unknownLength && r->remaining == 0) {
                r->state = 3;
                return -1;
            }
            AsnNode* w = &r->work;
            memset(w, 0, sizeof *w);
            if (asn_readHeader(in, w) != 1) return rdo_fail(r);
            if (!r->unknownLength) {
                r->remaining -= w->hdrSize;
                if (r->remaining < 0) return rdo_fail(r);
            }
            if (asn_isEOC(w)) {
                if (r->indefDepth > 0) {
                    --r->indefDepth;
                    continue;
                }
                if (r->unknownLength) {
                    r->state = 3;
                    return -1;
                }
                return rdo_fail(r);
            }
            if (w->tag != 4) return rdo_fail(r);
            if (w->id & 0x20) {
                if (w->indefinite) {
                    if (r->indefDepth >= kAsnMaxDepth) return rdo_fail(r);
                    ++r->indefDepth;
                } else {
                    r->innerDefinite = 1;
                    r->innerRemaining = w->length;
                }
                continue;
            }
            r->segmentLeft = w->length;
            if (r->innerDefinite) {
                r->innerRemaining -= w->hdrSize + w->length;
                if (r->innerRemaining < 0) return rdo_fail(r);
                if (r->innerRemaining == 0) r->innerDefinite = 0;
            }
            if (!r->unknownLength) {
                r->remaining -= w->length;
                if (r->remaining < 0) return rdo_fail(r);
            }
            r->state = 2;
            return 0;
        }
    }
    // State 2: inside a primitive segment.
    if (r->segmentLeft == 0) {
        r->state = (r->unknownLength || r->remaining > 0) ? 1 : 3;
        return r->state == 3 ? -1 : 0;
    }
    if (!buf || max <= 0) return 0;
    long want = long(std::min<int64_t>(max, r->segmentLeft));
    size_t got = in->read(buf, size_t(want));
    if (got != size_t(want)) return rdo_fail(r);
    r->segmentLeft -= want;
    if (r->segmentLeft == 0) r->state = 1;
    return want;
}

long rdo_ReadOctetString_Part(RdoReader* r, uint8_t* buf, long max, InpStream* s) {
    if (!s) return -2;
    AsnInput in = AsnInput::stream(s);
    return rdo_ReadOctetString_Part(r, buf, max, &in);
}
