// Shared checks for the fuzz targets: walk a parsed chain through the
// search, extraction and conversion operations, and stop loudly when an
// invariant breaks.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "asn1/asn1.h"
#include "util/emem.h"

#define FUZZ_CHECK(cond)         \
    do {                         \
        if (!(cond)) abort();    \
    } while (0)

// Exercises every reader of a chain that came from untrusted input.
inline void fuzz_walk_chain(AsnNode* chain) {
    int64_t n = 0;
    long i = 0;
    for (AsnNode* p = chain; p && i < 4096; p = p->next, ++i) {
        AsnNode* copy = asn_ExtractCurrent(p);
        uint8_t* der = asn_Store(copy, &n);
        efree_mem(der);
        asn_Free(&copy);
        efree_mem(asn_StoreDataString(p, 1));
        efree_mem(asn_StoreDataString(p, 0));
        efree_mem(asn_StoreUTF8String(p, &n));
        efree_mem(asn_OctetString2Bytes(p, &n));
        efree_mem(asn_TaggedOctetString2Bytes(p, &n));
        efree_mem(asn_BitString2Bytes(p, &n));
        (void)asn_BitString2Long(p);
        (void)asn_Integer2Long(p);
        uint8_t ib[64];
        (void)asn_Integer2Bytes(p, ib, sizeof ib);
        char buf[64];
        (void)asn_OidDotString(p, buf, sizeof buf);
        OidRec rec;
        if (asn_SetOid(&rec, p) >= -1 && rec.length > 0) {
            AsnNode* hit = asn_SeekOIDExtractByTag(chain, &rec, 4);
            asn_Free(&hit);
        }
        struct tm t;
        (void)asn_ZuluTime2tm(p, &t);
        if (p->tag == 16 && (p->id & 0x20)) {
            (void)x509getDNStringFromAsn(nullptr, 0, p, nullptr, 0);
            (void)x509getDNStringFromAsn(nullptr, 0, p, nullptr, 0x1000);
            (void)x509matchNames(p, p);
        }
    }
    int critical = 0;
    OidRec ku;
    oid_SetOID(&ku, "keyUsage");
    AsnNode* ext = asn_FindExtension(chain, &ku, &critical);
    asn_Free(&ext);
}
