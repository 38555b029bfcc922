// Validity of a certificate at the current instant (RFC 5280 section
// 4.1.2.5): both bounds count as valid.
#include <atomic>

#include "frame/error.h"
#include "x509/x509.h"

namespace {

std::atomic<bool> g_fixed{false};
std::atomic<time_t> g_now{0};

// Seconds since 1970-01-01T00:00:00Z of a normalised UTC broken-down time
// (days from civil date, proleptic Gregorian calendar); no time zone or
// locale takes part.
int64_t utc_seconds(const struct tm& t) {
    int64_t y = int64_t(t.tm_year) + 1900;
    const int64_t m = t.tm_mon + 1;
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.tm_mday - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = era * 146097 + doe - 719468;
    return days * 86400 + int64_t(t.tm_hour) * 3600 + int64_t(t.tm_min) * 60 + t.tm_sec;
}

}  // namespace

void x509setClockForTesting(const time_t* fixedNow) {
    if (fixedNow) g_now.store(*fixedNow);
    g_fixed.store(fixedNow != nullptr);
}

time_t x509now() {
    return g_fixed.load() ? g_now.load() : time(nullptr);
}

long x509certIsValidNow(const char* s) {
    if (!s || !*s) return BAD_PARAM_ERROR;
    long rc = 0;
    AsnNode* cert = x509readCertFromFileOrString(s, &rc);
    if (!cert) return rc;
    X509Parts p;
    rc = x509locate(cert, &p);
    if (rc == 0) {
        auto t = x509children(p.validity);
        struct tm from {
        }, to{};
        if (!p.validity) {
            eprintf("Cannot find Validity field in cert");
            rc = BAD_FORMAT_ERROR;
        } else if (t.size() != 2 || asn_ZuluTime2tm(t[0], &from) != 0 || asn_ZuluTime2tm(t[1], &to) != 0) {
            eprintf("Missing time field in cert");
            rc = BAD_FORMAT_ERROR;
        } else {
            const int64_t now = int64_t(x509now());
            if (now < utc_seconds(from) || now > utc_seconds(to)) {
                eprintf("Certificate has expired or is not yet valid");
                rc = EXPIRED_ERROR;
            }
        }
    }
    asn_Free(&cert);
    return rc;
}
