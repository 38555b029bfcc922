// BER parser (X.690 section 8) over memory or a file stream, and the
// chain-free scanners used on large objects.
//
// Hostile input: every length is checked against the input that remains and
// against the element that encloses it before anything is allocated; definite
// and indefinite nesting share one depth limit; an end-of-contents marker is
// accepted only where the innermost open element is indefinite. The walk is
// iterative, so no input can exhaust the call stack.
#include <sys/stat.h>

#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "asn1/asn1.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "util/emem.h"
#include "util/inp.h"

// ---- Byte source ----

AsnInput AsnInput::memory(const void* p, size_t n) {
    AsnInput in;
    in.mem = static_cast<const uint8_t*>(p);
    in.len = p ? n : 0;
    return in;
}

AsnInput AsnInput::file(FILE* f) {
    AsnInput in;
    in.fp = f;
    if (f) {
        long at = ftell(f);
        in.pos = at > 0 ? size_t(at) : 0;
        struct stat st;
        if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) in.fileSize = st.st_size;
    }
    return in;
}

AsnInput AsnInput::stream(InpStream* s) {
    AsnInput in;
    in.inp = s;
    if (s && s->stream()) {
        struct stat st;
        if (fstat(fileno(s->stream()), &st) == 0 && S_ISREG(st.st_mode)) in.fileSize = st.st_size;
    }
    return in;
}

int AsnInput::getc() {
    if (inp) return inp->getc();
    if (fp) {
        int c = fgetc(fp);
        if (c != EOF) ++pos;
        return c == EOF ? -1 : c;
    }
    if (pos >= len) return -1;
    return mem[pos++];
}

size_t AsnInput::read(uint8_t* out, size_t n) {
    if (inp) return inp->read(out, n);
    if (fp) {
        size_t got = fread(out, 1, n, fp);
        pos += got;
        return got;
    }
    size_t got = pos < len ? std::min(n, len - pos) : 0;
    if (got) memcpy(out, mem + pos, got);
    pos += got;
    return got;
}

int64_t AsnInput::tell() const { return inp ? int64_t(inp->tell()) : int64_t(pos); }

bool AsnInput::seek(int64_t off) {
    if (off < 0) off = 0;
    if (inp) return inp->seekset(long(off)) == 0;
    if (fp) {
        if (fseeko(fp, off_t(off), SEEK_SET) != 0) return false;
        pos = size_t(off);
        return true;
    }
    pos = std::min(size_t(off), len);
    return true;
}

int64_t AsnInput::remaining() const {
    if (inp) {
        int64_t at = inp->tell();
        if (at < 0) return -1;
        if (inp->is_memory()) return std::max<int64_t>(0, int64_t(inp->length()) - at);
        return fileSize < 0 ? -1 : std::max<int64_t>(0, fileSize - at);
    }
    if (fp) return fileSize < 0 ? -1 : std::max<int64_t>(0, fileSize - int64_t(pos));
    return int64_t(len - std::min(pos, len));
}

// ---- Header ----

int asn_readHeader(AsnInput* in, AsnNode* w) {
    int c = in->getc();
    if (c < 0) return 0;
    uint8_t h[16];
    int k = 0;
    h[k++] = uint8_t(c);
    w->id = uint32_t(c) & 0xE0;
    w->tag = uint32_t(c) & 0x1F;
    w->indefinite = 0;
    if (w->tag == 31) {
        uint32_t tag = 0;
        int i = 0;
        for (;; ++i) {
            if (i == 3) return -1;  // a fourth tag-number octet
            int b = in->getc();
            if (b < 0) return -1;
            h[k++] = uint8_t(b);
            tag = (tag << 7) | uint32_t(b & 0x7F);
            if (!(b & 0x80)) break;
        }
        w->tag = tag;
    }
    int b = in->getc();
    if (b < 0) return -1;
    h[k++] = uint8_t(b);
    if (b < 0x80) {
        w->length = b;
    } else {
        int octets = b & 0x7F;
        if (octets == 0) {
            // The indefinite form is for constructed encodings only (X.690 8.1.3.2).
            if (!(w->id & 0x20)) return -1;
            w->indefinite = 1;
            w->length = 0;
        } else {
            if (octets > 4) return -1;
            uint64_t len = 0;
            for (int i = 0; i < octets; ++i) {
                int d = in->getc();
                if (d < 0) return -1;
                h[k++] = uint8_t(d);
                len = (len << 8) | uint32_t(d);
            }
            w->length = int64_t(len);
        }
    }
    if (k > kAsnMaxHeader) return -1;
    memcpy(w->header, h, size_t(k));
    w->hdrSize = k;
    // End-of-contents is exactly 00 00.
    if (w->id == 0 && w->tag == 0 && w->length != 0) return -1;
    return 1;
}

namespace {

// Reads `len` content octets. When the input's size is unknown the buffer
// grows as octets arrive, so a false length cannot reserve memory that the
// input never supplies.
uint8_t* read_contents(AsnInput* in, int64_t len) {
    int64_t rem = in->remaining();
    if (rem >= 0 && len > rem) {
        eprintf("ASN.1 data error at offset %ld: Attempt to read past EOF.", long(in->tell() + rem));
        return nullptr;
    }
    if (rem >= 0) {
        uint8_t* buf = static_cast<uint8_t*>(emalloc(size_t(len)));
        size_t got = in->read(buf, size_t(len));
        if (got != size_t(len)) {
            ewipe(buf, size_t(len));
            efree_mem(buf);
            eprintf("ASN.1 data error at offset %ld: Attempt to read past EOF.", long(in->tell()));
            return nullptr;
        }
        return buf;
    }
    velt::SecureBytes acc;
    const size_t chunk = 1 << 16;
    while (int64_t(acc.size()) < len) {
        size_t want = size_t(std::min<int64_t>(int64_t(chunk), len - int64_t(acc.size())));
        size_t at = acc.size();
        acc.resize(at + want);
        size_t got = in->read(acc.data() + at, want);
        if (got != want) {
            eprintf("ASN.1 data error at offset %ld: Attempt to read past EOF.", long(in->tell()));
            return nullptr;
        }
    }
    uint8_t* buf = static_cast<uint8_t*>(emalloc(size_t(len)));
    if (len) memcpy(buf, acc.data(), size_t(len));
    return buf;
}

struct Frame {
    bool indef;
    int64_t end;  // offset where a definite element ends (inherited by indefinite ones)
};

constexpr int64_t kNoEnd = std::numeric_limits<int64_t>::max();

// The walk shared by the parser and the scanner. With `build` the nodes are
// kept as a chain; otherwise primitive contents are skipped and `visit` is
// told of every element before it is entered (returning true stops the walk).
template <class Visit>
AsnNode* walk(AsnInput* in, bool all, bool build, bool* complete, Visit&& visit) {
    std::array<Frame, kAsnMaxDepth> stack;
    int depth = 0;
    int64_t pos = 0;
    AsnNode* head = nullptr;
    AsnNode* tail = nullptr;
    bool ok = false;
    bool any = false;
    *complete = false;
    AsnNode work{};
    for (;;) {
        AsnNode* node = build ? asn_New() : &work;
        int64_t start = pos;
        int r = asn_readHeader(in, node);
        if (r <= 0) {
            if (build) asn_Free(&node);
            // End of input: complete when nothing is left open and at least
            // one element was read (all-mode) or no element was begun.
            ok = (r == 0 && depth == 0 && any);
            break;
        }
        any = true;
        pos += node->hdrSize;
        const int64_t limit = depth ? stack[depth - 1].end : kNoEnd;
        bool bad = pos > limit;
        node->level = uint32_t(depth);
        if (!bad && asn_isEOC(node)) {
            if (depth == 0) {
                eprintf("ASN.1 unexpected EOC");
                bad = true;
            } else if (!stack[depth - 1].indef) {
                eprintf("ASN.1 unexpected EOC inside a definite-length element");
                bad = true;
            } else {
                --depth;
            }
        } else if (!bad && (node->id & 0x20)) {
            if (visit(node, start)) {
                if (build) asn_Free(&node);
                *complete = true;
                return head;
            }
            if (depth == kAsnMaxDepth) {
                eprintf("ASN.1 internal error: stack overflow");
                bad = true;
            } else if (node->indefinite) {
                stack[depth++] = Frame{true, limit};
            } else {
                int64_t rem = in->remaining();
                if (node->length > limit - pos || (rem >= 0 && node->length > rem)) {
                    bad = true;
                } else {
                    stack[depth++] = Frame{false, pos + node->length};
                }
            }
        } else if (!bad) {
            if (visit(node, start)) {
                if (build) asn_Free(&node);
                *complete = true;
                return head;
            }
            int64_t rem = in->remaining();
            if (node->length > limit - pos || (rem >= 0 && node->length > rem)) {
                bad = true;
            } else if (node->length > 0) {
                if (build) {
                    node->data = read_contents(in, node->length);
                    if (!node->data) bad = true;
                } else if (rem >= 0 || in->fp || (in->inp && in->inp->stream())) {
                    if (!in->seek(in->tell() + node->length)) bad = true;
                } else {
                    bad = true;
                }
                if (!bad) pos += node->length;
            }
        }
        if (bad) {
            if (build) asn_Free(&node);
            break;
        }
        if (build) {
            if (!head) {
                head = tail = node;
            } else {
                tail->next = node;
                node->prev = tail;
                tail = node;
            }
        }
        while (depth > 0 && !stack[depth - 1].indef && stack[depth - 1].end == pos) --depth;
        if (depth == 0 && !all) {
            ok = true;
            break;
        }
    }
    if (!ok && build) asn_Free(&head);
    *complete = ok;
    return head;
}

}  // namespace

AsnNode* asn_readInput(AsnInput* in, int all) {
    if (!in) return nullptr;
    bool complete = false;
    return walk(in, all != 0, true, &complete, [](const AsnNode*, int64_t) { return false; });
}

AsnNode* asn_ReadFile(FILE* f) {
    if (!f) return nullptr;
    AsnInput in = AsnInput::file(f);
    return asn_readInput(&in, 0);
}

AsnNode* asn_ReadBytes(const uint8_t* octets, size_t n) {
    if (!octets || !n) return nullptr;
    AsnInput in = AsnInput::memory(octets, n);
    return asn_readInput(&in, 0);
}

AsnNode* asn_ReadBytesImplicitSet(const uint8_t* octets, size_t n) {
    if (!octets || !n) return nullptr;
    AsnInput in = AsnInput::memory(octets, n);
    return asn_readInput(&in, 1);
}

AsnNode* asn_FromBase64(const char* text) {
    if (!text) return nullptr;
    size_t cap = strlen(text) / 4 * 3 + 3;
    velt::SecureBytes buf(cap);
    long n = b64decode(buf.data(), long(cap), text);
    if (n <= 0) return nullptr;
    return asn_ReadBytes(buf.data(), size_t(n));
}

int asn_IsMatchToList(const AsnNode* chain, const AsnMatchItem* tmpl) {
    if (!chain || !tmpl) return 0;
    const AsnNode* p = chain;
    size_t i = 0;
    for (;;) {
        if (tmpl[i].level == -1) break;
        while (p && asn_isEOC(p)) p = p->next;
        if (!p) return 0;
        if (int64_t(p->tag) != tmpl[i].tag || int64_t(p->level) != tmpl[i].level) return 0;
        p = p->next;
        ++i;
    }
    if (tmpl[i].tag == -99) return 1;
    if (chain->indefinite) {
        if (!p || !asn_isEOC(p)) return 0;
        p = p->next;
    }
    return p == nullptr;
}

AsnNode* asn_ReadByList(AsnInput* in, const AsnMatchItem* tmpl) {
    AsnNode* chain = asn_readInput(in, 0);
    if (chain && !asn_IsMatchToList(chain, tmpl)) asn_Free(&chain);
    return chain;
}

AsnNode* asn_ReadSequenceFromInput(AsnInput* in) {
    if (!in) return nullptr;
    int64_t start = in->tell();
    AsnNode h{};
    AsnNode* result = nullptr;
    int64_t total = -1;
    if (asn_readHeader(in, &h) == 1 && (h.tag & 0x10)) {
        if (!h.indefinite) {
            total = h.hdrSize + h.length;
        } else {
            // Walk headers, skipping each one's contents, until the
            // indefinite elements opened are closed again.
            int64_t sum = h.hdrSize;
            long open = 1;
            while (open > 0) {
                AsnNode w{};
                if (asn_readHeader(in, &w) != 1) {
                    sum = -1;
                    break;
                }
                int64_t rem = in->remaining();
                if (rem >= 0 && w.length > rem) {
                    sum = -1;
                    break;
                }
                sum += w.hdrSize + w.length;
                if (w.indefinite) {
                    ++open;
                } else if (asn_isEOC(&w)) {
                    --open;
                } else if (w.length && !in->seek(in->tell() + w.length)) {
                    sum = -1;
                    break;
                }
            }
            total = sum;
        }
    }
    if (total > 0) {
        in->seek(start);
        int64_t rem = in->remaining();
        if (rem < 0 || total <= rem) {
            velt::SecureBytes buf(static_cast<size_t>(total));
            if (in->read(buf.data(), buf.size()) == buf.size()) result = asn_ReadBytes(buf.data(), buf.size());
        }
    }
    in->seek(start);
    return result;
}

uint8_t* asn_ReadNextRaw(AsnInput* in, int64_t* n, AsnNode* work) {
    if (n) *n = 0;
    AsnNode local{};
    AsnNode* w = work ? work : &local;
    int r = asn_readHeader(in, w);
    if (r == 0) return nullptr;
    if (r < 0) {
        if (n) *n = -1;
        return nullptr;
    }
    int64_t body = (!(w->id & 0x20) && !w->indefinite) ? w->length : 0;
    int64_t rem = in->remaining();
    if (rem >= 0 && body > rem) {
        if (n) *n = -1;
        return nullptr;
    }
    uint8_t* contents = nullptr;
    if (body) {
        contents = read_contents(in, body);
        if (!contents) {
            if (n) *n = -1;
            return nullptr;
        }
    }
    uint8_t* out = static_cast<uint8_t*>(emalloc(size_t(w->hdrSize + body)));
    memcpy(out, w->header, size_t(w->hdrSize));
    if (body) {
        memcpy(out + w->hdrSize, contents, size_t(body));
        ewipe(contents, size_t(body));
        efree_mem(contents);
    }
    if (n) *n = w->hdrSize + body;
    return out;
}

long asn_ReadNextRawHeader(AsnInput* in, AsnNode* work) {
    AsnNode local{};
    AsnNode* w = work ? work : &local;
    return asn_readHeader(in, w) == 1 ? long(w->tag) : -1;
}

long asn_TagLookAhead(AsnInput* in, AsnNode* work) {
    if (!in) return -1;
    int64_t at = in->tell();
    long tag = asn_ReadNextRawHeader(in, work);
    in->seek(at);
    return tag;
}

int asn_ParseSignedFromInput(AsnInput* in, int64_t* tbsOffset, int64_t* tbsSize, int64_t* sigAlgOffset,
                             int64_t* sigOffset) {
    if (!in) return -1;
    AsnNode h{};
    auto seq = [&]() { return asn_readHeader(in, &h) == 1 && (h.tag & 0x10) && !h.indefinite; };
    auto skip = [&]() {
        int64_t rem = in->remaining();
        if (rem >= 0 && h.length > rem) return false;
        return in->seek(in->tell() + h.length);
    };
    if (!seq()) return -1;
    int64_t outerEnd = in->tell() + h.length;
    if (tbsOffset) *tbsOffset = in->tell();
    if (!seq()) return -1;
    if (tbsSize) *tbsSize = h.hdrSize + h.length;
    if (!skip()) return -1;
    if (sigAlgOffset) *sigAlgOffset = in->tell();
    if (!seq() || !skip()) return -1;
    if (sigOffset) *sigOffset = in->tell();
    if (asn_readHeader(in, &h) != 1 || h.indefinite || !(h.tag & 3)) return -1;
    if (in->tell() + h.length > outerEnd) return -1;
    return 0;
}

int asn_SearchInData(int64_t* offset, int64_t* size, const uint8_t* octets, size_t n, long tag, long count,
                     long level) {
    if (offset) *offset = 0;
    if (size) *size = 0;
    if (!octets || !n) return 0;
    AsnInput in = AsnInput::memory(octets, n);
    int64_t foundAt = -1, foundSize = 0;
    bool complete = false;
    walk(&in, false, false, &complete, [&](const AsnNode* node, int64_t start) {
        if ((tag < 0 || long(node->tag) == tag) && (level < 0 || long(node->level) == level)) {
            if (--count < 1) {
                foundAt = start;
                foundSize = node->hdrSize + node->length;
                return true;
            }
        }
        return false;
    });
    if (foundAt < 0) return 0;
    if (offset) *offset = foundAt;
    if (size) *size = foundSize;
    return 1;
}

// ---- INP_ stream forms ----

AsnNode* asn_ReadFromInput(InpStream* s) {
    if (!s) return nullptr;
    AsnInput in = AsnInput::stream(s);
    return asn_readInput(&in, 0);
}

AsnNode* asn_ReadImplicitSetFromInput(InpStream* s) {
    if (!s) return nullptr;
    AsnInput in = AsnInput::stream(s);
    return asn_readInput(&in, 1);
}

AsnNode* asn_ReadByList(InpStream* s, const AsnMatchItem* tmpl) {
    if (!s) return nullptr;
    AsnInput in = AsnInput::stream(s);
    return asn_ReadByList(&in, tmpl);
}

AsnNode* asn_ReadSequenceFromInput(InpStream* s) {
    if (!s) return nullptr;
    AsnInput in = AsnInput::stream(s);
    return asn_ReadSequenceFromInput(&in);
}

uint8_t* asn_ReadNextRaw(InpStream* s, int64_t* n, AsnNode* work) {
    if (n) *n = 0;
    if (!s) return nullptr;
    AsnInput in = AsnInput::stream(s);
    return asn_ReadNextRaw(&in, n, work);
}

long asn_ReadNextRawHeader(InpStream* s, AsnNode* work) {
    if (!s) return -1;
    AsnInput in = AsnInput::stream(s);
    return asn_ReadNextRawHeader(&in, work);
}

long asn_TagLookAhead(InpStream* s, AsnNode* work) {
    if (!s) return -1;
    AsnInput in = AsnInput::stream(s);
    return asn_TagLookAhead(&in, work);
}

int asn_ParseSignedFromInput(InpStream* s, int64_t* tbsOffset, int64_t* tbsSize, int64_t* sigAlgOffset,
                             int64_t* sigOffset) {
    if (!s) return -1;
    AsnInput in = AsnInput::stream(s);
    return asn_ParseSignedFromInput(&in, tbsOffset, tbsSize, sigAlgOffset, sigOffset);
}
