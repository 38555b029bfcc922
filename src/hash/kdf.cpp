// Key derivation and extendable output over the digests and HMAC: ANSI X9.63
// KDF, ISO 18033-2 KDF2/KDF3, HKDF (RFC 5869), MGF1 (RFC 8017 B.2.1), SHAKE
// (FIPS 202), KMAC (SP 800-185) and the labeled steps and private-key
// derivation of HPKE (RFC 9180).
#include <strings.h>

#include <cctype>
#include <cstring>
#include <string>

#include "encode/encode.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "util/bytes.h"
#include "util/ct.h"
#include "util/emem.h"

using namespace velt::hash;
using velt::SecureBytes;

namespace {

bool kdf2_hash(long alg) {
    return alg == kSha1 || alg == kSha224 || alg == kSha256 || alg == kSha384 || alg == kSha512;
}
bool hkdf_hash(long alg) { return alg == kSha1 || alg == kSha256 || alg == kSha384 || alg == kSha512; }

// Counter-mode KDF shared by X9.63, KDF2 and KDF3: block i is
// Hash(prefix(i) || ...) with the 4-byte big-endian counter placed before or
// after Z; blocks are concatenated and cut to `length`.
void counter_kdf(unsigned char* output, size_t length, const unsigned char* z, size_t z_len,
                 const unsigned char* info, size_t info_len, long alg, uint32_t first, bool counter_first) {
    const size_t hlen = digest_length(alg);
    SecureBytes work(z_len + 4 + info_len);
    size_t cpos = counter_first ? 0 : z_len;
    if (z_len) memcpy(work.data() + (counter_first ? 4 : 0), z, z_len);
    if (info_len) memcpy(work.data() + z_len + 4, info, info_len);
    uint8_t block[kMaxDigest];
    velt::WipeOnExit wipe(block, sizeof block);
    uint32_t counter = first;
    for (size_t done = 0; done < length; done += hlen, counter++) {
        velt::store_be32(work.data() + cpos, counter);
        digest(alg, work.data(), work.size(), block);
        size_t n = length - done < hlen ? length - done : hlen;
        memcpy(output + done, block, n);
    }
}

}  // namespace

long kdfX963(unsigned char* output, long length, const unsigned char* z, long z_length, const unsigned char* info,
             long info_length, long options) {
    if (!output || length < 1 || (!z && z_length) || z_length < 0 || info_length < 0) return -BAD_PARAM_ERROR;
    long alg = options & kAlgMask;
    if (digest_length(alg) == 0) return -BAD_FLAG_ERROR;
    counter_kdf(output, size_t(length), z, size_t(z_length), info, info ? size_t(info_length) : 0, alg, 1, false);
    return 0;
}

long kdf2(unsigned char* output, long length, const unsigned char* z, long z_length, const unsigned char* info,
          long info_length, long options) {
    if (!output || !z) return NULL_ERROR;
    if (length > 0) memset(output, 0, size_t(length));
    if (length <= 0 || z_length <= 0) return BAD_PARAM_ERROR;
    if (info_length < 0) return -BAD_PARAM_ERROR;
    long alg = options & kAlgMask;
    if (!kdf2_hash(alg)) return -BAD_FLAG_ERROR;
    counter_kdf(output, size_t(length), z, size_t(z_length), info, info ? size_t(info_length) : 0, alg, 1, false);
    return 0;
}

long kdf3(unsigned char* output, long length, const unsigned char* z, long z_length, const unsigned char* info,
          long info_length, long options) {
    if (!output || !z) return NULL_ERROR;
    if (length > 0) memset(output, 0, size_t(length));
    if (length <= 0 || z_length <= 0) return BAD_PARAM_ERROR;
    if (info_length < 0) return -BAD_PARAM_ERROR;
    long alg = options & kAlgMask;
    if (!kdf2_hash(alg)) return -BAD_FLAG_ERROR;
    counter_kdf(output, size_t(length), z, size_t(z_length), info, info ? size_t(info_length) : 0, alg, 1, true);
    return 0;
}

// --- HKDF ---

long hkdf_Extract(unsigned char* output, long declared, const unsigned char* ikm, long ikm_length,
                  const unsigned char* salt, long salt_length, long alg) {
    if (!hmac_allowed(alg)) return -BAD_FLAG_ERROR;
    if (ikm_length < 0 || salt_length < 0) return -BAD_PARAM_ERROR;
    const long nh = long(digest_length(alg));
    if (!output || declared < 1) return nh;
    if (declared < nh) return -SHORT_BUF_ERROR;
    uint8_t zeros[kMaxDigest] = {};
    if (!salt || salt_length == 0) {  // an absent salt is Nh zero bytes
        salt = zeros;
        salt_length = nh;
    }
    hmac(alg, salt, size_t(salt_length), ikm, ikm ? size_t(ikm_length) : 0, output);
    return nh;
}

long hkdf_Expand(unsigned char* output, long length, const unsigned char* prk, long prk_length,
                 const unsigned char* info, long info_length, long alg) {
    if (!hmac_allowed(alg)) return -BAD_FLAG_ERROR;
    if (!output || length < 1 || prk_length < 0 || info_length < 0 || (!prk && prk_length))
        return -BAD_PARAM_ERROR;
    const size_t nh = digest_length(alg);
    if (size_t(length) > 255 * nh) return -OUT_OF_RANGE_ERROR;
    if (!info) info_length = 0;
    Hmac keyed, m;
    keyed.init(alg, prk, prk ? size_t(prk_length) : 0);
    uint8_t t[kMaxDigest];
    velt::WipeOnExit wipe(t, sizeof t);
    size_t done = 0;
    for (uint8_t i = 1; done < size_t(length); i++) {
        m = keyed;
        if (i > 1) m.update(t, nh);
        m.update(info, size_t(info_length));
        m.update(&i, 1);
        m.final(t);
        size_t n = size_t(length) - done < nh ? size_t(length) - done : nh;
        memcpy(output + done, t, n);
        done += n;
    }
    return 0;
}

long hkdf_Bytes(unsigned char* output, long length, const unsigned char* ikm, long ikm_length,
                const unsigned char* info, long info_length, const unsigned char* salt, long salt_length, long alg) {
    uint8_t prk[kMaxDigest];
    velt::WipeOnExit wipe(prk, sizeof prk);
    long nh = hkdf_Extract(prk, sizeof prk, ikm, ikm_length, salt, salt_length, alg);
    if (nh < 0) return nh;
    return hkdf_Expand(output, length, prk, nh, info, info_length, alg);
}

long kdfHkdf(unsigned char* output, long length, const unsigned char* ikm, long ikm_length, const unsigned char* info,
             long info_length, const unsigned char* salt, long salt_length, long options) {
    long alg = options & kAlgMask;
    if (!hkdf_hash(alg)) return -BAD_FLAG_ERROR;
    return hkdf_Bytes(output, length, ikm, ikm_length, info, info_length, salt, salt_length, alg);
}

// --- MGF1, SHAKE, KMAC ---

long mgf1Bytes(unsigned char* output, long length, const unsigned char* seed, long seed_length, long alg) {
    if (!output || length < 1 || seed_length < 0 || (!seed && seed_length)) return -BAD_PARAM_ERROR;
    if (!(alg == kSha1 || (alg >= kSha256 && alg <= kSha224))) return -BAD_FLAG_ERROR;
    const size_t hlen = digest_length(alg);
    uint8_t block[kMaxDigest];
    velt::WipeOnExit wipe(block, sizeof block);
    Hasher base;
    base.init(alg);
    base.update(seed, size_t(seed_length));
    uint32_t counter = 0;
    for (size_t done = 0; done < size_t(length); done += hlen, counter++) {
        Hasher h = base;
        uint8_t c[4];
        velt::store_be32(c, counter);
        h.update(c, 4);
        h.final(block);
        size_t n = size_t(length) - done < hlen ? size_t(length) - done : hlen;
        memcpy(output + done, block, n);
    }
    return length;
}

long xofBytes(unsigned char* output, long length, const unsigned char* message, long message_length, long options) {
    long sel = options & 0xFFF;
    if (sel >= 0x210 && sel <= 0x21F) return mgf1Bytes(output, length, message, message_length, sel & kAlgMask);
    if (sel != 0x203 && sel != 0x204) return -BAD_FLAG_ERROR;  // KMAC needs PRF_Bytes
    if (!output || !message || length < 0 || message_length < 0) return -BAD_PARAM_ERROR;
    shake(sel == 0x203 ? 128 : 256, message, size_t(message_length), output, size_t(length));
    return length;
}

long kmacBytes(unsigned char* output, long length, const unsigned char* message, long message_length,
               const unsigned char* key, long key_length, const unsigned char* custom, long custom_length,
               unsigned bits) {
    if (!output || !message || length < 0 || message_length < 0 || key_length < 0 || custom_length < 0 ||
        (!key && key_length) || (!custom && custom_length))
        return -BAD_PARAM_ERROR;
    if (length == 0) return 0;
    kmac(bits, key, size_t(key_length), message, size_t(message_length), custom, size_t(custom_length), output,
         size_t(length));
    return length;
}

long prfBytes(unsigned char* output, long length, const unsigned char* message, long message_length,
              const unsigned char* key, long key_length, const char* custom, long options) {
    long sel = options & 0xFFF;
    if (sel == 0x203 || sel == 0x204) return xofBytes(output, length, message, message_length, sel);
    if (sel != 0x201 && sel != 0x202) return -BAD_FLAG_ERROR;
    size_t clen = custom ? strlen(custom) : 0;
    return kmacBytes(output, length, message, message_length, key, key_length,
                     reinterpret_cast<const unsigned char*>(custom), long(clen), sel == 0x201 ? 128 : 256);
}

// --- KDF_Bytes ---

namespace {

std::string trim(const std::string& s, bool left) {
    size_t b = 0, e = s.size();
    if (left)
        while (b < e && isspace(static_cast<unsigned char>(s[b]))) b++;
    while (e > b && isspace(static_cast<unsigned char>(s[e - 1]))) e--;
    return s.substr(b, e - b);
}

// Parses "name=value;..." for the one attribute "salt": hex digits only
// (-7 otherwise), an even number of them (-8 otherwise).
long parse_kdf_params(const char* params, SecureBytes& salt, bool* given) {
    if (!params) return 0;
    std::string all(params);
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t semi = all.find(';', pos);
        if (semi == std::string::npos) semi = all.size();
        std::string pair = all.substr(pos, semi - pos);
        pos = semi + 1;
        if (trim(pair, true).empty()) continue;
        size_t eq = pair.find('=');
        std::string name = trim(pair.substr(0, eq), true);
        std::string value = eq == std::string::npos ? "" : trim(pair.substr(eq + 1), false);
        if (strcasecmp(name.c_str(), "salt") != 0) {
            eprintcatf("'%s' is not a valid attribute name", name.c_str());
            return -BAD_PARAM_ERROR;
        }
        for (char ch : value) {
            if (!isxdigit(static_cast<unsigned char>(ch))) {
                eprintcatf("Invalid hex '%s'", value.c_str());
                return -BAD_FORMAT_ERROR;
            }
        }
        if (value.size() % 2) {
            eprintcatf("Hex '%s' has an odd number of digits", value.c_str());
            return -INVALID_DATA_ERROR;
        }
        salt.assign(value.size() / 2, 0);
        hexdecode(salt.data(), long(salt.size()), value.c_str());
        *given = !salt.empty();
    }
    return 0;
}

}  // namespace

long kdfBytes(unsigned char* output, long length, const unsigned char* z, long z_length, const unsigned char* info,
              long info_length, const char* params, long options) {
    if (!output || length < 1 || !z || z_length < 0 || info_length < 0 || (!info && info_length))
        return -BAD_PARAM_ERROR;
    SecureBytes salt;
    bool salt_given = false;
    if (params && *params) {
        long r = parse_kdf_params(params, salt, &salt_given);
        if (r < 0) return r;
    }
    // Only HKDF takes a salt: one given to another KDF is refused rather than
    // silently left out of the derivation.
    if (salt_given && (options & 0xF000) != 0x1000) {
        eprintf("The KDF selected takes no salt");
        return -BAD_PARAM_ERROR;
    }
    long r;
    switch (options & 0xF000) {
        case 0x0000: r = kdfX963(output, length, z, z_length, info, info_length, options); break;
        case 0x1000:
            r = kdfHkdf(output, length, z, z_length, info, info_length, salt.data(), long(salt.size()), options);
            break;
        case 0x2000: r = kdf2(output, length, z, z_length, info, info_length, options); break;
        case 0x3000: r = kdf3(output, length, z, z_length, info, info_length, options); break;
        default: return -BAD_FLAG_ERROR;
    }
    // KDF2 and KDF3 report their own argument errors positive; here every
    // failure is a negative code (an empty Z is -6, not success-looking 6).
    return r > 0 ? -r : r;
}

// --- HPKE (RFC 9180) ---

namespace {

struct KemRow {
    const char* curve;
    long kem_id;
    long kdf_id;
    long hash;
    size_t nh;
    size_t nsk;
    int kind;  // 1 rejection sampling, 2 direct
    uint8_t mask;
    const char* order_hex;
};

constexpr KemRow kKems[] = {
    {"P-256", 0x0010, 0x0001, kSha256, 32, 32, 1, 0xFF,
     "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551"},
    {"P-384", 0x0011, 0x0002, kSha384, 48, 48, 1, 0xFF,
     "ffffffffffffffffffffffffffffffffffffffffffffffffc7634d81f4372ddf581a0db248b0a77aecec196accc52973"},
    {"P-521", 0x0012, 0x0003, kSha512, 64, 66, 1, 0x01,
     "01ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffa51868783bf2f966b7fcc0148f709a5d03bb5c9b8"
     "899c47aebb6fb71e91386409"},
    {"X25519", 0x0020, 0x0001, kSha256, 32, 32, 2, 0, nullptr},
    {"X448", 0x0021, 0x0003, kSha512, 64, 56, 2, 0, nullptr},
};

const KemRow* find_kem(const char* curve) {
    static const std::pair<const char*, int> kAliases[] = {{"P-256", 0}, {"P_256", 0}, {"P-384", 1}, {"P_384", 1},
                                                           {"P-521", 2}, {"P_521", 2}, {"X25519", 3}, {"X448", 4}};
    if (!curve) return nullptr;
    for (const auto& [name, row] : kAliases)
        if (strcasecmp(name, curve) == 0) return &kKems[row];
    return nullptr;
}

long lookup(const char* curve, const KemRow** row) {
    *row = find_kem(curve);
    if (!*row) {
        eprintf("Curve '%s' is not supported", curve ? curve : "");
        return -NOT_SUPPORTED_ERROR;
    }
    return 0;
}

constexpr char kHpkeV1[] = "HPKE-v1";

// "HPKE-v1" || suite id || label, the common prefix of both labeled steps.
long labeled_prefix(SecureBytes& out, const KemRow& row, const char* label, long options) {
    unsigned char suite[10];
    long slen = form_suite_id(suite, row.kem_id, row.kdf_id, options);
    if (slen < 0) return slen;
    size_t llen = label ? strlen(label) : 0;
    out.insert(out.end(), kHpkeV1, kHpkeV1 + 7);
    out.insert(out.end(), suite, suite + slen);
    if (llen) out.insert(out.end(), label, label + llen);
    return 0;
}

long labeled_extract(unsigned char* output, long declared, const unsigned char* salt, long salt_length,
                     const char* label, const unsigned char* ikm, long ikm_length, const KemRow& row, long options) {
    if (ikm_length < 0 || (!ikm && ikm_length)) return -BAD_PARAM_ERROR;
    SecureBytes labeled;
    long r = labeled_prefix(labeled, row, label, options);
    if (r < 0) return r;
    if (ikm_length) labeled.insert(labeled.end(), ikm, ikm + ikm_length);
    return hkdf_Extract(output, declared, labeled.data(), long(labeled.size()), salt, salt_length, row.hash);
}

long labeled_expand(unsigned char* output, long length, const unsigned char* prk, long prk_length, const char* label,
                    const unsigned char* info, long info_length, const KemRow& row, long options) {
    if (!output || length < 1 || info_length < 0 || (!info && info_length)) return -BAD_PARAM_ERROR;
    if (prk_length < 0 || (!prk && prk_length)) return -BAD_PARAM_ERROR;
    if (size_t(length) > 255 * row.nh) return -OUT_OF_RANGE_ERROR;
    SecureBytes labeled(2);
    velt::store_be16(labeled.data(), uint16_t(length));
    long r = labeled_prefix(labeled, row, label, options);
    if (r < 0) return r;
    if (info_length) labeled.insert(labeled.end(), info, info + info_length);
    return hkdf_Expand(output, length, prk, prk_length, labeled.data(), long(labeled.size()), row.hash);
}

}  // namespace

long form_suite_id(unsigned char out[10], long kem_id, long kdf_id, long options) {
    long aead;
    switch (options & 0xFF0) {
        case 0x000:
            memcpy(out, "KEM", 3);
            velt::store_be16(out + 3, uint16_t(kem_id));
            return 5;
        case 0x520: aead = 1; break;
        case 0x540: aead = 2; break;
        case 0x550: aead = 3; break;
        default: return -BAD_FLAG_ERROR;
    }
    memcpy(out, "HPKE", 4);
    velt::store_be16(out + 4, uint16_t(kem_id));
    velt::store_be16(out + 6, uint16_t(kdf_id));
    velt::store_be16(out + 8, uint16_t(aead));
    return 10;
}

long hpkeLabeledExtract(unsigned char* output, long declared, const unsigned char* salt, long salt_length,
                        const char* label, const unsigned char* ikm, long ikm_length, const char* curve,
                        long options) {
    const KemRow* row;
    long r = lookup(curve, &row);
    if (r < 0) return r;
    return labeled_extract(output, declared, salt, salt_length, label, ikm, ikm_length, *row, options);
}

long hpkeLabeledExpand(unsigned char* output, long length, const unsigned char* prk, long prk_length,
                       const char* label, const unsigned char* info, long info_length, const char* curve,
                       long options) {
    const KemRow* row;
    long r = lookup(curve, &row);
    if (r < 0) return r;
    return labeled_expand(output, length, prk, prk_length, label, info, info_length, *row, options);
}

long hpkeDerivePrivateKey(char* output, long declared, const unsigned char* ikm, long ikm_length, const char* curve,
                          long options) {
    const KemRow* row;
    long r = lookup(curve, &row);
    if (r < 0) return r;
    if (ikm_length < 0 || (!ikm && ikm_length)) return -BAD_PARAM_ERROR;
    if (size_t(ikm_length) < row->nsk) {
        eprintf("Input key material is shorter than %zu bytes", row->nsk);
        return -BAD_LENGTH_ERROR;
    }
    const bool hex = (options & 0x30000) != 0;
    const long hex_len = long(2 * row->nsk);
    if (!hex) {
        // The internal private-key string needs the elliptic-curve key reader.
        eprintf("Private keys for curve '%s' are not available", row->curve);
        return -NOT_SUPPORTED_ERROR;
    }
    if (!output || declared < 1) return hex_len;
    if (declared < hex_len) return -SHORT_BUF_ERROR;
    // The KEM suite identifier whatever the option's AEAD bits.
    const long kem_options = options & ~0xFF0L;
    uint8_t prk[kMaxDigest];
    velt::WipeOnExit wipe_prk(prk, sizeof prk);
    r = labeled_extract(prk, sizeof prk, nullptr, 0, "dkp_prk", ikm, ikm_length, *row, kem_options);
    if (r < 0) return r;
    const long nh = r;
    SecureBytes sk(row->nsk);
    if (row->kind == 2) {
        r = labeled_expand(sk.data(), long(sk.size()), prk, nh, "sk", nullptr, 0, *row, kem_options);
        if (r < 0) return r;
    } else {
        std::vector<uint8_t> order = hex_bytes(row->order_hex);
        bool found = false;
        for (unsigned counter = 0; counter < 256 && !found; counter++) {
            uint8_t c = uint8_t(counter);
            r = labeled_expand(sk.data(), long(sk.size()), prk, nh, "candidate", &c, 1, *row, kem_options);
            if (r < 0) return r;
            sk[0] &= row->mask;
            // 0 < sk < n, compared without branching on the candidate's bytes.
            uint64_t lt = 0, eq = ~uint64_t(0);
            for (size_t i = 0; i < sk.size(); i++) {
                lt |= eq & velt::ct::mask_lt(sk[i], order[i]);
                eq &= velt::ct::mask_eq(sk[i], order[i]);
            }
            found = (lt != 0) & !velt::ct::is_zero(sk.data(), sk.size());
        }
        if (!found) {
            eprintf("No valid private key in 256 candidates");
            return -KEYGEN_FAILED_ERROR;
        }
    }
    return hexencodelc(output, hex_len + 1, sk.data(), long(sk.size()));
}
