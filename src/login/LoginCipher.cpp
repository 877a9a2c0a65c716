#include "LoginCipher.h"

#include <nettle/arcfour.h>
#include <nettle/md5.h>

#include <algorithm>

namespace kivora::login {

namespace {

constexpr std::size_t kEffectiveKeyBytes = 5;

std::string Rc4(std::string_view input, std::string_view passPhrase)
{
    std::string output(input.size(), '\0');
    if (input.empty())
        return output;
    const auto key = DeriveKey(passPhrase);
    arcfour_ctx context;
    arcfour_set_key(&context, key.size(), key.data());
    arcfour_crypt(&context, input.size(), reinterpret_cast<std::uint8_t*>(output.data()),
                  reinterpret_cast<const std::uint8_t*>(input.data()));
    return output;
}

} // namespace

std::array<std::uint8_t, 16> DeriveKey(std::string_view passPhrase)
{
    static_assert(MD5_DIGEST_SIZE == 16);
    md5_ctx context;
    md5_init(&context);
    if (!passPhrase.empty())
        md5_update(&context, passPhrase.size(), reinterpret_cast<const std::uint8_t*>(passPhrase.data()));
    std::array<std::uint8_t, MD5_DIGEST_SIZE> digest{};
    md5_digest(&context, digest.size(), digest.data());

    std::array<std::uint8_t, 16> key{};
    std::copy_n(digest.begin(), kEffectiveKeyBytes, key.begin());
    return key;
}

std::string EncryptText(std::string_view plain, std::string_view passPhrase)
{
    return Rc4(plain, passPhrase);
}

std::string DecryptText(std::string_view cipher, std::string_view passPhrase)
{
    return Rc4(cipher, passPhrase);
}

} // namespace kivora::login
