// Distinguished names: the DN text syntax, building an X.501 Name from it,
// the two text forms of a Name (the library's own and RFC 4514), and Name
// comparison.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "encode/encode.h"
#include "frame/error.h"
#include "util/emem.h"

namespace {

struct Keyword {
    const char* key;
    const char* longName;
};

constexpr Keyword kKeywords[] = {
    {"CN", "commonName"},
    {"C", "countryName"},
    {"O", "organizationName"},
    {"OU", "organizationalUnitName"},
    {"S", "stateOrProvinceName"},
    {"ST", "stateOrProvinceName"},
    {"L", "localityName"},
    {"E", "emailAddress"},
    {"dnQualifier", "dnQualifier"},
    {"pseudonym", "pseudonym"},
    {"SN", "surname"},
    {"G", "givenName"},
    {"GN", "givenName"},
    {"T", "title"},
    {"TITLE", "title"},
    {"DC", "domainComponent"},
    {"STREET", "streetAddress"},
    {"SERIALNUMBER", "serialNumber"},
    {"UID", "userID"},
    {"initials", "initials"},
    {"generationQualifier", "generationQualifier"},
};

struct ShortName {
    const char* longName;
    const char* shortName;
    bool rfc4514;
};

constexpr ShortName kNames[] = {
    {"commonName", "CN", true},
    {"countryName", "C", true},
    {"localityName", "L", true},
    {"stateOrProvinceName", "ST", true},
    {"organizationName", "O", true},
    {"organizationalUnitName", "OU", true},
    {"emailAddress", "E", false},
    {"surname", "SN", false},
    {"givenName", "G", false},
    {"title", "T", false},
    {"domainComponent", "DC", true},
    {"streetAddress", "STREET", true},
    {"serialNumber", "SERIALNUMBER", false},
    {"userID", "UID", true},
};

constexpr const char* kDottedOid = "DOTTED_OID";

int hexval(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char* dup_n(const char* p, size_t n) {
    char* s = static_cast<char*>(emalloc(n + 1));
    if (n) memcpy(s, p, n);
    s[n] = '\0';
    return s;
}

void append_entry(DnList* list, const char* attrib, const std::string& value, const char* oid,
                  size_t oidLen) {
    DnEntry* e = static_cast<DnEntry*>(ecalloc(1, sizeof(DnEntry)));
    e->attrib = attrib;
    e->value = dup_n(value.data(), value.size());
    e->valueLen = value.size();
    e->oid = oid ? dup_n(oid, oidLen) : nullptr;
    DnEntry** at = &list->first;
    while (*at) at = &(*at)->next;
    *at = e;
    ++list->count;
}

const DnEntry* entry_at(const DnList* list, long i) {
    if (!list || i < 0) return nullptr;
    const DnEntry* e = list->first;
    while (e && i--) e = e->next;
    return e;
}

// Direct children of a node, in order.
std::vector<AsnNode*> kids(AsnNode* node) {
    std::vector<AsnNode*> out;
    if (!node) return out;
    for (AsnNode* p = node->next; p && p->level > node->level; p = p->next) {
        if (p->level == node->level + 1 && !asn_isEOC(p)) out.push_back(p);
    }
    return out;
}

struct Ava {
    AsnNode* oid;
    AsnNode* value;
};

// Attributes of a Name, RDN by RDN: false with the 1-based number of the
// first attribute that lacks its OBJECT IDENTIFIER or value.
bool name_attributes(AsnNode* name, std::vector<std::vector<Ava>>* rdns, int* bad) {
    *bad = 0;
    if (!name || name->tag != 16 || !(name->id & 0x20)) {
        *bad = 1;
        return false;
    }
    int count = 0;
    for (AsnNode* rdn : kids(name)) {
        std::vector<Ava> set;
        if (rdn->tag != 17 || !(rdn->id & 0x20)) {
            *bad = count + 1;
            return false;
        }
        for (AsnNode* attr : kids(rdn)) {
            ++count;
            auto f = kids(attr);
            if (attr->tag != 16 || f.size() < 2 || f[0]->tag != 6 || (f[0]->id & 0xE0) != 0 || !f[0]->data) {
                *bad = count;
                return false;
            }
            set.push_back(Ava{f[0], f[1]});
        }
        rdns->push_back(set);
    }
    return true;
}

std::string dotted(AsnNode* oid) {
    char buf[512];
    if (!oid || !oid->data || oid_OctetsToDotted(oid->data, size_t(oid->length), buf, sizeof buf) < 0) {
        std::string out = "#";
        out += hex_string(oid ? oid->data : nullptr, oid && oid->length > 0 ? size_t(oid->length) : 0);
        return out;
    }
    return buf;
}

// Table name of an OID node, or its dotted text (false) when not in the table.
bool oid_name(AsnNode* oid, std::string* name) {
    OidRec rec;
    int r = asn_SetOid(&rec, oid);
    if (rec.name[0] == '\0') {
        *name = dotted(oid);
        return false;
    }
    *name = rec.name;
    return r == 0;
}

std::string element_hex(AsnNode* node) {
    int64_t n = 0;
    AsnNode* copy = asn_ExtractCurrent(node);
    uint8_t* der = asn_Store(copy, &n);
    asn_Free(&copy);
    std::string s = hex_string(der, size_t(n), false);
    efree_mem(der);
    return s;
}

// A value's text from asn_StoreUTF8String, whole: a NUL inside the value
// must not cut it short.
std::string utf8_text(const AsnNode* value, int64_t* n) {
    char* s = asn_StoreUTF8String(value, n);
    std::string r;
    if (s) r.assign(s, *n > 0 ? size_t(*n) : strlen(s));
    efree_mem(s);
    return r;
}

// Octets of the control character that starts at s[i], or 0: C0 controls
// (below 0x20), DEL, and the C1 controls U+0080 to U+009F, which are the
// octets C2 80 to C2 9F in UTF-8 text and single octets 0x80 to 0x9F in
// Latin-1 text. Printed names escape them, so that a value can neither hide
// what follows it nor drive a terminal.
size_t control_at(const std::string& s, size_t i, bool utf8) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) return 1;
    if (!utf8) return c >= 0x80 && c <= 0x9F ? 1 : 0;
    if (c != 0xC2 || i + 1 >= s.size()) return 0;
    const unsigned char d = static_cast<unsigned char>(s[i + 1]);
    return d >= 0x80 && d <= 0x9F ? 2 : 0;
}

void put_hex_escapes(std::string& out, const std::string& s, size_t i, size_t n) {
    char hx[4];
    for (size_t k = 0; k < n; ++k) {
        snprintf(hx, sizeof hx, "\\%02X", static_cast<unsigned char>(s[i + k]));
        out += hx;
    }
}

bool utf8_text_valid(const std::string& s) {
    return asn_utf8_valid(reinterpret_cast<const uint8_t*>(s.data()), s.size()) != 0;
}

int finish(char* out, long max, const std::string& text) {
    long len = long(text.size());
    if (!out || max <= 0) return int(len);
    if (len > max) {
        out[0] = '\0';
        return -SHORT_BUF_ERROR;
    }
    memcpy(out, text.data(), text.size());
    out[len] = '\0';
    return int(len);
}

// UTF-8 to Latin-1; false when a character is above U+00FF or malformed.
bool utf8_to_latin1(const std::string& in, std::string* out) {
    out->clear();
    const uint8_t* p = reinterpret_cast<const uint8_t*>(in.data());
    size_t n = in.size();
    if (!asn_utf8_valid(p, n)) return false;
    for (size_t i = 0; i < n;) {
        if (p[i] < 0x80) {
            *out += char(p[i++]);
        } else if ((p[i] == 0xC2 || p[i] == 0xC3) && i + 1 < n) {
            *out += char(((p[i] & 0x1F) << 6) | (p[i + 1] & 0x3F));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

std::string rfc4514_escape(const std::string& v, long options) {
    std::string src = v;
    bool raw8 = (options & 0x800000) != 0;
    if (!raw8 && (options & 0x400000)) {
        std::string l1;
        if (utf8_to_latin1(v, &l1)) {
            src = l1;
            raw8 = true;
        }
    }
    const bool utf8 = raw8 && utf8_text_valid(src);
    std::string out;
    char hx[4];
    for (size_t i = 0; i < src.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(src[i]);
        if (size_t k = raw8 ? control_at(src, i, utf8) : 0; k > 0) {
            put_hex_escapes(out, src, i, k);
            i += k - 1;
        } else if (i == 0 && (c == ' ' || c == '#')) {
            out += '\\';
            out += char(c);
        } else if (i + 1 == src.size() && c == ' ') {
            out += "\\ ";
        } else if (strchr("\"+,;<=>\\", c) && c) {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && !raw8)) {
            snprintf(hx, sizeof hx, "\\%02X", c);
            out += hx;
        } else {
            out += char(c);
        }
    }
    return out;
}

// Key of one attribute for comparison: the dotted OID, then either the
// Latin-1 display text (so PrintableString and UTF8String of the same text
// are equal) or, for values that have no Latin-1 form, the content octets.
std::string compare_key(const Ava& a) {
    std::string key = dotted(a.oid);
    key += '\0';
    AsnNode* v = a.value;
    bool stringType = (v->id & 0xE0) == 0 && (v->tag == 12 || v->tag == 18 || v->tag == 19 || v->tag == 20 ||
                                              v->tag == 22 || v->tag == 26 || v->tag == 28 || v->tag == 30);
    std::string text;
    if (stringType) {
        text = asn_DataStringText(v, 1);
        // The "#x" form means the value had no Latin-1 form.
        if (text.size() >= 2 && text[0] == '#' && text[1] == 'x') {
            int64_t n = v->data && v->length > 0 ? v->length : 0;
            std::string hexform = "#x" + hex_string(v->data, size_t(n), true);
            if (text == hexform) stringType = false;
        }
    }
    if (stringType) {
        key += 'T';
        key += text;
    } else {
        key += 'B';
        key += hex_string(v->data, v->data && v->length > 0 ? size_t(v->length) : 0, true);
    }
    return key;
}

}  // namespace

// ---- Entry list ----

DnList* dn_New() {
    return static_cast<DnList*>(ecalloc(1, sizeof(DnList)));
}

void dn_Free(DnList** list) {
    if (!list || !*list) return;
    DnEntry* e = (*list)->first;
    while (e) {
        DnEntry* next = e->next;
        if (e->value) {
            ewipe(e->value, e->valueLen);
            efree_mem(e->value);
        }
        efree_mem(e->oid);
        efree_mem(e);
        e = next;
    }
    efree_mem(*list);
    *list = nullptr;
}

long dn_count(const DnList* list) {
    return list ? list->count : 0;
}
const char* dn_attribname(const DnList* list, long i) {
    const DnEntry* e = entry_at(list, i);
    return e ? e->attrib : nullptr;
}
const char* dn_value(const DnList* list, long i) {
    const DnEntry* e = entry_at(list, i);
    return e ? e->value : nullptr;
}
const char* dn_oid(const DnList* list, long i) {
    const DnEntry* e = entry_at(list, i);
    return e ? e->oid : nullptr;
}
void dn_printf(const DnList* list) {
    for (const DnEntry* e = list ? list->first : nullptr; e; e = e->next)
        printf("%s=%s\n", e->attrib, e->value);
}

const char* dn_code(const char* longName) {
    if (!longName) return nullptr;
    for (const auto& n : kNames) {
        if (strcmp(n.longName, longName) == 0) return n.shortName;
    }
    return longName;
}

const char* dn_desc(const char* longName) {
    if (!longName) return nullptr;
    for (const auto& n : kNames) {
        if (strcmp(n.longName, longName) == 0) return n.rfc4514 ? n.shortName : nullptr;
    }
    return nullptr;
}

int isValidPrintableString(const char* s) {
    if (!s) return 0;
    for (; *s; ++s) {
        char c = *s;
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  (c && strchr(" '()+,-./:=?", c));
        if (!ok) return 0;
    }
    return 1;
}

int isValidIA5String(const char* s) {
    if (!s) return 0;
    for (; *s; ++s) {
        if (*s < 0x20 || *s > 0x7E) return 0;
    }
    return 1;
}

long dn_parse(DnList* list, const char* text) {
    if (!list || !text) return -1;
    const char* p = text;
    if (strcmp(text, "$") == 0) return 0;
    for (;;) {
        while (*p == ';' || *p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        const char* eq = strchr(p, '=');
        if (!eq) return -1;
        const char* semi = strchr(p, ';');
        if (semi && semi < eq) return -1;
        std::string key(p, size_t(eq - p));
        const char* attrib = nullptr;
        bool isOid = key.size() && key[0] >= '0' && key[0] <= '9';
        if (isOid) {
            attrib = kDottedOid;
        } else {
            for (const auto& k : kKeywords) {
                if (strcasecmp(k.key, key.c_str()) == 0) {
                    attrib = k.longName;
                    break;
                }
            }
        }
        if (!attrib) return -1;
        p = eq + 1;
        while (*p == ' ' || *p == '\t') ++p;
        std::string value;
        if (*p == '\'') {
            ++p;
            while (*p && *p != '\'') {
                if (*p == '\\' && p[1]) {
                    if (hexval(p[1]) >= 0 && p[2] && hexval(p[2]) >= 0) {
                        value += char(hexval(p[1]) * 16 + hexval(p[2]));
                        p += 3;
                    } else {
                        value += p[1];
                        p += 2;
                    }
                } else {
                    value += *p++;
                }
            }
            if (*p == '\'') ++p;
            while (*p && *p != ';') ++p;
        } else {
            const char* end = strchr(p, ';');
            if (!end) end = p + strlen(p);
            std::string raw(p, size_t(end - p));
            p = end;
            if (raw.size() >= 3 && raw[0] == '#' && raw[1] == '#' && (raw[2] == 'x' || raw[2] == 'X')) {
                value = raw.substr(1);
            } else if (raw.size() >= 2 && raw[0] == '#' && (raw[1] == 'x' || raw[1] == 'X')) {
                std::string digits;
                for (size_t i = 2; i < raw.size(); ++i) {
                    if (hexval(raw[i]) >= 0) digits += raw[i];
                }
                if (digits.empty()) return -1;
                if (digits.size() % 2) digits.insert(digits.begin(), '0');
                for (size_t i = 0; i < digits.size(); i += 2) {
                    value += char(hexval(digits[i]) * 16 + hexval(digits[i + 1]));
                }
            } else {
                value = raw;
            }
        }
        append_entry(list, attrib, value, isOid ? key.c_str() : nullptr, key.size());
    }
    return list->count;
}

long dn_check(const DnList* list) {
    for (const DnEntry* e = list ? list->first : nullptr; e; e = e->next) {
        if (!e->oid) continue;
        OidRec rec;
        if (oid_SetOIDFromDotted(&rec, e->oid) <= 0) {
            eprintf("Bad OID");
            return -BAD_PARAM_ERROR;
        }
        if (e->valueLen >= 1 && e->value[0] == '#') {
            std::vector<uint8_t> der = hex_bytes(e->value + 1);
            AsnNode* v = asn_ReadBytes(der.data(), der.size());
            int64_t size = v ? asn_Size(v) : 0;
            asn_Free(&v);
            if (!size || size_t(size) != der.size() || (e->valueLen - 1) != 2 * der.size()) {
                eprintf("Bad ASN.1");
                return -BAD_PARAM_ERROR;
            }
        }
    }
    return 0;
}

AsnNode* dn_MakeName(const DnList* list, long options) {
    AsnNode* rdns = nullptr;
    for (const DnEntry* e = list ? list->first : nullptr; e; e = e->next) {
        AsnNode* oid = e->oid ? asn_NewOIDFromDotted(e->oid) : asn_NewOID(e->attrib);
        AsnNode* value = nullptr;
        std::string v(e->value, e->valueLen);
        if (e->oid && !v.empty() && v[0] == '#') {
            std::vector<uint8_t> der = hex_bytes(e->value + 1);
            value = asn_ReadBytes(der.data(), der.size());
        } else if (options & 0x800000) {
            value = asn_NewUTF8StringA(v.c_str());
            if (v.size() != strlen(v.c_str())) {
                asn_Free(&value);
                value = asn_NewStringOfType(12, reinterpret_cast<const uint8_t*>(v.data()), v.size());
            }
        } else {
            bool hasNul = v.size() != strlen(v.c_str());
            uint32_t tag = !hasNul && isValidPrintableString(v.c_str()) ? 19
                           : !hasNul && isValidIA5String(v.c_str())     ? 22
                                                                        : 20;
            value = asn_NewStringOfType(tag, reinterpret_cast<const uint8_t*>(v.data()), v.size());
        }
        if (!oid || !value || oid->length < 0) {
            asn_Free(&oid);
            asn_Free(&value);
            asn_Free(&rdns);
            return nullptr;
        }
        AsnNode* rdn = asn_Set(asn_Sequence(asn_Link(oid, value)));
        if (!rdn) {
            asn_Free(&rdns);
            return nullptr;
        }
        rdns = asn_Link(rdns, rdn);
    }
    return asn_Sequence(rdns);
}

AsnNode* dn_MakeNameFromString(const char* text, long options, long* error) {
    if (error) *error = 0;
    DnList* list = dn_New();
    long n = text ? dn_parse(list, text) : -1;
    AsnNode* name = nullptr;
    bool empty = text && strcmp(text, "$") == 0;
    if (n < 0 || (n == 0 && !empty) || dn_check(list) != 0 || !(name = dn_MakeName(list, options))) {
        dn_Free(&list);
        eprintcatf("Invalid distinguished name string");
        if (error) *error = -BAD_PARAM_ERROR;
        return nullptr;
    }
    dn_Free(&list);
    return name;
}

long x509getDNStringFromAsn(char* out, long max, AsnNode* name, const char* delimiter, long options) {
    if (out && max > 0) out[0] = '\0';
    std::vector<std::vector<Ava>> rdns;
    int bad = 0;
    if (!name_attributes(name, &rdns, &bad)) {
        eprintcatf("Invalid AVA in Distinguished Name %d", bad);
        return -BAD_FORMAT_ERROR;
    }
    std::vector<std::string> parts;
    bool rfc = (options & 0x1000) != 0;
    for (const auto& rdn : rdns) {
        for (const Ava& a : rdn) {
            std::string longName;
            bool known = oid_name(a.oid, &longName);
            std::string item;
            if (rfc) {
                const char* kw = known ? dn_desc(longName.c_str()) : nullptr;
                if (kw) {
                    int64_t n = 0;
                    std::string v = utf8_text(a.value, &n);
                    item = std::string(kw) + "=" + (n > 0 ? rfc4514_escape(v, options) : v);
                } else {
                    item = dotted(a.oid) + "=#" + element_hex(a.value);
                }
            } else {
                std::string label = known ? dn_code(longName.c_str()) : longName;
                std::string v;
                if ((options & 0x800000) && !(options & 0x400000)) {
                    int64_t n = 0;
                    v = utf8_text(a.value, &n);
                } else {
                    v = asn_DataStringText(a.value, (options & 0x400000) != 0);
                }
                // Quoted when it holds a delimiter or a control character;
                // inside the quotes a control character is written as a
                // backslash and two hexadecimal digits (as the DN text
                // parser reads them), an apostrophe or backslash after a
                // backslash.
                const bool utf8 = utf8_text_valid(v);
                bool control = false;
                for (size_t i = 0; i < v.size() && !control; ++i) control = control_at(v, i, utf8) > 0;
                if (control || v.find_first_of("\\;=") != std::string::npos) {
                    std::string q = "'";
                    for (size_t i = 0; i < v.size(); ++i) {
                        if (size_t k = control_at(v, i, utf8); k > 0) {
                            put_hex_escapes(q, v, i, k);
                            i += k - 1;
                            continue;
                        }
                        if (v[i] == '\'' || v[i] == '\\') q += '\\';
                        q += v[i];
                    }
                    v = q + "'";
                }
                item = label + "=" + v;
            }
            parts.push_back(item);
        }
    }
    std::string text;
    if (rfc) {
        for (size_t i = parts.size(); i-- > 0;) {
            text += parts[i];
            if (i) text += ',';
        }
    } else {
        char delim = delimiter && *delimiter ? *delimiter : ';';
        for (size_t i = 0; i < parts.size(); ++i) {
            if (i) text += delim;
            text += parts[i];
        }
    }
    return finish(out, max, text);
}

int x509matchNames(AsnNode* a, AsnNode* b) {
    if (!a || !b) return 0;
    AsnNode* ca = asn_ExtractCurrent(a);
    AsnNode* cb = asn_ExtractCurrent(b);
    int same = asn_Compare(ca, cb) == 0;
    asn_Free(&ca);
    asn_Free(&cb);
    if (same) return 1;
    std::vector<std::vector<Ava>> ra, rb;
    int bad = 0;
    if (!name_attributes(a, &ra, &bad) || !name_attributes(b, &rb, &bad)) return 0;
    if (ra.size() != rb.size()) return 0;
    // Every attribute of every RDN takes part: each RDN becomes the sorted
    // list of its attribute keys, and the Names match when their RDNs are
    // equal as multisets (RDN order does not matter).
    auto keys = [](const std::vector<std::vector<Ava>>& rdns) {
        std::vector<std::vector<std::string>> out;
        for (const auto& rdn : rdns) {
            std::vector<std::string> k;
            for (const Ava& a : rdn) k.push_back(compare_key(a));
            std::sort(k.begin(), k.end());
            out.push_back(std::move(k));
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    return keys(ra) == keys(rb) ? 1 : 0;
}

int x509matchIssuerAndSN(AsnNode* a, AsnNode* b) {
    if (!a || !b) return 0;
    AsnNode* ca = asn_ExtractCurrent(a);
    AsnNode* cb = asn_ExtractCurrent(b);
    int same = asn_Compare(ca, cb) == 0;
    asn_Free(&ca);
    asn_Free(&cb);
    if (same) return 1;
    auto fa = kids(a), fb = kids(b);
    if (fa.size() < 2 || fb.size() < 2 || fa[1]->tag != 2 || fb[1]->tag != 2) return 0;
    AsnNode* sa = asn_ExtractCurrent(fa[1]);
    AsnNode* sb = asn_ExtractCurrent(fb[1]);
    int serial = asn_Compare(sa, sb) == 0;
    asn_Free(&sa);
    asn_Free(&sb);
    return serial && x509matchNames(fa[0], fb[0]);
}
