// Certificates and keys of the signed-data writer.
#include "cms/sd_make_certs.h"

#include <cstring>

#include "asn1/asn1.h"
#include "ecc/keys.h"
#include "encode/pem.h"
#include "frame/error.h"
#include "rsa/rsa.h"
#include "util/futil.h"
#include "x509/x509.h"

namespace velt::cms {

namespace {

// subjectKeyIdentifier 2.5.29.14
const uint8_t kOidSki[] = {0x06, 0x03, 0x55, 0x1D, 0x0E};

// A PKCS #7 chain (file, PEM or base64) as its encoding.
bool read_item_der(const char* item, Der& out) {
    long err = 0;
    AsnNode* chain = pemReadAsnFromAnything(item, &err);
    if (!chain) return false;
    int64_t n = 0;
    uint8_t* der = asn_Store(chain, &n);
    asn_Free(&chain);
    if (!der) return false;
    out.assign(der, der + n);
    efree_mem(der);
    return true;
}

// The key identifier inside an Extensions SEQUENCE; empty when absent.
Der find_ski(const DerTlv& extsSeq) {
    DerReader exts(extsSeq);
    DerTlv ext;
    while (exts.next(ext)) {
        DerReader f(ext);
        DerTlv id, v;
        if (!f.next(id) || id.total != sizeof kOidSki || std::memcmp(id.start, kOidSki, sizeof kOidSki) != 0)
            continue;
        if (!f.next(v)) return {};
        if (v.tag == 0x01 && !f.next(v)) return {};  // critical flag
        DerTlv inner;
        if (v.tag != 0x04 || !der_parse_one(v.value, v.len, inner) || inner.tag != 0x04) return {};
        return Der(inner.value, inner.value + inner.len);
    }
    return {};
}

}  // namespace

bool parse_cert(const Der& der, SignerCert& out) {
    DerTlv cert, tbs, t;
    if (!der_parse_one(der.data(), der.size(), cert) || cert.tag != 0x30) return false;
    DerReader c(cert);
    if (!c.next(tbs) || tbs.tag != 0x30) return false;
    DerReader r(tbs);
    if (!r.next(t)) return false;
    if (t.tag == 0xA0 && !r.next(t)) return false;  // version
    if (t.tag != 0x02) return false;
    out.serial = t.bytes();
    if (!r.next(t) || t.tag != 0x30) return false;  // signature
    if (!r.next(t) || t.tag != 0x30) return false;  // issuer
    out.issuer = t.bytes();
    if (!r.next(t) || t.tag != 0x30) return false;  // validity
    if (!r.next(t) || t.tag != 0x30) return false;  // subject
    if (!r.next(t) || t.tag != 0x30) return false;  // subjectPublicKeyInfo
    out.spki = t.bytes();
    out.ski.clear();
    while (r.next(t)) {
        if (t.tag != 0xA3) continue;
        DerTlv exts;
        if (der_parse_one(t.value, t.len, exts) && exts.tag == 0x30) out.ski = find_ski(exts);
    }
    out.der = der;
    return true;
}

bool certs_of_signed_data(const uint8_t* der, size_t n, std::vector<Der>& certs) {
    DerTlv ci, t, sd;
    if (!der_parse_one(der, n, ci) || ci.tag != 0x30) return false;
    DerReader r(ci);
    if (!r.next(t) || t.tag != 0x06 || !r.next(t) || t.tag != 0xA0) return false;
    if (!der_parse_one(t.value, t.len, sd) || sd.tag != 0x30) return false;
    DerReader s(sd);
    while (s.next(t)) {
        if (t.tag != 0xA0) continue;
        DerReader list(t);
        DerTlv c;
        while (list.next(c)) certs.push_back(c.bytes());
        return list.at_end();
    }
    return true;
}

long read_cert_list(const char* certList, std::vector<Der>& certs) {
    certs.clear();
    if (!certList || !*certList) return BAD_PARAM_ERROR;
    if (!std::strchr(certList, ';') && pemCheckIsP7Chain(certList) == 0) {
        Der der;
        if (read_item_der(certList, der) && certs_of_signed_data(der.data(), der.size(), certs) &&
            !certs.empty())
            return 0;
        eprintf("Cannot read certificate '%s'", describe_input(certList).c_str());
        return OPEN_ERROR;
    }
    std::string list = certList;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string item = list.substr(start, end - start);
        start = end + 1;
        size_t a = item.find_first_not_of(" \t\r\n");
        if (a == std::string::npos) continue;
        item = item.substr(a, item.find_last_not_of(" \t\r\n") - a + 1);
        std::vector<uint8_t> raw;
        Der der;
        SignerCert parts;
        if (x509readCertDer(raw, item.c_str()) == 0) der.assign(raw.begin(), raw.end());
        if (der.empty() || !parse_cert(der, parts)) {
            eprintf("Cannot read certificate '%s'", describe_input(item.c_str()).c_str());
            return OPEN_ERROR;
        }
        certs.push_back(std::move(der));
    }
    if (certs.empty()) {
        eprintf("Cannot read certificate '%s'", describe_input(certList).c_str());
        return OPEN_ERROR;
    }
    return 0;
}

Der private_key_identity(const char* privateKey, bool ecc) {
    if (!ecc) {
        RsaKeyUse rsa;
        if (rsa.open_private(privateKey, "") != 0) return {};
        std::vector<uint8_t> der = rsaPublicKeyDer(rsa.key());
        return Der(der.begin(), der.end());
    }
    SecureBytes der;
    if (ecc::ecReadInputDer(privateKey, der) != 0) return {};
    ecc::EcKey key;
    int form = ecc::ecParseKeyDer(key, der.data(), der.size());
    if (form == ecc::kFormSafe) return Der(key.safe.pub, key.safe.pub + key.safe.publen);
    if (form != ecc::kFormEcPrivate && form != ecc::kFormEcPki) return {};
    std::vector<uint8_t> q = ecc::ecPublicOctets(key);
    return Der(q.begin(), q.end());
}

Der spki_identity(const Der& spki, bool ecc) {
    if (!ecc) {
        RsaKey* key = rsaNew();
        Der out;
        if (key && rsaParseSpkiDer(key, spki.data(), spki.size()) == 0) {
            std::vector<uint8_t> der = rsaPublicKeyDer(key);
            out.assign(der.begin(), der.end());
        }
        rsaFree(&key);
        return out;
    }
    ecc::EcKey key;
    int form = ecc::ecParseKeyDer(key, spki.data(), spki.size());
    if (form == ecc::kFormSafe) return Der(key.safe.pub, key.safe.pub + key.safe.publen);
    if (form != ecc::kFormEcSpki) return {};
    return Der(key.q.begin(), key.q.end());
}

size_t spki_rsa_bytes(const Der& spki) {
    RsaKey* key = rsaNew();
    size_t n = 0;
    if (key && rsaParseSpkiDer(key, spki.data(), spki.size()) == 0) n = rsaBlockLength(key);
    rsaFree(&key);
    return n;
}

}  // namespace velt::cms
