// Streaming reader of binary SignedData files (definite or indefinite BER).
// The file is read through a buffer of a few blocks: a header or length
// that straddles two reads is carried over to the next one, so nothing
// larger than one block plus a header is ever held for the content, which
// goes to the caller's sink segment by segment. Everything after the
// content (certificates, CRLs, signer infos) is small and kept whole.
#include <cstring>

#include "cms/cms.h"
#include "frame/error.h"
#include "util/futil.h"

namespace velt::cms {

struct BlockManager {
    FILE* f = nullptr;
    std::vector<uint8_t> buf = std::vector<uint8_t>(2 * kBlockSize);
    size_t pos = 0, fill = 0;
    uint64_t base = 0;  // file offset of buf[0]
    bool eof = false;

    uint64_t offset() const { return base + pos; }
    // At least n (<= one block) bytes buffered; false at the end of the file.
    bool ensure(size_t n) {
        if (fill - pos >= n) return true;
        if (pos) {
            std::memmove(buf.data(), buf.data() + pos, fill - pos);
            base += pos;
            fill -= pos;
            pos = 0;
        }
        while (fill < n && !eof) {
            size_t got = std::fread(buf.data() + fill, 1, buf.size() - fill, f);
            if (got == 0) eof = true;
            fill += got;
        }
        return fill - pos >= n;
    }
};

BlockManager* block_manager_init(FILE* f) {
    auto* bm = new BlockManager;
    bm->f = f;
    return bm;
}

void block_manager_final(BlockManager** bm) {
    if (!bm || !*bm) return;
    delete *bm;
    *bm = nullptr;
}

namespace {

struct Hdr {
    uint8_t ident = 0;
    bool indefinite = false;
    uint64_t len = 0;
    uint64_t end = 0;  // file offset after a definite element
    std::vector<uint8_t> raw;
};

// Reads one identifier and length. 0, or 7.
long read_header(BlockManager& m, Hdr& h) {
    h = Hdr();
    // Up to ten octets: identifier, length octets and a little slack; the
    // buffer may move here, so offsets are taken afterwards.
    m.ensure(10);
    if (m.fill - m.pos < 2) return BAD_FORMAT_ERROR;
    const size_t start = m.pos;
    size_t p = m.pos;
    h.ident = m.buf[p++];
    if ((h.ident & 0x1F) == 0x1F) {
        // High tag numbers appear nowhere in SignedData before the signer
        // infos; they are refused here.
        return BAD_FORMAT_ERROR;
    }
    uint8_t l = m.buf[p++];
    if (l == 0x80) {
        if (!(h.ident & 0x20)) return BAD_FORMAT_ERROR;
        h.indefinite = true;
    } else if (l & 0x80) {
        size_t n = l & 0x7F;
        if (n > 8 || p + n > m.fill) return BAD_FORMAT_ERROR;
        for (size_t i = 0; i < n; ++i) {
            if (h.len >> 56) return BAD_FORMAT_ERROR;
            h.len = (h.len << 8) | m.buf[p++];
        }
    } else {
        h.len = l;
    }
    h.raw.assign(m.buf.begin() + long(start), m.buf.begin() + long(p));
    m.pos = p;
    h.end = m.offset() + h.len;
    return 0;
}

bool at_eoc(BlockManager& m) {
    return m.ensure(2) && m.buf[m.pos] == 0 && m.buf[m.pos + 1] == 0;
}

// True when the container (open, header h) has no more children; an
// end-of-contents marker is consumed.
bool container_done(BlockManager& m, const Hdr& h) {
    if (h.indefinite) {
        if (at_eoc(m)) {
            m.pos += 2;
            return true;
        }
        return false;
    }
    return m.offset() >= h.end;
}

// Copies n bytes into out (when given) or the sink.
long copy_bytes(BlockManager& m, uint64_t n, std::vector<uint8_t>* out, ContentSink sink, void* ctx) {
    while (n) {
        if (!m.ensure(1)) return BAD_FORMAT_ERROR;
        size_t chunk = size_t(std::min<uint64_t>(n, std::min<size_t>(m.fill - m.pos, kBlockSize)));
        if (out) {
            out->insert(out->end(), m.buf.begin() + long(m.pos), m.buf.begin() + long(m.pos + chunk));
        } else if (sink) {
            long rc = sink(ctx, m.buf.data() + m.pos, chunk);
            if (rc) return rc;
        }
        m.pos += chunk;
        n -= chunk;
    }
    return 0;
}

// Reads a whole element (BER) into out, at most limit bytes in all.
long capture(BlockManager& m, std::vector<uint8_t>& out, size_t limit, int depth) {
    if (depth > kBerMaxDepth) return BAD_FORMAT_ERROR;
    Hdr h;
    long rc = read_header(m, h);
    if (rc) return rc;
    out.insert(out.end(), h.raw.begin(), h.raw.end());
    if (!h.indefinite) {
        if (h.len > limit - std::min(limit, out.size())) return BAD_FORMAT_ERROR;
        return copy_bytes(m, h.len, &out, nullptr, nullptr);
    }
    for (;;) {
        if (out.size() > limit) return BAD_FORMAT_ERROR;
        if (at_eoc(m)) {
            m.pos += 2;
            out.push_back(0);
            out.push_back(0);
            return 0;
        }
        rc = capture(m, out, limit, depth + 1);
        if (rc) return rc;
    }
}

// Streams an OCTET STRING (primitive, or constructed of segments).
long stream_octets(BlockManager& m, const Hdr& h, ContentSink sink, void* ctx, int depth) {
    if (depth > kBerMaxDepth || (h.ident & 0xDF) != 0x04) return BAD_FORMAT_ERROR;
    if (!(h.ident & 0x20)) return copy_bytes(m, h.len, nullptr, sink, ctx);
    while (!container_done(m, h)) {
        Hdr seg;
        long rc = read_header(m, seg);
        if (rc) return rc;
        if (!seg.indefinite && seg.end > h.end && !h.indefinite) return BAD_FORMAT_ERROR;
        rc = stream_octets(m, seg, sink, ctx, depth + 1);
        if (rc) return rc;
    }
    return 0;
}

void put_tlv(std::vector<uint8_t>& out, uint8_t ident, const std::vector<uint8_t>& contents) {
    out.push_back(ident);
    size_t n = contents.size();
    if (n < 0x80) {
        out.push_back(uint8_t(n));
    } else {
        uint8_t tmp[8];
        int k = 0;
        while (n) {
            tmp[k++] = uint8_t(n);
            n >>= 8;
        }
        out.push_back(uint8_t(0x80 | k));
        while (k) out.push_back(tmp[--k]);
    }
    out.insert(out.end(), contents.begin(), contents.end());
}

// OID contents of signedData (1.2.840.113549.1.7.2) and data (... 7.1).
constexpr uint8_t kOidSignedData[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr uint8_t kOidData[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};

}  // namespace

long block_manager(BlockManager* bm, ContentSink sink, void* ctx, StreamedSignedData& out) {
    BlockManager& m = *bm;
    out = StreamedSignedData();
    const size_t kSmall = 64 << 10, kLarge = kMaxInputFileSize;
    Hdr ci, c0, sd, encap, e0, octets;
    std::vector<uint8_t> oid, version, dalgs, ctype;
    if (read_header(m, ci) || ci.ident != 0x30 || capture(m, oid, 64, 0) ||
        oid != std::vector<uint8_t>(std::begin(kOidSignedData), std::end(kOidSignedData))) {
        eprintf("Invalid Content Type: expected signed-data");
        return INVALID_DATA_ERROR;
    }
    if (read_header(m, c0) || c0.ident != 0xA0 || read_header(m, sd) || sd.ident != 0x30) {
        eprintf("No signed-data content");
        return MISSING_ERROR;
    }
    if (capture(m, version, 16, 0) || version.empty() || version[0] != 0x02) {
        eprintf("Cannot find CMSVersion");
        return BAD_FORMAT_ERROR;
    }
    if (capture(m, dalgs, kSmall, 0) || dalgs.empty() || dalgs[0] != 0x31) {
        eprintf("Cannot find DigestAlgorithmIdentifiers");
        return BAD_FORMAT_ERROR;
    }
    {
        Tlv set, alg, algOid;
        if (berRead(dalgs.data(), dalgs.size(), 0, set)) return BAD_FORMAT_ERROR;
        BerChildren k(dalgs.data(), set);
        int r;
        while ((r = k.next(alg)) == 1) {
            BerChildren ak(dalgs.data(), alg);
            if (!alg.is(0x30) || ak.next(algOid) != 1) continue;
            long id = cmsDigestIdFromName(oidName(dalgs.data(), algOid));
            if (id < 0) continue;
            bool seen = false;
            for (long d : out.digestIds) seen = seen || d == id;
            if (!seen) out.digestIds.push_back(id);
        }
        if (r < 0 || set.len == 0) {
            eprintf("Cannot find a digest algorithm");
            return BAD_FORMAT_ERROR;
        }
    }
    if (read_header(m, encap) || encap.ident != 0x30 || capture(m, ctype, 64, 0)) {
        eprintf("No encapContentInfo in SignedData");
        return INVALID_DATA_ERROR;
    }
    if (ctype != std::vector<uint8_t>(std::begin(kOidData), std::end(kOidData))) {
        eprintf("Unsupported SignedData contentType: only 'data' is supported");
        return INVALID_DATA_ERROR;
    }
    if (!container_done(m, encap)) {
        if (read_header(m, e0) || e0.ident != 0xA0 || read_header(m, octets)) {
            eprintf("Invalid encapContentInfo");
            return BAD_FORMAT_ERROR;
        }
        long rc = stream_octets(m, octets, sink, ctx, 0);
        if (rc) {
            if (rc == BAD_FORMAT_ERROR) eprintf("Invalid eContent");
            return rc;
        }
        out.hadContent = true;
        if (!container_done(m, e0) || !container_done(m, encap)) {
            eprintf("Invalid encapContentInfo");
            return BAD_FORMAT_ERROR;
        }
    }
    // The rest of the SignedData: certificates, CRLs and the signer infos.
    std::vector<uint8_t> body = version;
    body.insert(body.end(), dalgs.begin(), dalgs.end());
    std::vector<uint8_t> encapOut(std::begin(kOidData), std::end(kOidData));
    put_tlv(body, 0x30, encapOut);
    size_t tail = 0;
    while (!container_done(m, sd)) {
        std::vector<uint8_t> item;
        if (capture(m, item, kLarge, 0) || tail + item.size() > kLarge) {
            eprintf("Invalid SignedData");
            return BAD_FORMAT_ERROR;
        }
        tail += item.size();
        body.insert(body.end(), item.begin(), item.end());
    }
    std::vector<uint8_t> sdDer, wrapped, inner(std::begin(kOidSignedData), std::end(kOidSignedData));
    put_tlv(sdDer, 0x30, body);
    put_tlv(wrapped, 0xA0, sdDer);
    inner.insert(inner.end(), wrapped.begin(), wrapped.end());
    put_tlv(out.detached, 0x30, inner);
    return 0;
}

}  // namespace velt::cms
