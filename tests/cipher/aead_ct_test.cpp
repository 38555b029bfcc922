// Constant-time check of AEAD encryption: the key and the plaintext are
// marked undefined for valgrind's memcheck, so any branch or memory index
// that depends on them is reported. Without valgrind the marks do nothing and
// the test only checks the round trip. Run it with
//   valgrind --error-exitcode=1 test_cipher --gtest_filter='AeadConstantTime*'
#include <valgrind/memcheck.h>

#include <random>

#include "cipher/aead.h"
#include "common/test_util.h"
#include "util/cpu.h"

using testutil::Bytes;

namespace {

class AeadConstantTime : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override { velt::cpu::restrict_features(GetParam()); }
    void TearDown() override { velt::cpu::restrict_features(~0u); }
};
INSTANTIATE_TEST_SUITE_P(Paths, AeadConstantTime, ::testing::Values(~0u, 0u),
                         [](const auto& info) { return info.param ? "Accelerated" : "Portable"; });

TEST_P(AeadConstantTime, EncryptionDoesNotBranchOnKeyOrPlaintext) {
    std::mt19937 g(1);
    for (long opt : {velt::aead::kAes128Gcm, velt::aead::kAes256Gcm, velt::aead::kChaCha20Poly1305}) {
        const size_t klen = opt == velt::aead::kAes128Gcm ? 16 : 32;
        for (size_t len : {0, 37, 1000}) {
            Bytes key(klen), iv(12), aad(20), pt(len), out(len + 16);
            for (auto* b : {&key, &iv, &aad, &pt})
                for (auto& x : *b) x = uint8_t(g());
            VALGRIND_MAKE_MEM_UNDEFINED(key.data(), key.size());
            VALGRIND_MAKE_MEM_UNDEFINED(pt.data(), pt.size());
            long n = velt::aead::aeadEncrypt(out.data(), long(out.size()), pt.data(), long(len), key.data(),
                                             long(klen), iv.data(), 12, aad.data(), long(aad.size()), opt);
            VALGRIND_MAKE_MEM_DEFINED(key.data(), key.size());
            VALGRIND_MAKE_MEM_DEFINED(pt.data(), pt.size());
            VALGRIND_MAKE_MEM_DEFINED(out.data(), out.size());
            ASSERT_EQ(long(len + 16), n);
            Bytes back(len + 1);
            ASSERT_EQ(long(len), velt::aead::aeadDecrypt(back.data(), long(back.size()), out.data(), long(out.size()),
                                                         key.data(), long(klen), iv.data(), 12, aad.data(),
                                                         long(aad.size()), opt));
            back.resize(len);
            ASSERT_EQ(pt, back);
        }
    }
}

}  // namespace
