#include "platform/LoginStore.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace kivora::platform {
namespace {

namespace fs = std::filesystem;

constexpr fs::perms kFolderPerms = fs::perms::owner_all;
constexpr fs::perms kFilePerms = fs::perms::owner_read | fs::perms::owner_write;

fs::perms PermsOf(const fs::path& path)
{
    return fs::status(path).permissions();
}

std::set<std::string> NamesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A file of the given bytes that only its owner may read or write.
void PutPrivateFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
    fs::permissions(path, kFilePerms);
}

class ScopedUmask final {
public:
    explicit ScopedUmask(mode_t mask) : previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous); }

private:
    mode_t previous;
};

// Sets or clears an environment variable for one test.
class ScopedEnv final {
public:
    ScopedEnv(const char* name, const char* value)
        : name(name), had(qEnvironmentVariableIsSet(name)), previous(qgetenv(name))
    {
        if (value)
            qputenv(name, QByteArray(value));
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had)
            qputenv(name, previous);
        else
            qunsetenv(name);
    }

private:
    const char* name;
    bool had;
    QByteArray previous;
};

class LoginStoreTest : public testing::Test {
protected:
    fs::path Root() const { return fs::path(QFile::encodeName(temp.path()).toStdString()); }

    QTemporaryDir temp;
};

TEST_F(LoginStoreTest, RecordIsPrivateWhateverTheUmask)
{
    for (mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
        const ScopedUmask umask(mask);
        const fs::path folder = Root() / std::to_string(mask) / "Client" / "Login";
        CFileLoginStore store(folder);
        ASSERT_TRUE(store.Write("record"));
        EXPECT_EQ(PermsOf(folder), kFolderPerms) << "umask " << mask;
        EXPECT_EQ(PermsOf(folder / "Data"), kFilePerms) << "umask " << mask;
        EXPECT_EQ(PermsOf(folder.parent_path()) & (fs::perms::group_all | fs::perms::others_all),
                  fs::perms::none);
    }
}

TEST_F(LoginStoreTest, WriteTightensLooseModesLeftFromBefore)
{
    const fs::path folder = Root() / "Login";
    fs::create_directories(folder);
    std::ofstream(folder / "Data") << "old";
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(folder / "Data", kFilePerms | fs::perms::group_read | fs::perms::others_read);

    CFileLoginStore store(folder);
    ASSERT_TRUE(store.Write("new"));
    EXPECT_EQ(PermsOf(folder), kFolderPerms);
    EXPECT_EQ(PermsOf(folder / "Data"), kFilePerms);
}

TEST_F(LoginStoreTest, ReplacesWholeRecordAndLeavesNoTemporaryFiles)
{
    CFileLoginStore store(Root() / "Login");
    const std::string withZeros("a\0b\0\0c", 6);
    ASSERT_TRUE(store.Write(std::string(300, 'x')));
    ASSERT_TRUE(store.Write(withZeros));
    EXPECT_EQ(store.Read(std::numeric_limits<std::size_t>::max()), withZeros);
    EXPECT_EQ(NamesIn(store.Folder()), std::set<std::string>{"Data"});
}

TEST_F(LoginStoreTest, FailedReplaceKeepsNoTemporaryFile)
{
    // A non-empty folder named Data cannot be renamed over.
    CFileLoginStore store(Root() / "Login");
    fs::create_directories(store.Folder() / "Data" / "inside");
    EXPECT_FALSE(store.Write("record"));
    EXPECT_EQ(NamesIn(store.Folder()), std::set<std::string>{"Data"});
    EXPECT_FALSE(store.Read(100));
}

TEST_F(LoginStoreTest, ReadGivesNothingForMissingOversizedOrOddFiles)
{
    CFileLoginStore store(Root() / "Login");
    EXPECT_FALSE(store.Read(100));
    fs::create_directories(store.Folder());
    EXPECT_FALSE(store.Read(100));

    ASSERT_TRUE(store.Write("0123456789"));
    EXPECT_EQ(store.Read(10), "0123456789");
    EXPECT_FALSE(store.Read(9));

    // A FIFO would block a plain open until someone writes to it.
    fs::remove(store.Folder() / "Data");
    ASSERT_EQ(::mkfifo((store.Folder() / "Data").c_str(), 0600), 0);
    EXPECT_FALSE(store.Read(100));
}

TEST_F(LoginStoreTest, RemoveDeletesTheFolderWithItsContents)
{
    CFileLoginStore store(Root() / "Client" / "Login");
    ASSERT_TRUE(store.Write("record"));
    std::ofstream(store.Folder() / "Other") << "more";
    // A link inside goes as a link; what it points to stays.
    fs::create_directories(store.Folder() / "Sub" / "Deeper");
    std::ofstream(Root() / "Outside") << "kept";
    fs::create_symlink(Root(), store.Folder() / "Sub" / "Link");
    EXPECT_TRUE(store.Remove());
    EXPECT_FALSE(fs::exists(store.Folder()));
    EXPECT_TRUE(fs::exists(Root() / "Client"));
    EXPECT_TRUE(fs::exists(Root() / "Outside"));
    EXPECT_TRUE(store.Remove());
}

TEST_F(LoginStoreTest, LinkInPlaceOfTheFolderIsNeverFollowed)
{
    // What an earlier version may have left: the record written through a link.
    const fs::path target = Root() / "target";
    const fs::perms targetPerms = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec;
    fs::create_directory(target);
    fs::permissions(target, targetPerms);
    for (const char* name : {"Data", "Data.tmp-Ab12Cd", "Other"})
        PutPrivateFile(target / name, "record");
    CFileLoginStore store(Root() / "Login");
    fs::create_directory_symlink(target, store.Folder());

    EXPECT_FALSE(store.Read(100));
    EXPECT_FALSE(store.Write("new"));
    EXPECT_EQ(PermsOf(target), targetPerms);

    EXPECT_TRUE(store.Remove());
    EXPECT_FALSE(fs::exists(fs::symlink_status(store.Folder())));
    EXPECT_EQ(NamesIn(target), std::set<std::string>{"Other"});
}

TEST_F(LoginStoreTest, ReadIgnoresRecordsOthersCouldHaveWritten)
{
    struct Case {
        const char* what;
        void (*tamper)(const fs::path& folder);
    };
    const Case cases[] = {
        {"folder 0777", [](const fs::path& folder) { fs::permissions(folder, fs::perms::all); }},
        {"folder 0770",
         [](const fs::path& folder) { fs::permissions(folder, fs::perms::owner_all | fs::perms::group_all); }},
        {"Data 0620",
         [](const fs::path& folder) { fs::permissions(folder / "Data", kFilePerms | fs::perms::group_write); }},
        {"Data a link",
         [](const fs::path& folder) {
             fs::rename(folder / "Data", folder / "Real");
             fs::create_symlink("Real", folder / "Data");
         }},
    };
    for (const Case& c : cases) {
        CFileLoginStore store(Root() / c.what / "Login");
        ASSERT_TRUE(store.Write("record"));
        ASSERT_EQ(store.Read(100), "record");
        c.tamper(store.Folder());
        EXPECT_FALSE(store.Read(100)) << c.what;
    }
}

TEST_F(LoginStoreTest, RecordOfAnotherUserIsNotUsed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file away needs root";
    constexpr uid_t kNobody = 65534;
    CFileLoginStore store(Root() / "Login");
    ASSERT_TRUE(store.Write("record"));
    ASSERT_EQ(::chown((store.Folder() / "Data").c_str(), kNobody, kNobody), 0);
    EXPECT_FALSE(store.Read(100));

    ASSERT_TRUE(store.Write("record"));
    ASSERT_EQ(store.Read(100), "record");
    ASSERT_EQ(::chown(store.Folder().c_str(), kNobody, kNobody), 0);
    EXPECT_FALSE(store.Read(100));
    EXPECT_FALSE(store.Write("new"));
}

TEST_F(LoginStoreTest, FailuresUnderARegularFileReturnWithoutThrowing)
{
    std::ofstream(Root() / "file") << "not a folder";
    for (const fs::path& folder : {Root() / "file", Root() / "file" / "Login"}) {
        CFileLoginStore store(folder);
        EXPECT_NO_THROW(EXPECT_FALSE(store.Write("record")));
        EXPECT_NO_THROW(EXPECT_FALSE(store.Read(100)));
    }
    EXPECT_NO_THROW(EXPECT_TRUE(CFileLoginStore(Root() / "file" / "Login").Remove()));
}

TEST_F(LoginStoreTest, DefaultFolderFollowsTheConfigHome)
{
    const ScopedEnv home("HOME", "/home/operator");
    {
        const ScopedEnv config("XDG_CONFIG_HOME", "/elsewhere/config");
        EXPECT_EQ(CFileLoginStore::DefaultFolder(), fs::path("/elsewhere/config/KVR/Client/Login"));
        EXPECT_EQ(CFileLoginStore().Folder(), CFileLoginStore::DefaultFolder());
    }
    {
        const ScopedEnv config("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(CFileLoginStore::DefaultFolder(), fs::path("/home/operator/.config/KVR/Client/Login"));
    }
    {
        const ScopedEnv config("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(CFileLoginStore::DefaultFolder(), fs::path("/home/operator/.config/KVR/Client/Login"));
    }
}

} // namespace
} // namespace kivora::platform
