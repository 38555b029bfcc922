#include "cms_fixture.h"

#include <sys/stat.h>

#include <fstream>

#include "encode/encode.h"

using velt::cms::Der;
using velt::cms::DerReader;
using velt::cms::DerTlv;

namespace cmsfx {

namespace {

bool sh(const std::string& cmd) {
    int st = 0;
    testutil::run_command(cmd + " >/dev/null 2>&1", &st);
    return st == 0;
}

bool make_cert(const std::string& dir, const std::string& name, const std::string& keyopt,
               const std::string& extra = "") {
    return sh("cd " + dir + " && openssl req -x509 " + keyopt + " -nodes -keyout " + name + ".key -out " +
              name + ".crt -subj /CN=" + name + " -days 30 " + extra);
}

Fixtures build() {
    Fixtures f;
    if (!have_openssl()) return f;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return f;
    f.dir = std::string(cwd) + "/cmsfx";
    mkdir(f.dir.c_str(), 0700);
    bool ok = make_cert(f.dir, "rsa", "-newkey rsa:2048") && make_cert(f.dir, "rsa2", "-newkey rsa:2048") &&
              make_cert(f.dir, "ec", "-newkey ec -pkeyopt ec_paramgen_curve:P-256") &&
              make_cert(f.dir, "ed", "-newkey ed25519") && make_cert(f.dir, "ed448", "-newkey ed448") &&
              make_cert(f.dir, "noski", "-newkey rsa:2048", "-addext subjectKeyIdentifier=none");
    if (!ok) return f;
    auto load = [&](Signer& s, const char* name, bool ecc) {
        std::string k = f.dir + "/" + name + ".key";
        s.key = ecc ? read_ec_key(k) : read_rsa_key(k);
        s.cert = f.dir + "/" + name + ".crt";
        return !s.key.empty();
    };
    ok = load(f.rsa, "rsa", false) && load(f.rsa2, "rsa2", false) && load(f.ec, "ec", true) &&
         load(f.ed, "ed", true) && load(f.ed448, "ed448", true) && load(f.noski, "noski", false);
    f.content = f.dir + "/content.txt";
    testutil::write_file(f.content, std::string("Content to be signed.\r\nSecond line.\r\n"));
    f.ok = ok;
    return f;
}

}  // namespace

const Fixtures& fx() {
    static Fixtures f = build();
    return f;
}

std::string read_rsa_key(const std::string& file) {
    long n = RSA_ReadAnyPrivateKey(nullptr, 0, file.c_str(), "", 0);
    if (n <= 0) return {};
    std::string s(size_t(n), '\0');
    RSA_ReadAnyPrivateKey(s.data(), n, file.c_str(), "", 0);
    return s;
}

std::string read_ec_key(const std::string& file) {
    long n = ECC_ReadPrivateKey(nullptr, 0, file.c_str(), "", 0);
    if (n <= 0) return {};
    std::string s(size_t(n), '\0');
    ECC_ReadPrivateKey(s.data(), n, file.c_str(), "", 0);
    return s;
}

int openssl_verify(const std::string& file, bool der, const std::string& content,
                   const std::string& extraCerts, std::string* out) {
    std::string cmd =
        "openssl cms -verify -noverify -binary -in " + file + (der ? " -inform DER" : " -inform PEM");
    if (!content.empty()) cmd += " -content " + content;
    if (!extraCerts.empty()) cmd += " -certfile " + extraCerts;
    std::string outFile = file + ".out";
    cmd += " -out " + outFile + " 2>&1";
    int st = 0;
    std::string msg = testutil::run_command(cmd, &st);
    if (st != 0) ADD_FAILURE() << cmd << "\n" << msg;
    if (out) {
        testutil::Bytes b = testutil::read_file(outFile);
        out->assign(b.begin(), b.end());
    }
    return st;
}

Der load_der(const std::string& file) {
    testutil::Bytes b = testutil::read_file(file);
    if (!b.empty() && b[0] == 0x30) return Der(b.begin(), b.end());
    std::string text(b.begin(), b.end());
    std::string body;
    for (std::string line; !text.empty();) {
        size_t e = text.find('\n');
        line = text.substr(0, e);
        text = e == std::string::npos ? "" : text.substr(e + 1);
        if (line.rfind("-----", 0) == 0) continue;
        body += line;
    }
    std::vector<uint8_t> v = b64_bytes(body.c_str());
    return Der(v.begin(), v.end());
}

bool signer_parts(const Der& ci, SignerParts& p, size_t index) {
    DerTlv outer, t, sd;
    if (!velt::cms::der_parse_one(ci.data(), ci.size(), outer)) return false;
    DerReader r(outer);
    if (!r.next(t)) return false;
    if (t.tag == 0x06) {
        if (!r.next(t) || !velt::cms::der_parse_one(t.value, t.len, sd)) return false;
    } else {
        sd = outer;  // bare SignedData
    }
    DerReader s(sd);
    DerTlv v, algs, encap, certs, sis;
    if (!s.next(v) || !s.next(algs) || !s.next(encap)) return false;
    p.sdVersion = v.value[0];
    p.digestAlgCount = velt::cms::count_items_in_set(algs.start, algs.total);
    {
        DerReader e(encap);
        DerTlv oid, c;
        e.next(oid);
        p.haveContent = e.next(c);
    }
    p.certCount = 0;
    while (s.next(t)) {
        if (t.tag == 0xA0) p.certCount = velt::cms::count_items_in_set(t.start, t.total);
        if (t.tag == 0x31) sis = t;
    }
    p.signerCount = velt::cms::count_items_in_set(sis.start, sis.total);
    DerReader list(sis);
    DerTlv si;
    for (size_t i = 0; i <= index; i++)
        if (!list.next(si)) return false;
    DerReader f(si);
    DerTlv sid, dig;
    if (!f.next(v) || !f.next(sid) || !f.next(dig) || !f.next(t)) return false;
    p.siVersion = v.value[0];
    p.sid = sid.bytes();
    if (t.tag == 0xA0) {
        p.signedAttrs = t.bytes();
        p.signedAttrs[0] = 0x31;
        if (!f.next(t)) return false;
    }
    p.sigAlg = t.bytes();
    if (!f.next(t)) return false;
    p.signature.assign(t.value, t.value + t.len);
    return true;
}

}  // namespace cmsfx
