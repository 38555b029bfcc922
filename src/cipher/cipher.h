// Block ciphers, modes and padding: what other subsystems may call.
//
// Triple DES (three-key EDE, 24-byte key, 8-byte block) and AES-128/192/256
// in ECB, CBC, full-block CFB, OFB and CTR (SP 800-38A), with a choice of
// block padding; the algorithm/mode/padding selector; the streaming file
// encryptor; the operations behind the CIPHER_, TDEA_ and PAD_ functions.
//
// Error convention: internal operations return 0 or a result length, or a
// negative error code (VeltError negated), unless stated otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/aes.h"
#include "cipher/des.h"

namespace velt::cipher {

// --- Option-word fields ---
inline constexpr long kAlgMask = 0xF0;
inline constexpr long kAlgTdea = 0x10;
inline constexpr long kAlgAes128 = 0x20;
inline constexpr long kAlgAes192 = 0x30;
inline constexpr long kAlgAes256 = 0x40;
inline constexpr long kModeMask = 0xF00;
inline constexpr long kModeEcb = 0x000;
inline constexpr long kModeCbc = 0x100;
inline constexpr long kModeOfb = 0x200;
inline constexpr long kModeCfb = 0x300;
inline constexpr long kModeCtr = 0x400;
inline constexpr long kModeGcm = 0x500;
inline constexpr long kPadMask = 0xF0000;
inline constexpr long kPadDefault = 0x00000;
inline constexpr long kPadNone = 0x10000;
inline constexpr long kPadPkcs5 = 0x20000;
inline constexpr long kPadOneAndZeroes = 0x30000;
inline constexpr long kPadAnsiX923 = 0x40000;
inline constexpr long kPadW3c = 0x50000;
inline constexpr long kIvPrefix = 0x1000;
inline constexpr long kKeepPadding = 0x2000;
// The bits a selector string replaces.
inline constexpr long kSelectorMask = 0xF0FF0;

// Mode index used by the contexts (note: CFB before OFB, unlike the bits).
enum Mode : int { kEcb = 0, kCbc = 1, kCfb = 2, kOfb = 3, kCtr = 4, kGcm = 5 };

// Padding kinds.
enum class Pad { kNone, kPkcs5, kOneAndZeroes, kAnsiX923, kW3c };

// Parses a selector string (case-insensitive; non-alphanumerics dropped) into
// algorithm, mode and padding bits. False when it does not parse.
bool parse_selector(const char* s, long* bits);

// The result of selector resolution.
struct Selection {
    long options = 0;    // effective option word
    long alg = 0;        // algorithm field (0x10..0x40)
    int mode = kEcb;     // mode index
    size_t key_len = 0;  // 0 for an undefined algorithm
    size_t block = 0;    // 8 or 16 (0 for an undefined algorithm)
};

// Selector resolution shared by all CIPHER_ functions: a non-empty string
// together with bits in 0xFF0 is -17, neither is -17; an unparseable string
// -6; an undefined mode -35; GCM where not allowed -6, GCM with Triple DES
// -19. Returns 0 and fills *sel.
long resolve_selector(const char* selector, long options, bool allow_gcm, Selection* sel);
// Key and block length of an algorithm field; 0 when undefined.
size_t alg_key_len(long alg);
size_t alg_block_len(long alg);
// Mode index of an older mode word ("ECB", "CBC", "CFB", "OFB", "CTR", first
// three characters, case-insensitive); -1 when unrecognised.
int mode_from_word(const char* word);

// Padding in effect for an effective option word: only ECB and CBC pad.
Pad pad_in_effect(long options, int mode);
// Padding kind named by the padding field alone (the PAD_ functions and the
// file encryptor): one-and-zeroes, ANSI X9.23, W3C, else PKCS #5 style.
Pad pad_from_field(long options);

// Writes the p = b - (len mod b) pad bytes for `kind` (PKCS #5 style and W3C:
// p bytes of value p; one-and-zeroes: 0x80 then zeroes; ANSI X9.23: zeroes
// then p) to out, which has room for p bytes; returns p.
size_t pad_bytes(uint8_t* out, size_t len, size_t block, Pad kind);
// Checks the padding of the last block of data (len a positive multiple of
// block) in constant time; returns the pad length or -15.
long unpad_length(const uint8_t* data, size_t len, size_t block, Pad kind);

// A block-cipher context: one algorithm (Triple DES or AES), one direction,
// one mode, with the chaining block or counter and a copy of the initial IV.
// CFB, OFB and CTR keep their keystream position between calls, so a message
// can be fed in pieces of any length; ECB and CBC take whole blocks.
class Context {
public:
    Context() = default;
    ~Context() { clear(); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // alg: kAlgTdea or kAlgAes*; mode: a Mode index other than kGcm; key of
    // the algorithm's length; iv one block (ignored in ECB; null means zero).
    long init(long alg, const uint8_t* key, bool encrypt, int mode, const uint8_t* iv);
    // Back to the initial IV with the same key.
    void restart();
    // Processes len bytes (in may equal out). ECB and CBC: -26 unless len is
    // a whole number of blocks.
    long update(uint8_t* out, const uint8_t* in, size_t len);
    size_t block() const { return block_; }
    int mode() const { return mode_; }
    void clear();

private:
    void encrypt_one(const uint8_t in[16], uint8_t out[16]) const;

    long alg_ = 0;
    int mode_ = kEcb;
    bool encrypt_ = true;
    size_t block_ = 16;
    aes::Key aes_{};
    des::TdeaKey tdea_{};
    uint8_t iv0_[16] = {0};
    uint8_t reg_[16] = {0};  // chaining block, CFB/OFB register or counter
    uint8_t ks_[16] = {0};   // keystream of the current CFB/OFB/CTR block
    size_t used_ = 0;        // keystream bytes of ks_ consumed (block_ = none left)
};

// --- Operations behind the exported functions ---
// Newer byte functions: results as CIPHER_EncryptBytes/DecryptBytes.
long cipherEncryptBytes(uint8_t* out, long out_len, const uint8_t* in, long in_len, const uint8_t* key, long key_len,
                        const uint8_t* iv, long iv_len, const char* selector, long options);
long cipherDecryptBytes(uint8_t* out, long out_len, const uint8_t* in, long in_len, const uint8_t* key, long key_len,
                        const uint8_t* iv, long iv_len, const char* selector, long options);
long cipherEncryptHex(char* out, long out_chars, const char* in, const char* key, const char* iv, const char* selector,
                      long options);
long cipherDecryptHex(char* out, long out_chars, const char* in, const char* key, const char* iv, const char* selector,
                      long options);
long cipherFileEncrypt(const char* out_file, const char* in_file, const uint8_t* key, long key_len, const uint8_t* iv,
                       long iv_len, const char* selector, long options);
long cipherFileDecrypt(const char* out_file, const char* in_file, const uint8_t* key, long key_len, const uint8_t* iv,
                       long iv_len, const char* selector, long options);

// Older functions: 0 on success; a negative code from selector resolution,
// a positive one from the cipher layer.
long cipherBytes(bool encrypt, uint8_t* out, const uint8_t* in, long n, const uint8_t* key, const uint8_t* iv,
                 const char* selector, long options);
long cipherHex(bool encrypt, char* out, long out_chars, const char* in, const char* key, const char* iv,
               const char* selector, long options);
long cipherFile(bool encrypt, const char* out_file, const char* in_file, const uint8_t* key, const uint8_t* iv,
                const char* selector, long options);
long tdeaBytesMode(uint8_t* out, const uint8_t* in, long n, const uint8_t* key, bool encrypt, const char* mode,
                   const uint8_t* iv);
long tdeaHexMode(char* out, const char* in, const char* key, bool encrypt, const char* mode, const char* iv);
long tdeaB64Mode(char* out, const char* in, const char* key, bool encrypt, const char* mode, const char* iv);
long tdeaFile(const char* out_file, const char* in_file, const uint8_t* key, bool encrypt, const char* mode,
              const uint8_t* iv);

// The streaming file encryptor/decryptor (4096-byte chunks) for an effective
// option word whose algorithm and mode are set (not GCM); key of the
// algorithm's length; iv one block or null (then taken from the file with the
// IV-prefix bit, else zero in ECB). Returns 0 or a positive error code; on
// failure no output file is left.
long cipher_file_crypt(bool encrypt, const char* out_file, const char* in_file, const uint8_t* key,
                       const uint8_t* iv, long options);

// PAD_ functions.
long padBytesBlock(uint8_t* out, long out_len, const uint8_t* in, long in_len, long block, long options);
long padUnpadBytes(uint8_t* out, long out_len, const uint8_t* in, long in_len, long block, long options);
long padHexBlock(char* out, long out_chars, const char* in, long block, long options);
long padUnpadHex(char* out, long out_chars, const char* in, long block, long options);

// Triple DES known-answer test: 0 on success, negative on the first mismatch.
long tdeaKnownAnswerTest();

}  // namespace velt::cipher
