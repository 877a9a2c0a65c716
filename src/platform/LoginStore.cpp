#include "LoginStore.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <random>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivora::platform {

namespace fs = std::filesystem;

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;
constexpr char kFileName[] = "Data";
constexpr std::string_view kTempPrefix = "Data.tmp-";
// O_NOFOLLOW: a link put in the place of the folder or the file is refused, not followed.
constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Closes the descriptor on every way out.
class CFileDescriptor final {
public:
    explicit CFileDescriptor(int fd) : fd(fd) {}
    ~CFileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const { return fd; }
    int Release() { return std::exchange(fd, -1); }
    // Closes now, reporting the error a deferred write may only show here.
    bool Close() { return ::close(Release()) == 0; }

private:
    int fd;
};

fs::path HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && fs::path(home).is_absolute())
        return home;
    // A session started without HOME (some service managers do that) still has a
    // home in the account database.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && fs::path(found->pw_dir).is_absolute())
        return found->pw_dir;
    return {};
}

// Without its trailing separator: "Login/" would make the kernel follow a link named Login.
fs::path Trimmed(const fs::path& folder)
{
    return folder.has_filename() ? folder : folder.parent_path();
}

bool OwnedByUs(const struct stat& info)
{
    return info.st_uid == ::geteuid();
}

// Nobody but the user could have put this there or changed it.
bool Private(const struct stat& info)
{
    return OwnedByUs(info) && (info.st_mode & kWritableByOthers) == 0;
}

// The folder opened, creating it and whatever is missing above it, each new one
// private to the owner; -1 when it cannot be, or when a link or someone else's folder
// stands in its place. A folder of ours left looser by an earlier version or by hand
// is tightened, since the record is a password.
int OpenPrivateFolder(const fs::path& folder)
{
    fs::path partial;
    for (const fs::path& part : folder.parent_path()) {
        partial /= part;
        struct stat info {};
        if (::stat(partial.c_str(), &info) == 0)
            continue;
        if (errno != ENOENT)
            return -1;
        if (::mkdir(partial.c_str(), kFolderMode) != 0 && errno != EEXIST)
            return -1;
    }
    if (::mkdir(folder.c_str(), kFolderMode) != 0 && errno != EEXIST)
        return -1;
    CFileDescriptor dir(::open(folder.c_str(), kOpenFolder));
    struct stat info {};
    if (dir.Get() < 0 || ::fstat(dir.Get(), &info) != 0 || !S_ISDIR(info.st_mode) || !OwnedByUs(info))
        return -1;
    // mkdir is subject to the umask, which can only take bits away.
    if ((info.st_mode & 07777) != kFolderMode && ::fchmod(dir.Get(), kFolderMode) != 0)
        return -1;
    return dir.Release();
}

// mkstemp inside an open folder: a new file of a random name, never an existing one.
int CreateTempFile(int dir, std::string& name)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = kTempPrefix;
        for (int letter = 0; letter < 6; ++letter)
            name += kLetters[pick(random)];
        const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool WriteRecord(const fs::path& folder, std::string_view bytes)
{
    if (folder.empty())
        return false;
    // All file work goes through this descriptor, so the folder checked is the folder used.
    CFileDescriptor dir(OpenPrivateFolder(Trimmed(folder)));
    if (dir.Get() < 0)
        return false;

    std::string tempName;
    CFileDescriptor file(CreateTempFile(dir.Get(), tempName));
    if (file.Get() < 0)
        return false;
    bool ok = ::fchmod(file.Get(), kFileMode) == 0 && WriteAll(file.Get(), bytes) && ::fsync(file.Get()) == 0;
    ok = file.Close() && ok;
    ok = ok && ::renameat(dir.Get(), tempName.c_str(), dir.Get(), kFileName) == 0;
    if (!ok) {
        ::unlinkat(dir.Get(), tempName.c_str(), 0);
        return false;
    }
    // Makes the rename itself durable; a failure here loses nothing already written.
    ::fsync(dir.Get());
    return true;
}

std::optional<std::string> ReadRecord(const fs::path& folder, std::size_t maxBytes)
{
    if (folder.empty())
        return std::nullopt;
    CFileDescriptor dir(::open(Trimmed(folder).c_str(), kOpenFolder));
    struct stat info {};
    if (dir.Get() < 0 || ::fstat(dir.Get(), &info) != 0 || !S_ISDIR(info.st_mode) || !Private(info))
        return std::nullopt;
    // O_NONBLOCK: a FIFO planted under the record's name must not hang the start.
    CFileDescriptor file(::openat(dir.Get(), kFileName, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || !Private(info) ||
        info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > maxBytes)
        return std::nullopt;

    // The size is checked again while reading, as the file may grow meanwhile.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(file.Get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            return bytes;
        if (static_cast<std::size_t>(got) > maxBytes - bytes.size())
            return std::nullopt;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

// The entries of an open folder, read through a copy of the descriptor that
// closedir may take.
std::optional<std::vector<std::string>> NamesIn(int dir)
{
    const int copy = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return std::nullopt;
    DIR* stream = ::fdopendir(copy);
    if (!stream) {
        ::close(copy);
        return std::nullopt;
    }
    ::rewinddir(stream);
    std::vector<std::string> names;
    const dirent* entry = nullptr;
    for (errno = 0; (entry = ::readdir(stream)) != nullptr; errno = 0) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    const bool complete = errno == 0;
    ::closedir(stream);
    if (!complete)
        return std::nullopt;
    return names;
}

// Best effort: links inside are removed as links and sub-folders are opened without
// following links, so nothing outside the folder is touched. Whatever is left shows
// when the folder itself is removed.
void ClearFolder(int dir)
{
    const std::optional<std::vector<std::string>> names = NamesIn(dir);
    if (!names)
        return;
    for (const std::string& name : *names) {
        struct stat info {};
        if (::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(info.st_mode)) {
            ::unlinkat(dir, name.c_str(), 0);
            continue;
        }
        if (CFileDescriptor inner(::openat(dir, name.c_str(), kOpenFolder)); inner.Get() >= 0)
            ClearFolder(inner.Get());
        ::unlinkat(dir, name.c_str(), AT_REMOVEDIR);
    }
}

// An earlier version wrote the record through a link standing in the folder's place.
// The record goes from the link's target when that is a folder of ours - file by
// file, never by a recursive delete through the link - and then the link itself.
// The link stays when the record could not be deleted, so that a later try finds it.
bool RemoveThroughLink(int parent, const char* name)
{
    CFileDescriptor target(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (target.Get() >= 0 && ::fstat(target.Get(), &info) == 0 && OwnedByUs(info)) {
        const std::optional<std::vector<std::string>> names = NamesIn(target.Get());
        if (!names)
            return false;
        for (const std::string& entry : *names) {
            if (entry != kFileName && !entry.starts_with(kTempPrefix))
                continue;
            if (::fstatat(target.Get(), entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(info.st_mode))
                continue;
            if (::unlinkat(target.Get(), entry.c_str(), 0) != 0 && errno != ENOENT)
                return false;
        }
    }
    return ::unlinkat(parent, name, 0) == 0 || errno == ENOENT;
}

bool RemoveFolder(const fs::path& folder)
{
    const fs::path trimmed = Trimmed(folder);
    const fs::path above = trimmed.has_parent_path() ? trimmed.parent_path() : fs::path(".");
    const std::string name = trimmed.filename().native();
    // The folder is looked at and removed through its parent, so that a link in its
    // place is seen as a link.
    CFileDescriptor parent(::open(above.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.Get() < 0)
        return errno == ENOENT || errno == ENOTDIR;
    struct stat info {};
    if (::fstatat(parent.Get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (S_ISLNK(info.st_mode))
        return RemoveThroughLink(parent.Get(), name.c_str());
    if (!S_ISDIR(info.st_mode))
        return ::unlinkat(parent.Get(), name.c_str(), 0) == 0 || errno == ENOENT;
    if (CFileDescriptor dir(::openat(parent.Get(), name.c_str(), kOpenFolder)); dir.Get() >= 0)
        ClearFolder(dir.Get());
    return ::unlinkat(parent.Get(), name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
}

} // namespace

CFileLoginStore::CFileLoginStore(fs::path folder) : folder(std::move(folder)) {}

fs::path CFileLoginStore::DefaultFolder()
{
    fs::path base;
    // A relative XDG_CONFIG_HOME is to be ignored, as the base directory rules say.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && fs::path(config).is_absolute())
        base = config;
    else if (fs::path home = HomeFolder(); !home.empty())
        base = home / ".config";
    else
        return {};
    return base / "KVR" / "Client" / "Login";
}

std::optional<std::string> CFileLoginStore::Read(std::size_t maxBytes)
{
    try {
        return ReadRecord(folder, maxBytes);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool CFileLoginStore::Write(std::string_view bytes)
{
    try {
        return WriteRecord(folder, bytes);
    } catch (const std::exception&) {
        return false;
    }
}

bool CFileLoginStore::Remove()
{
    try {
        return !folder.empty() && RemoveFolder(folder);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace kivora::platform
