// PEM text of key files (RFC 7468).
#include "rsa/rsa_pem.h"

#include <cstring>
#include <string>

#include "encode/encode.h"

using velt::SecureBytes;
using velt::SecureString;

SecureString rsaPemEncode(const uint8_t* der, size_t len, const char* label, bool crlf) {
    const char* eol = crlf ? "\r\n" : "\n";
    SecureString b64(4 * ((len + 2) / 3) + 1, '\0');
    long n = b64encode(b64.data(), long(b64.size()), der, long(len));
    b64.resize(n > 0 ? size_t(n) : 0);
    SecureString out;
    out += "-----BEGIN ";
    out += label;
    out += "-----";
    out += eol;
    for (size_t i = 0; i < b64.size(); i += 64) {
        out.append(b64, i, 64);
        out += eol;
    }
    out += "-----END ";
    out += label;
    out += "-----";
    out += eol;
    return out;
}

bool rsaPemDecode(const char* text, SecureBytes& der, std::string* label) {
    const char* begin = std::strstr(text, "-----BEGIN ");
    if (!begin) return false;
    const char* lab = begin + 11;
    const char* labEnd = std::strstr(lab, "-----");
    if (!labEnd) return false;
    std::string name(lab, labEnd);
    const char* body = labEnd + 5;
    std::string endMark = "-----END " + name + "-----";
    const char* end = std::strstr(body, endMark.c_str());
    if (!end) return false;
    // Header lines of the encapsulated-header form ("Proc-Type: ...") mark a
    // traditionally encrypted file, which is not read here.
    SecureString b64(body, end);
    if (b64.find(':') != SecureString::npos) return false;
    SecureString clean;
    for (char c : b64) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                  c == '/' || c == '=';
        if (!ok) return false;
        clean += c;
    }
    if (clean.empty()) return false;
    der.assign(clean.size() / 4 * 3 + 3, 0);
    long n = b64decode(der.data(), long(der.size()), clean.c_str());
    if (n <= 0) return false;
    der.resize(size_t(n));
    if (label) *label = name;
    return true;
}
