#include "rsa/rsa_fixture.h"

#include <openssl/core_names.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "rng/rng.h"
#include "rsa/rsa_store.h"

namespace rsatest {

namespace {

Bytes bn_param(EVP_PKEY* pk, const char* name) {
    BIGNUM* bn = nullptr;
    if (!EVP_PKEY_get_bn_param(pk, name, &bn)) return {};
    Bytes out(BN_num_bytes(bn));
    BN_bn2bin(bn, out.data());
    BN_free(bn);
    if (out.empty()) out.push_back(0);
    return out;
}

void write_pem(const std::string& path, RsaKey* key) {
    velt::SecureBytes der = rsaPrivateKeyDer(key);
    ASSERT_EQ(rsaWriteKeyFile(path.c_str(), der.data(), der.size(), "RSA PRIVATE KEY", true, 0600), 0);
}

}  // namespace

const KeyStrings& our_key() {
    static KeyStrings ks = [] {
        KeyStrings k;
        RsaKey* key = rsaNew();
        EXPECT_EQ(rsaGenerateKeys(key, 1024, 4, 32, nullptr, 0, rngFunc, 0), 0);
        k.priv = std::string(rsaPrivateKeyString(key, 0).c_str());
        k.pub = rsaPublicKeyString(key, 0);
        k.pem_path = testutil::temp_path("ours1024.pem");
        write_pem(k.pem_path, key);
        rsaFree(&key);
        return k;
    }();
    return ks;
}

EVP_PKEY* openssl_pkey() {
    static EVP_PKEY* pk = [] {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
        EVP_PKEY_keygen_init(ctx);
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, 2048);
        EVP_PKEY* k = nullptr;
        EVP_PKEY_keygen(ctx, &k);
        EVP_PKEY_CTX_free(ctx);
        return k;
    }();
    return pk;
}

const KeyStrings& openssl_key() {
    static KeyStrings ks = [] {
        KeyStrings k;
        Components c = components(openssl_pkey());
        k.priv = private_string(c);
        k.pub = public_string(c);
        k.pem_path = testutil::temp_path("openssl2048.pem");
        FILE* f = fopen(k.pem_path.c_str(), "wb");
        PEM_write_PrivateKey(f, openssl_pkey(), nullptr, nullptr, 0, nullptr, nullptr);
        fclose(f);
        return k;
    }();
    return ks;
}

Components components(EVP_PKEY* pk) {
    Components c;
    c.n = bn_param(pk, OSSL_PKEY_PARAM_RSA_N);
    c.e = bn_param(pk, OSSL_PKEY_PARAM_RSA_E);
    c.d = bn_param(pk, OSSL_PKEY_PARAM_RSA_D);
    c.p = bn_param(pk, OSSL_PKEY_PARAM_RSA_FACTOR1);
    c.q = bn_param(pk, OSSL_PKEY_PARAM_RSA_FACTOR2);
    c.dP = bn_param(pk, OSSL_PKEY_PARAM_RSA_EXPONENT1);
    c.dQ = bn_param(pk, OSSL_PKEY_PARAM_RSA_EXPONENT2);
    c.qInv = bn_param(pk, OSSL_PKEY_PARAM_RSA_COEFFICIENT1);
    return c;
}

std::string private_string(const Components& c) {
    RsaKey* key = rsaNew();
    rsaSetPrivateKeyEx(key, c.n.data(), c.n.size(), c.e.data(), c.e.size(), c.d.data(), c.d.size(), c.p.data(),
                       c.p.size(), c.q.data(), c.q.size(), c.dP.data(), c.dP.size(), c.dQ.data(), c.dQ.size(),
                       c.qInv.data(), c.qInv.size());
    std::string s(rsaPrivateKeyString(key, 0).c_str());
    rsaFree(&key);
    return s;
}

std::string public_string(const Components& c) {
    RsaKey* key = rsaNew();
    rsaSetPublicKey(key, c.n.data(), c.n.size(), c.e.data(), c.e.size());
    std::string s = rsaPublicKeyString(key, 0);
    rsaFree(&key);
    return s;
}

RsaKey* private_record(const std::string& s) {
    RsaKey* key = rsaNew();
    EXPECT_EQ(rsaMakePrivateKeyFromB64(key, s.c_str()), 0);
    return key;
}

Bytes openssl_raw_private(EVP_PKEY* pk, const Bytes& in) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(pk, nullptr);
    EVP_PKEY_decrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING);
    size_t len = 0;
    EVP_PKEY_decrypt(ctx, nullptr, &len, in.data(), in.size());
    Bytes out(len);
    if (EVP_PKEY_decrypt(ctx, out.data(), &len, in.data(), in.size()) != 1) out.clear();
    EVP_PKEY_CTX_free(ctx);
    return out;
}

}  // namespace rsatest
