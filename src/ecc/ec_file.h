// Key files of src/ecc: one writer for every key file the module makes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velt::ecc {

// Writes DER, or PEM with the label (64-character lines, LF line ends) when
// label is non-null, through a new temporary file beside the target
// (O_CREAT|O_EXCL|O_NOFOLLOW; mode 0600 when secret, else 0644), flushed and
// renamed over the target. A failure removes the temporary file and leaves
// the target as it was; a target that exists and is not a regular file is
// refused. 0, -2 with "Unable to create file '%s'", or -4 on a short write.
long ecWriteKeyFile(const char* path, const uint8_t* der, size_t len, const char* label, bool secret);
// The two files of key generation, each as ecWriteKeyFile writes it (the
// private one secret): both are written in full before either is renamed
// into place, and should the public file's rename fail, a private key file
// this call created is removed again (one that existed before is not).
long ecWriteKeyPair(const char* priPath, const uint8_t* pri, size_t prilen, const char* priLabel,
                    const char* pubPath, const uint8_t* pub, size_t publen, const char* pubLabel);

}  // namespace velt::ecc
