// Constant-time check under valgrind memcheck: keys, plaintext and the
// decrypted padding block are marked undefined, so memcheck reports any
// conditional branch or memory address that depends on them. Covers the
// portable AES (key schedule, both directions) and the padding check of every
// kind. Exit status 0 when clean; memcheck's error exit status otherwise.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "cipher/aes.h"
#include "cipher/cipher.h"
#include "util/cpu.h"

namespace {

int failures = 0;

void poison(const void* p, size_t n) { VALGRIND_MAKE_MEM_UNDEFINED(p, n); }
void unpoison(const void* p, size_t n) { VALGRIND_MAKE_MEM_DEFINED(p, n); }

void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

void aes_case(size_t key_len) {
    uint8_t key[32], pt[64], ct[64], back[64];
    for (size_t i = 0; i < sizeof key; ++i) key[i] = uint8_t(i * 13 + key_len);
    for (size_t i = 0; i < sizeof pt; ++i) pt[i] = uint8_t(i * 29 + 1);
    velt::aes::Key k;
    poison(key, sizeof key);
    poison(pt, sizeof pt);
    velt::aes::set_key(k, key, key_len);
    velt::aes::encrypt_blocks(k, pt, ct, 4);
    velt::aes::decrypt_blocks(k, ct, back, 4);
    uint8_t iv[16] = {0};
    velt::aes::cbc_decrypt(k, iv, ct, back, 4);
    unpoison(back, sizeof back);
    unpoison(pt, sizeof pt);
    unpoison(iv, sizeof iv);
    velt::aes::decrypt_blocks(k, ct, back, 4);
    unpoison(back, sizeof back);
    check(std::memcmp(back, pt, sizeof pt) == 0, "AES round trip");
    velt::aes::clear(k);
}

void unpad_case(const uint8_t* block, size_t b, velt::cipher::Pad kind, long expect) {
    uint8_t buf[16];
    std::memcpy(buf, block, b);
    poison(buf, b);
    long r = velt::cipher::unpad_length(buf, b, b, kind);
    unpoison(&r, sizeof r);
    check(r == expect, "padding check result");
}

}  // namespace

int main() {
    velt::cpu::restrict_features(0);
    for (size_t len : {16, 24, 32}) aes_case(len);
    using velt::cipher::Pad;
    const uint8_t good[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 4, 4, 4, 4};
    const uint8_t bad[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 4, 5, 4, 4};
    const uint8_t ozero[8] = {1, 2, 3, 0x80, 0, 0, 0, 0};
    const uint8_t x923[8] = {1, 2, 3, 4, 5, 0, 0, 3};
    unpad_case(good, 16, Pad::kPkcs5, 4);
    unpad_case(bad, 16, Pad::kPkcs5, -15);
    unpad_case(bad, 16, Pad::kW3c, 4);
    unpad_case(ozero, 8, Pad::kOneAndZeroes, 5);
    unpad_case(x923, 8, Pad::kAnsiX923, 3);
    unpad_case(good, 16, Pad::kAnsiX923, -15);
    if (failures) std::printf("%d failures\n", failures);
    return failures ? 1 : 0;
}
