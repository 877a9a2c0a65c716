#pragma once

#include "platform/LoginStore.h"

#include <cstddef>
#include <optional>
#include <string>

namespace kivora::login {

// What "Save Password" keeps so that the next start can log in by itself.
struct SavedLogin {
    std::string loginId;
    std::string siteId;
    std::string password;
};

// Largest stored record (cipher text and its closing zero byte) that is read back
// or written. Far above any real login; a bigger file is not a record of ours.
inline constexpr std::size_t kMaxStoredBytes = 4096;

// The saved login, or nothing when there is none or the record is unusable: not
// closed by a zero byte, not three texts, or one of them empty.
std::optional<SavedLogin> LoadSavedLogin(platform::ILoginStore& store);

// Replaces the saved login. A login that could not be read back as it is (an empty
// or separator-bearing text, an oversized record), or a failed write, leaves no
// record at all, so that the next start never logs in as an earlier operator.
void SaveLogin(platform::ILoginStore& store, const SavedLogin& login);

// Log out: forget the saved login.
void DeleteSavedLogin(platform::ILoginStore& store);

} // namespace kivora::login
