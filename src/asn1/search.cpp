// Searching a chain, extracting elements as chains of their own, finding a
// value by the OID before it (also inside OCTET STRING and BIT STRING
// wrappers), and the Extensions walk of RFC 5280 section 4.1.
#include <cstring>
#include <vector>

#include "asn1/asn1.h"
#include "frame/error.h"
#include "util/emem.h"

namespace {

// Nested OCTET STRING / BIT STRING wrappers opened by the OID search.
constexpr int kMaxEncapsulation = 32;

AsnNode* copy_node(const AsnNode* src, uint32_t level) {
    AsnNode* n = asn_New();
    n->id = src->id;
    n->tag = src->tag;
    n->length = src->length;
    n->indefinite = src->indefinite;
    n->level = level;
    n->hdrSize = src->hdrSize;
    memcpy(n->header, src->header, sizeof n->header);
    if (src->data && src->length > 0) {
        n->data = static_cast<uint8_t*>(emalloc(size_t(src->length)));
        memcpy(n->data, src->data, size_t(src->length));
    }
    return n;
}

}  // namespace

AsnNode* asn_Find(AsnNode* node, uint32_t tag) {
    for (AsnNode* p = node ? node->next : nullptr; p; p = p->next) {
        if (p->tag == tag) return p;
    }
    return nullptr;
}

AsnNode* asn_FindNextAtLevel(AsnNode* node, uint32_t tag, uint32_t level) {
    for (AsnNode* p = node ? node->next : nullptr; p; p = p->next) {
        if (p->tag == tag && p->level == level) return p;
    }
    return nullptr;
}

AsnNode* asn_FindAtLevel(AsnNode* node, uint32_t tag, long count, uint32_t level) {
    for (long i = 0; i < count && node; ++i) node = asn_FindNextAtLevel(node, tag, level);
    return node;
}

AsnNode* asn_FindAnyAtLevel(AsnNode* node, long count, uint32_t level) {
    for (long i = 0; i < count && node; ++i) {
        AsnNode* p = node->next;
        while (p && p->level != level) p = p->next;
        node = p;
    }
    return node;
}

AsnNode* asn_FindTagged(AsnNode* node, uint32_t n) {
    for (AsnNode* p = node ? node->next : nullptr; p; p = p->next) {
        if (asn_isTagged(p, n)) return p;
    }
    return nullptr;
}

AsnNode* asn_FindTaggedAtLevel(AsnNode* node, uint32_t n, uint32_t level) {
    for (AsnNode* p = node ? node->next : nullptr; p; p = p->next) {
        if (asn_isTagged(p, n) && p->level == level) return p;
    }
    return nullptr;
}

AsnNode* asn_ExtractCurrent(const AsnNode* node) {
    if (!node) return nullptr;
    AsnNode* head = copy_node(node, 0);
    AsnNode* tail = head;
    // The contents of a constructed node (and of a wrapper built around a
    // chain) are the following nodes at deeper levels.
    for (const AsnNode* p = node->next; p && p->level > node->level; p = p->next) {
        AsnNode* c = copy_node(p, p->level - node->level);
        tail->next = c;
        c->prev = tail;
        tail = c;
    }
    return head;
}

AsnNode* asn_Extract(AsnNode* node, uint32_t tag, long count, long level) {
    for (long i = 0; i < count && node; ++i) {
        node = level < 0 ? asn_Find(node, tag) : asn_FindNextAtLevel(node, tag, uint32_t(level));
    }
    return node ? asn_ExtractCurrent(node) : nullptr;
}

AsnNode* asn_Duplicate(const AsnNode* chain) {
    AsnNode* head = nullptr;
    AsnNode* tail = nullptr;
    for (const AsnNode* p = chain; p; p = p->next) {
        AsnNode* c = copy_node(p, p->level);
        if (!head) {
            head = tail = c;
        } else {
            tail->next = c;
            c->prev = tail;
            tail = c;
        }
    }
    return head;
}

static AsnNode* seek_oid(AsnNode* chain, const OidRec* oid, uint32_t tag, int depth) {
    for (AsnNode* p = chain; p; p = p->next) {
        if (p->hdrSize < 1) {
            eprintf("Invalid HeaderSize found");
            return nullptr;
        }
        if (p->id == 0 && p->tag == 6 && p->data && p->length == oid->length &&
            memcmp(p->data, oid->oct, size_t(oid->length)) == 0) {
            return asn_Extract(p, tag, 1, -1);
        }
        if (p->id == 0 && (p->tag == 4 || p->tag == 3) && p->data && p->length > 0 && depth < kMaxEncapsulation) {
            const uint8_t* c = p->data;
            size_t n = size_t(p->length);
            if (p->tag == 3) {
                ++c;
                --n;
            }
            if (n < 2) continue;
            AsnInput in = AsnInput::memory(c, n);
            AsnNode h{};
            if (asn_readHeader(&in, &h) != 1) continue;
            uint32_t cls = h.id & 0xC0;
            if ((cls != 0 && cls != 0x80) || h.tag < 1 || h.tag > 49 || h.indefinite ||
                h.length != int64_t(n) - h.hdrSize) {
                continue;
            }
            AsnNode* inner = asn_ReadBytes(c, n);
            if (!inner) continue;
            AsnNode* hit = seek_oid(inner, oid, tag, depth + 1);
            asn_Free(&inner);
            if (hit) return hit;
        }
    }
    return nullptr;
}

AsnNode* asn_SeekOIDExtractByTag(AsnNode* chain, const OidRec* oid, uint32_t tag) {
    if (!chain || !oid || oid->length <= 0) return nullptr;
    return seek_oid(chain, oid, tag, 0);
}

// ---- Extensions ----

namespace {

// The children of a node at exactly one level deeper, in order.
std::vector<AsnNode*> children(AsnNode* node) {
    std::vector<AsnNode*> out;
    if (!node) return out;
    for (AsnNode* p = node->next; p && p->level > node->level; p = p->next) {
        if (p->level == node->level + 1 && !asn_isEOC(p)) out.push_back(p);
    }
    return out;
}

bool is_universal(const AsnNode* n, uint32_t tag) { return n && (n->id & 0xC0) == 0 && n->tag == tag; }

// Extensions ::= SEQUENCE SIZE (1..MAX) OF Extension
// Extension  ::= SEQUENCE { extnID OID, critical BOOLEAN DEFAULT FALSE, extnValue OCTET STRING }
bool looks_like_extensions(AsnNode* seq) {
    if (!is_universal(seq, 16) || !(seq->id & 0x20)) return false;
    auto items = children(seq);
    if (items.empty()) return false;
    for (AsnNode* e : items) {
        auto f = children(e);
        if (!is_universal(e, 16) || f.size() < 2 || f.size() > 3 || !is_universal(f[0], 6)) return false;
        if (!is_universal(f.back(), 4) || (f.size() == 3 && !is_universal(f[1], 1))) return false;
    }
    return true;
}

}  // namespace

AsnNode* asn_FindExtensions(AsnNode* chain) {
    if (!chain || !is_universal(chain, 16)) return nullptr;
    auto outer = children(chain);
    if (outer.empty() || !is_universal(outer[0], 16)) return nullptr;
    AsnNode* tbs = outer[0];
    OidRec extReq, msReq;
    oid_SetOID(&extReq, "extensionRequest");
    oid_SetOID(&msReq, "certReqExtensions");
    for (AsnNode* f : children(tbs)) {
        if (!asn_isContextSpecific(f) || !asn_isConstructed(f)) continue;
        auto inner = children(f);
        // Certificate [3] and CRL [0]: an explicit wrapper around Extensions.
        if (inner.size() == 1 && looks_like_extensions(inner[0])) return inner[0];
        // Request [0] attributes: Attribute { type, SET { Extensions } }.
        for (AsnNode* attr : inner) {
            auto a = children(attr);
            if (!is_universal(attr, 16) || a.size() != 2 || !is_universal(a[0], 6) || !is_universal(a[1], 17)) continue;
            bool match = (a[0]->length == extReq.length && a[0]->data &&
                          memcmp(a[0]->data, extReq.oct, size_t(extReq.length)) == 0) ||
                         (a[0]->length == msReq.length && a[0]->data &&
                          memcmp(a[0]->data, msReq.oct, size_t(msReq.length)) == 0);
            if (!match) continue;
            auto set = children(a[1]);
            if (!set.empty() && looks_like_extensions(set[0])) return set[0];
        }
    }
    return nullptr;
}

AsnNode* asn_ExtensionValue(AsnNode* extensions, const OidRec* oid, int* critical) {
    if (critical) *critical = 0;
    if (!oid || oid->length <= 0 || !looks_like_extensions(extensions)) return nullptr;
    for (AsnNode* e : children(extensions)) {
        auto f = children(e);
        if (f[0]->length != oid->length || !f[0]->data || memcmp(f[0]->data, oid->oct, size_t(oid->length)) != 0) {
            continue;
        }
        if (critical && f.size() == 3) *critical = asn_BooleanValue(f[1]);
        return asn_ExtractCurrent(f.back());
    }
    return nullptr;
}

AsnNode* asn_FindExtension(AsnNode* chain, const OidRec* oid, int* critical) {
    if (critical) *critical = 0;
    return asn_ExtensionValue(asn_FindExtensions(chain), oid, critical);
}
