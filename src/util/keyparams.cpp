// Key parameter strings of the RSA and elliptic-curve key functions.
#include "util/keyparams.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "frame/error.h"

long keyParseParams(const char* paramString, KeyParams& kp, bool allowTests) {
    if (!paramString || !*paramString) return 0;
    std::string s(paramString);
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t semi = s.find(';', pos);
        std::string item = s.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos);
        pos = semi == std::string::npos ? s.size() + 1 : semi + 1;
        size_t eq = item.find('=');
        std::string name = item.substr(0, eq);
        std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
        auto trim = [](std::string& t, bool front) {
            while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
            if (front) {
                size_t i = 0;
                while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
                t.erase(0, i);
            }
        };
        trim(name, true);
        trim(value, false);
        if (name.empty() && eq == std::string::npos) continue;  // empty item, e.g. a trailing ';'
        std::string lname;
        for (char c : name) lname += char(std::tolower(static_cast<unsigned char>(c)));
        auto positive = [&](long& out) {
            if (value.empty()) return false;
            char* end = nullptr;
            long v = std::strtol(value.c_str(), &end, 0);
            if (*end != '\0' || v <= 0) return false;
            out = v;
            return true;
        };
        if (lname == "count") {
            if (!positive(kp.count)) {
                eprintf("'%s' is not a valid value", value.c_str());
                return INVALID_DATA_ERROR;
            }
        } else if (lname == "prf") {
            static const struct {
                const char* name;
                long id;
            } kPrfs[] = {{"hmacwithsha1", 0},
                         {"hmacwithsha224", 6},
                         {"hmacwithsha256", 3},
                         {"hmacwithsha384", 4},
                         {"hmacwithsha512", 5}};
            std::string lv;
            for (char c : value) lv += char(std::tolower(static_cast<unsigned char>(c)));
            long id = -1;
            for (const auto& p : kPrfs) {
                if (lv == p.name) id = p.id;
            }
            if (id < 0) {
                eprintf("'%s' is not a valid value", value.c_str());
                return INVALID_DATA_ERROR;
            }
            kp.prf = id;
        } else if (lname == "rngseed") {
            kp.seed = value;
        } else if (allowTests && lname == "tests") {
            long t = 0;
            if (!positive(t)) {
                eprintf("'%s' is not a valid value", value.c_str());
                return INVALID_DATA_ERROR;
            }
            if (t > kp.ntests) kp.ntests = t;
        } else {
            eprintf("'%s' is not a valid attribute name", name.c_str());
            return BAD_PARAM_ERROR;
        }
    }
    return 0;
}
