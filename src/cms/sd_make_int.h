// Shared pieces of the signed-data writer (message, detached, streaming and
// added-signer paths). Internal to src/cms.
#pragma once

#include <string>
#include <vector>

#include "cms/sd_attrs.h"
#include "cms/sd_make_certs.h"
#include "cms/sd_sets.h"
#include "sig/sig.h"

namespace velt::cms {

// One signer: its algorithm row, the certificate list (signer first) and the
// signer certificate's parts.
struct SignerSetup {
    const sig::SigAlgRow* row = nullptr;
    std::vector<Der> certs;
    SignerCert cert;
};

// The row of options & 0xFF (17 "Invalid signature option"; DSA rows 19),
// the certificate list, and unless keyless the match of the private key to a
// certificate (moved first; 21 when none matches). 0 or a positive code.
long setup_signer(SignerSetup& s, const char* certList, const char* privateKey, long options, bool keyless);

// What a SignerInfo signs: the content (EdDSA without signed attributes)
// and the content digest under the row's hash.
struct SignInput {
    const uint8_t* content = nullptr;  // null when only the digest is known
    size_t contentLen = 0;
    Der digest;
    const char* privateKey = nullptr;
    const Der* sigValue = nullptr;  // a value made elsewhere (no key used)
    bool pseudo = false;            // 0xBB placeholder of the modulus length
};

// SignerInfo of the setup over the input: version 1 (IssuerAndSerialNumber)
// or 3 (kCmsUseSki), signed attributes with kCmsIncludeAttrs. 0 or a
// positive code.
long make_signerinfo(Der& out, const SignerSetup& s, const SignInput& in, long options);

// SignedData { version, digestAlgorithms, encapContentInfo, [0]
// certificates, signerInfos }, inside a ContentInfo unless kCmsNoOuter.
long make_sigdata(Der& out, const SignerSetup& s, const SignInput& in, long options);
Der wrap_content_info(const Der& signedData);
Der encap_content_info(const uint8_t* content, size_t n, bool withContent);

// Writes DER (or base64 lines with kCmsFormatBase64; PEM when pemLabel is
// given) through the safe writer. 0 or 2/4.
long write_cms_output(const char* outFile, const Der& der, long options, const char* pemLabel = nullptr);

// Signature of the row over the value to sign (a digest, or for EdDSA the
// message itself). 0 or the engine's positive code.
long sign_value(Der& sig, const sig::SigAlgRow& row, const char* privateKey, const uint8_t* tbs, size_t n,
                long options);
// Verifies a value with the public key of a SubjectPublicKeyInfo over a
// digest (EdDSA: the message). 0 or 22.
long verify_value(const Der& sig, const sig::SigAlgRow& row, const Der& spki, const uint8_t* tbs, size_t n,
                  long options);

}  // namespace velt::cms
