// PFX_VerifySig: the version and the MAC of a PFX (RFC 7292 section 4).
#include "frame/error.h"
#include "pfx/mac.h"
#include "pfx/pfx.h"
#include "pfx/pfx_int.h"

using velt::SecureBytes;
using namespace velt::pfx;

long pfxVerifySig(const char* pfxFileOrString, const char* password, long) {
    if (!pfxFileOrString || !*pfxFileOrString) return BAD_PARAM_ERROR;
    SecureBytes der;
    long rc = read_input(pfxFileOrString, &der);
    if (rc) return rc;
    // PFX ::= SEQUENCE { version INTEGER {v3(3)}, authSafe ContentInfo, macData MacData OPTIONAL }
    Tlv pfx;
    std::vector<Tlv> top, ci, inner;
    if (!ber_read(der.data(), der.size(), &pfx) || !pfx.seq() || !ber_children(pfx, &top) || top.size() < 2 ||
        top.size() > 3 || !top[0].integer()) {
        eprintf("Not a valid PFX object");
        return INVALID_DATA_ERROR;
    }
    uint64_t version = 0;
    if (ber_integer(top[0], &version) != 1 || version != 3) {
        eprintf("Invalid PFX version - expecting version 3");
        return NOT_SUPPORTED_ERROR;
    }
    const bool have_password = password && *password;
    if (top.size() == 2) {
        eprintf("No MAC found to verify");
        return have_password ? kMacMismatch : 0;
    }
    // The MAC covers the value of the data OCTET STRING, whose segments a
    // BER writer may have split.
    SecureBytes content;
    if (!top[1].seq() || !ber_children(top[1], &ci) || ci.size() != 2 || !oid_is(ci[0], kOidData) ||
        !ci[1].is(0x80, true, 0) || !ber_children(ci[1], &inner) || inner.size() != 1 ||
        !inner[0].universal(4) || !ber_octets(inner[0], &content)) {
        eprintf("Cannot find ContentInfo data");
        return BAD_FORMAT_ERROR;
    }
    return verify_mac(top[2], content.data(), content.size(), password ? password : "");
}
