#!/bin/sh
# The shared library's dynamic symbol table lists only the API: every
# defined symbol carries a family prefix and is declared in the public
# header, every declared function is exported, and the SONAME is libmorvanevelt.so.23.
set -eu
lib=$1
header=$2
status=0

soname=$(objdump -p "$lib" | awk '$1 == "SONAME" { print $2 }')
if [ "$soname" != "libmorvanevelt.so.23" ]; then
    echo "SONAME is '$soname', expected libmorvanevelt.so.23"
    status=1
fi

prefixes='VELT|PWD|WIPE|CNV|PEM|ASN1|HASH|HMAC|KDF|XOF|PRF|HPKE|RNG|RSA|PBE|ECC|SIG|X509|OCSP|CMS|SMIME|COMPR|PFX|CIPHER|TDEA|PAD'
# Defined symbols other than the version node itself (type A).
symbols=$(nm -D --defined-only "$lib" | awk '$2 != "A" { sub(/@.*/, "", $3); print $3 }')
if [ -z "$symbols" ]; then
    echo "no exported symbols"
    exit 1
fi
for s in $symbols; do
    if ! echo "$s" | grep -Eq "^($prefixes)_[A-Za-z0-9_]+\$"; then
        echo "exported without a family prefix: $s"
        status=1
    elif ! grep -Eq "VELT_API[^;]*[ *]$s\(" "$header"; then
        echo "exported but not declared in the header: $s"
        status=1
    fi
done
# And the other way round: every function the header declares is exported.
declared=$(sed -n 's/^VELT_API[^(]*[ *]\([A-Za-z0-9_]*\)(.*/\1/p' "$header")
for d in $declared; do
    if ! echo "$symbols" | grep -qx "$d"; then
        echo "declared in the header but not exported: $d"
        status=1
    fi
done
echo "$(echo "$symbols" | wc -l) exported symbols checked"
exit $status
