// What the peer checks at login: the simple login's password digest ("{SHA}" + Base64 of the
// SHA-1 of the password, empty for an empty password) and the key login's "lkey" (lower-case
// hex SHA-1 over "KOVEL", user, password and the challenge). Own SHA-1 and Base64, FIPS 180 / RFC 4648.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace peer {

std::array<uint8_t, 20> sha1(std::string_view data);
std::array<uint8_t, 20> sha1_of_pieces(std::initializer_list<std::string_view> pieces);
std::string base64(const uint8_t *data, size_t len);

std::string password_digest(std::string_view password);
std::string login_key(std::string_view user, std::string_view password, std::string_view challenge);

// A fresh challenge text for the key login: 32 hexadecimal characters from the kernel's RNG.
std::string new_challenge();

}  // namespace peer
