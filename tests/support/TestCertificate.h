#pragma once
// A throwaway self-signed certificate and its key for TLS tests, made with
// the OpenSSL API: a P-256 key, valid from an hour ago for a day, for the
// names given (subjectAltName entries such as "IP:127.0.0.1" or
// "DNS:localhost"), usable both as the server's certificate and as the
// authority a client trusts.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

namespace corvana::test {

struct TestCertificate {
    std::string certificateFile;  // PEM
    std::string keyFile;          // PEM, unencrypted
};

// Writes <prefix>.crt and <prefix>.key. Raises std::runtime_error when
// OpenSSL fails.
inline TestCertificate MakeTestCertificate(const std::string& prefix,
                                           const std::string& altNames = "IP:127.0.0.1") {
    const auto fail = [](const char* what) { throw std::runtime_error(what); };
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
    if (!key || !cert) fail("OpenSSL: chave ou certificado");
    static long serial = 1;
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("servidor de teste"), -1, -1,
                               0);
    X509_set_issuer_name(cert.get(), name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
    for (auto [nid, value] : {std::pair{NID_subject_alt_name, altNames.c_str()},
                              std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
        if (!ext) fail("OpenSSL: extensão do certificado");
        X509_add_ext(cert.get(), ext, -1);
        X509_EXTENSION_free(ext);
    }
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) fail("OpenSSL: assinatura");

    TestCertificate out{prefix + ".crt", prefix + ".key"};
    const auto write = [&](const std::string& path, auto&& writer) {
        std::unique_ptr<FILE, decltype(&std::fclose)> f(std::fopen(path.c_str(), "w"), std::fclose);
        if (!f || writer(f.get()) != 1) fail("não foi possível gravar o certificado de teste");
    };
    write(out.certificateFile, [&](FILE* f) { return PEM_write_X509(f, cert.get()); });
    write(out.keyFile, [&](FILE* f) {
        return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    return out;
}

}  // namespace corvana::test
