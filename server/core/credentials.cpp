#include "server/core/credentials.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <stdexcept>
#include <vector>

namespace srv {
namespace {

std::string Hex(const unsigned char* data, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

bool FromHex(const std::string& text, std::vector<unsigned char>& out) {
  if (text.size() % 2) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  out.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = nibble(text[i]), lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  return true;
}

std::vector<unsigned char> Random(std::size_t size) {
  std::vector<unsigned char> bytes(size);
  if (RAND_bytes(bytes.data(), static_cast<int>(size)) != 1) throw std::runtime_error("no random bytes");
  return bytes;
}

std::vector<unsigned char> Derive(const std::string& password, const std::vector<unsigned char>& salt, int iterations) {
  std::vector<unsigned char> hash(32);
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(), static_cast<int>(salt.size()),
                        iterations, EVP_sha256(), static_cast<int>(hash.size()), hash.data()) != 1) {
    throw std::runtime_error("PBKDF2 failed");
  }
  return hash;
}

}  // namespace

std::string HashPassword(const std::string& password, int iterations) {
  if (iterations < 1) throw std::invalid_argument("iterations must be positive");
  const auto salt = Random(16);
  const auto hash = Derive(password, salt, iterations);
  return "pbkdf2-sha256$" + std::to_string(iterations) + "$" + Hex(salt.data(), salt.size()) + "$" +
         Hex(hash.data(), hash.size());
}

bool VerifyPassword(const std::string& password, const std::string& stored) {
  const std::string prefix = "pbkdf2-sha256$";
  if (stored.rfind(prefix, 0) != 0) return false;
  const std::size_t a = stored.find('$', prefix.size());
  const std::size_t b = a == std::string::npos ? a : stored.find('$', a + 1);
  if (b == std::string::npos) return false;
  const std::string count = stored.substr(prefix.size(), a - prefix.size());
  if (count.empty() || count.size() > 9 || count.find_first_not_of("0123456789") != std::string::npos) return false;
  const int iterations = std::stoi(count);
  std::vector<unsigned char> salt, expected;
  if (iterations < 1 || !FromHex(stored.substr(a + 1, b - a - 1), salt) || !FromHex(stored.substr(b + 1), expected) ||
      expected.size() != 32) {
    return false;
  }
  const auto actual = Derive(password, salt, iterations);
  return CRYPTO_memcmp(actual.data(), expected.data(), expected.size()) == 0;
}

std::string NewSessionToken() {
  const auto bytes = Random(32);
  return Hex(bytes.data(), bytes.size());
}

std::string Sha256Hex(const std::string& text) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
  return Hex(digest, sizeof digest);
}

}  // namespace srv
