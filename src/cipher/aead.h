// Authenticated encryption (AES-GCM per NIST SP 800-38D, ChaCha20-Poly1305
// per RFC 8439) and key wrap (AES per RFC 3394, Triple DES per RFC 3217):
// what other subsystems may call.
//
// Output layout of the one-shot and file forms:
//   [12-byte IV, only with kAeadIvPrefix] || ciphertext || 16-byte tag.
// Every function returns a length or 0 on success and a negative error code
// on failure (with a detail message in the error record).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::aead {

// Algorithm selector: the option word's bits under kAeadMask.
inline constexpr long kAeadMask = 0xFF0;
inline constexpr long kAes128Gcm = 0x520;
inline constexpr long kAes192Gcm = 0x530;
inline constexpr long kAes256Gcm = 0x540;
inline constexpr long kChaCha20Poly1305 = 0x550;
// The IV is written in front of the output and read from the front of the input.
inline constexpr long kAeadIvPrefix = 0x1000;

inline constexpr size_t kNonceLen = 12;
inline constexpr size_t kTagLen = 16;

// One-shot AEAD. Encryption returns inLen + 16 (+ 12 with the IV prefix);
// decryption returns the plaintext length. A null out or outLen 0 asks for
// the length (decryption then neither decrypts nor authenticates). A failed
// authentication (-40) leaves the first plaintext-length bytes of out zeroed.
// out may be in (in place, with or without the IV prefix) or overlap it in
// any other way; the nonce and associated data may lie inside out.
long aeadEncrypt(unsigned char* out, long outLen, const unsigned char* in, long inLen, const unsigned char* key,
                 long keyLen, const unsigned char* iv, long ivLen, const unsigned char* aad, long aadLen,
                 long options);
long aeadDecrypt(unsigned char* out, long outLen, const unsigned char* in, long inLen, const unsigned char* key,
                 long keyLen, const unsigned char* iv, long ivLen, const unsigned char* aad, long aadLen,
                 long options);

// AES-GCM over files, streamed in 4096-byte chunks. 0 or a negative error;
// a wrong tag on decryption is -15. On any failure no output file remains.
long gcmFileEncrypt(const char* outFile, const char* inFile, const unsigned char* key, long keyLen,
                    const unsigned char* iv, long ivLen, long options);
long gcmFileDecrypt(const char* outFile, const char* inFile, const unsigned char* key, long keyLen,
                    const unsigned char* iv, long ivLen, long options);

// Incremental AEAD context. Calling order:
//   InitKey -> SetNonce -> AddAAD* -> StartEncrypt | StartDecrypt(tag)
//   -> Update* -> FinishEncrypt | FinishDecrypt -> (SetNonce ...) -> Destroy.
// InitKey takes a 16, 24 or 32-byte AES key (GCM) or a 32-byte key
// (ChaCha20-Poly1305), else -6; SetNonce a 12-byte nonce, else -6;
// StartDecrypt a tag of 4 bytes or more (longer than 16 is cut to 16), else
// -6. A call out of order returns -41. Update on decryption may pass a null
// output to authenticate only. Finish returns the context to the keyed state.
// FinishDecrypt returns -40 when the tag does not match.
struct AeadState;
class AeadCtx {
public:
    enum Algorithm { kGcm, kChaChaPoly };
    enum State { kEmpty = 0, kKeyed = 1, kNonceSet = 2, kEncrypting = 3, kDecrypting = 4 };

    explicit AeadCtx(Algorithm alg) noexcept;
    ~AeadCtx();
    AeadCtx(const AeadCtx&) = delete;
    AeadCtx& operator=(const AeadCtx&) = delete;

    long InitKey(const unsigned char* key, size_t keyLen);
    long SetNonce(const unsigned char* iv, size_t ivLen);
    long AddAAD(const unsigned char* data, size_t len);
    long StartEncrypt();
    long StartDecrypt(const unsigned char* expectedTag, size_t tagLen);
    long Update(unsigned char* out, const unsigned char* in, size_t len);
    long FinishEncrypt(unsigned char* tagOut, size_t tagLen);
    long FinishDecrypt();
    // Wipes key, tables and buffers; state 0.
    void Destroy();

    State state() const { return state_; }

private:
    Algorithm alg_;
    State state_ = kEmpty;
    AeadState* s_ = nullptr;
};

// Key wrap selector: the option word's bits under kKeyWrapMask. 0x10 or
// 0x100000 Triple DES (RFC 3217), 0x20/0x200000 AES-128, 0x30/0x300000
// AES-192, 0x40/0x400000 AES-256 (RFC 3394); anything else is -17.
inline constexpr long kKeyWrapMask = 0x7000F0;

// Returns the output length, the required length when out is null or outLen
// is 0, or a negative error. A failed unwrap check returns -15 with the
// output zeroed. out may be the input (in place) or overlap it.
long keyWrap(unsigned char* out, long outLen, const unsigned char* keyData, long keyDataLen, const unsigned char* kek,
             long kekLen, long options);
long keyUnwrap(unsigned char* out, long outLen, const unsigned char* wrapped, long wrappedLen, const unsigned char* kek,
               long kekLen, long options);

}  // namespace velt::aead
