// Real objects made by the openssl command at run time, in a temporary
// folder, for the round-trip and search tests.
#pragma once

#include <string>

#include "common/test_util.h"

namespace asntest {

// Folder holding cert.der, cert.pem, key.pem, crl.der, csr.der, p8.der,
// p8enc.der, p12.p12, cms_signed.der, cms_env.der, cms_stream.der,
// p7chain.der, cms_data.der and msg.txt; empty when the openssl command is not usable.
inline const std::string& openssl_fixtures() {
    static const std::string dir = [] {
        std::string d = testutil::temp_path("ossl");
        std::string script =
            "set -e; mkdir -p '" + d + "'; cd '" + d + "';"
            "openssl ecparam -name prime256v1 -genkey -noout -out key.pem 2>/dev/null;"
            "openssl req -x509 -new -key key.pem -subj '/CN=Test CA/O=Example Org/C=AU' -days 2 "
            "  -addext 'subjectAltName=DNS:a.example' -addext 'keyUsage=critical,keyCertSign,cRLSign,digitalSignature' "
            "  -addext 'subjectKeyIdentifier=hash' -out cert.pem 2>/dev/null;"
            "openssl x509 -in cert.pem -outform DER -out cert.der;"
            "openssl req -new -key key.pem -subj '/CN=Req/O=Example Org' -addext 'keyUsage=digitalSignature' "
            "  -addext 'subjectAltName=DNS:r.example' -outform DER -out csr.der 2>/dev/null;"
            "openssl pkcs8 -topk8 -nocrypt -in key.pem -outform DER -out p8.der;"
            "openssl pkcs8 -topk8 -v2 aes-256-cbc -passout pass:pw -in key.pem -outform DER -out p8enc.der;"
            "openssl pkcs12 -export -in cert.pem -inkey key.pem -passout pass:pw -out p12.p12;"
            "printf 'hello world\\n' > msg.txt;"
            "openssl cms -sign -in msg.txt -signer cert.pem -inkey key.pem -nodetach -outform DER -out cms_signed.der;"
            "openssl cms -encrypt -in msg.txt -aes256 -outform DER -out cms_env.der cert.pem;"
            "openssl cms -sign -stream -in msg.txt -signer cert.pem -inkey key.pem -nodetach -outform DER "
            "  -out cms_stream.der;"
            "touch index.txt; echo 01 > crlnumber;"
            "printf '[ca]\\ndefault_ca=c\\n[c]\\ndatabase=index.txt\\ncrlnumber=crlnumber\\ndefault_md=sha256\\n"
            "default_crl_days=2\\n' > ca.cnf;"
            "openssl ca -config ca.cnf -gencrl -keyfile key.pem -cert cert.pem -out crl.pem 2>/dev/null;"
            "openssl crl -in crl.pem -outform DER -out crl.der;"
            "openssl crl2pkcs7 -nocrl -certfile cert.pem -outform DER -out p7chain.der;"
            "openssl cms -data_create -in msg.txt -outform DER -out cms_data.der;"
            "echo ok";
        int status = 0;
        std::string out = testutil::run_command("sh -c \"" + [&] {
            std::string esc;
            for (char c : script) {
                if (c == '"' || c == '\\' || c == '$' || c == '`') esc += '\\';
                esc += c;
            }
            return esc;
        }() + "\"", &status);
        return status == 0 && out.find("ok") != std::string::npos ? d : std::string();
    }();
    return dir;
}

}  // namespace asntest
