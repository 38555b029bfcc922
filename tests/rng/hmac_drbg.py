#!/usr/bin/env python3
"""Independent HMAC_DRBG (NIST SP 800-90A, HMAC-SHA-512) used as a test oracle.

Usage: hmac_drbg.py BITS ENTROPY NONCE PERS ADD1 RESEED_ENTROPY RESEED_ADD ADD2 [after]
   or: hmac_drbg.py --batch FILE   (one such argument list a line; one result a line)
Hex arguments; "-" stands for an empty string. With "after", the reseed runs
after the first generate instead of before it; it is skipped when both reseed
inputs are empty. Prints the second output in lower-case hex.
With the single argument "health", prints the fixed health-check trace.
"""
import hashlib
import hmac
import sys


class HmacDrbg:
    def __init__(self, entropy, nonce, pers):
        self.K = b"\x00" * 64
        self.V = b"\x01" * 64
        self._update(entropy + nonce + pers)
        self.counter = 1

    def _h(self, data):
        return hmac.new(self.K, data, hashlib.sha512).digest()

    def _update(self, data):
        self.K = self._h(self.V + b"\x00" + data)
        self.V = self._h(self.V)
        if data:
            self.K = self._h(self.V + b"\x01" + data)
            self.V = self._h(self.V)

    def reseed(self, entropy, add):
        self._update(entropy + add)
        self.counter = 1

    def generate(self, n, add=b""):
        add = add[:64]
        if add:
            self._update(add)
        out = b""
        while len(out) < n:
            self.V = self._h(self.V)
            out += self.V
        self._update(add)
        self.counter += 1
        return out[:n]


def health():
    ent = bytes(range(0x00, 0x20))
    nonce = bytes(range(0x20, 0x30))
    pers = bytes(range(0x40, 0x60))
    d = HmacDrbg(ent, nonce, pers)
    print("inst K", d.K.hex()); print("inst V", d.V.hex())
    d.reseed(bytes(range(0x80, 0xA0)), bytes(range(0xA0, 0xC0)))
    print("reseed K", d.K.hex()); print("reseed V", d.V.hex())
    d.generate(256, bytes(range(0xC0, 0xE0)))
    print("gen1 K", d.K.hex()); print("gen1 V", d.V.hex())
    out = d.generate(256, bytes(range(0xE0, 0x100)))
    print("gen2 out", out.hex())
    print("gen2 K", d.K.hex()); print("gen2 V", d.V.hex())


def main(argv):
    if argv[1:] == ["health"]:
        health()
        return
    if argv[1] == "--batch":
        with open(argv[2]) as f:
            for line in f:
                if line.strip():
                    run_case([""] + line.split())
        return
    run_case(argv)


def run_case(argv):
    h = lambda s: b"" if s == "-" else bytes.fromhex(s)
    bits = int(argv[1])
    ent, nonce, pers, a1, re, ra, a2 = (h(x) for x in argv[2:9])
    after = len(argv) > 9 and argv[9] == "after"
    n = (bits + 7) // 8
    d = HmacDrbg(ent, nonce, pers)
    do_reseed = bool(re or ra)
    if do_reseed and not after:
        d.reseed(re, ra)
    d.generate(n, a1)
    if do_reseed and after:
        d.reseed(re, ra)
    print(d.generate(n, a2).hex())


if __name__ == "__main__":
    main(sys.argv)
