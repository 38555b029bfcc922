// The Triple DES bulk loops, which take several blocks through the rounds at
// once, against the one-block function; and the key schedule against
// libcrypto over many keys.
#include <openssl/evp.h>

#include <random>

#include "cipher/des.h"
#include "common/test_util.h"

using testutil::Bytes;

namespace {

Bytes random_bytes(size_t n, std::mt19937& g) {
    Bytes b(n);
    for (auto& x : b) x = uint8_t(g());
    return b;
}

// The bulk calls write through a buffer with guard bytes after the n
// blocks; out == in when in_place.
constexpr size_t kGuard = 16;
constexpr uint8_t kGuardByte = 0xE5;

Bytes ecb(const velt::des::TdeaKey& k, const Bytes& in, bool in_place) {
    const size_t n = in.size() / 8;
    Bytes buf = in, out(in.size() + kGuard, kGuardByte);
    if (in_place) {
        buf.resize(in.size() + kGuard, kGuardByte);
        velt::des::tdea_blocks(k, buf.data(), buf.data(), n);
        return buf;
    }
    velt::des::tdea_blocks(k, buf.data(), out.data(), n);
    EXPECT_EQ(in, buf) << "input changed";
    return out;
}

Bytes cbc_decrypt(const velt::des::TdeaKey& k, uint8_t iv[8], const Bytes& in, bool in_place) {
    const size_t n = in.size() / 8;
    Bytes buf = in, out(in.size() + kGuard, kGuardByte);
    if (in_place) {
        buf.resize(in.size() + kGuard, kGuardByte);
        velt::des::tdea_cbc_decrypt(k, iv, buf.data(), buf.data(), n);
        return buf;
    }
    velt::des::tdea_cbc_decrypt(k, iv, buf.data(), out.data(), n);
    EXPECT_EQ(in, buf) << "input changed";
    return out;
}

// Block counts around the group sizes (4, then 2, then 1) and some longer
// runs, the unwrap of an RSA key string among them.
std::vector<size_t> block_counts() {
    std::vector<size_t> v;
    for (size_t n = 0; n <= 17; ++n) v.push_back(n);
    for (size_t n : {31, 64, 151, 258}) v.push_back(n);
    return v;
}

TEST(TdeaBulk, EcbAndCbcDecryptMatchOneBlockAtATime) {
    std::mt19937 g(20240611);
    for (size_t n : block_counts()) {
        SCOPED_TRACE("blocks " + std::to_string(n));
        const Bytes key = random_bytes(24, g), iv = random_bytes(8, g), data = random_bytes(8 * n, g);
        for (bool encrypt : {true, false}) {
            velt::des::TdeaKey k;
            velt::des::tdea_set_key(k, key.data(), encrypt);
            // References from tdea_block, one block at a time, with the
            // guard bytes the bulk calls must leave alone.
            Bytes ecb_ref(8 * n + kGuard, kGuardByte), cbc_ref(8 * n + kGuard, kGuardByte);
            for (size_t i = 0; i < n; ++i) {
                velt::des::tdea_block(k, data.data() + 8 * i, ecb_ref.data() + 8 * i);
                for (size_t j = 0; j < 8; ++j)
                    cbc_ref[8 * i + j] = uint8_t(ecb_ref[8 * i + j] ^ (i ? data[8 * i - 8 + j] : iv[j]));
            }
            const Bytes iv_ref = n ? Bytes(data.end() - 8, data.end()) : iv;
            for (bool in_place : {false, true}) {
                SCOPED_TRACE(std::string(encrypt ? "encryption" : "decryption") + " key, " +
                             (in_place ? "in place" : "out of place"));
                EXPECT_EQ(ecb_ref, ecb(k, data, in_place));
                Bytes v = iv;
                EXPECT_EQ(cbc_ref, cbc_decrypt(k, v.data(), data, in_place));
                EXPECT_EQ(iv_ref, v);
            }
        }
    }
}

// CBC decryption cut into two calls, at every point and with the second part
// in place, gives the one-call result: the chaining value carries over
// whatever the grouping of the blocks.
TEST(TdeaBulk, CbcDecryptInPiecesMatchesOneCall) {
    std::mt19937 g(7);
    const size_t n = 13;
    const Bytes key = random_bytes(24, g), iv = random_bytes(8, g), data = random_bytes(8 * n, g);
    velt::des::TdeaKey k;
    velt::des::tdea_set_key(k, key.data(), false);
    Bytes whole(data.size()), v = iv;
    velt::des::tdea_cbc_decrypt(k, v.data(), data.data(), whole.data(), n);
    for (size_t cut = 0; cut <= n; ++cut) {
        SCOPED_TRACE("cut after block " + std::to_string(cut));
        Bytes out = data, w = iv;
        velt::des::tdea_cbc_decrypt(k, w.data(), data.data(), out.data(), cut);
        velt::des::tdea_cbc_decrypt(k, w.data(), out.data() + 8 * cut, out.data() + 8 * cut, n - cut);
        EXPECT_EQ(whole, out);
        EXPECT_EQ(v, w);
    }
}

// CBC encryption (one block at a time) and the bulk decryption undo each
// other in place.
TEST(TdeaBulk, CbcRoundTripInPlace) {
    std::mt19937 g(99);
    for (size_t n : {1, 5, 40}) {
        const Bytes key = random_bytes(24, g), iv = random_bytes(8, g), data = random_bytes(8 * n, g);
        velt::des::TdeaKey e, d;
        velt::des::tdea_set_key(e, key.data(), true);
        velt::des::tdea_set_key(d, key.data(), false);
        Bytes buf = data, ve = iv, vd = iv;
        velt::des::tdea_cbc_encrypt(e, ve.data(), buf.data(), buf.data(), n);
        EXPECT_EQ(Bytes(buf.end() - 8, buf.end()), ve);
        velt::des::tdea_cbc_decrypt(d, vd.data(), buf.data(), buf.data(), n);
        EXPECT_EQ(data, buf);
        EXPECT_EQ(ve, vd);
    }
}

// The key schedule is built from masked shifts; every key bit reaches the
// output, so a wrong move shows on random keys. The fixed keys put all key
// bits (parity bits included, which must be ignored) at 0 or 1 together.
TEST(TdeaBulk, KeyScheduleMatchesLibcrypto) {
    std::mt19937 g(3);
    std::vector<Bytes> keys = {Bytes(24, 0x00), Bytes(24, 0xFF), Bytes(24, 0x01), Bytes(24, 0xFE)};
    for (int i = 0; i < 200; ++i) keys.push_back(random_bytes(24, g));
    const Bytes pt = random_bytes(8 * 5, g);
    for (const Bytes& key : keys) {
        SCOPED_TRACE("key " + testutil::to_hex(key));
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        ASSERT_EQ(1, EVP_EncryptInit_ex(ctx, EVP_des_ede3_ecb(), nullptr, key.data(), nullptr));
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        Bytes want(pt.size());
        int len = 0;
        ASSERT_EQ(1, EVP_EncryptUpdate(ctx, want.data(), &len, pt.data(), int(pt.size())));
        EVP_CIPHER_CTX_free(ctx);
        velt::des::TdeaKey e, d;
        velt::des::tdea_set_key(e, key.data(), true);
        velt::des::tdea_set_key(d, key.data(), false);
        Bytes got(pt.size()), back(pt.size());
        velt::des::tdea_blocks(e, pt.data(), got.data(), pt.size() / 8);
        ASSERT_EQ(want, got);
        velt::des::tdea_blocks(d, got.data(), back.data(), pt.size() / 8);
        ASSERT_EQ(pt, back);
    }
}

}  // namespace
