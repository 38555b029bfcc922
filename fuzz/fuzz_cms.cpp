// CMS signed-data readers over untrusted bytes: the object reader and the
// SignedData summary with its signer records, the content extraction, the
// queries, verification, and the streaming reader over the same bytes as a
// file.
#include <unistd.h>

#include "cms/cms.h"
#include "fuzz_common.h"
#include "morvanevelt.h"

namespace {

long sink_count(void* ctx, const uint8_t*, size_t n) {
    FUZZ_CHECK(n <= velt::cms::kBlockSize);
    *static_cast<size_t*>(ctx) += n;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velt::cms;
    std::vector<uint8_t> der(data, data + size);
    Tlv sd;
    SignedDataInfo info;
    if (cmsContentOf(der, "signedData", "signed-data", sd) == 0 &&
        parseSignedData(der, sd, info, false) == 0) {
        for (const auto& t : info.certs) FUZZ_CHECK(t.end <= der.size());
        for (const auto& s : info.signers) {
            if (s.hasSigningCert) {
                std::vector<uint8_t> h;
                long alg;
                (void)getSigningCertDigest(s, h, &alg);
            }
            if (s.hasAlgProtect) (void)verify_algprotect(s);
        }
    }
    char path[] = "/tmp/fuzz_cms_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return 0;
    if (size && write(fd, data, size) != ssize_t(size)) {
        close(fd);
        unlink(path);
        return 0;
    }
    close(fd);
    char buf[256];
    for (const char* q : {"signatureValue", "SigningTime", "certificate/2", "pssParams", "signingCertHash"})
        (void)CMS_QuerySigData(buf, sizeof buf - 1, path, q, 0);
    (void)CMS_VerifySigData(path, "", "", 0);
    (void)CMS_VerifySigData(path, "", "", VELT_CMS_BIGFILE);
    uint8_t out[64];
    (void)CMS_ReadSigDataToBytes(out, sizeof out, path, 0);
    (void)X509_GetCertCountInP7Chain(path, 0);
    FILE* f = fopen(path, "rb");
    if (f) {
        size_t n = 0;
        StreamedSignedData s;
        BlockManager* bm = block_manager_init(f);
        if (block_manager(bm, sink_count, &n, s) == 0) FUZZ_CHECK(n <= size);
        block_manager_final(&bm);
        fclose(f);
    }
    unlink(path);
    return 0;
}
