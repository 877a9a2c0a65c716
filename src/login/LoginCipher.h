#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kivora::login {

// Pass phrase of the saved-login record.
inline constexpr std::string_view kPassPhrase = "Rovor";

// RC4 key made from a pass phrase: its MD5 hash cut to 40 bits, followed by zero
// bytes up to 128 bits. The records written by earlier versions were made with
// exactly this key, so it must stay byte for byte the same.
std::array<std::uint8_t, 16> DeriveKey(std::string_view passPhrase);

// RC4 with the key above. The output has the length of the input; both directions
// are the same operation, kept under two names for the two uses.
std::string EncryptText(std::string_view plain, std::string_view passPhrase);
std::string DecryptText(std::string_view cipher, std::string_view passPhrase);

} // namespace kivora::login
