// CMS (RFC 5652): the object reader shared by every CMS content type, the
// signed-data parser, verifier and queries, and the streaming reader. What
// other subsystems (certificates, PKCS #12, enveloped-data, S/MIME) may call.
//
// Internal operations of this module return 0 or a positive error code
// (src/frame/error.h) for failures they detect themselves and pass on the
// negative codes of other modules; the bodies of the exported functions
// return results or negative codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "rsa/rsa.h"
#include "util/emem.h"

namespace velt::cms {

// ===== Reading and verifying signed-data =====

// ---- BER elements over a span ----
// One element read in place: identifier, tag number, where its contents sit
// and where it ends. An indefinite-length element's contents stop before its
// end-of-contents octets.
struct Tlv {
    uint8_t ident = 0;  // first identifier octet
    uint32_t tag = 0;   // tag number
    bool constructed = false;
    bool indefinite = false;
    size_t start = 0;  // offset of the identifier octet
    size_t off = 0;    // offset of the contents
    size_t len = 0;    // contents octets
    size_t end = 0;    // offset after the element (end-of-contents included)
    bool is(uint8_t id) const { return ident == id; }
};
// Nesting deeper than this is refused as malformed.
inline constexpr int kBerMaxDepth = 64;

// Reads the element at pos, which must end at or before limit. 0, or 7 when
// malformed (short, bad length, an indefinite length on a primitive, nesting
// beyond kBerMaxDepth).
long berRead(const uint8_t* buf, size_t limit, size_t pos, Tlv& t);

// Walks the elements inside a constructed element.
class BerChildren {
  public:
    BerChildren(const uint8_t* buf, const Tlv& parent)
        : buf_(buf), pos_(parent.off), end_(parent.off + parent.len) {}
    BerChildren(const uint8_t* buf, size_t off, size_t end) : buf_(buf), pos_(off), end_(end) {}
    // 1 with the next child, 0 at the end, -1 when malformed.
    int next(Tlv& t);

  private:
    const uint8_t* buf_;
    size_t pos_, end_;
};

// Name of an OBJECT IDENTIFIER element (its table name, or dotted form);
// empty when the element is not an OID.
std::string oidName(const uint8_t* buf, const Tlv& t);
// Contents of an OCTET STRING, primitive or constructed (segments joined).
// 0, or 7 when a segment is not an OCTET STRING.
long octetsOf(const uint8_t* buf, const Tlv& t, std::vector<uint8_t>& out);
long octetsOf(const uint8_t* buf, const Tlv& t, SecureBytes& out);

// ---- The object reader ----
// The encoding of a CMS object given as a file name, PEM text or base64
// text: a PEM string is decoded; a base64 string that is not also the name
// of an existing file is decoded; otherwise the file is read, as BER when it
// begins with a SEQUENCE and as PEM or base64 text otherwise. 0, 1 "Cannot
// open file %s", 8 undecodable.
long cmsReadObject(const char* input, std::vector<uint8_t>& der);
// The content of a ContentInfo of the named type: 0 with content set to the
// element inside [0]; 8 "Invalid Content Type: expected <what>", 10 "No
// <what> content"; malformed input also appends "Invalid or missing ASN.1
// data" (7 or 8).
long cmsContentOf(const std::vector<uint8_t>& der, const char* typeName, const char* what, Tlv& content);

// ---- Signed-data summary and signer records ----
enum SigFamily : int { kFamPkcs1 = 0, kFamDsa = 1, kFamPss = 2, kFamEcc = 3 };

struct SignerRec {
    long version = 0;
    std::vector<uint8_t> sidDer;  // the signer identifier element
    bool sidIsSki = false;
    std::vector<uint8_t> sidValue;  // SKI octets, or the IssuerAndSerialNumber DER
    long digestId = -1;             // 0 sha1, 1 md5, 2 md2, 3 sha256, ..., 159 shake256
    std::string digestName;
    std::vector<uint8_t> digestAlgDer;
    long sigId = -1;
    std::string sigName;
    int family = -1;
    std::vector<uint8_t> sigAlgDer;
    RsaPssParams pss;
    std::vector<uint8_t> sigValue;
    std::vector<uint8_t> signedAttrs;  // re-tagged as SET OF (0x31)
    bool hasSignedAttrs = false;
    bool hasSigningCert = false;
    bool signingCertV2 = false;
    bool hasAlgProtect = false;
    bool hasMessageDigest = false;
    std::vector<uint8_t> messageDigest;
    std::vector<uint8_t> signingCertValue;  // the attribute's value element
    std::vector<uint8_t> algProtectValue;
    std::vector<uint8_t> signingTime;  // the Time element
};

struct SignedDataInfo {
    long version = -1;
    std::string contentType;
    bool hasEContent = false;
    Tlv eContent;  // the OCTET STRING inside [0] (when present)
    Tlv digestAlgs, certSet, crlSet, signerSet;
    bool hasCerts = false, hasCrls = false;
    std::vector<Tlv> certs;  // each certificate element
    long digestAlgCount = 0;
    std::vector<SignerRec> signers;
};

// Digest algorithm id of a name, or -1; name of an id (empty when none).
long cmsDigestIdFromName(const std::string& name);
// Parses the SignedData element sd of der. With requireSigners, an object
// without SignerInfos is refused ("No SignerInfos in SignedData", 8). 0 or
// a positive code.
long parseSignedData(const std::vector<uint8_t>& der, const Tlv& sd, SignedDataInfo& info,
                     bool requireSigners);
// Reader and parser together: input as for cmsReadObject.
long cmsReadSignedData(const char* input, std::vector<uint8_t>& der, SignedDataInfo& info,
                       bool requireSigners);

// ---- Verification ----
// A certificate's parts that signer matching and verification use.
struct CertParts {
    std::vector<uint8_t> der;
    Tlv issuer, serial, spki;
    std::vector<uint8_t> ski;
};
long cmsCertParts(const uint8_t* der, size_t len, CertParts& c);
// The signer (index into info.signers) and certificate to check, by the
// rules of certificate matching; given may be null. 0, 10 "No certificate
// found or given", 21 "No match found between certificate and signer".
long findMatchingCertAndSigner(const std::vector<uint8_t>& der, const SignedDataInfo& info,
                               const CertParts* given, size_t* signer, CertParts& cert);
// Digest of bytes under a digest algorithm id; false for an unknown id.
bool cmsDigest(long digestId, const uint8_t* data, size_t n, std::vector<uint8_t>& out);
long verify_algprotect(const SignerRec& s);
long verify_signing_cert(const SignerRec& s, const CertParts& cert);
// The certHash of the first ESSCertID of the signing-certificate attribute
// and its digest algorithm id; 0, or 22 when the attribute is malformed.
long getSigningCertDigest(const SignerRec& s, std::vector<uint8_t>& certHash, long* alg);

// Bodies of the exported functions (negative codes).
long cmsVerifySigData(const char* input, const char* cert, const char* hexDigest, long options);
long cmsReadSigDataFromFile(const char* outFile, const char* input, long options);
long cmsReadSigDataFromFileToMemory(uint8_t* out, long outlen, const char* input, bool asString,
                                    long options);
long cmsGetSigDataDigest(char* out, long outlen, const char* input, const char* cert, long options);
long cmsQuerySigData(char* out, long outlen, const char* input, const char* query, long options);

// ---- Queries shared by signed-data and enveloped-data ----
enum class QueryOwner { kSigned, kEnveloped, kBoth };
struct CmsQueryRow {
    const char* keyword;
    int type;  // 1 number, 2 string
    QueryOwner owner;
    int id;
};
const CmsQueryRow* cmsQueryTable(size_t* count);
// Parses "keyword[/N]": the first table row whose keyword matches (by its
// own length, case-insensitively), and N (default 1). 0, or 29 for no row
// or an index that is not a number of at least 1.
long cmsParseQuery(const char* query, const CmsQueryRow** row, long* index);

// ---- Streaming (VELT_CMS_BIGFILE) ----
inline constexpr size_t kBlockSize = 8192;
inline constexpr long kOptBigFile = 0x8000000;
inline constexpr long kOptGetType = 0x100000;

// Reads a BER SignedData file incrementally: headers and small elements
// through a buffer of a few blocks, the content OCTET STRING in segments.
struct BlockManager;
BlockManager* block_manager_init(FILE* f);
void block_manager_final(BlockManager** bm);
// Streams a binary signed-data file: the content goes to sink in blocks of
// at most kBlockSize bytes; the rest of the SignedData (version, digest
// algorithms, certificates, CRLs, signer infos) is rebuilt as a detached
// SignedData DER. 0 or a positive code.
struct StreamedSignedData {
    std::vector<uint8_t> detached;  // ContentInfo of the detached SignedData
    std::vector<long> digestIds;    // the distinct supported algorithms listed
    bool hadContent = false;
};
using ContentSink = long (*)(void* ctx, const uint8_t* p, size_t n);
long block_manager(BlockManager* bm, ContentSink sink, void* ctx, StreamedSignedData& out);

// ===== end of reading and verifying signed-data =====

}  // namespace velt::cms

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
