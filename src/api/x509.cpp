// Exported certificate reading, query and verification functions: thin
// wrappers over src/x509.
#include "frame/frame.h"
#include "x509/x509.h"

extern "C" VELT_API long X509_CertIsValidNow(const char* szCertFile, long nOptions) {
    (void)nOptions;
    // Failures are returned positive (a finding about the certificate), and
    // recorded as such.
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        long rc = x509certIsValidNow(szCertFile);
        if (rc > 0) errset(rc);
        return rc;
    });
}

extern "C" VELT_API long X509_VerifyCert(const char* szCertToVerify, const char* szIssuerCert,
                                         long nOptions) {
    (void)nOptions;
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        long rc = x509verifyWithCert(szCertToVerify, szIssuerCert);
        if (rc > 0) errset(rc);
        return rc;
    });
}

extern "C" VELT_API long X509_CertThumb(const char* szCertFile, char* szHash, long nHashLen, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return x509certThumb(szHash, nHashLen, szCertFile, nOptions);
    });
}

extern "C" VELT_API long X509_CertIssuedOn(const char* szCertFile, char* szOutput, long nOutChars,
                                           long nOptions) {
    (void)nOptions;
    return frame::run(frame::kStandard,
                      [&]() -> frame::Result { return x509certDate(szOutput, nOutChars, szCertFile, 0); });
}

extern "C" VELT_API long X509_CertExpiresOn(const char* szCertFile, char* szOutput, long nOutChars,
                                            long nOptions) {
    (void)nOptions;
    return frame::run(frame::kStandard,
                      [&]() -> frame::Result { return x509certDate(szOutput, nOutChars, szCertFile, 1); });
}

extern "C" VELT_API long X509_CertSerialNumber(const char* szCertFile, char* szOutput, long nOutChars,
                                               long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return x509certSerialNumber(szOutput, nOutChars, szCertFile, nOptions);
    });
}

extern "C" VELT_API long X509_HashIssuerAndSN(const char* szCertFile, char* szOutput, long nOutChars,
                                              long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return x509hashIssuerAndSN(szOutput, nOutChars, szCertFile, nOptions);
    });
}

extern "C" VELT_API long X509_CertIssuerName(const char* szCertFile, char* szOutput, long nOutChars,
                                             const char* szDelim, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return x509certName(szOutput, nOutChars, szCertFile, szDelim, nOptions, false);
    });
}

extern "C" VELT_API long X509_CertSubjectName(const char* szCertFile, char* szOutput, long nOutChars,
                                              const char* szDelim, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return x509certName(szOutput, nOutChars, szCertFile, szDelim, nOptions, true);
    });
}

extern "C" VELT_API long X509_QueryCert(char* szOutput, long nOutChars, const char* szCertFile,
                                        const char* szQuery, long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return x509queryCert(szOutput, nOutChars, szCertFile, szQuery, nOptions);
    });
}

extern "C" VELT_API long X509_KeyUsageFlags(const char* szCertFile) {
    return frame::run(frame::kStandard, [&]() -> frame::Result { return x509keyUsageFlags(szCertFile); });
}

extern "C" VELT_API long X509_ReadStringFromFile(char* szOutput, long nOutChars, const char* szCertFile,
                                                 long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return x509readStringFromFile(szOutput, nOutChars, szCertFile, nOptions);
    });
}

extern "C" VELT_API long X509_SaveFileFromString(const char* szNewCertFile, const char* szCertString,
                                                 long nOptions) {
    return frame::run(frame::kStandard, [&]() -> frame::Result {
        return x509saveFileFromString(szNewCertFile, szCertString, nOptions);
    });
}
