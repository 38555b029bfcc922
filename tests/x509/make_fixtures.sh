#!/bin/sh
# Makes the certificate fixtures of the X.509 tests in the folder $1 with the
# openssl command (and python3-cryptography for a CRL and for certificates
# whose inner and outer signature algorithms differ). Prints "ok" at the end.
set -e
cd "$1"
O=openssl
SUBJ_CA="/C=US/O=Velt Test/CN=Test CA"

# Self-signed issuers of every kind.
$O req -x509 -newkey rsa:2048 -nodes -keyout rsa.key -out rsa.pem -subj "$SUBJ_CA RSA" -days 30 -sha256 \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
$O req -x509 -key rsa.key -out pss.pem -subj "/CN=PSS" -days 30 -sha256 \
    -sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:32 -sigopt rsa_mgf1_md:sha256 2>/dev/null
$O req -x509 -key rsa.key -out pss384.pem -subj "/CN=PSS384" -days 30 -sha384 \
    -sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:20 -sigopt rsa_mgf1_md:sha1 2>/dev/null
for c in 256:sha256 384:sha384 521:sha512; do
    n=${c%%:*}; h=${c##*:}
    $O req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-$n -nodes -keyout p$n.key -out p$n.pem \
        -subj "/CN=P-$n" -days 30 -$h 2>/dev/null
done
for c in ed25519 ed448; do
    $O req -x509 -newkey $c -nodes -keyout $c.key -out $c.pem -subj "/CN=$c" -days 30 2>/dev/null
done
$O dsaparam -out dsa.par 1024 2>/dev/null
$O req -x509 -newkey dsa:dsa.par -nodes -keyout dsa.key -out dsa.pem -subj "/CN=DSA" -days 30 -sha1 2>/dev/null

# A leaf issued by the RSA CA with many extensions (version 3), and a
# version 1 certificate.
cat > leaf.ext <<'X'
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment,dataEncipherment
extendedKeyUsage=serverAuth,clientAuth,emailProtection
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
subjectAltName=email:alice@example.com,DNS:www.example.com,IP:10.0.0.1,IP:2001:db8::1,URI:http://example.com/x
crlDistributionPoints=URI:http://crl.example.com/ca.crl
authorityInfoAccess=OCSP;URI:http://ocsp.example.com/,caIssuers;URI:http://ca.example.com/ca.cer
X
$O req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout leaf.key -out leaf.csr \
    -subj "/C=GB/O=Leaf Org/OU=Unit/CN=leaf.example.com/emailAddress=alice@example.com" \
    -addext "subjectAltName=DNS:www.example.com,email:alice@example.com" 2>/dev/null
$O x509 -req -in leaf.csr -CA rsa.pem -CAkey rsa.key -set_serial 0x0080 -days 30 -sha256 \
    -extfile leaf.ext -out leaf.pem 2>/dev/null
$O x509 -req -in leaf.csr -CA p256.pem -CAkey p256.key -set_serial 0x7f -days 30 -sha256 \
    -extfile leaf.ext -out leaf_ec.pem 2>/dev/null
$O x509 -in leaf.pem -outform DER -out leaf.der
$O req -x509 -key rsa.key -out v1.pem -subj "/CN=V1" -days 30 -sha256 -set_serial 1 \
    -config /dev/null -x509v1 2>/dev/null || \
    $O x509 -req -in leaf.csr -signkey rsa.key -days 30 -sha256 -out v1.pem -set_serial 1 2>/dev/null
$O req -new -key rsa.key -subj "/CN=Request" -out req.pem 2>/dev/null

python3 - <<'P'
import datetime
from cryptography import x509
from cryptography.x509.oid import NameOID
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding

key = serialization.load_pem_private_key(open("rsa.key", "rb").read(), None)
ca = x509.load_pem_x509_certificate(open("rsa.pem", "rb").read())
now = datetime.datetime(2026, 1, 1, tzinfo=datetime.timezone.utc)
b = x509.CertificateRevocationListBuilder().issuer_name(ca.subject).last_update(now)
b = b.next_update(now + datetime.timedelta(days=30))
for i in range(1, 4000):
    b = b.add_revoked_certificate(x509.RevokedCertificateBuilder().serial_number(i).revocation_date(now).build())
crl = b.sign(key, hashes.SHA256())
open("ca.crl", "wb").write(crl.public_bytes(serialization.Encoding.DER))
open("ca_crl.pem", "wb").write(crl.public_bytes(serialization.Encoding.PEM))

def der_len(n):
    if n < 0x80: return bytes([n])
    b = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(b)]) + b

def tlv(tag, body): return bytes([tag]) + der_len(len(body)) + body

def split(der):
    # outer SEQUENCE -> (tbs, alg, sig) raw TLVs
    def read(d, i):
        tag = d[i]; l = d[i + 1]; j = i + 2
        if l & 0x80:
            n = l & 0x7f; l = int.from_bytes(d[j:j + n], "big"); j += n
        return d[i:j + l], j + l
    body_start = 2 + (der[1] & 0x7f if der[1] & 0x80 else 0)
    tbs, i = read(der, body_start)
    alg, i = read(der, i)
    sig, i = read(der, i)
    return tbs, alg, sig

# Inner algorithm sha384WithRSAEncryption, outer sha256WithRSAEncryption,
# with a valid signature over the changed TBS.
leaf = open("leaf.der", "rb").read()
tbs, alg, sig = split(leaf)
sha256 = bytes.fromhex("2a864886f70d01010b")
sha384 = bytes.fromhex("2a864886f70d01010c")
tbs2 = tbs.replace(sha256, sha384, 1)
s = key.sign(tbs2, padding.PKCS1v15(), hashes.SHA256())
open("mismatch.der", "wb").write(tlv(0x30, tbs2 + alg + tlv(0x03, b"\0" + s)))
# The same for the CRL.
tbs, alg, sig = split(crl.public_bytes(serialization.Encoding.DER))
tbs2 = tbs.replace(sha256, sha384, 1)
s = key.sign(tbs2, padding.PKCS1v15(), hashes.SHA256())
open("mismatch.crl", "wb").write(tlv(0x30, tbs2 + alg + tlv(0x03, b"\0" + s)))
P
echo ok
