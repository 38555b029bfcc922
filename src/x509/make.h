// Making certificates and certification requests: the extension parameter
// string and its settings record, the certificate builder shared by issued
// and self-signed certificates, issuing from a request, and the request
// builder. What the exported X509_ wrappers and the tests call.
//
// Results are 0 or a positive error code (src/frame/error.h); the detail
// text is in the error record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velt::x509 {

// Option bits of the making functions.
inline constexpr long kMkSigAlgMask = 0xFF;
inline constexpr long kMkDeterministic = 0x2000;
inline constexpr long kMkFormatPem = 0x10000;
inline constexpr long kMkFormatBin = 0x20000;
inline constexpr long kMkReqNoAttrs = 0x100000;
inline constexpr long kMkPssSaltZero = 0x400000;
inline constexpr long kMkUtf8 = 0x800000;
inline constexpr long kMkAuthKeyId = 0x1000000;
inline constexpr long kMkNoBasic = 0x2000000;
inline constexpr long kMkCaTrue = 0x4000000;
inline constexpr long kMkVersion1 = 0x8000000;

// Key-usage bits (named bits 0 to 8 of the KeyUsage BIT STRING, RFC 5280
// 4.2.1.3).
inline constexpr uint32_t kKeyUsageMask = 0x1FF;

// GeneralName choices a subjectAltName entry may take (RFC 5280 4.2.1.6).
inline constexpr int kGnRfc822 = 1;
inline constexpr int kGnDns = 2;
inline constexpr int kGnUri = 6;
inline constexpr int kGnIp = 7;

struct AltNameEntry {
    int tag;                     // [n] IMPLICIT
    std::vector<uint8_t> value;  // text octets, or 4 / 16 address octets
};

struct ExtraExtension {
    std::string oid;           // dotted
    std::vector<uint8_t> der;  // the extnValue contents: one DER element
    bool critical = false;
};

// What an extension parameter string asks for.
struct ExtSettings {
    std::vector<AltNameEntry> altNames;
    bool hasNotBefore = false, hasNotAfter = false;
    std::string notBefore, notAfter;
    bool hasSerial = false;
    std::vector<uint8_t> serial;  // unsigned magnitude, big-endian
    bool hasSubjectKeyId = false;
    std::vector<uint8_t> subjectKeyId;
    bool hasPolicy = false;
    std::string policyOid;
    bool hasCrlUri = false;
    std::string crlUri;
    uint32_t keyUsage = 0;
    bool keyUsageNonCritical = false;
    std::vector<std::string> extKeyUsage;  // OID table names, in order
    bool extKeyUsageCritical = false;
    std::vector<std::vector<uint8_t>> smimeCaps;  // DER SEQUENCEs, in order
    std::vector<ExtraExtension> extras;
};

enum class ExtFor { kCertificate, kRequest };

// Parses an extension parameter string (keyword=value pairs separated by
// ";"; a non-empty string without any "=" is one e-mail address). Parsing
// goes on after a bad item so that each is reported; the result is 0, or 6
// when any item was bad. *items (when given) receives the number of items.
long make_ext_parse(ExtSettings& s, const char* text, ExtFor kind, long* items = nullptr);

// The exported operations.
long x509makeCert(const char* newCertFile, const char* issuerCertFile, const char* subjectPubKeyFile,
                  const char* issuerPrivKeyFile, long certNum, long yearsValid, const char* distName,
                  const char* extensions, long keyUsageFlags, const char* password, long options);
long x509makeCertSelf(const char* newCertFile, const char* privKeyFile, long certNum, long yearsValid,
                      const char* distName, const char* extensions, long keyUsageFlags, const char* password,
                      long options);
long x509makeCertRequest(const char* newReqFile, const char* privKeyFile, const char* distName,
                         const char* extensions, const char* password, long options);

}  // namespace velt::x509
