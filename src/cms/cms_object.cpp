// The CMS object reader: BER elements read in place over a span (X.690
// definite and indefinite lengths), and the recognition of a CMS object
// given as a file, PEM text or base64 text.
#include <sys/stat.h>

#include <cstring>

#include "asn1/asn1.h"
#include "cms/cms.h"
#include "encode/encode.h"
#include "encode/pem.h"
#include "frame/error.h"
#include "util/futil.h"

namespace velt::cms {

namespace {

long read_depth(const uint8_t* buf, size_t limit, size_t pos, Tlv& t, int depth) {
    if (depth > kBerMaxDepth || pos >= limit) return BAD_FORMAT_ERROR;
    t = Tlv();
    t.start = pos;
    t.ident = buf[pos++];
    t.constructed = (t.ident & 0x20) != 0;
    t.tag = t.ident & 0x1F;
    if (t.tag == 0x1F) {
        // High tag number form: base-128 digits, at most four of them.
        t.tag = 0;
        for (int i = 0;; ++i) {
            if (pos >= limit || i == 4) return BAD_FORMAT_ERROR;
            uint8_t b = buf[pos++];
            t.tag = (t.tag << 7) | (b & 0x7F);
            if (!(b & 0x80)) break;
        }
    }
    if (pos >= limit) return BAD_FORMAT_ERROR;
    uint8_t l = buf[pos++];
    if (l == 0x80) {
        if (!t.constructed) return BAD_FORMAT_ERROR;
        t.indefinite = true;
        t.off = pos;
        // The contents run to the end-of-contents octets that close this
        // element: walk the children, each of which is bounded by limit.
        for (;;) {
            if (pos + 2 > limit) return BAD_FORMAT_ERROR;
            if (buf[pos] == 0 && buf[pos + 1] == 0) {
                t.len = pos - t.off;
                t.end = pos + 2;
                return 0;
            }
            Tlv child;
            if (read_depth(buf, limit, pos, child, depth + 1) != 0) return BAD_FORMAT_ERROR;
            pos = child.end;
        }
    }
    size_t len = 0;
    if (l & 0x80) {
        size_t n = l & 0x7F;
        if (n > sizeof(size_t) || n > limit - pos) return BAD_FORMAT_ERROR;
        for (size_t i = 0; i < n; ++i) {
            if (len >> (8 * sizeof(size_t) - 8)) return BAD_FORMAT_ERROR;
            len = (len << 8) | buf[pos++];
        }
    } else {
        len = l;
    }
    if (len > limit - pos) return BAD_FORMAT_ERROR;
    t.off = pos;
    t.len = len;
    t.end = pos + len;
    return 0;
}

bool is_existing_file(const char* s) {
    struct stat st;
    return std::strlen(s) < 4096 && stat(s, &st) == 0;
}

// Decodes PEM (the first block) or bare base64 text.
bool decode_text(const char* text, size_t n, std::vector<uint8_t>& der) {
    size_t body = 0;
    const char* p = PEM_FindEncoded(text, n, &body);
    std::string b64 = p ? std::string(p, body) : std::string(text, n);
    if (!detect_isbase64(b64.c_str())) return false;
    der = b64_bytes(b64.c_str());
    return !der.empty();
}

}  // namespace

long berRead(const uint8_t* buf, size_t limit, size_t pos, Tlv& t) {
    return read_depth(buf, limit, pos, t, 0);
}

int BerChildren::next(Tlv& t) {
    if (pos_ >= end_) return 0;
    if (berRead(buf_, end_, pos_, t) != 0) return -1;
    pos_ = t.end;
    return 1;
}

std::string oidName(const uint8_t* buf, const Tlv& t) {
    if (t.ident != 0x06 || t.len == 0 || t.len > 31) return {};
    OidRec rec{};
    std::memcpy(rec.oct, buf + t.off, t.len);
    rec.length = int32_t(t.len);
    oid_SetRef(&rec);
    return rec.name;
}

namespace {
template <class Out>
long octets_depth(const uint8_t* buf, const Tlv& t, Out& out, int depth) {
    if ((t.ident & 0xDF) != 0x04 || depth > kBerMaxDepth) return BAD_FORMAT_ERROR;
    if (!t.constructed) {
        out.insert(out.end(), buf + t.off, buf + t.off + t.len);
        return 0;
    }
    BerChildren kids(buf, t);
    Tlv seg;
    int r;
    while ((r = kids.next(seg)) == 1) {
        long rc = octets_depth(buf, seg, out, depth + 1);
        if (rc) return rc;
    }
    return r < 0 ? long(BAD_FORMAT_ERROR) : 0;
}
}  // namespace

long octetsOf(const uint8_t* buf, const Tlv& t, std::vector<uint8_t>& out) {
    out.clear();
    return octets_depth(buf, t, out, 0);
}
long octetsOf(const uint8_t* buf, const Tlv& t, SecureBytes& out) {
    out.clear();
    return octets_depth(buf, t, out, 0);
}

long cmsReadObject(const char* input, std::vector<uint8_t>& der) {
    der.clear();
    if (!input || !*input) return BAD_PARAM_ERROR;
    const size_t n = std::strlen(input);
    if (PEM_IsPEMString(input)) {
        if (decode_text(input, n, der)) return 0;
        eprintf("Unable to decode PEM string");
        return INVALID_DATA_ERROR;
    }
    if (PEM_IsBase64String(input) && !is_existing_file(input)) {
        if (decode_text(input, n, der)) return 0;
        eprintf("Unable to decode base64 string");
        return INVALID_DATA_ERROR;
    }
    long err = 0;
    FILE* f = futil_open_input(input, kMaxInputFileSize, &err);
    if (!f) {
        eprintf("Cannot open file %s", describe_input(input).c_str());
        return err == BAD_LENGTH_ERROR ? err : long(OPEN_ERROR);
    }
    SecureBytes raw;
    long rc = futil_read_stream(f, raw, kMaxInputFileSize);
    std::fclose(f);
    if (rc != 0) {
        eprintf("Cannot read file %s", describe_input(input).c_str());
        return rc;
    }
    if (!raw.empty() && raw[0] == 0x30) {
        der.assign(raw.begin(), raw.end());
        return 0;
    }
    std::string text(raw.begin(), raw.end());
    if (text.find('\0') == std::string::npos && decode_text(text.c_str(), text.size(), der)) return 0;
    eprintf("Cannot decode file %s", describe_input(input).c_str());
    return INVALID_DATA_ERROR;
}

long cmsContentOf(const std::vector<uint8_t>& der, const char* typeName, const char* what, Tlv& content) {
    const uint8_t* b = der.data();
    Tlv ci, oid, c0;
    if (berRead(b, der.size(), 0, ci) != 0 || !ci.is(0x30)) {
        eprintcatf("Invalid or missing ASN.1 data");
        return INVALID_DATA_ERROR;
    }
    BerChildren kids(b, ci);
    if (kids.next(oid) != 1 || oidName(b, oid) != typeName) {
        eprintf("Invalid Content Type: expected %s", what);
        return INVALID_DATA_ERROR;
    }
    int r = kids.next(c0);
    if (r != 1 || !c0.is(0xA0)) {
        eprintf("No %s content", what);
        return r < 0 ? long(INVALID_DATA_ERROR) : long(MISSING_ERROR);
    }
    BerChildren inner(b, c0);
    if (inner.next(content) != 1) {
        eprintf("No %s content", what);
        return MISSING_ERROR;
    }
    return 0;
}

}  // namespace velt::cms
