// Adding a signer to an existing SignedData, and completing a
// pseudo-signature. Internal to src/cms.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::cms {

// Adds a SignerInfo (and its certificates and digest algorithm) to the
// SignedData in inFile. 0 or a positive code.
long sigdata_add_signer(const char* outFile, const char* inFile, const char* certList, const char* privateKey,
                        long options);
// Replaces the placeholder signature value of the first SignerInfo of a
// pseudo-signed object (file or string) by sig, verifies the result and
// writes it. 0 or a positive code.
long insert_sigvalue_into_sigdata(const char* outFile, const uint8_t* sig, size_t sigLen, const char* object,
                                  long options);

}  // namespace velt::cms
