#include "cipher/gcm.h"

#include "util/cpu.h"

namespace velt::gcm {

void ctr_ghash(const aes::Key& k, ghash::Key& hk, uint8_t y[16], uint8_t counter[16], const uint8_t* in,
               uint8_t* out, size_t nblocks, bool encrypt) {
    if (nblocks == 0) return;
    const uint32_t base = cpu::kAesNi | cpu::kPclmul | cpu::kSse41 | cpu::kSsse3;
    if (k.accel && hk.clmul && cpu::has(base)) {
        const uint32_t wide = base | cpu::kVaes | cpu::kVpclmul | cpu::kAvx512f | cpu::kAvx512bw | cpu::kAvx512vl;
        if (nblocks >= 16 && cpu::has(wide)) {
            ghash::ensure_powers(hk, 16);
            size_t n = nblocks & ~size_t(15);
            ctr_ghash_vaes512(k, hk, y, counter, in, out, n, encrypt);
            in += 16 * n;
            out += 16 * n;
            nblocks -= n;
        }
        if (nblocks >= 8) ghash::ensure_powers(hk, 8);
        ctr_ghash_aesni(k, hk, y, counter, in, out, nblocks, encrypt);
        return;
    }
    // Portable: counter mode and GHASH one after the other, in slices that
    // stay in the first-level cache. Decryption hashes each slice before it
    // is overwritten (in and out may be the same buffer).
    while (nblocks) {
        size_t n = nblocks < 64 ? nblocks : 64;
        if (!encrypt) ghash::update(hk, y, in, n);
        aes::ctr_blocks(k, counter, in, out, n, aes::CtrWidth::kLow32);
        if (encrypt) ghash::update(hk, y, out, n);
        in += 16 * n;
        out += 16 * n;
        nblocks -= n;
    }
}

}  // namespace velt::gcm
