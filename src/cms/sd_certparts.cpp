// The certificate fields signer matching and verification use, found
// through the certificate module (src/x509): issuer, serialNumber and
// subjectPublicKeyInfo as spans of the certificate's own octets, and the
// subjectKeyIdentifier value.
#include "asn1/asn1.h"
#include "cms/cms.h"
#include "frame/error.h"
#include "x509/x509.h"

namespace velt::cms {

namespace {

// Keeps the caller's error record: the certificate reader records its own
// texts, and a certificate that does not parse is reported by the caller
// (or skipped, when it is one of several).
class KeepErrorRecord {
  public:
    KeepErrorRecord() { code_ = errsnapshot(msg_, sizeof msg_); }
    ~KeepErrorRecord() {
        errclear();
        if (msg_[0]) eprintf("%s", msg_);
        errset(code_);
    }
    KeepErrorRecord(const KeepErrorRecord&) = delete;
    KeepErrorRecord& operator=(const KeepErrorRecord&) = delete;

  private:
    long code_ = 0;
    char msg_[700] = {0};
};

// Offset of each node of a chain in the octets it was read from: the
// identifier and length octets as read, then a primitive node's content.
// False when the walk does not cover exactly n octets.
bool node_offsets(const AsnNode* chain, size_t n, std::vector<const AsnNode*>& nodes,
                  std::vector<size_t>& offs) {
    size_t pos = 0;
    for (const AsnNode* p = chain; p; p = p->next) {
        if (p->hdrSize <= 0 || (!asn_isConstructed(p) && p->length < 0)) return false;
        nodes.push_back(p);
        offs.push_back(pos);
        pos += size_t(p->hdrSize);
        if (!asn_isConstructed(p)) pos += size_t(p->length);
        if (pos > n) return false;
    }
    return pos == n;
}

// The element of the certificate octets where node starts.
bool span_of(const std::vector<uint8_t>& der, const std::vector<const AsnNode*>& nodes,
             const std::vector<size_t>& offs, const AsnNode* node, uint8_t ident, Tlv& t) {
    for (size_t i = 0; i < nodes.size(); i++)
        if (nodes[i] == node) return berRead(der.data(), der.size(), offs[i], t) == 0 && t.is(ident);
    return false;
}

}  // namespace

long cmsCertParts(const uint8_t* der, size_t len, CertParts& c) {
    c = CertParts();
    c.der.assign(der, der + len);
    KeepErrorRecord keep;
    AsnNode* chain = asn_ReadBytes(c.der.data(), c.der.size());
    if (!chain) return BAD_FORMAT_ERROR;
    X509Parts parts;
    std::vector<const AsnNode*> nodes;
    std::vector<size_t> offs;
    long rc = BAD_FORMAT_ERROR;
    if (x509locate(chain, &parts) == 0 && node_offsets(chain, c.der.size(), nodes, offs) &&
        span_of(c.der, nodes, offs, parts.serial, 0x02, c.serial) &&
        span_of(c.der, nodes, offs, parts.issuer, 0x30, c.issuer) &&
        span_of(c.der, nodes, offs, parts.spki, 0x30, c.spki)) {
        rc = 0;
        // SubjectKeyIdentifier ::= OCTET STRING; absent or malformed leaves
        // ski empty (the signer cannot then be matched by key identifier).
        if (AsnNode* ski = x509findExtension(chain, "subjectKeyIdentifier")) {
            if ((ski->id & 0xE0) == 0 && ski->tag == 4 && !ski->next && ski->data && ski->length > 0)
                c.ski.assign(ski->data, ski->data + ski->length);
            asn_Free(&ski);
        }
    }
    asn_Free(&chain);
    return rc;
}

}  // namespace velt::cms
