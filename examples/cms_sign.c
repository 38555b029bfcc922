/* cms_sign: the main job through the public header alone. Makes a P-256 key pair and a self-signed
   certificate, signs a file as CMS signed-data, verifies it and prints the signer. Files are written in
   the current folder with the prefix "cms_example_". */
#include <stdio.h>
#include <string.h>

#include "morvanevelt.h"

static int fail(const char* what, long code) {
    char msg[512] = "";
    VELT_LastError(msg, sizeof msg - 1);
    fprintf(stderr, "%s failed: %ld (%s)\n", what, code, msg);
    return 1;
}

int main(void) {
    const char* pubFile = "cms_example_pub.p8";
    const char* priFile = "cms_example_pri.p8";
    const char* certFile = "cms_example_cert.cer";
    const char* msgFile = "cms_example_message.txt";
    const char* sigFile = "cms_example_signed.p7m";
    const char* password = "example password";
    char key[1024], text[1024], cert[4096];
    long n;

    /* 1. A P-256 key pair; the private key is stored encrypted with the password. */
    n = ECC_MakeKeys(pubFile, priFile, "P-256", password, "", 0);
    if (n != 0) return fail("ECC_MakeKeys", n);
    n = ECC_ReadPrivateKey(key, sizeof key - 1, priFile, password, 0);
    if (n <= 0) return fail("ECC_ReadPrivateKey", n);

    /* 2. A self-signed certificate for it, signed with ECDSA and SHA-256. */
    n = X509_MakeCertSelf(certFile, priFile, 1, 1, "CN=Example Signer;O=Velmora Example", "",
                          VELT_X509_KEYUSAGE_DIGITALSIGNATURE, password, VELT_SIG_ECDSA_SHA256);
    if (n != 0) return fail("X509_MakeCertSelf", n > 0 ? -n : n);

    /* 3. A file to sign, signed as CMS with the content inside and signed attributes. */
    {
        FILE* f = fopen(msgFile, "wb");
        if (!f) return fail("fopen", -2);
        fputs("Hello from the Velmora CMS example.\n", f);
        fclose(f);
    }
    n = CMS_MakeSigData(
        sigFile, msgFile, certFile, key,
        VELT_SIG_ECDSA_SHA256 | VELT_CMS_INCLUDE_ATTRS | VELT_CMS_ADD_SIGNTIME | VELT_CMS_ADD_SIGNINGCERT);
    memset(key, 0, sizeof key);
    if (n != 0) return fail("CMS_MakeSigData", n);
    printf("Signed:       %s -> %s\n", msgFile, sigFile);

    /* 4. Verify it with the certificate inside, and read the content back. */
    n = CMS_VerifySigData(sigFile, "", "", 0);
    if (n != 0) return fail("CMS_VerifySigData", n);
    printf("Verified:     signature valid\n");
    n = CMS_ReadSigDataToString(text, sizeof text - 1, sigFile, 0);
    if (n < 0) return fail("CMS_ReadSigDataToString", n);
    printf("Content:      %s", text);

    /* 5. The signer: its certificate from the object, and what the signer info says. */
    n = CMS_QuerySigData(cert, sizeof cert - 1, sigFile, "certificate", 0);
    if (n <= 0) return fail("CMS_QuerySigData certificate", n);
    n = X509_CertSubjectName(cert, text, sizeof text - 1, ";", 0);
    if (n < 0) return fail("X509_CertSubjectName", n);
    printf("Signer:       %s\n", text);
    n = CMS_QuerySigData(text, sizeof text - 1, sigFile, "signatureAlgorithm", 0);
    if (n < 0) return fail("CMS_QuerySigData", n);
    printf("Algorithm:    %s\n", text);
    n = CMS_QuerySigData(text, sizeof text - 1, sigFile, "SigningTime", 0);
    if (n < 0) return fail("CMS_QuerySigData", n);
    printf("Signed at:    %s UTC\n", text);
    return 0;
}
