// Every exported cipher function over byte arrays, called with its output on
// its input: exactly in place (the same buffer, with and without the IV in
// front) and shifted by a few bytes either way. Each call must give what the
// same call gives with separate buffers. Every case runs on each processor
// path, at lengths that reach the wide (AVX-512) loops.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>

#include "common/test_util.h"
#include "morvanevelt.h"
#include "util/cpu.h"

using testutil::Bytes;

namespace {

using namespace velt::cpu;

constexpr uint32_t kAvx512Set = kAvx512f | kVaes | kVpclmul | kAvx512bw | kAvx512vl;
const uint32_t kPaths[] = {~0u, ~kAvx512Set, ~(kAvx512Set | kAvx2), 0u};

class InPlace : public ::testing::TestWithParam<uint32_t> {
  protected:
    void SetUp() override { restrict_features(GetParam()); }
    void TearDown() override { restrict_features(~0u); }
};

INSTANTIATE_TEST_SUITE_P(Paths, InPlace, ::testing::ValuesIn(kPaths), [](const auto& info) {
    return info.param == ~0u                     ? std::string("All")
           : info.param == ~kAvx512Set           ? std::string("NoAvx512")
           : info.param == ~(kAvx512Set | kAvx2) ? std::string("NoAvx")
                                                 : std::string("Portable");
});

Bytes pattern(size_t n, uint32_t seed) {
    std::mt19937 g(seed);
    Bytes b(n);
    for (auto& x : b) x = uint8_t(g());
    return b;
}

const Bytes kKey = pattern(32, 1);
const Bytes kIv = pattern(16, 2);
const Bytes kAad = pattern(20, 3);

// One call: (out, outLen, in, inLen) -> result length or negative error.
using Call = std::function<long(uint8_t*, long, const uint8_t*, long)>;

struct Op {
    std::string name;
    Call call;
    // The input lengths the function takes, from a requested length.
    std::function<size_t(size_t)> fit;
    // For a decrypting call, the call that makes its input from plaintext.
    Call make_input;
    // Random output (Triple-DES key wrap): checked through this inverse.
    Call inverse;
};

size_t any_len(size_t n) {
    return n;
}
std::function<size_t(size_t)> blocks(size_t b) {
    return [b](size_t n) { return n - n % b; };
}

// CIPHER_EncryptBytes/DecryptBytes; with the prefix option (0x1000) the
// decryption takes its IV from the input.
Call crypt_bytes(bool encrypt, const std::string& sel, size_t key_len, long iv_len, long options) {
    return [=](uint8_t* o, long ol, const uint8_t* i, long il) {
        if (encrypt)
            return CIPHER_EncryptBytes(o, ol, i, il, kKey.data(), long(key_len), kIv.data(), iv_len,
                                       sel.c_str(), options);
        const bool from_input = options & 0x1000;
        return CIPHER_DecryptBytes(o, ol, i, il, kKey.data(), long(key_len),
                                   from_input ? nullptr : kIv.data(), from_input ? 0 : iv_len, sel.c_str(),
                                   options);
    };
}
Call aead(bool encrypt, long options, size_t key_len) {
    return [=](uint8_t* o, long ol, const uint8_t* i, long il) {
        auto f = encrypt ? CIPHER_EncryptAEAD : CIPHER_DecryptAEAD;
        return f(o, ol, i, il, kKey.data(), long(key_len), kIv.data(), 12, kAad.data(), long(kAad.size()),
                 options);
    };
}
// The older functions return 0: their result length is the input length.
Call older(bool encrypt, const std::string& sel) {
    return [=](uint8_t* o, long, const uint8_t* i, long il) {
        long r = CIPHER_Bytes(encrypt, o, i, il, kKey.data(), kIv.data(), sel.c_str(), 0);
        return r == 0 ? il : -std::labs(r);
    };
}
Call tdea(bool encrypt, const char* mode) {
    return [=](uint8_t* o, long, const uint8_t* i, long il) {
        long r = TDEA_BytesMode(o, i, il, kKey.data(), encrypt, mode, kIv.data());
        return r == 0 ? il : -std::labs(r);
    };
}
Call wrap(bool encrypt, long options, size_t kek_len) {
    return [=](uint8_t* o, long ol, const uint8_t* i, long il) {
        auto f = encrypt ? CIPHER_KeyWrap : CIPHER_KeyUnwrap;
        return f(o, ol, i, il, kKey.data(), long(kek_len), options);
    };
}
Call pad(bool add, long block) {
    return [=](uint8_t* o, long ol, const uint8_t* i, long il) {
        return (add ? PAD_BytesBlock : PAD_UnpadBytes)(o, ol, i, il, block, 0);
    };
}

std::vector<Op> ops() {
    std::vector<Op> v;
    auto pair = [&v](const std::string& name, Call enc, Call dec, std::function<size_t(size_t)> fit) {
        v.push_back({name + "/enc", enc, fit, nullptr, nullptr});
        v.push_back({name + "/dec", dec, fit, enc, nullptr});
    };
    for (const char* alg : {"aes128", "tdea"}) {
        const size_t key_len = alg[0] == 'a' ? 16 : 24, b = alg[0] == 'a' ? 16 : 8;
        for (const char* mode : {"ecb", "cbc", "ofb", "cfb", "ctr"}) {
            const std::string sel = std::string(alg) + "/" + mode;
            for (long prefix : {0L, 0x1000L}) {
                pair("Bytes/" + sel + (prefix ? "/prefix" : ""),
                     crypt_bytes(true, sel, key_len, long(b), prefix),
                     crypt_bytes(false, sel, key_len, long(b), prefix), any_len);
            }
            const bool whole = std::string(mode) == "ecb" || std::string(mode) == "cbc";
            auto fit = whole ? blocks(b) : std::function<size_t(size_t)>(any_len);
            pair(std::string("Older/") + alg + "/" + mode, older(true, std::string(alg) + "/" + mode),
                 older(false, std::string(alg) + "/" + mode), fit);
            if (alg[0] == 't') pair(std::string("Tdea/") + mode, tdea(true, mode), tdea(false, mode), fit);
        }
    }
    for (long prefix : {0L, 0x1000L}) {
        const std::string p = prefix ? "/prefix" : "";
        for (size_t key_len : {16u, 32u}) {
            const std::string sel = "aes" + std::to_string(8 * key_len) + "/gcm";
            pair("Bytes/" + sel + p, crypt_bytes(true, sel, key_len, 12, prefix),
                 crypt_bytes(false, sel, key_len, 12, prefix), any_len);
        }
        const std::pair<const char*, long> kAeads[] = {
            {"aes128gcm", 0x520}, {"aes192gcm", 0x530}, {"aes256gcm", 0x540}, {"chacha20poly1305", 0x550}};
        for (const auto& [name, bits] : kAeads) {
            const size_t key_len = bits == 0x520 ? 16 : bits == 0x530 ? 24 : 32;
            pair(std::string("Aead/") + name + p, aead(true, bits | prefix, key_len),
                 aead(false, bits | prefix, key_len), any_len);
        }
    }
    for (size_t kek : {16u, 32u}) {
        auto fit = [](size_t n) { return std::max<size_t>(16, n - n % 8); };
        const long opt = kek == 16 ? 0x20 : 0x40;  // AES-128, AES-256
        pair("KeyWrap/aes" + std::to_string(8 * kek), wrap(true, opt, kek), wrap(false, opt, kek), fit);
    }
    // Triple-DES key wrap draws a random IV: checked by unwrapping.
    auto fit24 = [](size_t) { return size_t(24); };
    v.push_back({"KeyWrap/tdea/enc", wrap(true, 0x10, 24), fit24, nullptr, wrap(false, 0x10, 24)});
    v.push_back({"KeyWrap/tdea/dec", wrap(false, 0x10, 24), fit24, wrap(true, 0x10, 24), nullptr});
    for (long b : {8L, 16L}) pair("Pad/" + std::to_string(b), pad(true, b), pad(false, b), any_len);
    return v;
}

const size_t kLengths[] = {0, 1, 17, 244, 1024, 1500, 4112};
// Output minus input address; 0 is in place.
const long kShifts[] = {0, -29, -12, -1, 1, 8, 12, 16, 29};

TEST_P(InPlace, EveryFunctionMatchesSeparateBuffers) {
    for (const Op& op : ops()) {
        for (size_t want : kLengths) {
            const size_t n0 = op.fit(want);
            Bytes input = pattern(n0, uint32_t(n0 + 7));
            if (op.make_input) {
                Bytes made(n0 + 64);
                long m = op.make_input(made.data(), long(made.size()), input.data(), long(n0));
                if (m < 0) continue;  // e.g. key unwrap of nothing
                made.resize(size_t(m));
                input = made;
            }
            const size_t n = input.size();
            const long cap = long(n + 64);
            Bytes ref(static_cast<size_t>(cap));
            Bytes src(input);
            src.push_back(0);  // a real pointer also for an empty input
            const long ref_r = op.call(ref.data(), cap, src.data(), long(n));
            for (long shift : kShifts) {
                SCOPED_TRACE(op.name + " length " + std::to_string(n) + " shift " + std::to_string(shift));
                Bytes arena(n + size_t(cap) + 128, 0xEE);
                uint8_t* in = arena.data() + 64;
                uint8_t* out = in + shift;
                if (n) memcpy(in, input.data(), n);
                const long r = op.call(out, cap, in, long(n));
                if (ref_r < 0) {
                    EXPECT_EQ(ref_r, r);
                    continue;
                }
                EXPECT_EQ(ref_r, r);
                if (r != ref_r) continue;
                if (op.inverse) {
                    Bytes back(static_cast<size_t>(cap));
                    EXPECT_EQ(long(n), op.inverse(back.data(), cap, out, r));
                    EXPECT_EQ(input, Bytes(back.begin(), back.begin() + long(n)));
                } else {
                    EXPECT_EQ(Bytes(ref.begin(), ref.begin() + r), Bytes(out, out + r));
                }
            }
        }
    }
}

}  // namespace
