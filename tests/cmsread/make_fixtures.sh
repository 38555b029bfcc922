#!/bin/sh
# Builds the signed-data fixtures of the CMS reading tests with the openssl
# command (and python-cryptography for two signers with different digests).
# Usage: make_fixtures.sh <dir>
set -e
mkdir -p "$1"
cd "$1"
q() { "$@" 2>/dev/null; }
q openssl req -x509 -newkey rsa:2048 -nodes -keyout rsa.key -out rsa.crt -subj "/CN=RSA signer" -days 30
q openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ec.key -out ec.crt \
    -subj "/CN=EC signer" -days 30
q openssl genpkey -genparam -algorithm DSA -pkeyopt dsa_paramgen_bits:1024 -pkeyopt dsa_paramgen_q_bits:160 \
    -out dsa.param
q openssl genpkey -paramfile dsa.param -out dsa.key
q openssl req -x509 -new -key dsa.key -out dsa.crt -subj "/CN=DSA signer" -days 30 -sha256
q openssl req -x509 -newkey ed25519 -nodes -keyout ed25519.key -out ed25519.crt -subj "/CN=Ed25519 signer" -days 30
openssl x509 -in ed25519.crt -outform DER -out ed25519.der
openssl x509 -in rsa.crt -outform DER -out rsa.der
openssl x509 -in ec.crt -outform DER -out ec.der
printf 'This is some sample content.' > content.txt
head -c 3000000 /dev/urandom > big.bin
S="openssl cms -sign -binary -in content.txt -signer rsa.crt -inkey rsa.key"
$S -nodetach -outform DER -out att.p7m
$S -nodetach -outform PEM -out att.pem
$S -outform DER -out det.p7s
$S -nodetach -stream -outform DER -out stream.p7m
$S -nodetach -noattr -outform DER -out noattr.p7m
$S -nodetach -nocerts -outform DER -out nocerts.p7m
$S -nodetach -keyid -outform DER -out keyid.p7m
$S -nodetach -md sha384 -outform DER -out sha384.p7m
$S -nodetach -keyopt rsa_padding_mode:pss -outform DER -out pss.p7m
$S -nodetach -keyopt rsa_padding_mode:pss -keyopt rsa_mgf1_md:sha1 -outform DER -out pss_mgf1.p7m
$S -nodetach -signer ec.crt -inkey ec.key -outform DER -out multi.p7m
openssl cms -sign -binary -in content.txt -signer ec.crt -inkey ec.key -nodetach -outform DER -out ec.p7m
openssl cms -sign -binary -in content.txt -signer dsa.crt -inkey dsa.key -md sha1 -nodetach -outform DER -out dsa.p7m
openssl cms -sign -binary -in big.bin -signer rsa.crt -inkey rsa.key -nodetach -stream -outform DER -out bigstream.p7m
openssl crl2pkcs7 -nocrl -certfile rsa.crt -certfile ec.crt -outform DER -out chain.p7b
openssl crl2pkcs7 -nocrl -certfile rsa.crt -certfile ec.crt -outform PEM -out chain.p7c
python3 - <<'PY'
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.serialization import pkcs7
def load(name):
    return (x509.load_pem_x509_certificate(open(name + '.crt', 'rb').read()),
            serialization.load_pem_private_key(open(name + '.key', 'rb').read(), None))
rc, rk = load('rsa')
ec, ek = load('ec')
d = (pkcs7.PKCS7SignatureBuilder().set_data(open('content.txt', 'rb').read())
     .add_signer(rc, rk, hashes.SHA256()).add_signer(ec, ek, hashes.SHA384())
     .sign(serialization.Encoding.DER, [pkcs7.PKCS7Options.Binary]))
open('two.p7m', 'wb').write(d)
PY
touch done
