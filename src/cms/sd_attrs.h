// Algorithm identifiers and signed attributes of a SignerInfo (RFC 5652
// 5.3, 11; RFC 4055; RFC 5035; RFC 6211; RFC 8419). Internal to the
// signed-data writer.
#pragma once

#include <ctime>

#include "cms/sd_make_certs.h"
#include "cms/sd_sets.h"
#include "sig/sig.h"

namespace velt::cms {

// DigestAlgorithmIdentifier of a row's hash: a NULL parameter for SHA-1, MD5
// and MD2 and none for the SHA-2 family (withNull: always NULL, the
// streaming form); shake256 without parameters for Ed448.
Der digest_alg_id(const sig::SigAlgRow& row, bool withNull = false);
// The row's hash of data (SHAKE256 with 64 octets for Ed448); false for a
// hash the library does not have.
bool row_digest(const sig::SigAlgRow& row, const uint8_t* data, size_t n, Der& out);
// signatureAlgorithm of a SignerInfo for the row and the option word.
Der makeSigAlg(const sig::SigAlgRow& row, long options);
// The time written as signingTime: UTCTime through 2049, GeneralizedTime
// from 2050 on (RFC 5652 11.3).
Der signing_time(time_t now);
// The signed attributes, each SEQUENCE { OID, SET { value } }: contentType
// and messageDigest always, the others as the option word asks; unsorted.
std::vector<Der> make_SignedAttrs(const sig::SigAlgRow& row, const Der& contentDigest, const SignerCert& cert,
                                  const Der& sigAlg, long options);

}  // namespace velt::cms
