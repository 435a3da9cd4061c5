// Password hashes and session tokens.
#pragma once

#include <string>

namespace srv {

// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>": PBKDF2-HMAC-SHA256 with a random
// 16-byte salt and a 32-byte hash.
std::string HashPassword(const std::string& password, int iterations);
// Recomputes the hash with the stored salt and count and compares in constant time.
// False for a malformed stored hash.
bool VerifyPassword(const std::string& password, const std::string& stored);

// 32 random bytes from the system's generator, as 64 lower-case hex digits.
std::string NewSessionToken();
// SHA-256 of the text, hex: what the sessions table keeps instead of the token.
std::string Sha256Hex(const std::string& text);

}  // namespace srv
