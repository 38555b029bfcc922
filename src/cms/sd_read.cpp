// SignedData (RFC 5652 section 5): the summary and signer records, and the
// extraction of the signed content to a file or a buffer.
#include <sys/stat.h>

#include <climits>
#include <cstring>

#include "cms/cms.h"
#include "frame/error.h"
#include "hash/hash.h"
#include "sig/sig.h"
#include "util/futil.h"
#include "util/safe_write.h"

namespace velt::cms {

namespace {

struct DigestName {
    const char* name;
    long id;
};
constexpr DigestName kDigests[] = {
    {"sha1", 0},   {"md5", 1},    {"md2", 2},        {"sha256", 3},     {"sha384", 4},
    {"sha512", 5}, {"sha224", 6}, {"shake256", 159}, {"shake128", 143},
};

long small_integer(const uint8_t* b, const Tlv& t, long* value) {
    if (!t.is(0x02) || t.len == 0 || t.len > 4) return INVALID_DATA_ERROR;
    long v = 0;
    for (size_t i = 0; i < t.len; ++i) v = (v << 8) | b[t.off + i];
    *value = v;
    return 0;
}

std::vector<uint8_t> bytes_of(const uint8_t* b, const Tlv& t) {
    return std::vector<uint8_t>(b + t.start, b + t.end);
}

// Family of a signature algorithm id.
int family_of(long id) {
    if (id >= 0x00 && id <= 0x0F) return kFamPkcs1;
    if (id >= 0xD0 && id <= 0xDE) return kFamDsa;
    if (id >= 0xB0 && id <= 0xBF) return kFamPss;
    if ((id >= 0x10 && id <= 0x5F) || (id >= 0xC0 && id <= 0xCF)) return kFamEcc;
    return -1;
}

// Name of an AlgorithmIdentifier's OID; empty when malformed.
std::string alg_name(const uint8_t* b, const Tlv& alg) {
    if (!alg.is(0x30)) return {};
    BerChildren k(b, alg);
    Tlv oid;
    if (k.next(oid) != 1) return {};
    return oidName(b, oid);
}

long parse_attrs(const uint8_t* b, const Tlv& attrs, SignerRec& s) {
    s.hasSignedAttrs = true;
    // The signature covers the attributes' DER with the SET OF tag
    // (RFC 5652 5.4), not the [0] IMPLICIT tag they are carried under.
    s.signedAttrs.assign(b + attrs.start, b + attrs.end);
    s.signedAttrs[0] = 0x31;
    BerChildren k(b, attrs);
    Tlv attr;
    int r;
    while ((r = k.next(attr)) == 1) {
        BerChildren ak(b, attr);
        Tlv oid, values, value;
        if (!attr.is(0x30) || ak.next(oid) != 1 || ak.next(values) != 1 || !values.is(0x31)) return 1;
        BerChildren vk(b, values);
        if (vk.next(value) != 1) return 1;
        std::string name = oidName(b, oid);
        if (name == "messageDigest") {
            if (!value.is(0x04)) return 1;
            s.hasMessageDigest = true;
            s.messageDigest.assign(b + value.off, b + value.off + value.len);
        } else if (name == "SigningCertificate" || name == "SigningCertificateV2") {
            s.hasSigningCert = true;
            s.signingCertV2 = name == "SigningCertificateV2";
            s.signingCertValue = bytes_of(b, value);
        } else if (name == "cmsAlgorithmProtection") {
            s.hasAlgProtect = true;
            s.algProtectValue = bytes_of(b, value);
        } else if (name == "signingTime") {
            s.signingTime = bytes_of(b, value);
        }
    }
    return r < 0 ? 1 : 0;
}

long parse_signer(const uint8_t* b, const Tlv& si, SignerRec& s) {
    if (!si.is(0x30)) return 1;
    BerChildren k(b, si);
    Tlv v, sid, dalg, t, salg, sig;
    if (k.next(v) != 1 || small_integer(b, v, &s.version) != 0) return 1;
    if (k.next(sid) != 1) return 1;
    s.sidDer = bytes_of(b, sid);
    if (sid.is(0x80)) {
        s.sidIsSki = true;
        s.sidValue.assign(b + sid.off, b + sid.off + sid.len);
    } else if (sid.is(0x30)) {
        s.sidValue = s.sidDer;
    } else {
        return 1;
    }
    if (k.next(dalg) != 1 || !dalg.is(0x30)) return 1;
    s.digestAlgDer = bytes_of(b, dalg);
    s.digestName = alg_name(b, dalg);
    s.digestId = cmsDigestIdFromName(s.digestName);
    if (k.next(t) != 1) return 1;
    if (t.is(0xA0)) {
        if (parse_attrs(b, t, s) != 0) return 1;
        if (k.next(t) != 1) return 1;
    }
    salg = t;
    if (!salg.is(0x30)) return 1;
    s.sigAlgDer = bytes_of(b, salg);
    s.sigName = alg_name(b, salg);
    s.sigId = sig::sigAlgIdFromOid(s.sigName.c_str());
    s.family = family_of(s.sigId);
    if (s.family == kFamPss) {
        if (rsapssGetParamsDer(&s.pss, s.sigAlgDer.data(), s.sigAlgDer.size(), false) != 0) errclear();
    }
    if (k.next(sig) != 1 || (sig.ident & 0xDF) != 0x04) return 1;
    return octetsOf(b, sig, s.sigValue) == 0 ? 0 : 1;
}

}  // namespace

long cmsDigestIdFromName(const std::string& name) {
    for (const auto& d : kDigests)
        if (name == d.name) return d.id;
    return -1;
}

bool cmsDigest(long id, const uint8_t* data, size_t n, std::vector<uint8_t>& out) {
    if (id == 159 || id == 143) {
        out.resize(id == 159 ? 64 : 32);
        hash::shake(id == 159 ? 256 : 128, data, n, out.data(), out.size());
        return true;
    }
    if (id < 0 || id > 6) return false;
    out.resize(hash::digest_length(id));
    return hash::digest(id, data, n, out.data());
}

long parseSignedData(const std::vector<uint8_t>& der, const Tlv& sd, SignedDataInfo& info,
                     bool requireSigners) {
    const uint8_t* b = der.data();
    info = SignedDataInfo();
    if (!sd.is(0x30)) {
        eprintf("Cannot find CMSVersion");
        return INVALID_DATA_ERROR;
    }
    BerChildren k(b, sd);
    Tlv v, encap, t;
    if (k.next(v) != 1 || small_integer(b, v, &info.version) != 0) {
        eprintf("Cannot find CMSVersion");
        return INVALID_DATA_ERROR;
    }
    if (k.next(info.digestAlgs) != 1 || !info.digestAlgs.is(0x31)) {
        eprintf("No encapContentInfo in SignedData");
        return INVALID_DATA_ERROR;
    }
    {
        BerChildren dk(b, info.digestAlgs);
        int r;
        while ((r = dk.next(t)) == 1) ++info.digestAlgCount;
        if (r < 0) return INVALID_DATA_ERROR;
    }
    if (k.next(encap) != 1 || !encap.is(0x30)) {
        eprintf("No encapContentInfo in SignedData");
        return INVALID_DATA_ERROR;
    }
    {
        BerChildren ek(b, encap);
        Tlv oid, c0;
        if (ek.next(oid) != 1 || oid.ident != 0x06) {
            eprintf("No encapContentInfo in SignedData");
            return INVALID_DATA_ERROR;
        }
        info.contentType = oidName(b, oid);
        int r = ek.next(c0);
        if (r < 0) return INVALID_DATA_ERROR;
        if (r == 1 && c0.is(0xA0)) {
            BerChildren ck(b, c0);
            if (ck.next(info.eContent) == 1 && (info.eContent.ident & 0xDF) == 0x04) info.hasEContent = true;
        }
    }
    int r = k.next(t);
    if (r == 1 && t.is(0xA0)) {
        info.hasCerts = true;
        info.certSet = t;
        BerChildren ck(b, t);
        Tlv c;
        int cr;
        while ((cr = ck.next(c)) == 1)
            if (c.is(0x30)) info.certs.push_back(c);
        if (cr < 0) return INVALID_DATA_ERROR;
        r = k.next(t);
    }
    if (r == 1 && t.is(0xA1)) {
        info.hasCrls = true;
        info.crlSet = t;
        r = k.next(t);
    }
    if (r != 1 || !t.is(0x31)) {
        if (r < 0) eprintcatf("Invalid or missing ASN.1 data");
        if (!requireSigners && r == 0) return 0;
        eprintf("No SignerInfos in SignedData");
        return INVALID_DATA_ERROR;
    }
    info.signerSet = t;
    BerChildren sk(b, t);
    Tlv si;
    while ((r = sk.next(si)) == 1) {
        SignerRec s;
        if (parse_signer(b, si, s) != 0) {
            eprintf("Invalid SignerInfo in SignedData");
            return INVALID_DATA_ERROR;
        }
        info.signers.push_back(std::move(s));
    }
    if (r < 0) return INVALID_DATA_ERROR;
    if (requireSigners && info.signers.empty()) {
        eprintf("No SignerInfos in SignedData");
        return INVALID_DATA_ERROR;
    }
    return 0;
}

long cmsReadSignedData(const char* input, std::vector<uint8_t>& der, SignedDataInfo& info,
                       bool requireSigners) {
    long rc = cmsReadObject(input, der);
    if (rc) return rc;
    Tlv sd;
    rc = cmsContentOf(der, "signedData", "signed-data", sd);
    if (rc) return rc;
    return parseSignedData(der, sd, info, requireSigners);
}

// ---- Content extraction ----

namespace {

// The eContent of a SignedData, with the messages of the content readers.
long read_content(const char* input, SecureBytes& content) {
    std::vector<uint8_t> der;
    long rc = cmsReadObject(input, der);
    if (rc) return rc;
    Tlv sd;
    rc = cmsContentOf(der, "signedData", "signed-data", sd);
    if (rc) return rc;
    const uint8_t* b = der.data();
    BerChildren k(b, sd);
    Tlv v, dalgs, encap, oid, c0, octets;
    long ver;
    if (!sd.is(0x30) || k.next(v) != 1 || small_integer(b, v, &ver) != 0) {
        eprintf("Invalid SignedData: cannot find CMSVersion");
        return INVALID_DATA_ERROR;
    }
    if (k.next(dalgs) != 1 || k.next(encap) != 1 || !encap.is(0x30)) {
        eprintf("Invalid SignedData: no encapContentInfo");
        return INVALID_DATA_ERROR;
    }
    BerChildren ek(b, encap);
    if (ek.next(oid) != 1 || oid.ident != 0x06) {
        eprintf("Invalid SignedData: no contentType");
        return INVALID_DATA_ERROR;
    }
    if (oidName(b, oid) != "data") {
        eprintf("Unsupported SignedData contentType: only 'data' is supported");
        return INVALID_DATA_ERROR;
    }
    if (ek.next(c0) != 1 || !c0.is(0xA0)) {
        eprintf("No eContent found");
        return NO_DATA_ERROR;
    }
    BerChildren ck(b, c0);
    if (ck.next(octets) != 1 || octetsOf(b, octets, content) != 0) {
        eprintf("No eContent found");
        return NO_DATA_ERROR;
    }
    return 0;
}

long sink_writer(void* ctx, const uint8_t* p, size_t n) {
    return static_cast<SafeWriter*>(ctx)->write(p, n);
}

struct CountingSink {
    SafeWriter* w;
    uint64_t count;
};
long sink_count(void* ctx, const uint8_t* p, size_t n) {
    auto* c = static_cast<CountingSink*>(ctx);
    c->count += n;
    return sink_writer(c->w, p, n);
}

long read_bigfile(const char* outFile, const char* input) {
    FILE* f = std::fopen(input, "rb");
    if (!f) {
        eprintf("Cannot open file %s", describe_input(input).c_str());
        return -OPEN_ERROR;
    }
    int c = std::fgetc(f);
    if (c != 0x30) {
        std::fclose(f);
        eprintf("Only binary files can be read with the BIGFILE option");
        return -BAD_FORMAT_ERROR;
    }
    std::rewind(f);
    SafeWriter w;
    if (w.open(outFile, WriteMode::kSecret) != 0) {
        std::fclose(f);
        eprintf("Cannot create output file");
        return -CREATE_ERROR;
    }
    CountingSink cs{&w, 0};
    BlockManager* bm = block_manager_init(f);
    StreamedSignedData sd;
    long rc = block_manager(bm, sink_count, &cs, sd);
    block_manager_final(&bm);
    std::fclose(f);
    if (rc) return -rc;
    if (!sd.hadContent) {
        eprintf("No eContent found");
        return -NO_DATA_ERROR;
    }
    rc = w.commit();
    if (rc) return -rc;
    return cs.count > uint64_t(LONG_MAX) ? -BAD_LENGTH_ERROR : long(cs.count);
}

}  // namespace

long cmsReadSigDataFromFile(const char* outFile, const char* input, long options) {
    if (!outFile || !*outFile || !input || !*input) return -BAD_PARAM_ERROR;
    if (safe_same_file(outFile, input)) {
        eprintf("Output file must not be the input file");
        return -BAD_PARAM_ERROR;
    }
    // The output file is removed first, so that a failed read leaves no
    // earlier content behind under its name; only regular files are touched.
    struct stat st;
    if (lstat(outFile, &st) == 0 && S_ISREG(st.st_mode)) std::remove(outFile);
    if (options & kOptBigFile) return read_bigfile(outFile, input);
    SecureBytes content;
    long rc = read_content(input, content);
    if (rc) return -rc;
    if (content.size() > size_t(LONG_MAX)) return -BAD_LENGTH_ERROR;
    rc = safe_write_file(outFile, content.data(), content.size(), WriteMode::kSecret);
    if (rc) {
        eprintf("Cannot create output file");
        return -CREATE_ERROR;
    }
    return long(content.size());
}

long cmsReadSigDataFromFileToMemory(uint8_t* out, long outlen, const char* input, bool asString, long) {
    if (!input || !*input) return -BAD_PARAM_ERROR;
    SecureBytes content;
    long rc = read_content(input, content);
    if (rc) return -rc;
    const long n = long(content.size());
    if (!out || outlen <= 0) return n;
    if (outlen < n) {
        eprintf("Output buffer too short: %ld bytes needed", n);
        return -SHORT_BUF_ERROR;
    }
    if (n) std::memcpy(out, content.data(), size_t(n));
    if (asString) out[n] = 0;
    return n;
}

}  // namespace velt::cms
