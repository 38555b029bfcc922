// The signer of the certificate and request builders, and their inputs and
// output file.
#include <unistd.h>

#include <cstring>

#include "ecc/keys.h"
#include "encode/pem.h"
#include "frame/error.h"
#include "pbe/pbe.h"
#include "util/futil.h"
#include "util/safe_write.h"
#include "x509/make_int.h"

namespace velt::x509::mk {

namespace {

inline constexpr long kSigAsn1Der = 0x4000;
inline constexpr long kSaltLenZero = 0x400000;
const uint8_t kRsaPssOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0A};

// The DER of a private key input, decrypted with the password when it is an
// encrypted PKCS #8 key. Empty when unreadable.
SecureBytes private_der(const char* input, const char* password) {
    SecureBytes der;
    if (ecc::ecReadInputDer(input, der) < 0) return {};
    if (password && *password) {
        SecureBytes pki;
        if (pbeDecryptPrivateKeyInfoDer(pki, der.data(), der.size(),
                                        reinterpret_cast<const uint8_t*>(password),
                                        std::strlen(password)) == 0 &&
            !pki.empty())
            der = std::move(pki);
    }
    return der;
}

// True for a PrivateKeyInfo whose algorithm is id-RSASSA-PSS (RFC 4055).
bool is_rsassa_pss_key(const SecureBytes& der) {
    Tlv top, ver, alg, oid;
    if (!single_element(der.data(), der.size(), &top) || top.tag != 0x30) return false;
    Reader r(top);
    if (!r.next(ver) || !r.next(alg) || alg.tag != 0x30) return false;
    Reader a(alg);
    return a.next(oid) && oid.tag == 0x06 && oid.len == sizeof kRsaPssOid &&
           std::memcmp(oid.value, kRsaPssOid, sizeof kRsaPssOid) == 0;
}

Der hash_alg(const sig::SigAlgRow& row) {
    Der body = der_oid(row.hashName);
    der_append(body, der_null());
    return der_tlv(0x30, body);
}

}  // namespace

long read_input_der(const char* input, Der& der) {
    der.clear();
    if (!input || !*input) return BAD_PARAM_ERROR;
    SecureBytes raw;
    long rc = ecc::ecReadInputDer(input, raw);
    if (rc < 0 || raw.empty()) return rc == -OPEN_ERROR ? OPEN_ERROR : INVALID_DATA_ERROR;
    der.assign(raw.begin(), raw.end());
    return 0;
}

bool input_present(const char* input) {
    if (!input || !*input) return false;
    if (futil_exists(input)) return true;
    return PEM_IsPEMString(input) || input[0] == 'M' || input[0] == 'P';
}

std::string describe(const char* input) {
    if (input && futil_exists(input)) return std::string("'") + input + "'";
    return "(string)";
}

// SubjectPublicKeyInfo { AlgorithmIdentifier { OID, ... }, BIT STRING }.
bool is_spki(const Der& der) {
    Tlv top, alg, bits, oid;
    if (!single_element(der.data(), der.size(), &top) || top.tag != 0x30) return false;
    Reader r(top);
    if (!r.next(alg) || alg.tag != 0x30 || !r.next(bits) || bits.tag != 0x03 || !r.at_end()) return false;
    Reader a(alg);
    return a.next(oid) && oid.tag == 0x06;
}

long Signer::choose(long options) {
    options_ = options;
    row_ = sig::sigPtrToSigAlgById(options & 0xFF);
    if (!row_) {
        eprintf("Invalid signature option");
        return BAD_FLAG_ERROR;
    }
    // The dsaWithSha1 row would label an RSA PKCS #1 signature as DSA.
    if (sig::sigIdIsDsa(row_->id)) {
        eprintf("Invalid signature option: %s signatures are not made", row_->name);
        return BAD_FLAG_ERROR;
    }
    return 0;
}

long Signer::open(const char* keyText, const char* password, const char* rsaFailText) {
    keyText_ = keyText;
    password_ = password;
    if (sig::sigIdIsEcc(row_->id)) {
        SecureBytes der = private_der(keyText, password);
        ecc::EcKey key;
        int form = der.empty() ? -INVALID_DATA_ERROR : ecc::ecParseKeyDer(key, der.data(), der.size());
        if (form <= 0 || !key.is_private) {
            eprintf("Unable to read ECC private key data");
            return form < 0 ? long(-form) : long(INVALID_DATA_ERROR);
        }
        if (sig::sigIdIsEdDSA(row_->id)) {
            const int want = row_->id == sig::kSigIdEd25519 ? 1 : 3;
            if (form != ecc::kFormSafe || key.safe.id != want) {
                eprintf("Private key type does not match signature algorithm %s", row_->name);
                return BAD_KEY_ERROR;
            }
            spki_ = ecc::safecurveSpkiDer(key.safe.id, key.safe.pub, key.safe.publen);
        } else {
            if (form == ecc::kFormSafe) {
                eprintf("Private key type does not match signature algorithm %s", row_->name);
                return BAD_KEY_ERROR;
            }
            std::vector<uint8_t> q = ecc::ecPublicOctets(key);
            if (!q.empty()) spki_ = ecc::ecSpkiDer(key.curve, q.data(), q.size());
        }
        if (spki_.empty()) {
            eprintf("Error extracting public key");
            return BAD_KEY_ERROR;
        }
        return 0;
    }
    long rc = rsa_.open_private(keyText, password ? password : "");
    if (rc != 0) {
        if (is_rsassa_pss_key(private_der(keyText, password))) {
            eprintf("An rsassaPss key cannot sign here: an rsaEncryption key is required");
            return NOT_SUPPORTED_ERROR;
        }
        eprintf("%s", rsaFailText);
        return DECRYPT_ERROR;
    }
    spki_ = rsaSpkiDer(rsa_.key());
    if (spki_.empty()) {
        eprintf("Error extracting public key");
        return BAD_KEY_ERROR;
    }
    return 0;
}

Der Signer::alg_id() const {
    Der body = der_oid(row_->oidName);
    if (sig::sigIdIsPss(row_->id)) {
        // RSASSA-PSS-params { [0] hashAlgorithm, [1] maskGenAlgorithm
        // (MGF1 with the same hash), [2] saltLength, [3] trailerField },
        // every field written.
        Der mgf = der_oid("pkcs1-MGF");
        der_append(mgf, hash_alg(*row_));
        const uint64_t salt = (options_ & kSaltLenZero) ? 0 : row_->digestLen;
        Der params = der_tlv(0xA0, hash_alg(*row_));
        der_append(params, der_tlv(0xA1, der_tlv(0x30, mgf)));
        der_append(params, der_tlv(0xA2, der_uint(salt)));
        der_append(params, der_tlv(0xA3, der_uint(uint64_t(1))));
        der_append(body, der_tlv(0x30, params));
    } else if (!sig::sigIdIsEcc(row_->id)) {
        der_append(body, der_null());
    }
    return der_tlv(0x30, body);
}

long Signer::sign(const uint8_t* data, size_t n, std::vector<uint8_t>& out) {
    out.clear();
    if (sig::sigIdIsEcc(row_->id))
        return sig::eccDSA_SignDataToBytes(out, data, n, keyText_, password_, *row_,
                                           kSigAsn1Der | (options_ & kMkDeterministic));
    // Only the salt choice reaches the PSS signer: the making options share
    // bits with the signer's MGF1 and salt-length fields, and the MGF1 hash
    // must be the row's hash that alg_id() writes.
    if (sig::sigIdIsPss(row_->id))
        return sig::rsasigSign_PSS(out, rsa_, data, n, *row_, options_ & kSaltLenZero, nullptr, 0);
    return sig::rsasigSign(out, rsa_, data, n, *row_, false);
}

long write_output(const char* file, const Der& der, const char* pemLabel) {
    long rc;
    if (pemLabel) {
        std::string text = pem_text(der, pemLabel);
        rc = safe_write_file(file, text.data(), text.size(), WriteMode::kPublic);
    } else {
        rc = safe_write_file(file, der.data(), der.size(), WriteMode::kPublic);
    }
    if (rc != 0) eprint_headline("Cannot create file '%s'", file);
    return rc;
}

}  // namespace velt::x509::mk
