// The AsnNode chain: accessors, constructors, joining, the DER encoder,
// indefinite-length builders and the DER SET OF order (X.690 sections 8, 10.3
// and 11.6).
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "asn1/asn1.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "util/emem.h"

namespace {

// Octets a node contributes to the encoding: its header, and its contents
// when it holds them (constructed nodes and wrappers built around a chain
// contribute only their header; their contents are the following nodes).
int64_t emitted(const AsnNode* n) { return n->hdrSize + (n->data ? n->length : 0); }

AsnNode* last_of(AsnNode* n) {
    while (n && n->next) n = n->next;
    return n;
}

AsnNode* primitive(uint32_t tag, const uint8_t* octets, size_t n) {
    AsnNode* node = asn_Start(0, tag);
    if (!node) return nullptr;
    node->length = int64_t(n);
    if (n) {
        node->data = static_cast<uint8_t*>(emalloc(n));
        if (octets) {
            memcpy(node->data, octets, n);
        } else {
            memset(node->data, 0, n);
        }
    }
    asn_SetHeader(node);
    return node;
}

}  // namespace

// ---- Accessors: a null node reads as an empty one ----
int64_t asn_length(const AsnNode* n) { return n ? n->length : 0; }
int64_t asn_hdrSize(const AsnNode* n) { return n ? n->hdrSize : 0; }
uint8_t* asn_data(const AsnNode* n) { return n ? n->data : nullptr; }
uint32_t asn_tag(const AsnNode* n) { return n ? n->tag : 0; }
uint32_t asn_id(const AsnNode* n) { return n ? n->id : 0; }
AsnNode* asn_next(const AsnNode* n) { return n ? n->next : nullptr; }
int asn_isConstructed(const AsnNode* n) { return n && (n->id & 0x20) != 0; }
int asn_isPrimitive(const AsnNode* n) { return n && n->id == 0; }
int asn_isContextSpecific(const AsnNode* n) { return n && (n->id & 0xC0) == 0x80; }
int asn_isTagged(const AsnNode* n, uint32_t tagno) { return asn_isContextSpecific(n) && n->tag == tagno; }
int asn_isIndefinite(const AsnNode* n) { return n && n->indefinite != 0; }
int asn_isEOC(const AsnNode* n) { return n && n->id == 0 && n->tag == 0; }

AsnNode* asn_New() { return static_cast<AsnNode*>(ecalloc(1, sizeof(AsnNode))); }

void asn_Free(AsnNode** head) {
    if (!head) return;
    AsnNode* n = *head;
    *head = nullptr;
    if (!n || n->prev) return;
    while (n) {
        AsnNode* next = n->next;
        if (n->data) {
            ewipe(n->data, n->length > 0 ? size_t(n->length) : 0);
            efree_mem(n->data);
        }
        ewipe(n, sizeof(*n));
        efree_mem(n);
        n = next;
    }
}

AsnNode* asn_Start(uint32_t id, uint32_t tag) {
    if (tag > kAsnMaxBuildTag) {
        eprintf("asn_Start: tag number %u needs the high-tag-number form", unsigned(tag));
        return nullptr;
    }
    AsnNode* n = asn_New();
    n->id = id & 0xE0;
    n->tag = tag;
    n->length = -1;
    return n;
}

int64_t asn_SetHeader(AsnNode* n) {
    if (!n) return 0;
    if (n->length < 0) {
        eprintf("asn_SetHeader: Attempt to set header without length.");
        return 0;
    }
    if (n->hdrSize > 0) return n->hdrSize + n->length;
    if (n->tag > kAsnMaxBuildTag) {
        eprintf("asn_SetHeader: tag number %u needs the high-tag-number form", unsigned(n->tag));
        return 0;
    }
    uint8_t h[8];
    int k = 0;
    h[k++] = uint8_t(n->id | n->tag);
    uint64_t len = uint64_t(n->length);
    if (n->indefinite) {
        h[k++] = 0x80;
    } else if (len < 128) {
        h[k++] = uint8_t(len);
    } else {
        int octets = 0;
        for (uint64_t v = len; v; v >>= 8) ++octets;
        if (octets > 6) {
            eprintf("asn_SetHeader: length too large");
            return 0;
        }
        h[k++] = uint8_t(0x80 | octets);
        for (int i = octets - 1; i >= 0; --i) h[k++] = uint8_t(len >> (8 * i));
    }
    memcpy(n->header, h, size_t(k));
    n->hdrSize = k;
    return n->hdrSize + n->length;
}

size_t asn_Long2Oct(uint8_t out[9], uint64_t value) {
    uint8_t tmp[8];
    int k = 0;
    do {
        tmp[k++] = uint8_t(value);
        value >>= 8;
    } while (value);
    size_t n = 0;
    if (tmp[k - 1] & 0x80) out[n++] = 0;
    while (k) out[n++] = tmp[--k];
    return n;
}

AsnNode* asn_NewInteger(uint64_t value) {
    uint8_t o[9];
    return primitive(2, o, asn_Long2Oct(o, value));
}

AsnNode* asn_NewIntegerBig(const uint8_t* octets, size_t n) {
    while (n && octets && *octets == 0) {
        ++octets;
        --n;
    }
    if (!n || !octets) {
        const uint8_t zero = 0;
        return primitive(2, &zero, 1);
    }
    if (!(octets[0] & 0x80)) return primitive(2, octets, n);
    AsnNode* node = primitive(2, nullptr, n + 1);
    if (node) memcpy(node->data + 1, octets, n);
    return node;
}

AsnNode* asn_NewNull() { return primitive(5, nullptr, 0); }

AsnNode* asn_NewBoolean(int b) {
    const uint8_t v = b ? 0xFF : 0x00;
    return primitive(1, &v, 1);
}

AsnNode* asn_NewOIDFromRec(const OidRec* rec) {
    if (!rec || rec->length <= 0 || rec->length > 31) return nullptr;
    return primitive(6, rec->oct, size_t(rec->length));
}

AsnNode* asn_NewOID(const char* name) {
    OidRec rec;
    if (oid_SetOID(&rec, name) <= 0) {
        eprintf("asn_NewOID: internal error: unknown OID name");
        return nullptr;
    }
    return asn_NewOIDFromRec(&rec);
}

AsnNode* asn_NewOIDFromDotted(const char* text) {
    OidRec rec;
    int r = oid_SetOIDFromDotted(&rec, text);
    if (r <= 0) {
        // A node without data whose length is the encoder's negative result:
        // joining and encoding refuse it.
        AsnNode* n = asn_Start(0, 6);
        n->length = r < 0 ? r : -1;
        return n;
    }
    return asn_NewOIDFromRec(&rec);
}

AsnNode* asn_NewOctetString(const uint8_t* octets, size_t n) { return primitive(4, octets, n); }

AsnNode* asn_NewOctetStringAsn(AsnNode* chain) { return asn_Join(asn_Start(0, 4), chain); }

AsnNode* asn_NewBitString(uint8_t unused, const uint8_t* octets, size_t n) {
    AsnNode* node = primitive(3, nullptr, n + 1);
    if (!node) return nullptr;
    node->data[0] = unused;
    if (n && octets) memcpy(node->data + 1, octets, n);
    return node;
}

AsnNode* asn_NewBitStringAsn(uint8_t unused, AsnNode* chain) {
    int64_t n = 0;
    uint8_t* der = asn_Store(chain, &n);
    asn_Free(&chain);
    if (!der) return nullptr;
    AsnNode* node = asn_NewBitString(unused, der, size_t(n));
    ewipe(der, size_t(n));
    efree_mem(der);
    return node;
}

AsnNode* asn_NewStringOfType(uint32_t tag, const uint8_t* octets, size_t n) { return primitive(tag, octets, n); }

static AsnNode* cstring_node(uint32_t tag, const char* s) {
    return primitive(tag, reinterpret_cast<const uint8_t*>(s), s ? strlen(s) : 0);
}
AsnNode* asn_NewPrintableString(const char* s) { return cstring_node(19, s); }
AsnNode* asn_NewIA5String(const char* s) { return cstring_node(22, s); }
AsnNode* asn_NewT61String(const char* s) { return cstring_node(20, s); }

AsnNode* asn_NewBMPStringA(const char* s) {
    size_t n = s ? strlen(s) : 0;
    AsnNode* node = primitive(30, nullptr, 2 * n);
    if (!node) return nullptr;
    for (size_t i = 0; i < n; ++i) {
        node->data[2 * i] = 0;
        node->data[2 * i + 1] = uint8_t(s[i]);
    }
    return node;
}

AsnNode* asn_NewUTF8StringA(const char* s) {
    size_t n = s ? strlen(s) : 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(s);
    if (asn_utf8_valid(p, n)) return primitive(12, p, n);
    // Latin-1 to UTF-8: each octet from 0x80 becomes two octets.
    std::vector<uint8_t> out;
    out.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        if (p[i] < 0x80) {
            out.push_back(p[i]);
        } else {
            out.push_back(uint8_t(0xC0 | (p[i] >> 6)));
            out.push_back(uint8_t(0x80 | (p[i] & 0x3F)));
        }
    }
    return primitive(12, out.data(), out.size());
}

AsnNode* asn_NewUTCTime(const struct tm* t) {
    if (!t) return nullptr;
    struct tm c = *t;
    gt_normalizetm(&c);
    if (c.tm_year < 50 || c.tm_year > 149) {
        eprintf("asn_NewUTCTime: Year out of range\n");
        return nullptr;
    }
    char buf[32];
    snprintf(buf, sizeof buf, "%02d%02d%02d%02d%02d%02dZ", c.tm_year % 100, c.tm_mon + 1, c.tm_mday, c.tm_hour,
             c.tm_min, c.tm_sec);
    return cstring_node(23, buf);
}

AsnNode* asn_NewGeneralizedTime(const struct tm* t) {
    if (!t) return nullptr;
    struct tm c = *t;
    gt_normalizetm(&c);
    char buf[48];
    snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02dZ", c.tm_year + 1900, c.tm_mon + 1, c.tm_mday, c.tm_hour,
             c.tm_min, c.tm_sec);
    return cstring_node(24, buf);
}

AsnNode* asn_NewTime_GenOrUtc(const struct tm* t) {
    if (!t) return nullptr;
    struct tm c = *t;
    gt_normalizetm(&c);
    if (c.tm_year >= 50 && c.tm_year <= 149) return asn_NewUTCTime(&c);
    return asn_NewGeneralizedTime(&c);
}

AsnNode* asn_NewContextImplicit(uint32_t n, const uint8_t* octets, size_t len) {
    AsnNode* node = asn_Start(0x80, n);
    if (!node) return nullptr;
    node->length = int64_t(len);
    if (len) {
        node->data = static_cast<uint8_t*>(emalloc(len));
        if (octets) memcpy(node->data, octets, len);
    }
    asn_SetHeader(node);
    return node;
}

AsnNode* asn_MakeStandAlone(AsnNode* node) {
    asn_SetHeader(node);
    return node;
}

// ---- Joining ----

AsnNode* asn_Join(AsnNode* fresh, AsnNode* contents) {
    if (!fresh) {
        asn_Free(&contents);
        return nullptr;
    }
    if (fresh->length != -1 || fresh->prev || fresh->next) {
        eprintf("asn_Join: Illegal join");
        asn_Free(&contents);
        asn_Free(&fresh);
        return nullptr;
    }
    if (contents && contents->prev) {
        eprintf("asn_Join: Illegal join");
        asn_Free(&fresh);
        return nullptr;
    }
    int64_t total = 0;
    for (AsnNode* p = contents; p; p = p->next) {
        // Refuse a node whose length was never set or whose header could not
        // be built (an invalid dotted OID carries its negative error here).
        if (p->length < 0 || (p->hdrSize == 0 && asn_SetHeader(p) == 0)) {
            eprintf("asn_Join: sub-length not set\n");
            asn_Free(&contents);
            asn_Free(&fresh);
            return nullptr;
        }
        total += emitted(p);
    }
    for (AsnNode* p = contents; p; p = p->next) p->level += fresh->level + 1;
    if (contents) {
        fresh->next = contents;
        contents->prev = fresh;
    }
    fresh->length = total;
    if (asn_SetHeader(fresh) == 0) {
        asn_Free(&fresh);
        return nullptr;
    }
    return fresh;
}

AsnNode* asn_Sequence(AsnNode* chain) { return asn_Join(asn_Start(0x20, 16), chain); }
AsnNode* asn_Set(AsnNode* chain) { return asn_Join(asn_Start(0x20, 17), chain); }
AsnNode* asn_ConstrContext(uint32_t n, AsnNode* chain) {
    AsnNode* fresh = asn_Start(0xA0, n);
    if (!fresh) {
        asn_Free(&chain);
        return nullptr;
    }
    return asn_Join(fresh, chain);
}

AsnNode* asn_Link(AsnNode* a, AsnNode* b) {
    if (!a) return b;
    if (!b) return a;
    if (b->prev) {
        eprintf("asn_Link: 2nd header is invalid\n");
        asn_Free(&a);
        return nullptr;
    }
    AsnNode* last = last_of(a);
    last->next = b;
    b->prev = last;
    return a;
}

AsnNode* asn_LinkVar(AsnNode* first, ...) {
    if (!first) return nullptr;
    va_list ap;
    va_start(ap, first);
    AsnNode* chain = first;
    for (;;) {
        AsnNode* n = va_arg(ap, AsnNode*);
        if (!n) break;
        chain = asn_Link(chain, n);
    }
    va_end(ap);
    return chain;
}

// ---- Encoding ----

int64_t asn_Size(AsnNode* chain) {
    int64_t total = 0;
    for (AsnNode* p = chain; p; p = p->next) {
        if (p->length < 0) return 0;
        if (p->hdrSize == 0 && asn_SetHeader(p) == 0) return 0;
        total += emitted(p);
    }
    return total;
}

uint8_t* asn_Store(AsnNode* chain, int64_t* n) {
    if (n) *n = 0;
    int64_t size = asn_Size(chain);
    if (size <= 0) return nullptr;
    uint8_t* out = static_cast<uint8_t*>(emalloc(size_t(size)));
    size_t k = 0;
    for (AsnNode* p = chain; p; p = p->next) {
        memcpy(out + k, p->header, size_t(p->hdrSize));
        k += size_t(p->hdrSize);
        if (p->data && p->length > 0) {
            memcpy(out + k, p->data, size_t(p->length));
            k += size_t(p->length);
        }
    }
    if (n) *n = size;
    return out;
}

int asn_Write(AsnNode* chain, FILE* f) {
    if (!f) return -1;
    if (chain && asn_Size(chain) <= 0) return -1;
    for (AsnNode* p = chain; p; p = p->next) {
        if (fwrite(p->header, 1, size_t(p->hdrSize), f) != size_t(p->hdrSize)) return -1;
        if (p->data && p->length > 0 && fwrite(p->data, 1, size_t(p->length), f) != size_t(p->length)) return -1;
    }
    return 0;
}

uint8_t* asn_StoreData(const AsnNode* node, int64_t* n) {
    if (n) *n = 0;
    if (!node) return nullptr;
    if (node->indefinite) {
        eprintf("asn_StoreData internal error: indefinite-length not supported");
        return nullptr;
    }
    if (node->length <= 0 || !node->data) {
        eprintf("asn_StoreData internal error: invalid length");
        return nullptr;
    }
    uint8_t* out = static_cast<uint8_t*>(emalloc(size_t(node->length)));
    memcpy(out, node->data, size_t(node->length));
    if (n) *n = node->length;
    return out;
}

int64_t asn_CopyData(const AsnNode* node, uint8_t* buf, int64_t max) {
    if (!node || node->length < 0) return -1;
    if (max < node->length || (node->length > 0 && (!node->data || !buf))) return -1;
    if (node->length) memcpy(buf, node->data, size_t(node->length));
    return node->length;
}

int asn_Write_EOC(FILE* f) {
    static const uint8_t eoc[2] = {0, 0};
    return f && fwrite(eoc, 1, 2, f) == 2 ? 0 : -1;
}

int asn_Write_OctetString(FILE* f, const uint8_t* octets, size_t n) {
    AsnNode h{};
    h.tag = 4;
    h.length = int64_t(n);
    if (!f || asn_SetHeader(&h) == 0) return -1;
    if (fwrite(h.header, 1, size_t(h.hdrSize), f) != size_t(h.hdrSize)) return -1;
    if (n && fwrite(octets, 1, n, f) != n) return -1;
    return 0;
}

char* asn_ToBase64(AsnNode* chain) {
    int64_t n = 0;
    uint8_t* der = asn_Store(chain, &n);
    if (!der) return nullptr;
    size_t size = size_t((n + 2) / 3 * 4 + 1);
    char* out = static_cast<char*>(emalloc(size));
    b64encode(out, long(size), der, long(n));
    ewipe(der, size_t(n));
    efree_mem(der);
    return out;
}

// ---- Indefinite-length output ----

static AsnNode* ndef_open(uint32_t id, uint32_t tag) {
    AsnNode* n = asn_Start(id, tag);
    if (!n) return nullptr;
    n->indefinite = 1;
    n->length = 0;
    n->header[0] = uint8_t(id | tag);
    n->header[1] = 0x80;
    n->hdrSize = 2;
    return n;
}
AsnNode* asn_NdefOpen(uint32_t tag) { return ndef_open(0x20, tag); }
AsnNode* asn_NdefOpenContext(uint32_t tag) { return ndef_open(0xA0, tag); }

AsnNode* asn_NdefAppend(AsnNode* ndef, AsnNode* chain) {
    if (!ndef || !ndef->indefinite || (chain && chain->prev)) {
        asn_Free(&chain);
        return nullptr;
    }
    int64_t total = 0;
    for (AsnNode* p = chain; p; p = p->next) {
        if (p->length < 0 || (p->hdrSize == 0 && asn_SetHeader(p) == 0)) {
            eprintf("asn_NdefAppend: sub-length not set\n");
            asn_Free(&chain);
            return nullptr;
        }
        total += emitted(p);
    }
    for (AsnNode* p = chain; p; p = p->next) p->level += ndef->level + 1;
    ndef->length += total;
    if (chain) {
        AsnNode* last = last_of(ndef);
        last->next = chain;
        chain->prev = last;
    }
    return ndef;
}

AsnNode* asn_NdefClose(AsnNode* ndef) {
    if (!ndef) return nullptr;
    AsnNode* eoc = asn_New();
    eoc->length = 0;
    eoc->hdrSize = 2;
    eoc->level = ndef->level;
    AsnNode* last = last_of(ndef);
    last->next = eoc;
    eoc->prev = last;
    return ndef;
}

int asn_Ndef2Fixed(AsnNode** chain) {
    if (!chain || !*chain) return 0;
    AsnNode* head = *chain;
    if (!head->indefinite) return 1;
    AsnNode* last = last_of(head);
    if (last == head || !asn_isEOC(last)) return 0;
    int64_t total = asn_Size(head);
    if (total <= 0) return 0;
    last->prev->next = nullptr;
    last->prev = nullptr;
    asn_Free(&last);
    head->length = total - head->hdrSize - 2;
    head->indefinite = 0;
    head->hdrSize = 0;
    asn_SetHeader(head);
    return 1;
}

// ---- DER SET OF order (X.690 section 11.6) ----

int asn_Compare(AsnNode* a, AsnNode* b) {
    if (!a && !b) return 0;
    if (!a) return 1;
    if (!b) return -1;
    int64_t na = 0, nb = 0;
    uint8_t* ea = asn_Store(a, &na);
    uint8_t* eb = asn_Store(b, &nb);
    size_t common = size_t(std::min(na, nb));
    int r = common ? memcmp(ea, eb, common) : 0;
    if (r == 0) r = na < nb ? -1 : (na > nb ? 1 : 0);
    efree_mem(ea);
    efree_mem(eb);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

void asn_Sort(AsnNode** items, size_t n) {
    if (!items || n < 2) return;
    for (size_t gap = n / 2; gap > 0; gap /= 2) {
        for (size_t i = gap; i < n; ++i) {
            for (size_t j = i; j >= gap && asn_Compare(items[j - gap], items[j]) > 0; j -= gap) {
                std::swap(items[j - gap], items[j]);
            }
        }
    }
}
