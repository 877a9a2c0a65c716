#include "SavedLogin.h"

#include "LoginCipher.h"
#include "net/RecordText.h"

#include <string_view>
#include <vector>

namespace kivora::login {

namespace {

using net::kFieldSep;

bool Storable(std::string_view text)
{
    return !text.empty() && text.find(kFieldSep) == std::string_view::npos;
}

} // namespace

std::optional<SavedLogin> LoadSavedLogin(platform::ILoginStore& store)
{
    const std::optional<std::string> stored = store.Read(kMaxStoredBytes);
    // The closing zero byte is part of the format; the cipher text before it may
    // hold zero bytes of its own, so the record is taken by length.
    if (!stored || stored->size() < 2 || stored->back() != '\0')
        return std::nullopt;

    const std::string_view cipher(stored->data(), stored->size() - 1);
    const std::vector<std::string> pieces = net::SplitRecord(DecryptText(cipher, kPassPhrase), kFieldSep);
    if (pieces.size() != 3)
        return std::nullopt;

    SavedLogin login{pieces[0], pieces[1], pieces[2]};
    if (login.loginId.empty() || login.siteId.empty() || login.password.empty())
        return std::nullopt;
    return login;
}

void SaveLogin(platform::ILoginStore& store, const SavedLogin& login)
{
    const bool storable = Storable(login.loginId) && Storable(login.siteId) && Storable(login.password);
    const std::size_t plainSize =
        login.loginId.size() + login.siteId.size() + login.password.size() + 2 * kFieldSep.size();
    if (!storable || plainSize + 1 > kMaxStoredBytes) {
        store.Remove();
        return;
    }

    std::string plain;
    plain.reserve(plainSize);
    plain.append(login.loginId).append(kFieldSep).append(login.siteId).append(kFieldSep).append(login.password);

    std::string record = EncryptText(plain, kPassPhrase);
    record.push_back('\0');
    if (!store.Write(record))
        store.Remove();
}

void DeleteSavedLogin(platform::ILoginStore& store)
{
    store.Remove();
}

} // namespace kivora::login
