// Certificate, CRL and request readers over hostile bytes: the shape tests,
// every query keyword, the element getters, signature verification (the
// object against itself and as a request) and validity never fail unsafely.
// The input is handed over as a file, as the library's callers do.
#include <unistd.h>

#include <string>

#include "fuzz_common.h"
#include "morvanevelt.h"
#include "x509/x509.h"

namespace {

const char* const kQueries[] = {"version",
                                "serialNumber",
                                "signatureAlgorithm",
                                "signatureValue",
                                "sigAlgID",
                                "keyUsageString",
                                "keyUsageFlags",
                                "notBefore",
                                "notAfter",
                                "issuerName",
                                "subjectName",
                                "subjectPublicKeyAlgorithm",
                                "subjectKeyIdentifier",
                                "authorityKeyIdentifier",
                                "rfc822Name",
                                "isCA",
                                "extKeyUsageString",
                                "cRLDistributionPointsURI",
                                "authorityInfoAccessURI",
                                "subjectAltName",
                                "hashAlgorithm",
                                "pssParams"};

const std::string& input_path() {
    static const std::string path = [] {
        char tmpl[] = "/tmp/fuzz_x509_XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        return std::string(tmpl);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = input_path();
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    const char* p = path.c_str();

    char out[512];
    for (const char* q : kQueries) {
        long n = X509_QueryCert(out, sizeof out - 1, p, q, 0);
        // A string result is written whole with its NUL.
        if (n >= 0 && X509_QueryCert(nullptr, 0, "", q, VELT_QUERY_GETTYPE) == 2) FUZZ_CHECK(out[n] == '\0');
    }
    (void)X509_CertThumb(p, out, sizeof out - 1, 3);
    (void)X509_HashIssuerAndSN(p, out, sizeof out - 1, 0);
    (void)X509_CertIssuedOn(p, out, sizeof out - 1, 0);
    (void)X509_CertSerialNumber(p, out, sizeof out - 1, 0x8000);
    (void)X509_CertSubjectName(p, out, sizeof out - 1, "", 0x1000);
    (void)X509_CertIsValidNow(p, 0);
    (void)X509_VerifyCert(p, p, 0);
    (void)X509_VerifyCert(p, "", 0);
    (void)RSA_GetPublicKeyFromCert(out, sizeof out - 1, p, 0);

    long e = 0;
    AsnNode* cert = x509readCertFromFileOrString(p, &e);
    if (cert) {
        AsnNode* ias = x509getIssuerAndSN(cert);
        AsnNode* ski = x509getSubjectKeyIdAsn(cert);
        AsnNode* pub = x509getPublicKey(cert);
        std::string s;
        (void)x509getECCPublicKeyAsString(s, cert);
        asn_Free(&ias);
        asn_Free(&ski);
        asn_Free(&pub);
        asn_Free(&cert);
    }
    for (auto reader : {x509readCrlFromFileOrString, x509readCsrFromFileOrString}) {
        AsnNode* c = reader(p, &e);
        if (c) {
            AsnNode* v = x509findExtension(c, "subjectAltName");
            if (v) fuzz_walk_chain(v);
            asn_Free(&v);
            AsnNode* pub = x509getPublicKey(c);
            asn_Free(&pub);
        }
        asn_Free(&c);
    }
    return 0;
}
