// Broken-down UTC times: normalisation in the proleptic Gregorian calendar
// and ISO 8601 text in both directions.
#include <cctype>
#include <cstring>

#include "asn1/asn1.h"
#include "util/strl.h"

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int64_t* y, int* m, int* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = int(doy - (153 * mp + 2) / 5 + 1);
    *m = int(mp < 10 ? mp + 3 : mp - 9);
    *y = yoe + era * 400 + (*m <= 2);
}

bool is_leap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// True when the fields name a real instant: month 1 to 12, a day that the
// month has (29 February in leap years only), hour 0 to 23, minute and
// second 0 to 59. Leap seconds are not accepted: RFC 5280 times never carry
// them, and a second of 60 would print as a time that does not exist.
bool fields_valid(int64_t year, int mon, int day, int hour, int min, int sec) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mon < 1 || mon > 12 || day < 1) return false;
    const int last = kDays[mon - 1] + (mon == 2 && is_leap(year) ? 1 : 0);
    return day <= last && hour >= 0 && hour <= 23 && min >= 0 && min <= 59 && sec >= 0 && sec <= 59;
}

}  // namespace

struct tm* gt_normalizetm(struct tm* t) {
    if (!t) return t;
    int64_t year = int64_t(t->tm_year) + 1900;
    int64_t mon = t->tm_mon;
    year += mon / 12;
    mon %= 12;
    if (mon < 0) {
        mon += 12;
        --year;
    }
    int64_t secs = 0;
    bool ok = year >= 1 && year <= 9999;
    if (ok) {
        int64_t days = days_from_civil(year, mon + 1, 1) + (int64_t(t->tm_mday) - 1);
        secs = days * 86400 + int64_t(t->tm_hour) * 3600 + int64_t(t->tm_min) * 60 + t->tm_sec;
        int64_t lo = days_from_civil(1, 1, 1) * 86400;
        int64_t hi = days_from_civil(10000, 1, 1) * 86400;
        ok = secs >= lo && secs < hi;
    }
    if (!ok) {
        // Outside years 1..9999: the zero count, as documented.
        memset(t, 0, sizeof *t);
        t->tm_year = -1900;
        t->tm_mon = -1;
        return t;
    }
    int64_t days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    int64_t rem = secs - days * 86400;
    int64_t y;
    int m, d;
    civil_from_days(days, &y, &m, &d);
    t->tm_year = int(y - 1900);
    t->tm_mon = m - 1;
    t->tm_mday = d;
    t->tm_hour = int(rem / 3600);
    t->tm_min = int(rem % 3600 / 60);
    t->tm_sec = int(rem % 60);
    int64_t wd = (days + 4) % 7;  // 1970-01-01 was a Thursday
    t->tm_wday = int(wd < 0 ? wd + 7 : wd);
    t->tm_yday = int(days - days_from_civil(y, 1, 1));
    t->tm_isdst = 0;
    return t;
}

// Syntax check of ISO 8601 date-time text of the forms
// YYYY[-MM[-DD]][Thh[:mm[:ss]][Z]].
static bool parse_datetimeXML(const char* s) {
    auto dig = [](char c) { return c >= '0' && c <= '9'; };
    for (int i = 0; i < 4; ++i) {
        if (!dig(*s++)) return false;
    }
    if (*s == '-' || *s == '/') {
        ++s;
        if (!(s[0] >= '0' && s[0] <= '1') || !dig(s[1])) return false;
        s += 2;
        if (*s == '-' || *s == '/') {
            ++s;
            if (!(s[0] >= '0' && s[0] <= '3') || !dig(s[1])) return false;
            s += 2;
        }
    }
    if (*s == 'T') {
        ++s;
        if (!(s[0] >= '0' && s[0] <= '2') || !dig(s[1])) return false;
        s += 2;
        for (int part = 0; part < 2 && *s == ':'; ++part) {
            ++s;
            if (!(s[0] >= '0' && s[0] <= '6') || !dig(s[1])) return false;
            s += 2;
        }
        if (*s == 'Z') ++s;
    }
    return *s == '\0';
}

int isotime_iso2tmgmt(struct tm* t, const char* text, const char* defaultTime) {
    if (!t) return 1;
    memset(t, 0, sizeof *t);
    if (!text) return 1;
    char buf[33];
    strlcpy(buf, text, sizeof buf);
    if (!parse_datetimeXML(buf)) return 1;
    int year = 0, mon = 1, day = 1, hour = 0, min = 0, sec = 0;
    char* tpart = strchr(buf, 'T');
    if (tpart) *tpart++ = '\0';
    year = (buf[0] - '0') * 1000 + (buf[1] - '0') * 100 + (buf[2] - '0') * 10 + (buf[3] - '0');
    if (buf[4]) mon = (buf[5] - '0') * 10 + (buf[6] - '0');
    if (buf[4] && buf[7]) day = (buf[8] - '0') * 10 + (buf[9] - '0');
    char timebuf[9];
    const char* tp = tpart;
    if (!tp) {
        strlcpy(timebuf, defaultTime ? defaultTime : "00:00:00", sizeof timebuf);
        tp = timebuf;
    }
    int fields[3] = {0, 0, 0};
    for (int i = 0; i < 3 && *tp; ++i) {
        if (!isdigit(static_cast<unsigned char>(tp[0]))) break;
        int v = 0;
        while (isdigit(static_cast<unsigned char>(*tp))) v = v * 10 + (*tp++ - '0');
        fields[i] = v;
        if (*tp != ':') break;
        ++tp;
    }
    hour = fields[0];
    min = fields[1];
    sec = fields[2];
    if (year < 1900 || year > 9999 || !fields_valid(year, mon, day, hour, min, sec)) return 1;
    t->tm_year = year - 1900;
    t->tm_mon = mon - 1;
    t->tm_mday = day;
    t->tm_hour = hour;
    t->tm_min = min;
    t->tm_sec = sec;
    return 0;
}

// UTCTime and GeneralizedTime in their DER forms (X.690 11.7 and 11.8, RFC
// 5280 4.1.2.5): YYMMDDHHMMSSZ (YY below 50 is 20YY, else 19YY), and
// YYYYMMDDHHMMSS with an optional fraction of the second (a point and digits
// not ending in 0, read and dropped), always ending in Z. Offsets, missing
// seconds, a missing Z and impossible dates or times are refused.
int asn_ZuluTime2tm(const AsnNode* node, struct tm* t) {
    if (!node || !t) return -1;
    if (node->tag != 23 && node->tag != 24) return 1;
    memset(t, 0, sizeof *t);
    const uint8_t* p = node->data;
    const size_t yearDigits = node->tag == 23 ? 2 : 4, digits = yearDigits + 10;
    if (!p || node->length < int64_t(digits + 1)) return -1;
    const size_t len = size_t(node->length);
    auto is_digit = [&](size_t i) { return p[i] >= '0' && p[i] <= '9'; };
    for (size_t i = 0; i < digits; ++i) {
        if (!is_digit(i)) return -1;
    }
    size_t at = digits;
    if (node->tag == 24 && p[at] == '.') {
        size_t end = at + 1;
        while (end < len && is_digit(end)) ++end;
        if (end == at + 1 || p[end - 1] == '0') return -1;
        at = end;
    }
    if (at + 1 != len || p[at] != 'Z') return -1;
    auto num = [&](size_t from, size_t k) {
        int v = 0;
        for (size_t i = 0; i < k; ++i) v = v * 10 + (p[from + i] - '0');
        return v;
    };
    int year = num(0, yearDigits);
    if (node->tag == 23) year += year < 50 ? 2000 : 1900;
    const size_t f = yearDigits;
    const int mon = num(f, 2), day = num(f + 2, 2), hour = num(f + 4, 2), min = num(f + 6, 2),
              sec = num(f + 8, 2);
    if (year < 1 || !fields_valid(year, mon, day, hour, min, sec)) return -1;
    t->tm_year = year - 1900;
    t->tm_mon = mon - 1;
    t->tm_mday = day;
    t->tm_hour = hour;
    t->tm_min = min;
    t->tm_sec = sec;
    gt_normalizetm(t);
    return 0;
}

long isotime_tm2isogmt(char* out, long max, const struct tm* t) {
    if (!t) return 0;
    char buf[64];
    int n = snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", t->tm_year + 1900, t->tm_mon + 1,
                     t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec);
    if (out && max > 0) strlcpy(out, buf, max);
    return n;
}

long isotime_tm2isostring(char out[32], const struct tm* t) { return isotime_tm2isogmt(out, 32, t); }
