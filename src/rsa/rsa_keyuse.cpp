// Keys for repeated raw operations: internal key strings through the
// prepared-key cache, other inputs read into a record.
#include "frame/error.h"
#include "rsa/rsa.h"
#include "rsa/rsa_cache.h"

RsaKeyUse::RsaKeyUse() : k_(new RsaOpKey) {}

RsaKeyUse::~RsaKeyUse() {
    delete k_;
}

long RsaKeyUse::open_private(const char* fileOrString, const char* password) {
    if (fileOrString && IK_KeyTypeFromB64(fileOrString) != 0 &&
        rsaCacheGetPrivate(k_->ref, fileOrString) == 0)
        return 0;
    // Anything the cache does not take is read as before, with its codes.
    k_->ref.reset();
    return rsaGetPrivateKeyFromFileOrString(k_->rec.get(), fileOrString, password);
}

long RsaKeyUse::open_public(const char* fileOrString) {
    if (fileOrString && IK_KeyTypeFromB64(fileOrString) != 0 && rsaCacheGetPublic(k_->ref, fileOrString) == 0)
        return 0;
    k_->ref.reset();
    return rsaGetPublicKeyFromFileOrString(k_->rec.get(), fileOrString);
}

const RsaKey* RsaKeyUse::key() const {
    return k_->get();
}

long RsaKeyUse::private_raw(unsigned char* out, size_t* outlen, const unsigned char* in, size_t inlen) const {
    return k_->private_raw(out, outlen, in, inlen);
}

long RsaKeyUse::public_raw(unsigned char* out, size_t* outlen, const unsigned char* in, size_t inlen) const {
    return k_->public_raw(out, outlen, in, inlen);
}
