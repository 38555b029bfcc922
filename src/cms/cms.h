// CMS: signed-data (RFC 5652). What other subsystems and the exported
// wrappers may call.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- making signed-data ----
//
// Internal operations of the signed-data writer return 0 or a positive error
// code (src/frame/error.h) with the detail text in the error record; the
// exported wrappers negate it. Every output goes through the safe writer:
// a failed call leaves no output file.
namespace velt::cms {

// Option bits of the signed-data writer (the low byte is the signature
// algorithm id of sig/sig.h).
inline constexpr long kCmsExcludeCerts = 0x100;
inline constexpr long kCmsExcludeData = 0x200;
inline constexpr long kCmsCertsOnly = 0x400;
inline constexpr long kCmsIncludeAttrs = 0x800;
inline constexpr long kCmsAddSignTime = 0x1000;
inline constexpr long kCmsAddSmimeCap = 0x2000;
inline constexpr long kCmsAddSigningCert = 0x4000;
inline constexpr long kCmsAddAlgProtect = 0x8000;
inline constexpr long kCmsFormatBase64 = 0x10000;
inline constexpr long kCmsAddSigner = 0x20000;
inline constexpr long kCmsPseudoSig = 0x100000;
inline constexpr long kCmsPssSaltZero = 0x400000;
inline constexpr long kCmsMgf1Sha1 = 0x800000;
inline constexpr long kCmsUseSki = 0x1000000;
inline constexpr long kCmsNoOuter = 0x2000000;
inline constexpr long kCmsRsaSigAlgHash = 0x4000000;
inline constexpr long kCmsBigFile = 0x8000000;

// A certificates-only SignedData (no signers, empty digestAlgorithms) of the
// certificates of certList (";"-separated file names or certificate
// strings, or one PKCS #7 certificate chain), written to outFile as DER, or
// with kCmsFormatBase64 as PEM labelled "PKCS7". 0, 6 empty argument, 1 a
// certificate that cannot be read, 2/4 the writer's codes.
long cmsMakeSigDataCertsOnly(const char* outFile, const char* certList, long options);

// Signed-data of a file's content, of bytes or of a text's bytes.
long cmsMakeSigDataFromFile(const char* outFile, const char* inFile, const char* certList,
                            const char* privateKey, long options);
long cmsMakeSigDataFromBytes(const char* outFile, const uint8_t* data, long dataLen, const char* certList,
                             const char* privateKey, long options);
long cmsMakeSigDataFromString(const char* outFile, const char* text, const char* certList,
                              const char* privateKey, long options);
// Signed-data from a signature value made elsewhere, or (kCmsPseudoSig) the
// completion of a pseudo-signed object given in certList.
long cmsMakeSigDataFromSigValue(const char* outFile, const uint8_t* sigValue, long sigLen,
                                const uint8_t* data, long dataLen, const char* certList, long options);
// Detached signed-data from the content's digest in hexadecimal.
long cmsMakeDetSigFromHash(const char* outFile, const char* hexDigest, const char* certList,
                           const char* privateKey, long options);

}  // namespace velt::cms
// ---- end of making signed-data ----
