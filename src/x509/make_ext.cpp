// The extension parameter string of the certificate and request builders:
// keyword=value pairs separated by ";" (keywords compared ignoring case,
// values optionally in single quotes), read into an ExtSettings record.
#include <strings.h>

#include <cctype>
#include <cstring>
#include <string>

#include "asn1/asn1.h"
#include "bigd/bigd.h"
#include "frame/error.h"
#include "x509/make.h"
#include "x509/make_der.h"

namespace velt::x509 {

namespace {

struct Named {
    const char* name;
    uint32_t bit;
};
const Named kKeyUsageNames[] = {
    {"digitalSignature", 0x1}, {"nonRepudiation", 0x2}, {"keyEncipherment", 0x4},
    {"dataEncipherment", 0x8}, {"keyAgreement", 0x10},  {"keyCertSign", 0x20},
    {"cRLSign", 0x40},         {"encipherOnly", 0x80},  {"decipherOnly", 0x100},
};
const char* const kExtKeyUsageNames[] = {"serverAuth",      "clientAuth",   "codeSigning",
                                         "emailProtection", "timeStamping", "OCSPSigning"};

bool same(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

bool is_hex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}
bool all_hex(const std::string& s) {
    for (char c : s)
        if (!is_hex(c)) return false;
    return !s.empty();
}
int hexval(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    return (std::tolower(static_cast<unsigned char>(c)) - 'a') + 10;
}
// Even-length hexadecimal text to octets; false for anything else.
bool hex_pairs(const std::string& s, std::vector<uint8_t>& out) {
    if (!all_hex(s) || s.size() % 2) return false;
    out.clear();
    for (size_t i = 0; i < s.size(); i += 2) out.push_back(uint8_t(hexval(s[i]) * 16 + hexval(s[i + 1])));
    return true;
}

std::string without_blanks(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t') out += c;
    return out;
}

std::vector<std::string> split_commas(const std::string& s) {
    std::vector<std::string> out;
    size_t at = 0;
    for (;;) {
        size_t comma = s.find(',', at);
        std::string piece = s.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (!piece.empty()) out.push_back(piece);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return out;
}

// Collects the detail text of every bad item: the first replaces the
// message, later ones are appended.
struct Problems {
    bool any = false;
    void add(const std::string& what, const std::string& item, const char* after = "'") {
        std::string msg = what + item.substr(0, 200) + after;
        if (any) {
            eprintcatf("%s", msg.c_str());
        } else {
            eprintf("%s", msg.c_str());
        }
        any = true;
    }
};

// IPv4 dotted quad (four decimal numbers 0 to 255) or IPv6 with all eight
// groups of one to four hexadecimal digits (RFC 4291 2.2, first form).
bool parse_ip(const std::string& s, std::vector<uint8_t>& out) {
    out.clear();
    if (s.find('.') != std::string::npos) {
        size_t at = 0;
        for (int i = 0; i < 4; ++i) {
            size_t digits = 0;
            unsigned v = 0;
            while (at < s.size() && s[at] >= '0' && s[at] <= '9' && digits < 3) {
                v = v * 10 + unsigned(s[at++] - '0');
                ++digits;
            }
            if (!digits || v > 255) return false;
            out.push_back(uint8_t(v));
            if (i < 3) {
                if (at >= s.size() || s[at] != '.') return false;
                ++at;
            }
        }
        return at == s.size();
    }
    if (s.find(':') == std::string::npos) return false;
    size_t at = 0;
    for (int i = 0; i < 8; ++i) {
        size_t digits = 0;
        unsigned v = 0;
        while (at < s.size() && is_hex(s[at]) && digits < 4) {
            v = v * 16 + unsigned(hexval(s[at++]));
            ++digits;
        }
        if (!digits) return false;
        out.push_back(uint8_t(v >> 8));
        out.push_back(uint8_t(v));
        if (i < 7) {
            if (at >= s.size() || s[at] != ':') return false;
            ++at;
        }
    }
    return at == s.size();
}

// serialNumber: "#d" and decimal digits or "#x" and hexadecimal digits
// through a big number; otherwise hexadecimal digits in pairs.
bool parse_serial(const std::string& v, std::vector<uint8_t>& out) {
    if (v.size() >= 2 && v[0] == '#' && (v[1] == 'd' || v[1] == 'D' || v[1] == 'x' || v[1] == 'X')) {
        const bool dec = v[1] == 'd' || v[1] == 'D';
        std::string digits = v.substr(2);
        if (digits.empty()) return false;
        for (char c : digits)
            if (dec ? !(c >= '0' && c <= '9') : !is_hex(c)) return false;
        BdNumber* b = bdNew();
        if (dec) {
            bdConvFromDecimal(b, digits.c_str());
        } else {
            bdConvFromHex(b, digits.c_str());
        }
        size_t n = bdConvToOctets(b, nullptr, 0);
        out.assign(n, 0);
        bdConvToOctets(b, out.data(), n);
        bdFree(&b);
        return true;
    }
    return hex_pairs(v, out);
}

struct Pair {
    std::string key, value, raw;
};

// Splits the string into keyword=value pairs; an item without "=" is kept
// with an empty key for the caller to report.
std::vector<Pair> split_pairs(const char* text) {
    std::vector<Pair> out;
    const char* p = text;
    for (;;) {
        while (*p == ';' || *p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        const char* eq = std::strchr(p, '=');
        const char* semi = std::strchr(p, ';');
        if (!eq || (semi && semi < eq)) {
            const char* end = semi ? semi : p + std::strlen(p);
            out.push_back({"", "", std::string(p, size_t(end - p))});
            p = end;
            continue;
        }
        Pair pr;
        const char* kend = eq;
        while (kend > p && (kend[-1] == ' ' || kend[-1] == '\t')) --kend;
        pr.key.assign(p, size_t(kend - p));
        p = eq + 1;
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\'') {
            ++p;
            while (*p && *p != '\'') pr.value += *p++;
            if (*p == '\'') ++p;
            while (*p && *p != ';') ++p;
        } else {
            const char* end = std::strchr(p, ';');
            if (!end) end = p + std::strlen(p);
            const char* vend = end;
            while (vend > p && (vend[-1] == ' ' || vend[-1] == '\t')) --vend;
            pr.value.assign(p, size_t(vend - p));
            p = end;
        }
        pr.raw = pr.key + "=" + pr.value;
        out.push_back(std::move(pr));
    }
    return out;
}

bool alt_name_tag(const std::string& key, int* tag) {
    if (same(key, "rfc822Name") || same(key, "subjectAltNameRfc822Name")) {
        *tag = kGnRfc822;
    } else if (same(key, "dnsname") || same(key, "subjectAltNameDnsName")) {
        *tag = kGnDns;
    } else if (same(key, "uri") || same(key, "subjectAltNameURI")) {
        *tag = kGnUri;
    } else if (same(key, "ipaddress") || same(key, "subjectAltNameIPaddress")) {
        *tag = kGnIp;
    } else {
        return false;
    }
    return true;
}

void parse_key_usage(ExtSettings& s, const std::string& value, Problems& bad) {
    uint32_t bits = 0;
    bool nonCritical = false;
    for (const std::string& name : split_commas(without_blanks(value))) {
        if (same(name, "noncritical")) {
            nonCritical = true;
            continue;
        }
        bool found = false;
        for (const Named& k : kKeyUsageNames) {
            if (same(name, k.name)) {
                bits |= k.bit;
                found = true;
            }
        }
        // A misspelt name fails the string whatever else the value holds: a
        // certificate must not silently lose a usage restriction.
        if (!found) {
            bad.add("invalid keyUsage name '", name, "'");
            return;
        }
    }
    s.keyUsage |= bits;
    s.keyUsageNonCritical = s.keyUsageNonCritical || nonCritical;
}

void parse_ext_key_usage(ExtSettings& s, const std::string& value, Problems& bad) {
    for (const std::string& name : split_commas(without_blanks(value))) {
        if (same(name, "critical")) {
            s.extKeyUsageCritical = true;
            continue;
        }
        const char* found = nullptr;
        for (const char* k : kExtKeyUsageNames)
            if (same(name, k)) found = k;
        if (!found) {
            bad.add("invalid extKeyUsage name '", name, "'");
            return;
        }
        s.extKeyUsage.push_back(found);
    }
}

void parse_smime(ExtSettings& s, const std::string& value, Problems& bad) {
    for (const std::string& item : split_commas(without_blanks(value))) {
        std::vector<uint8_t> der;
        mk::Tlv t;
        if (!hex_pairs(item, der) || !mk::single_element(der.data(), der.size(), &t) || t.tag != 0x30) {
            bad.add("invalid sMIMECapability value '", item, "'");
            return;
        }
        s.smimeCaps.push_back(std::move(der));
    }
}

// "1.2.3=#hexDER[,critical]".
void parse_extra(ExtSettings& s, const Pair& pr, Problems& bad) {
    ExtraExtension x;
    std::string hex = pr.value.substr(1);
    size_t comma = hex.find(',');
    if (comma != std::string::npos) {
        std::string flag = without_blanks(hex.substr(comma + 1));
        hex = hex.substr(0, comma);
        if (!same(flag, "critical")) {
            bad.add("'", pr.raw, "' is not valid");
            return;
        }
        x.critical = true;
    }
    hex = without_blanks(hex);
    uint8_t oct[32];
    if (oid_DottedToOctets(pr.key.c_str(), oct, 31) <= 0 || !hex_pairs(hex, x.der) ||
        !mk::single_element(x.der.data(), x.der.size())) {
        bad.add("'", pr.raw, "' is not valid");
        return;
    }
    x.oid = pr.key;
    s.extras.push_back(std::move(x));
}

// The keywords a certificate string may hold and a request string may not.
bool parse_cert_only(ExtSettings& s, const Pair& pr, Problems& bad) {
    const std::string& k = pr.key;
    const std::string& v = pr.value;
    if (same(k, "notBefore")) {
        if (!s.hasNotBefore) s.notBefore = v;
        s.hasNotBefore = true;
    } else if (same(k, "notAfter")) {
        if (!s.hasNotAfter) s.notAfter = v;
        s.hasNotAfter = true;
    } else if (same(k, "serialNumber")) {
        if (!s.hasSerial) {
            if (!parse_serial(v, s.serial)) {
                bad.add("Invalid serialNumber value '", v, "'");
                return true;
            }
            s.hasSerial = true;
        }
    } else if (same(k, "subjectKeyIdentifier")) {
        if (!s.hasSubjectKeyId) {
            if (!hex_pairs(v, s.subjectKeyId)) {
                bad.add("Invalid subjectKeyIdentifier value '", v, "'");
                return true;
            }
            s.hasSubjectKeyId = true;
        }
    } else if (same(k, "certificatePolicies")) {
        if (!s.hasPolicy) {
            uint8_t oct[32];
            if (v.empty() || !(v[0] >= '0' && v[0] <= '9') || oid_DottedToOctets(v.c_str(), oct, 31) <= 0) {
                bad.add("Invalid CertPolicyId OID '", v, "'");
                return true;
            }
            s.policyOid = v;
            s.hasPolicy = true;
        }
    } else if (same(k, "cRLDistributionPoints")) {
        if (!s.hasCrlUri) {
            if (v.empty()) {
                bad.add("Invalid cRLDistributionPoints value '", v, "'");
                return true;
            }
            s.crlUri = v;
            s.hasCrlUri = true;
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace

long make_ext_parse(ExtSettings& s, const char* text, ExtFor kind, long* items) {
    s = ExtSettings();
    if (items) *items = 0;
    if (!text || !*text) return 0;
    Problems bad;
    long count = 0;
    // A string with no "=" at all is one e-mail address.
    if (!std::strchr(text, '=')) {
        AltNameEntry e{kGnRfc822, std::vector<uint8_t>(text, text + std::strlen(text))};
        s.altNames.push_back(std::move(e));
        if (items) *items = 1;
        return 0;
    }
    for (const Pair& pr : split_pairs(text)) {
        ++count;
        int tag = 0;
        if (pr.key.empty()) {
            bad.add("'", pr.raw, "' is not a valid attribute name");
        } else if (pr.key[0] >= '0' && pr.key[0] <= '9' && !pr.value.empty() && pr.value[0] == '#') {
            parse_extra(s, pr, bad);
        } else if (alt_name_tag(pr.key, &tag)) {
            AltNameEntry e{tag, {}};
            if (pr.value.empty()) {
                bad.add("Empty value for '", pr.key, "'");
            } else if (tag == kGnIp) {
                if (parse_ip(pr.value, e.value)) {
                    s.altNames.push_back(std::move(e));
                } else {
                    bad.add("Invalid IP address '", pr.value, "'");
                }
            } else {
                e.value.assign(pr.value.begin(), pr.value.end());
                s.altNames.push_back(std::move(e));
            }
        } else if (same(pr.key, "keyUsage")) {
            parse_key_usage(s, pr.value, bad);
        } else if (same(pr.key, "extKeyUsage")) {
            parse_ext_key_usage(s, pr.value, bad);
        } else if (same(pr.key, "sMIMECapabilities")) {
            parse_smime(s, pr.value, bad);
        } else if (kind == ExtFor::kCertificate && parse_cert_only(s, pr, bad)) {
            // handled
        } else {
            bad.add("'", pr.key, "' is not a valid attribute name");
        }
    }
    if (items) *items = count;
    return bad.any ? long(BAD_PARAM_ERROR) : 0L;
}

}  // namespace velt::x509
