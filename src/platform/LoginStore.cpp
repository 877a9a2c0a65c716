#include "LoginStore.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivora::platform {

namespace fs = std::filesystem;

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
constexpr char kFileName[] = "Data";
constexpr char kTempPattern[] = "Data.tmp-XXXXXX";

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
    // Closes now, reporting the error a deferred write may only show here.
    bool Close()
    {
        const int closing = fd;
        fd = -1;
        return ::close(closing) == 0;
    }

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

// Creates the folder and whatever is missing above it, each new one private to the
// owner; an existing folder is tightened, since the record is a password.
bool MakePrivateFolder(const fs::path& folder)
{
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        struct stat info {};
        if (::stat(partial.c_str(), &info) == 0)
            continue;
        if (errno != ENOENT)
            return false;
        if (::mkdir(partial.c_str(), kFolderMode) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    // mkdir is subject to the umask, which can only take bits away; the chmod also
    // covers a folder left looser by an earlier version or by hand.
    if ((info.st_mode & 07777) != kFolderMode && ::chmod(folder.c_str(), kFolderMode) != 0)
        return false;
    return true;
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

// Makes the rename itself durable; a failure here loses nothing already written.
void SyncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool WriteRecord(const fs::path& folder, std::string_view bytes)
{
    if (folder.empty() || !MakePrivateFolder(folder))
        return false;

    std::string tempName = (folder / kTempPattern).native();
    CFileDescriptor file(::mkstemp(tempName.data()));
    if (file.Get() < 0)
        return false;
    ::fcntl(file.Get(), F_SETFD, FD_CLOEXEC);

    bool ok = ::fchmod(file.Get(), kFileMode) == 0 && WriteAll(file.Get(), bytes) && ::fsync(file.Get()) == 0;
    ok = file.Close() && ok;
    ok = ok && ::rename(tempName.c_str(), (folder / kFileName).c_str()) == 0;
    if (!ok) {
        ::unlink(tempName.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

std::optional<std::string> ReadRecord(const fs::path& folder, std::size_t maxBytes)
{
    if (folder.empty())
        return std::nullopt;
    // O_NONBLOCK: a FIFO planted under the record's name must not hang the start.
    CFileDescriptor file(::open((folder / kFileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<std::uintmax_t>(info.st_size) > maxBytes)
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
        if (folder.empty())
            return false;
        std::error_code error;
        fs::remove_all(folder, error);
        return fs::symlink_status(folder, error).type() == fs::file_type::not_found;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace kivora::platform
