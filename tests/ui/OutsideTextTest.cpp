// Outside text on its way to the screen: decoded once, plain, bounded, without
// bidirectional overrides; and whatever guesses at markup (tooltips) gets none.
#include "ui/OutsideText.h"

#include "console/VisitorListModel.h"
#include "ui/HyperLink.h"

#include <QLabel>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kivora::ui;
using kivora::ui::CHyperLink;

namespace {

TEST(OutsideText, IsDecodedOnceNeutralisedAndBounded)
{
    struct Case {
        std::string bytes;
        TextLines lines;
        QString shown;
    };
    const Case cases[] = {
        {"<img src=\"/dev/zero\">", TextLines::One, QStringLiteral("<img src=\"/dev/zero\">")},
        // Right-to-left override and isolates are dropped: "/x<RLO>gpj.exe" is not "/xexe.jpg".
        {"/x\xE2\x80\xAEgpj.exe", TextLines::One, QStringLiteral("/xgpj.exe")},
        {"a\xE2\x81\xA6" "b\xE2\x81\xA9", TextLines::One, QStringLiteral("ab")},
        // Not valid UTF-8: byte for byte as Latin-1, never replacement marks.
        {"Z\xFCrich", TextLines::One, QStringLiteral("Z\u00FCrich")},
        {"a\r\nb\tc\x01", TextLines::One, QStringLiteral("a b c ")},
        {"a\r\nb\rc\n", TextLines::Many, QStringLiteral("a\nb\nc\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(OutsideText(c.bytes, kFieldChars, c.lines), c.shown);
    }

    const std::string huge(1 << 20, 'x');
    EXPECT_EQ(OutsideText(huge), QString(kFieldChars, u'x') + kCutMark);
    EXPECT_EQ(OutsideText(huge, kLineChars, TextLines::Many), QString(kLineChars, u'x') + kLineCutMark);
    // A cut never splits a character: the text stays valid and decodes as UTF-8.
    std::string accented;
    for (int i = 0; i < 5000; ++i)
        accented += "\xC3\xA9";
    EXPECT_EQ(OutsideText(accented), QString(kFieldChars, u'\u00E9') + kCutMark);
}

// A named pipe that records whether anybody opened it for reading: the probe
// opens the writing end, which succeeds only while a reader waits, and then
// releases that reader at once.
class CPipeProbe {
public:
    CPipeProbe()
    {
        folder = std::filesystem::temp_directory_path() /
                 ("kivora-pipe-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
        std::filesystem::create_directories(folder);
        path = (folder / "pipe").string();
        ::mkfifo(path.c_str(), 0600);
        watcher = std::thread([this] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (!stop && std::chrono::steady_clock::now() < until) {
                const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    opened = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~CPipeProbe()
    {
        stop = true;
        watcher.join();
        std::filesystem::remove_all(folder);
    }
    std::string path;
    std::atomic<bool> opened{false};

private:
    static inline int serial = 0;
    std::filesystem::path folder;
    std::atomic<bool> stop{false};
    std::thread watcher;
};

// The tooltips of a list cell and of a details link, shown for real: a page field
// naming a named pipe in an image would block the window for good if any of it
// were taken for markup.
TEST(OutsideText, TooltipsNeverLoadWhatOutsideTextNames)
{
    CPipeProbe probe;
    const std::string page = "/p?<img src=\"" + probe.path + "\"><a href=\"http://evil.example/\">x</a>";
    kivora::console::CVisitorListModel model;
    model.ReplaceRows(kivora::console::CVisitorRecord::ReadRows(
        "c1<fld>192.0.2.1<fld>1<fld>In Site<fld>0:01:00<fld><fld><fld><fld><fld>" + page + "<fld>"));
    QWidget host;
    auto* link = new CHyperLink(&host);
    link->SetURL(QStringLiteral("http://x.example/") + QString::fromStdString(page));
    host.show();
    const QString tips[] = {
        model.data(model.index(0, kivora::console::CVisitorListModel::kColumnPage), Qt::ToolTipRole).toString(),
        link->toolTip(),
    };
    for (const QString& tip : tips) {
        QToolTip::showText(host.mapToGlobal(QPoint(1, 1)), tip, &host);
        QTest::qWait(20);
        QToolTip::hideText();
    }
    EXPECT_FALSE(probe.opened);
    QTextDocument shown;
    shown.setHtml(tips[0]);
    EXPECT_EQ(shown.toPlainText(), QString::fromStdString(page));
    // No address a browser would take: the link is plain text, without a tooltip.
    EXPECT_TRUE(link->IsPlain());
}

} // namespace
