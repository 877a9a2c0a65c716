// Exchanges over TLS: the server's certificate is checked, a bad one is a failed
// exchange, and a session that started on https stays on it.
#include "net/CurlTransport.h"
#include "session/Session.h"
#include "net/ServerLink.h"
#include "net/ServiceAddress.h"
#include "support/Fakes.h"
#include "support/ScriptedTransport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kivora;
using namespace kivora::net;

namespace {

// A self-signed certificate and key for the given subject names, made with the
// openssl tool into dir; returns false when it could not be made. The tool runs
// through a plain fork, which the thread sanitizer follows; a process started
// the way QProcess starts one leaves it seeing races that are not there.
bool MakeCertificate(const std::string& dir, const std::string& name, const std::string& altNames)
{
    const std::string subject = "/CN=" + name;
    const std::string alt = "subjectAltName=" + altNames;
    const std::string key = dir + "/" + name + ".key";
    const std::string pem = dir + "/" + name + ".pem";
    const pid_t child = fork();
    if (child == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execlp("openssl", "openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
               subject.c_str(), "-addext", alt.c_str(), "-keyout", key.c_str(), "-out", pem.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A TLS server on a free loopback port that answers every GET with "secure
// hello", and "/to-plain" with a redirect to plain HTTP.
class TlsServer {
public:
    TlsServer(const std::string& certificate, const std::string& key)
        : server(certificate.c_str(), key.c_str())
    {
        server.Get("/to-plain", [this](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("http://127.0.0.1:" + std::to_string(port) + "/plain");
        });
        server.Get(".*", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("secure hello", "text/html");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running() && server.is_valid())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~TlsServer()
    {
        server.stop();
        thread.join();
    }
    bool Valid() { return server.is_valid() && port > 0; }

    httplib::SSLServer server;
    int port = 0;
    std::thread thread;
};

class Https : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<QTemporaryDir>();
        ready = dir->isValid() &&
                MakeCertificate(dir->path().toStdString(), "localhost", "DNS:localhost,IP:127.0.0.1") &&
                MakeCertificate(dir->path().toStdString(), "elsewhere.example", "DNS:elsewhere.example");
    }
    static void TearDownTestSuite() { dir.reset(); }

    static std::string File(const char* name) { return (dir->path() + QLatin1Char('/') + QLatin1String(name)).toStdString(); }

    static TransportResult Get(const TransportLimits& limits, int port, const std::string& path = "/any")
    {
        CCurlTransport transport(limits);
        TransportRequest request;
        request.scheme = "https";
        request.host = "127.0.0.1";
        request.port = port;
        request.path = path;
        return transport.Get(request);
    }

    static TransportLimits Trusting(const char* pem)
    {
        TransportLimits limits;
        limits.connectTimeoutMs = 5000;
        limits.totalTimeoutMs = 10'000;
        limits.trustFile = File(pem);
        return limits;
    }

    static inline std::unique_ptr<QTemporaryDir> dir;
    static inline bool ready = false;
};

TEST_F(Https, ATrustedCertificateNamingTheHostCarriesTheExchange)
{
    ASSERT_TRUE(ready) << "openssl could not make the test certificates";
    TlsServer server(File("localhost.pem"), File("localhost.key"));
    ASSERT_TRUE(server.Valid());

    const TransportResult result = Get(Trusting("localhost.pem"), server.port);
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.body, "secure hello");
}

TEST_F(Https, BadCertificatesAndDowngradesAreFailedExchanges)
{
    ASSERT_TRUE(ready) << "openssl could not make the test certificates";
    {
        // Self-signed and trusted by nobody: the system's store does not know it.
        TlsServer server(File("localhost.pem"), File("localhost.key"));
        ASSERT_TRUE(server.Valid());
        TransportLimits systemStore = Trusting("localhost.pem");
        systemStore.trustFile.clear();
        const TransportResult untrusted = Get(systemStore, server.port);
        EXPECT_FALSE(untrusted.ok);
        EXPECT_TRUE(untrusted.body.empty());
        EXPECT_FALSE(untrusted.error.empty());

        // Trusted, but a redirect to plain HTTP is not followed.
        const TransportResult downgraded = Get(Trusting("localhost.pem"), server.port, "/to-plain");
        EXPECT_FALSE(downgraded.ok);
        EXPECT_TRUE(downgraded.body.empty());
    }
    {
        // Trusted, but issued to another host name.
        TlsServer server(File("elsewhere.example.pem"), File("elsewhere.example.key"));
        ASSERT_TRUE(server.Valid());
        const TransportResult wrongName = Get(Trusting("elsewhere.example.pem"), server.port);
        EXPECT_FALSE(wrongName.ok);
        EXPECT_TRUE(wrongName.body.empty());
    }
}

TEST_F(Https, TheLinkCountsACertificateFailureLikeAnyOther)
{
    ASSERT_TRUE(ready) << "openssl could not make the test certificates";
    TlsServer server(File("localhost.pem"), File("localhost.key"));
    ASSERT_TRUE(server.Valid());
    test::FakeBrowser browser;
    TransportLimits systemStore = Trusting("localhost.pem");
    systemStore.trustFile.clear();
    CServerLink link(std::make_shared<CCurlTransport>(systemStore));
    session::CSession session(link, &browser);
    session.SetAddress("https://127.0.0.1:" + std::to_string(server.port), "");

    std::string reply;
    EXPECT_FALSE(session.PerformRequest("/w-param.php?stid=site1", reply));
    EXPECT_EQ(session.FailureCount(), 1);
    EXPECT_NE(reply, "secure hello");
}

TEST(HostKeepingScheme, ASessionChosenOnHttpsNeverDropsToPlainHttp)
{
    EXPECT_EQ(HostKeepingScheme("https://a.example", "b.example:8443"), "https://b.example:8443");
    EXPECT_EQ(HostKeepingScheme("HTTPS://a.example", "http://b.example"), "https://b.example");
    EXPECT_EQ(HostKeepingScheme("https://a.example", "https://b.example"), "https://b.example");
    EXPECT_EQ(HostKeepingScheme("a.example", "b.example"), "b.example");
    EXPECT_EQ(HostKeepingScheme("http://a.example:81", "b.example"), "b.example");
    EXPECT_EQ(HostKeepingScheme("a.example", "https://b.example"), "https://b.example");

    const ServiceAddress secure = ParseServiceAddress(HostKeepingScheme("https://a.example", "b.example"));
    EXPECT_EQ(secure.scheme, "https");
    EXPECT_EQ(secure.host, "b.example");
    EXPECT_EQ(secure.port, 443);
}

TEST(HttpsLink, TheParametersHostKeepsTheChosenSchemeForEveryLaterExchange)
{
    auto transport = std::make_shared<test::ScriptedTransport>();
    test::FakeBrowser browser;
    CServerLink link(transport);
    session::CSession session(link, &browser);
    session.SetDefaultHost("https://chat.example");
    transport->Reply("3<fld>2<fld>chat2.example<fld>kv");
    ASSERT_TRUE(session.FetchParams("site1"));
    std::string reply;
    session.PerformRequest("/next", reply);

    const auto requests = transport->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].scheme, "https");
    EXPECT_EQ(requests[0].host, "chat.example");
    EXPECT_EQ(requests[0].port, 443);
    EXPECT_EQ(requests[1].scheme, "https");
    EXPECT_EQ(requests[1].host, "chat2.example");
    EXPECT_EQ(requests[1].port, 443);
    EXPECT_EQ(requests[1].path, "/kv/next");

    // Pages of the service open on https too.
    session.OpenServicePage("/page.php");
    ASSERT_FALSE(browser.openedPages.empty());
    EXPECT_EQ(browser.openedPages.back().toStdString(), "https://chat2.example/kv/page.php");
}

} // namespace
