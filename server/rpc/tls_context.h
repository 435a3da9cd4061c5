// The server's TLS settings: TLS 1.2 and 1.3 only, forward-secret AEAD suites.
#pragma once

#include <string>

#include <boost/asio/ssl.hpp>

namespace srv {

// Loads the PEM certificate (chain) and private key; throws std::runtime_error naming
// the file that cannot be loaded.
boost::asio::ssl::context LoadTlsContext(const std::string& certificate_file, const std::string& key_file);

}  // namespace srv
