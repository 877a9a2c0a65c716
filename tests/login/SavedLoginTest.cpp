#include "login/LoginCipher.h"
#include "login/SavedLogin.h"
#include "support/Fakes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace kivora::login {
namespace {

const SavedLogin kVectorLogin{"admin", "site1", "secret"};
constexpr char kVectorCipherHex[] = "716b4c28495042a85e77f30c66435a17480cf2a59e7b419e3fa8";

std::string FromHex(std::string_view hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

std::string Record(std::string_view plain)
{
    return EncryptText(plain, kPassPhrase) + '\0';
}

void ExpectSame(const std::optional<SavedLogin>& loaded, const SavedLogin& expected)
{
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->loginId, expected.loginId);
    EXPECT_EQ(loaded->siteId, expected.siteId);
    EXPECT_EQ(loaded->password, expected.password);
}

// "&", blanks and bytes above 0x7F, 200 bytes in all.
SavedLogin AwkwardLogin()
{
    std::string password = "p&ss w\xC3\xB6rd \xE2\x82\xAC\xFF&";
    for (char c = '!'; password.size() < 200; c = c == '~' ? '!' : static_cast<char>(c + 1))
        password.push_back(c == '<' ? ' ' : c);
    return {"op\xC3\xA9rateur 1", "site&2", password};
}

TEST(LoginCipherTest, MatchesTheRecordsOfEarlierVersions)
{
    const auto key = DeriveKey(kPassPhrase);
    EXPECT_EQ(std::string(key.begin(), key.end()), FromHex("d024280f2a") + std::string(11, '\0'));

    const std::string cipher = FromHex(kVectorCipherHex);
    EXPECT_EQ(EncryptText("admin<fld>site1<fld>secret", kPassPhrase), cipher);
    EXPECT_EQ(DecryptText(cipher, kPassPhrase), "admin<fld>site1<fld>secret");
    EXPECT_NE(EncryptText("admin<fld>site1<fld>secret", "Other"), cipher);
}

TEST(LoginCipherTest, KeepsLengthAndEveryByteValue)
{
    std::string plain;
    for (int i = 0; i < 600; ++i)
        plain.push_back(static_cast<char>(i % 256));
    const std::string cipher = EncryptText(plain, kPassPhrase);
    EXPECT_EQ(cipher.size(), plain.size());
    EXPECT_EQ(DecryptText(cipher, kPassPhrase), plain);
    EXPECT_EQ(EncryptText("", kPassPhrase), "");
}

TEST(SavedLoginTest, StoresCipherTextAndOneZeroByte)
{
    test::FakeLoginStore store;
    SaveLogin(store, kVectorLogin);
    EXPECT_EQ(store.stored, FromHex(kVectorCipherHex) + '\0');
    ExpectSame(LoadSavedLogin(store), kVectorLogin);

    DeleteSavedLogin(store);
    EXPECT_FALSE(store.stored);
    EXPECT_FALSE(LoadSavedLogin(store));
}

TEST(SavedLoginTest, RoundTripsLongPasswordsWithAnyBytes)
{
    test::FakeLoginStore store;
    const SavedLogin login = AwkwardLogin();
    ASSERT_EQ(login.password.size(), 200U);
    SaveLogin(store, login);
    ExpectSame(LoadSavedLogin(store), login);
}

TEST(SavedLoginTest, ZeroBytesInsideTheCipherTextDoNotCutTheRecord)
{
    // The key stream's third byte is '!' and its fifteenth 'k', so these give a zero
    // byte in the middle and at the very end of the cipher text.
    for (const SavedLogin& login : {SavedLogin{"hi!there", "site1", "secret"}, SavedLogin{"ab", "cd", "k"}}) {
        test::FakeLoginStore store;
        SaveLogin(store, login);
        ASSERT_TRUE(store.stored);
        const std::string_view cipher = std::string_view(*store.stored).substr(0, store.stored->size() - 1);
        ASSERT_NE(cipher.find('\0'), std::string_view::npos) << login.loginId;
        ExpectSame(LoadSavedLogin(store), login);
    }
}

TEST(SavedLoginTest, UnusableRecordsAreNothingSaved)
{
    const std::string cipher = EncryptText("a<fld>b<fld>c", kPassPhrase);
    const std::string cases[] = {
        "",
        std::string(1, '\0'),
        cipher,                       // no closing zero byte
        cipher + "x",                 // something after where the zero should be
        Record("a<fld>b"),            // two texts
        Record("a<fld>b<fld>c<fld>d"), // four texts
        Record("<fld>b<fld>c"),
        Record("a<fld><fld>c"),
        Record("a<fld>b<fld>"),
        "garbage\xFF\x01" + std::string(1, '\0'),
    };
    for (const std::string& stored : cases) {
        test::FakeLoginStore store;
        store.stored = stored;
        EXPECT_FALSE(LoadSavedLogin(store)) << testing::PrintToString(stored);
    }
}

TEST(SavedLoginTest, UnstorableLoginOrFailedWriteLeavesNoOlderRecord)
{
    const SavedLogin unstorable[] = {
        {"", "site1", "secret"},
        {"admin", "", "secret"},
        {"admin", "site1", ""},
        {"admin", "site1", "se<fld>cret"},
        {"admin", "site1", std::string(kMaxStoredBytes, 'x')},
    };
    for (const SavedLogin& login : unstorable) {
        test::FakeLoginStore store;
        SaveLogin(store, kVectorLogin);
        SaveLogin(store, login);
        EXPECT_FALSE(store.stored) << login.loginId << "/" << login.siteId << "/" << login.password.size();
    }

    test::FakeLoginStore store;
    SaveLogin(store, kVectorLogin);
    store.failWrites = true;
    SaveLogin(store, {"someone", "else", "entirely"});
    EXPECT_FALSE(LoadSavedLogin(store));
}

class SavedLoginFileTest : public testing::Test {
protected:
    std::filesystem::path Data() const { return store.Folder() / "Data"; }

    void PutFile(const std::string& bytes) const
    {
        std::filesystem::create_directories(store.Folder());
        std::ofstream(Data(), std::ios::binary | std::ios::trunc) << bytes;
    }

    std::string FileBytes() const
    {
        std::ifstream in(Data(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    QTemporaryDir temp;
    platform::CFileLoginStore store{std::filesystem::path(QFile::encodeName(temp.path()).toStdString()) / "Login"};
};

TEST_F(SavedLoginFileTest, RoundTripsThroughTheFile)
{
    SaveLogin(store, kVectorLogin);
    EXPECT_EQ(FileBytes(), FromHex(kVectorCipherHex) + '\0');

    const SavedLogin login = AwkwardLogin();
    SaveLogin(store, login);
    ExpectSame(LoadSavedLogin(store), login);

    SaveLogin(store, {"hi!there", "site1", "secret"});
    ExpectSame(LoadSavedLogin(store), {"hi!there", "site1", "secret"});

    DeleteSavedLogin(store);
    EXPECT_FALSE(std::filesystem::exists(store.Folder()));
    EXPECT_FALSE(LoadSavedLogin(store));
}

TEST_F(SavedLoginFileTest, ShortOrOversizedFilesAreNothingSaved)
{
    EXPECT_FALSE(LoadSavedLogin(store));
    PutFile("");
    EXPECT_FALSE(LoadSavedLogin(store));
    PutFile(std::string(1, '\0'));
    EXPECT_FALSE(LoadSavedLogin(store));

    // A well-formed record right at the size limit still loads; one byte more does not.
    const std::string prefix = "admin<fld>site1<fld>";
    const SavedLogin largest{"admin", "site1", std::string(kMaxStoredBytes - 1 - prefix.size(), 'p')};
    SaveLogin(store, largest);
    ASSERT_EQ(FileBytes().size(), kMaxStoredBytes);
    ExpectSame(LoadSavedLogin(store), largest);
    PutFile(Record(prefix + largest.password + "p"));
    EXPECT_FALSE(LoadSavedLogin(store));
}

} // namespace
} // namespace kivora::login
