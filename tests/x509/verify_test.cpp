// Verification of certificates, CRLs and requests OpenSSL makes, with every
// issuer key kind; the refusals that guard it (changed bytes, differing
// inner and outer algorithms, PSS salt length, DSA and ECDSA signature
// forms); validity under a fixed clock.
#include <cstring>

#include "morvanevelt.h"
#include "x509/fixture.h"
#include "x509/x509.h"

using testutil::Bytes;

namespace {

std::string b64(const Bytes& der) {
    std::string out(((der.size() + 2) / 3) * 4 + 1, '\0');
    long n = CNV_B64StrFromBytes(out.data(), long(out.size()), der.data(), long(der.size()));
    out.resize(size_t(n));
    return out;
}

Bytes der_of(const std::string& pem) {
    return testutil::from_hex(x509fx::openssl("x509 -in " + pem + " -outform DER | xxd -p | tr -d '\\n'"));
}

TEST(X509Verify, SelfSignedOfEveryKind) {
    X509_NEED_FIXTURES();
    for (const char* name : {"rsa", "pss", "pss384", "p256", "p384", "p521", "ed25519", "ed448", "dsa"}) {
        const std::string f = x509fx::path(std::string(name) + ".pem");
        EXPECT_EQ(X509_VerifyCert(f.c_str(), f.c_str(), 0), 0) << name << ": " << x509fx::last_error();
    }
}

TEST(X509Verify, IssuedCertsAsFilesAndStrings) {
    X509_NEED_FIXTURES();
    const std::string leaf = x509fx::path("leaf.pem"), ca = x509fx::path("rsa.pem");
    EXPECT_EQ(X509_VerifyCert(leaf.c_str(), ca.c_str(), 0), 0);
    EXPECT_EQ(X509_VerifyCert(x509fx::path("leaf_ec.pem").c_str(), x509fx::path("p256.pem").c_str(), 0), 0);
    // Base64 and PEM strings, DER file.
    const std::string leafB64 = b64(x509fx::bytes("leaf.der")), caPem = x509fx::text("rsa.pem");
    EXPECT_EQ(X509_VerifyCert(leafB64.c_str(), caPem.c_str(), 0), 0);
    EXPECT_EQ(X509_VerifyCert(x509fx::path("leaf.der").c_str(), caPem.c_str(), 0), 0);
    // Wrong issuer: the signature does not verify, returned positive.
    EXPECT_EQ(X509_VerifyCert(x509fx::path("leaf_ec.pem").c_str(), x509fx::path("p384.pem").c_str(), 0), 22);
    // Another kind of issuer key altogether.
    EXPECT_GT(X509_VerifyCert(leaf.c_str(), x509fx::path("p256.pem").c_str(), 0), 0);
    EXPECT_EQ(X509_VerifyCert("", ca.c_str(), 0), 6);
    EXPECT_EQ(X509_VerifyCert(x509fx::path("missing.pem").c_str(), ca.c_str(), 0), 1);
}

TEST(X509Verify, EveryChangedTbsByteFails) {
    X509_NEED_FIXTURES();
    for (const char* name : {"rsa", "p256", "ed25519", "dsa", "pss"}) {
        Bytes der = der_of(std::string(name) + ".pem");
        const std::string issuer = x509fx::path(std::string(name) + ".pem");
        // A byte in the subject name near the middle of the TBSCertificate.
        const std::string cn = std::string("CN");
        size_t at = 0;
        for (size_t i = 0; i + 3 < der.size(); ++i) {
            if (der[i] == 0x55 && der[i + 1] == 0x04 && der[i + 2] == 0x03) at = i + 5;  // CN value
        }
        ASSERT_NE(at, 0u);
        der[at] ^= 0x01;
        const std::string s = b64(der);
        EXPECT_EQ(X509_VerifyCert(s.c_str(), issuer.c_str(), 0), 22) << name;
    }
}

TEST(X509Verify, InnerAndOuterAlgorithmsMustMatch) {
    X509_NEED_FIXTURES();
    // A valid signature over a TBS whose signature field names SHA-384 while
    // the outer algorithm says SHA-256.
    const std::string ca = x509fx::path("rsa.pem");
    EXPECT_EQ(X509_VerifyCert(x509fx::path("mismatch.der").c_str(), ca.c_str(), 0), 22);
    EXPECT_NE(x509fx::last_error().find("differ"), std::string::npos) << x509fx::last_error();
    EXPECT_EQ(X509_VerifyCert(x509fx::path("mismatch.crl").c_str(), ca.c_str(), 0), 22);
    EXPECT_EQ(X509_VerifyCert(x509fx::path("ca.crl").c_str(), ca.c_str(), 0), 0);
    EXPECT_EQ(X509_VerifyCert(x509fx::path("ca_crl.pem").c_str(), ca.c_str(), 0), 0);
}

TEST(X509Verify, RequestsWithTheirOwnKey) {
    X509_NEED_FIXTURES();
    EXPECT_EQ(X509_VerifyCert(x509fx::path("leaf.csr").c_str(), "", 0), 0);
    EXPECT_EQ(X509_VerifyCert(x509fx::path("req.pem").c_str(), nullptr, 0), 0);
    // A request verified against the key of its signer as a certificate.
    EXPECT_EQ(X509_VerifyCert(x509fx::path("req.pem").c_str(), x509fx::path("rsa.pem").c_str(), 0), 0);
}

// A certificate whose DER uses a long length form where the short one would
// do still verifies: the signed octets are taken as they stand.
TEST(X509Verify, NonMinimalLengthKeptAsSigned) {
    X509_NEED_FIXTURES();
    // Re-sign a TBS with a non-minimal length on its serial INTEGER.
    const std::string dir = x509fx::dir();
    int st = 0;
    std::string out = testutil::run_command("cd " + dir + R"( && python3 - <<'P'
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography import x509
key = serialization.load_pem_private_key(open("rsa.key","rb").read(), None)
c = x509.load_pem_x509_certificate(open("leaf.pem","rb").read())
der = c.public_bytes(serialization.Encoding.DER)
tbs = c.tbs_certificate_bytes
i = tbs.index(bytes([0x02, 0x02, 0x00, 0x80]))
tbs2 = tbs[:i] + bytes([0x02, 0x81, 0x02, 0x00, 0x80]) + tbs[i+4:]
def L(n): return bytes([n]) if n < 128 else (bytes([0x81, n]) if n < 256 else bytes([0x82, n >> 8, n & 255]))
tbs2 = bytes([0x30]) + L(len(tbs2) - 4) + tbs2[4:]
sig = key.sign(tbs2, padding.PKCS1v15(), hashes.SHA256())
alg = bytes.fromhex("300d06092a864886f70d01010b0500")
body = tbs2 + alg + bytes([0x03]) + L(len(sig) + 1) + b"\0" + sig
open("longform.der","wb").write(bytes([0x30]) + L(len(body)) + body)
print("ok")
P)",
                                            &st);
    ASSERT_EQ(st, 0) << out;
    EXPECT_EQ(X509_VerifyCert(x509fx::path("longform.der").c_str(), x509fx::path("rsa.pem").c_str(), 0), 0)
        << x509fx::last_error();
}

// The salt must have exactly the length the parameters state.
TEST(X509Verify, PssSaltLengthFromParameters) {
    X509_NEED_FIXTURES();
    int st = 0;
    std::string out = testutil::run_command("cd " + x509fx::dir() + R"( && python3 - <<'P'
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography import x509
key = serialization.load_pem_private_key(open("rsa.key","rb").read(), None)
c = x509.load_pem_x509_certificate(open("pss.pem","rb").read())
tbs = c.tbs_certificate_bytes
der = c.public_bytes(serialization.Encoding.DER)
# Same TBS and parameters (salt 32), signed with a salt of 20 octets.
sig = key.sign(tbs, padding.PSS(mgf=padding.MGF1(hashes.SHA256()), salt_length=20), hashes.SHA256())
old = c.signature
open("pss_salt20.der","wb").write(der.replace(old, sig))
print("ok")
P)",
                                            &st);
    ASSERT_EQ(st, 0) << out;
    const std::string issuer = x509fx::path("pss.pem");
    EXPECT_EQ(X509_VerifyCert(x509fx::path("pss_salt20.der").c_str(), issuer.c_str(), 0), 22);
}

// ECDSA signatures in certificates are DER: the same values as raw r || s
// (which the data-signing engine would take) are refused.
TEST(X509Verify, EcdsaSignatureMustBeDer) {
    X509_NEED_FIXTURES();
    int st = 0;
    std::string out = testutil::run_command("cd " + x509fx::dir() + R"( && python3 - <<'P'
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
from cryptography.hazmat.primitives import serialization
from cryptography import x509
c = x509.load_pem_x509_certificate(open("p256.pem","rb").read())
der = c.public_bytes(serialization.Encoding.DER)
r, s = decode_dss_signature(c.signature)
raw = r.to_bytes(32, "big") + s.to_bytes(32, "big")
old = bytes([0x03, len(c.signature) + 1, 0]) + c.signature
new = bytes([0x03, 65, 0]) + raw
body = der[der.index(c.tbs_certificate_bytes):].replace(old, new)
n = len(body)
open("p256_raw.der","wb").write(bytes([0x30, 0x82, n >> 8, n & 255]) + body)
print("ok")
P)",
                                            &st);
    ASSERT_EQ(st, 0) << out;
    const std::string issuer = x509fx::path("p256.pem");
    EXPECT_EQ(X509_VerifyCert(x509fx::path("p256_raw.der").c_str(), issuer.c_str(), 0), 22);
}

// DSA r and s longer than q (beyond one leading zero octet) are malformed.
TEST(X509Verify, DsaSignatureValuesBoundedByQ) {
    X509_NEED_FIXTURES();
    int st = 0;
    std::string out = testutil::run_command("cd " + x509fx::dir() + R"( && python3 - <<'P'
from cryptography.hazmat.primitives import serialization
from cryptography import x509
c = x509.load_pem_x509_certificate(open("dsa.pem","rb").read())
der = c.public_bytes(serialization.Encoding.DER)
sig = c.signature           # 30 L 02 lr r 02 ls s
lr = sig[3]; r = sig[4:4+lr]; s = sig[4+lr+2:]
def I(v): return bytes([0x02, len(v)]) + v
def seq(b): return bytes([0x30, len(b)]) + b
for name, rr in (("dsa_r00.der", b"\0\0" + r.lstrip(b"\0")), ("dsa_r0.der", b"\0" + r.lstrip(b"\0"))):
    sig2 = seq(I(rr) + I(s))
    old = bytes([0x03, len(sig) + 1, 0]) + sig
    new = bytes([0x03, len(sig2) + 1, 0]) + sig2
    body = der[der.index(c.tbs_certificate_bytes):].replace(old, new)
    n = len(body)
    open(name, "wb").write(bytes([0x30, 0x82, n >> 8, n & 255]) + body)
print("ok")
P)",
                                            &st);
    ASSERT_EQ(st, 0) << out;
    const std::string issuer = x509fx::path("dsa.pem");
    EXPECT_EQ(X509_VerifyCert(x509fx::path("dsa_r0.der").c_str(), issuer.c_str(), 0), 0)
        << x509fx::last_error();
    EXPECT_EQ(X509_VerifyCert(x509fx::path("dsa_r00.der").c_str(), issuer.c_str(), 0), 7);
}

// ---- Validity under a fixed clock ----

struct ClockGuard {
    explicit ClockGuard(time_t t) { x509setClockForTesting(&t); }
    ~ClockGuard() { x509setClockForTesting(nullptr); }
};

time_t utc(int y, int mo, int d, int h, int mi, int s) {
    struct tm t {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return timegm(&t);
}

TEST(X509Validity, BoundsUnderFixedClock) {
    X509_NEED_FIXTURES();
    // A certificate valid from 2024-02-28T23:59:59Z to 2028-02-29T12:00:00Z.
    int st = 0;
    std::string out = testutil::run_command("cd " + x509fx::dir() + R"( && python3 - <<'P'
import datetime
from cryptography import x509
from cryptography.x509.oid import NameOID
from cryptography.hazmat.primitives import hashes, serialization
key = serialization.load_pem_private_key(open("p256.key","rb").read(), None)
n = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "leap")])
u = datetime.timezone.utc
c = (x509.CertificateBuilder().subject_name(n).issuer_name(n).public_key(key.public_key())
     .serial_number(5).not_valid_before(datetime.datetime(2024, 2, 28, 23, 59, 59, tzinfo=u))
     .not_valid_after(datetime.datetime(2028, 2, 29, 12, 0, 0, tzinfo=u)).sign(key, hashes.SHA256()))
open("leap.pem","wb").write(c.public_bytes(serialization.Encoding.PEM))
print("ok")
P)",
                                            &st);
    ASSERT_EQ(st, 0) << out;
    const std::string f = x509fx::path("leap.pem");
    struct Case {
        time_t now;
        long expect;
    } cases[] = {
        {utc(2024, 2, 28, 23, 59, 58), 16},                                   // a second before notBefore
        {utc(2024, 2, 28, 23, 59, 59), 0},                                    // notBefore itself
        {utc(2024, 2, 29, 0, 0, 0), 0},                                       // on 29 February
        {utc(2025, 3, 1, 0, 0, 0), 0},      {utc(2028, 2, 29, 12, 0, 0), 0},  // notAfter itself
        {utc(2028, 2, 29, 12, 0, 1), 16},                                     // a second after notAfter
        {utc(2028, 3, 1, 0, 0, 0), 16},
    };
    for (const Case& c : cases) {
        ClockGuard g(c.now);
        EXPECT_EQ(X509_CertIsValidNow(f.c_str(), 0), c.expect) << c.now;
    }
    EXPECT_EQ(X509_CertIsValidNow(x509fx::path("rsa.pem").c_str(), 0), 0);  // real clock
    EXPECT_EQ(X509_CertIsValidNow("", 0), 6);
    EXPECT_EQ(X509_CertIsValidNow(x509fx::path("req.pem").c_str(), 0), 7);
}

}  // namespace
