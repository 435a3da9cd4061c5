#include "server/rpc/tls_context.h"

#include <stdexcept>

namespace srv {
namespace {

namespace ssl = boost::asio::ssl;

constexpr const char* kTls12Ciphers =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:"
    "ECDHE-RSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";

}  // namespace

ssl::context LoadTlsContext(const std::string& certificate_file, const std::string& key_file) {
  ssl::context context(ssl::context::tls_server);
  context.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                      ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | SSL_OP_CIPHER_SERVER_PREFERENCE);
  // TLS 1.2: forward-secret AEAD suites only (no RSA key exchange, no CBC); TLS 1.3's
  // suites are all of that kind already.
  if (SSL_CTX_set_cipher_list(context.native_handle(), kTls12Ciphers) != 1) {
    throw std::runtime_error("cannot set the TLS cipher suites");
  }
  try {
    context.use_certificate_chain_file(certificate_file);
  } catch (const boost::system::system_error& e) {
    throw std::runtime_error("cannot load the TLS certificate " + certificate_file + ": " + e.code().message());
  }
  try {
    context.use_private_key_file(key_file, ssl::context::pem);
  } catch (const boost::system::system_error& e) {
    throw std::runtime_error("cannot load the TLS key " + key_file + ": " + e.code().message());
  }
  return context;
}

}  // namespace srv
