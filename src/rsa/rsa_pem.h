// PEM text of key files (RFC 7468), internal to the RSA module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/emem.h"

// "-----BEGIN label-----", base64 in lines of 64 characters, "-----END
// label-----"; every line ends with CR LF, or LF alone when crlf is false.
velt::SecureString rsaPemEncode(const uint8_t* der, size_t len, const char* label, bool crlf);
// The DER of the first PEM block of the text; false when there is none or
// its body is not base64. label receives the block's label when non-null.
bool rsaPemDecode(const char* text, velt::SecureBytes& der, std::string* label = nullptr);
