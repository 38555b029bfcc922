// PEM text (RFC 7468): finding the body, reading and writing blocks, and the
// cascade that decides whether one string argument names a file or holds
// PEM or base64 text.
#include "encode/pem.h"

#include <sys/stat.h>

#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "util/emem.h"
#include "util/safe_write.h"
#include "util/futil.h"

namespace {

constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool is_b64_char(char c) {
    return c && (strchr(kB64, c) != nullptr || c == '=');
}
bool is_ws(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char* find_in(const char* hay, size_t n, const char* needle) {
    size_t k = strlen(needle);
    if (k > n) return nullptr;
    const void* p = memmem(hay, n, needle, k);
    return static_cast<const char*>(p);
}

// Decodes base64 text (skipping characters outside the alphabet) into
// wiping storage.
velt::SecureBytes decode_b64(const char* text, size_t n) {
    velt::SecureString copy(text, n);
    velt::SecureBytes out(n / 4 * 3 + 3);
    long got = b64decode(out.data(), long(out.size()), copy.c_str());
    out.resize(got > 0 ? size_t(got) : 0);
    return out;
}

AsnNode* parse_pem_text(const char* text, size_t n) {
    size_t bodyLen = 0;
    const char* body = PEM_FindEncoded(text, n, &bodyLen);
    if (!body) return nullptr;
    velt::SecureBytes der = decode_b64(body, bodyLen);
    return der.empty() ? nullptr : asn_ReadBytes(der.data(), der.size());
}

AsnNode* parse_b64_text(const char* text, size_t n) {
    velt::SecureBytes der = decode_b64(text, n);
    return der.empty() ? nullptr : asn_ReadBytes(der.data(), der.size());
}

// Whole content of a stream from its current position, at most
// kMaxInputFileSize bytes.
bool slurp(FILE* f, velt::SecureString* out) {
    return futil_read_stream(f, *out, kMaxInputFileSize) == 0;
}

// A named input file for a whole-file read (regular, not above the limit).
FILE* open_input(const char* name) {
    return futil_open_input(name, kMaxInputFileSize, nullptr);
}

int peek(FILE* f) {
    int c = fgetc(f);
    if (c != EOF) ungetc(c, f);
    return c;
}

// A file's chain: BER when its first byte starts a SEQUENCE, else the
// PEM body of its text, or (anyBase64) its whole text as base64.
AsnNode* read_file_chain(FILE* f, bool anyBase64) {
    int c = peek(f);
    if (c == 0x30) return asn_ReadFile(f);
    velt::SecureString text;
    if (c == EOF || !slurp(f, &text)) return nullptr;
    if (!anyBase64 || c == '-') return parse_pem_text(text.data(), text.size());
    return parse_b64_text(text.data(), text.size());
}

bool all_base64(const char* s) {
    for (; *s; ++s) {
        if (!is_b64_char(*s) && !is_ws(*s)) return false;
    }
    return true;
}

}  // namespace

// ---- Recognisers ----

bool PEM_IsBase64String(const char* s) {
    return s && all_base64(s);
}

bool PEM_IsBase64SeqString(const char* s) {
    return s && s[0] == 'M' && all_base64(s + 1);
}

bool PEM_IsPEMString(const char* s) {
    if (!s || s[0] != '-') return false;
    size_t n = strlen(s);
    if (n <= 31 || !strstr(s, "-----BEGIN")) return false;
    size_t body = 0;
    return PEM_FindEncoded(s, n, &body) && body > 0;
}

bool PEM_IsBERSeq(FILE* stream) {
    return stream && peek(stream) == 0x30;
}
bool PEM_IsBase64SeqStream(FILE* stream) {
    return stream && peek(stream) == 'M';
}

const char* PEM_FindEncoded(const char* text, size_t length, size_t* bodyLength) {
    if (bodyLength) *bodyLength = 0;
    if (!text || length < 31) return nullptr;
    const char* end = text + length;
    const char* begin = find_in(text, length, "-----BEGIN");
    if (!begin) return nullptr;
    const char* after = begin + 10;
    const char* dashes = find_in(after, size_t(end - after), "-----");
    if (!dashes) return nullptr;
    const char* body = dashes + 5;
    while (body < end && is_ws(*body)) ++body;
    const char* stop = find_in(body, size_t(end - body), "-----END");
    if (!stop) stop = find_in(body, size_t(end - body), "-----BEGIN");
    if (!stop) return nullptr;
    if (bodyLength) *bodyLength = size_t(stop - body);
    return body;
}

// ---- Writers ----

namespace {

// The PEM block of b64encapsulate_ex as text (wiping storage: the data may
// be a key).
velt::SecureString pem_text(const uint8_t* data, size_t length, const char* label, long lineLength,
                            long flag) {
    const char* eol = (flag & 1) ? "\n" : "\r\n";
    size_t L = lineLength < 4 ? 64 : size_t(lineLength) / 4 * 4;
    size_t piece = L / 4 * 3;
    bool labelled = label && *label;
    velt::SecureString out;
    if (labelled) {
        out += "-----BEGIN ";
        out += label;
        out += "-----";
        out += eol;
    }
    velt::SecureString line(L + 1, '\0');
    for (size_t at = 0; at < length; at += piece) {
        size_t k = std::min(piece, length - at);
        long n = b64encode(line.data(), long(line.size()), data + at, long(k));
        out.append(line.data(), n > 0 ? size_t(n) : 0);
        out += eol;
    }
    if (labelled) {
        out += "-----END ";
        out += label;
        out += "-----";
        out += eol;
    }
    return out;
}

// Output files are as private as their input: owner-only when the input is
// (or cannot be examined), else readable as usual.
velt::WriteMode mode_like(const char* inFile) {
    struct stat st;
    if (stat(inFile, &st) != 0 || (st.st_mode & 077) == 0) return velt::WriteMode::kSecret;
    return velt::WriteMode::kPublic;
}

// Whole content of a named file; false when it cannot be opened or read.
bool read_whole(const char* name, velt::SecureString* out) {
    FILE* f = open_input(name);
    if (!f) return false;
    bool ok = slurp(f, out);
    fclose(f);
    return ok;
}

}  // namespace

long b64encapsulate_ex(FILE* out, const uint8_t* data, size_t length, const char* label, long lineLength,
                       long flag) {
    if (!data || !length || !out) return -1;
    velt::SecureString text = pem_text(data, length, label, lineLength, flag);
    return long(fwrite(text.data(), 1, text.size(), out));
}

long b64encapsulate(FILE* out, const uint8_t* data, size_t length, const char* label, long lineLength) {
    return b64encapsulate_ex(out, data, length, label, lineLength, 0);
}

long b64encap_f2f(FILE* out, FILE* in, const char* label, long lineLength, long flag) {
    if (!out || !in) return -1;
    const char* eol = (flag & 1) ? "\n" : "\r\n";
    long L = lineLength < 4 ? 64 : lineLength;
    long written = 0;
    bool labelled = label && *label;
    if (labelled) written += fprintf(out, "-----BEGIN %s-----%s", label, eol);
    uint8_t three[3];
    long onLine = 0;
    size_t got;
    while ((got = fread(three, 1, 3, in)) > 0) {
        std::string g = b64_string(three, got);
        written += long(fwrite(g.data(), 1, g.size(), out));
        onLine += long(g.size());
        if (onLine >= L) {
            written += fprintf(out, "%s", eol);
            onLine = 0;
        }
        if (got < 3) break;
    }
    if (onLine > 0) written += fprintf(out, "%s", eol);
    if (labelled) written += fprintf(out, "-----END %s-----%s", label, eol);
    return written;
}

long PEM_ConvertFileFromBinaryEx(const char* file, const char* label, long lineLength, long options) {
    if (!file) return 1;
    velt::SecureString data;
    if (!read_whole(file, &data)) return 1;
    velt::SecureString text;
    if (!data.empty())
        text = pem_text(reinterpret_cast<const uint8_t*>(data.data()), data.size(), label, lineLength,
                        (options & 0x20000) ? 1 : 0);
    // The new content replaces the file in one rename, never in place.
    return velt::safe_write_file(file, text.data(), text.size(), mode_like(file)) == 0 ? 0 : 2;
}

long PEM_ConvertFileFromBinary(const char* file, const char* label) {
    return PEM_ConvertFileFromBinaryEx(file, label, 64, 0);
}

// ---- Readers ----

uint8_t* PEM_ReadStream(FILE* stream, size_t* length) {
    if (length) *length = 0;
    if (!stream) return nullptr;
    velt::SecureString text;
    if (!slurp(stream, &text)) return nullptr;
    size_t bodyLen = 0;
    const char* body = PEM_FindEncoded(text.data(), text.size(), &bodyLen);
    if (!body) return nullptr;
    velt::SecureBytes der = decode_b64(body, bodyLen);
    if (der.empty()) return nullptr;
    uint8_t* out = static_cast<uint8_t*>(emalloc(der.size()));
    memcpy(out, der.data(), der.size());
    if (length) *length = der.size();
    return out;
}

AsnNode* PEM_ReadPEMString(const char* s) {
    return s ? parse_pem_text(s, strlen(s)) : nullptr;
}

AsnNode* PEM_ReadSeqFromBEROrPEMStream(FILE* stream) {
    if (!stream) return nullptr;
    return read_file_chain(stream, false);
}

AsnNode* PEM_ReadPEMOrB64Stream(FILE* stream) {
    if (!stream) return nullptr;
    velt::SecureString text;
    if (!slurp(stream, &text) || text.empty()) return nullptr;
    if (text[0] == '-') return parse_pem_text(text.data(), text.size());
    return parse_b64_text(text.data(), text.size());
}

AsnNode* PEM_ReadSeqFromFileOrPEMString(const char* s, long* error) {
    if (error) *error = 0;
    if (!s || !*s) {
        if (error) *error = -OPEN_ERROR;
        return nullptr;
    }
    AsnNode* chain = nullptr;
    if (PEM_IsPEMString(s)) {
        chain = PEM_ReadPEMString(s);
    } else if (s[0] == 'M') {
        chain = parse_b64_text(s, strlen(s));
    }
    if (chain) return chain;
    FILE* f = open_input(s);
    if (!f) {
        if (error) *error = -OPEN_ERROR;
        return nullptr;
    }
    chain = read_file_chain(f, false);
    fclose(f);
    if (!chain && error) *error = -BAD_FORMAT_ERROR;
    return chain;
}

AsnNode* pemReadAsnFromString(const char* s, size_t minimumLength) {
    if (!s) return nullptr;
    while (is_ws(*s)) ++s;
    size_t n = strlen(s);
    if (n > minimumLength && all_base64(s)) {
        AsnNode* chain = parse_b64_text(s, n);
        if (chain) return chain;
    }
    AsnNode* chain = parse_pem_text(s, n);
    if (chain) return chain;
    static const char kPemB64[] = "LS0tLS1CRUdJ";
    if (n > strlen(kPemB64) && strncmp(s, kPemB64, strlen(kPemB64)) == 0) {
        velt::SecureBytes text = decode_b64(s, n);
        return parse_pem_text(reinterpret_cast<const char*>(text.data()), text.size());
    }
    return nullptr;
}

AsnNode* pemReadAsnFromFileOrString(const char* s, size_t minimumLength, long* error) {
    if (error) *error = 0;
    if (!s || !*s) {
        if (error) *error = -NULL_ERROR;
        return nullptr;
    }
    AsnNode* chain = pemReadAsnFromString(s, minimumLength);
    if (chain) return chain;
    FILE* f = open_input(s);
    if (!f) {
        if (strlen(s) >= minimumLength) {
            eprintcatf("Invalid ASN.1 data");
            if (error) *error = -INVALID_DATA_ERROR;
        } else {
            eprintcatf("Unable to open file %s", describe_input(s).c_str());
            if (error) *error = -OPEN_ERROR;
        }
        return nullptr;
    }
    chain = read_file_chain(f, false);
    fclose(f);
    if (!chain) {
        eprintcatf("Invalid ASN.1 data");
        if (error) *error = -INVALID_DATA_ERROR;
    }
    return chain;
}

AsnNode* pemReadAsnFromAnything(const char* s, long* error) {
    if (error) *error = 0;
    if (!s || !*s) {
        if (error) *error = -NULL_ERROR;
        return nullptr;
    }
    AsnNode* chain = pemReadAsnFromString(s, 0);
    if (chain) return chain;
    FILE* f = open_input(s);
    if (!f) {
        if (PEM_IsPEMString(s) || PEM_IsBase64SeqString(s)) {
            eprintcatf("%s is not valid ASN.1 data and no file of that name exists",
                       describe_input(s).c_str());
            if (error) *error = -INVALID_DATA_ERROR;
        } else {
            eprintcatf("Unable to open file %s", describe_input(s).c_str());
            if (error) *error = -OPEN_ERROR;
        }
        return nullptr;
    }
    chain = read_file_chain(f, true);
    fclose(f);
    if (!chain) {
        eprintcatf("Invalid ASN.1 data");
        if (error) *error = -INVALID_DATA_ERROR;
    }
    return chain;
}

long b64decap_f2f(FILE* out, FILE* in) {
    if (!out || !in) return 0;
    long start = ftell(in);
    char line[1024];
    if (!fgets(line, sizeof line, in) || !strstr(line, "-----BEGIN")) {
        if (start < 0 || fseek(in, start, SEEK_SET) != 0) return 0;
    }
    ewipe(line, sizeof line);
    long written = 0;
    uint32_t acc = 0;
    int pending = 0;
    int c;
    while ((c = fgetc(in)) != EOF) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        const char* p = c ? strchr(kB64, c) : nullptr;
        if (!p) break;
        acc = (acc << 6) | uint32_t(p - kB64);
        if (++pending == 4) {
            uint8_t b[3] = {uint8_t(acc >> 16), uint8_t(acc >> 8), uint8_t(acc)};
            written += long(fwrite(b, 1, 3, out));
            pending = 0;
            acc = 0;
        }
    }
    if (pending == 2) {
        uint8_t b = uint8_t(acc >> 4);
        written += long(fwrite(&b, 1, 1, out));
    } else if (pending == 3) {
        uint8_t b[2] = {uint8_t(acc >> 10), uint8_t(acc >> 2)};
        written += long(fwrite(b, 1, 2, out));
    }
    acc = 0;
    return written;
}

// ---- File converters ----

long pemFileFromBinFile(const char* outFile, const char* inFile, const char* label, long lineLength,
                        long options) {
    if (!outFile || !*outFile || !inFile || !*inFile) return BAD_PARAM_ERROR;
    velt::SecureString data;
    if (!read_whole(inFile, &data)) {
        eprintf("Cannot read input file %s", describe_input(inFile).c_str());
        return OPEN_ERROR;
    }
    velt::SecureString text;
    if (!data.empty())
        text = pem_text(reinterpret_cast<const uint8_t*>(data.data()), data.size(), label, lineLength,
                        (options & 0x20000) ? 1 : 0);
    return velt::safe_write_file(outFile, text.data(), text.size(), mode_like(inFile));
}

namespace {

// A PEM body as RFC 7468 allows it: base64 characters and white space only,
// "=" padding only at the very end, no RFC 1421 header lines, not empty.
// 0, or 7 with the reason in the error record.
long check_pem_body(const char* body, size_t n, const char* file) {
    size_t symbols = 0, pads = 0;
    for (size_t i = 0; i < n; ++i) {
        char c = body[i];
        if (is_ws(c)) continue;
        if (c == ':') {
            eprintf("PEM file '%s' has header lines (Proc-Type, DEK-Info): not supported", file);
            return BAD_FORMAT_ERROR;
        }
        if (c == '=') {
            ++pads;
            continue;
        }
        if (!c || !strchr(kB64, c)) {
            eprintf("PEM body of '%s' holds a character outside base64", file);
            return BAD_FORMAT_ERROR;
        }
        if (pads) {
            eprintf("PEM body of '%s' has '=' before its end", file);
            return BAD_FORMAT_ERROR;
        }
        ++symbols;
    }
    if (symbols == 0) {
        eprintf("PEM body of '%s' is empty", file);
        return BAD_FORMAT_ERROR;
    }
    // Whole groups of four, or a last group of two or three symbols with
    // the padding that completes it (or none at all).
    const size_t rem = symbols % 4;
    if (rem == 1 || pads > 2 || (pads && (symbols + pads) % 4 != 0)) {
        eprintf("PEM body of '%s' is not complete base64", file);
        return BAD_FORMAT_ERROR;
    }
    return 0;
}

}  // namespace

long pemFileToBinFile(const char* outFile, const char* inFile) {
    if (!outFile || !*outFile || !inFile || !*inFile) return BAD_PARAM_ERROR;
    velt::SecureString text;
    if (!read_whole(inFile, &text)) {
        eprintf("Cannot read input file %s", describe_input(inFile).c_str());
        return OPEN_ERROR;
    }
    size_t bodyLen = 0;
    const char* body = PEM_FindEncoded(text.data(), text.size(), &bodyLen);
    if (!body) {
        eprintf("No PEM data in '%s'", inFile);
        return BAD_FORMAT_ERROR;
    }
    if (long r = check_pem_body(body, bodyLen, inFile)) return r;
    velt::SecureBytes der = decode_b64(body, bodyLen);
    if (der.empty()) {
        eprintf("PEM body of '%s' is not valid base64", inFile);
        return BAD_FORMAT_ERROR;
    }
    return velt::safe_write_file(outFile, der.data(), der.size(), mode_like(inFile));
}

// ---- PKCS #7 certificate chain test ----

long pemCheckIsP7Chain(const char* s) {
    long err = 0;
    AsnNode* chain = pemReadAsnFromAnything(s, &err);
    if (!chain) return err ? err : -INVALID_DATA_ERROR;
    long result = 1;
    auto children = [](AsnNode* node) {
        std::vector<AsnNode*> out;
        for (AsnNode* p = node ? node->next : nullptr; p && p->level > node->level; p = p->next) {
            if (p->level == node->level + 1 && !asn_isEOC(p)) out.push_back(p);
        }
        return out;
    };
    if (chain->tag != 16 || !(chain->id & 0x20) || !chain->next || chain->next->level <= chain->level) {
        eprintf("Invalid input data: expecting an outer SEQUENCE");
        asn_Free(&chain);
        return -BAD_FORMAT_ERROR;
    }
    AsnNode* first = chain->next;
    OidRec signedData;
    oid_SetOID(&signedData, "signedData");
    if (first->tag == 6 && first->id == 0 && first->length == signedData.length && first->data &&
        memcmp(first->data, signedData.oct, size_t(signedData.length)) == 0) {
        // ContentInfo { signedData, [0] SignedData { version, digestAlgorithms SET,
        //   encapContentInfo, [0] certificates, [1] crls, signerInfos SET } }
        auto top = children(chain);
        AsnNode* sd = nullptr;
        if (top.size() == 2 && asn_isTagged(top[1], 0)) {
            auto w = children(top[1]);
            if (!w.empty() && w[0]->tag == 16) sd = w[0];
        }
        if (sd) {
            auto f = children(sd);
            if (f.size() >= 4 && f[1]->tag == 17 && f.back()->tag == 17 && f[1] != f.back()) {
                bool emptyAlgs = children(f[1]).empty();
                bool emptySigners = children(f.back()).empty();
                result = emptyAlgs && emptySigners ? 0 : 1;
            }
        }
    }
    // Any other content type, or a SEQUENCE whose first element is not an
    // OBJECT IDENTIFIER, is not a certificate chain.
    asn_Free(&chain);
    return result;
}
