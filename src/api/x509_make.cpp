// Exported functions that make certificates and certification requests.
// They return failures as positive error codes (recorded like any other).
#include <new>

#include "frame/frame.h"
#include "x509/make.h"

namespace {

// Runs a making operation in the frame: a failure is recorded and returned
// positive, an exception too (5 for memory, 9745 for anything else).
template <class Op>
long positive_run(Op&& op) {
    long rc = frame::run(frame::kStandard, [&]() -> frame::Result {
        long r;
        try {
            r = op();
        } catch (const std::bad_alloc&) {
            r = MEMORY_ERROR;
        } catch (...) {
            r = INTERNAL_ERROR;
        }
        if (r > 0) errset(r);
        return r;
    });
    return rc < 0 ? -rc : rc;
}

}  // namespace

extern "C" VELT_API long X509_MakeCert(const char* szNewCertFile, const char* szIssuerCertFile,
                                       const char* szSubjectPubKeyFile, const char* szIssuerPriKeyFile,
                                       long nCertNum, long nYearsValid, const char* szDistName,
                                       const char* szExtensions, long nKeyUsageFlags, const char* szPassword,
                                       long nOptions) {
    return positive_run([&]() {
        return velt::x509::x509makeCert(szNewCertFile, szIssuerCertFile, szSubjectPubKeyFile,
                                        szIssuerPriKeyFile, nCertNum, nYearsValid, szDistName, szExtensions,
                                        nKeyUsageFlags, szPassword, nOptions);
    });
}

extern "C" VELT_API long X509_MakeCertSelf(const char* szNewCertFile, const char* szPriKeyFile, long nCertNum,
                                           long nYearsValid, const char* szDistName, const char* szExtensions,
                                           long nKeyUsageFlags, const char* szPassword, long nOptions) {
    return positive_run([&]() {
        return velt::x509::x509makeCertSelf(szNewCertFile, szPriKeyFile, nCertNum, nYearsValid, szDistName,
                                            szExtensions, nKeyUsageFlags, szPassword, nOptions);
    });
}

extern "C" VELT_API long X509_CertRequest(const char* szNewReqFile, const char* szPriKeyFile,
                                          const char* szDistName, const char* szExtensions,
                                          const char* szPassword, long nOptions) {
    return positive_run([&]() {
        return velt::x509::x509makeCertRequest(szNewReqFile, szPriKeyFile, szDistName, szExtensions,
                                               szPassword, nOptions);
    });
}
