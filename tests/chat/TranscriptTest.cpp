// The transcript: which colour a line gets, and the view that shows the lines —
// their formats, the size cap, links, and that appends never disturb the operator.
#include "chat/Transcript.h"

#include "ui/OutsideText.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <string>

using kivora::chat::CTranscriptView;
using kivora::chat::ClassifyLine;
using kivora::chat::LineKind;
namespace ui = kivora::ui;

namespace {

const QColor kRed(185, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kBlue(0, 0, 255);

// Readable in a failure message, unlike a QColor.
std::string Name(const QColor& color)
{
    return color.name().toStdString();
}

TEST(ClassifyLineTest, FollowsTheRulesInOrder)
{
    struct Case {
        const char* line;
        const char* login;
        LineKind kind;
        QColor color;
        bool join;
    };
    const Case cases[] = {
        {"ADMIN: hi", "admin", LineKind::Own, kRed, false},
        {"Admin: x", "admin", LineKind::Own, kRed, false},
        {"admin: x", "AdMiN", LineKind::Own, kRed, false},
        // A visitor whose name starts with the login id passes for the operator.
        {"administrator: hi", "admin", LineKind::Own, kRed, false},
        // The own-line test comes before the colon test.
        {"admin left", "admin", LineKind::Own, kRed, false},
        {"\xE9ric: salut", "\xE9ric", LineKind::Own, kRed, false},
        {"Chat request accepted", "admin", LineKind::NoColon, kGreen, false},
        {"", "admin", LineKind::NoColon, kGreen, false},
        {"Notice board", "admin", LineKind::NoColon, kGreen, false},
        {"Notice: Chat Closed by User.", "admin", LineKind::Notice, kGreen, false},
        {"NOTICE:NOW USER HAS JOIN THE CHAT", "admin", LineKind::Notice, kGreen, true},
        {"notice:now user has join the chat (anna)", "admin", LineKind::Notice, kGreen, true},
        {"Notice: now user has join the chat", "admin", LineKind::Notice, kGreen, false},
        {"Ann: hello", "admin", LineKind::Visitor, kBlue, false},
        {"Ann: notice:now user has join the chat", "admin", LineKind::Visitor, kBlue, false},
        {"adm: hi", "admin", LineKind::Visitor, kBlue, false},
        // Without a login id no line is the operator's.
        {"Ann: hello", "", LineKind::Visitor, kBlue, false},
        {"hello", "", LineKind::NoColon, kGreen, false},
        {": x", "", LineKind::Visitor, kBlue, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.line) + " / login " + c.login);
        const auto style = ClassifyLine(c.line, c.login);
        EXPECT_EQ(style.kind, c.kind);
        EXPECT_EQ(Name(style.color), Name(c.color));
        EXPECT_EQ(style.joinNotice, c.join);
    }
}

class TranscriptViewTest : public ::testing::Test {
protected:
    QWidget window;
    CTranscriptView* view = new CTranscriptView(&window);
    QLineEdit* input = new QLineEdit(&window);

    void SetUp() override
    {
        view->setGeometry(0, 0, 300, 120);
        input->setGeometry(0, 130, 300, 24);
        window.resize(300, 160);
    }

    void ShowActive()
    {
        window.show();
        QApplication::setActiveWindow(&window);
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // The format of the character at pos.
    QTextCharFormat FormatAt(int pos) const
    {
        QTextCursor cursor(view->document());
        cursor.setPosition(pos + 1);
        return cursor.charFormat();
    }

    int Find(const QString& text) const { return static_cast<int>(view->toPlainText().indexOf(text)); }
};

TEST_F(TranscriptViewTest, AppendsEachLineInItsColourInTheSameFont)
{
    view->AppendLine(QStringLiteral("Ann: hello\r\n"), kBlue);
    view->AppendLine(QStringLiteral("admin: hi\r\n"), kRed);
    view->AppendLine(QStringLiteral("Notice: Chat Closed by User.\r\n"), kGreen);

    // A visitor's markup is text like any other.
    view->AppendLine(QStringLiteral("Ann: <b>bold</b> &amp;\r\n"), kBlue);

    EXPECT_EQ(view->toPlainText().toStdString(),
              "Ann: hello\nadmin: hi\nNotice: Chat Closed by User.\nAnn: <b>bold</b> &amp;\n");
    EXPECT_EQ(view->CharacterCount(), view->toPlainText().size());
    EXPECT_EQ(Name(FormatAt(Find(QStringLiteral("hello"))).foreground().color()), Name(kBlue));
    EXPECT_EQ(Name(FormatAt(Find(QStringLiteral("admin"))).foreground().color()), Name(kRed));
    EXPECT_EQ(Name(FormatAt(Find(QStringLiteral("hi"))).foreground().color()), Name(kRed));
    EXPECT_EQ(Name(FormatAt(Find(QStringLiteral("Closed"))).foreground().color()), Name(kGreen));

    const QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    for (const char* word : {"Ann", "admin", "User."}) {
        SCOPED_TRACE(word);
        const QFont font = FormatAt(Find(QLatin1String(word))).font();
        EXPECT_EQ(font.family().toStdString(), family.toStdString());
        EXPECT_EQ(font.pointSize(), 10);
        EXPECT_EQ(font.weight(), QFont::Normal);
        EXPECT_FALSE(font.italic());
        EXPECT_FALSE(font.underline());
        EXPECT_FALSE(font.strikeOut());
    }
}

TEST_F(TranscriptViewTest, LineBreaksBecomeParagraphsAndNoCarriageReturnIsShown)
{
    view->AppendLine(QStringLiteral("one\r\ntwo\rthree\nfour"), kBlue);
    view->AppendLine(QStringLiteral(" more\r\n"), kRed);

    EXPECT_EQ(view->toPlainText().toStdString(), "one\ntwo\nthree\nfour more\n");
    EXPECT_EQ(view->document()->blockCount(), 5);
    EXPECT_FALSE(view->toPlainText().contains(u'\r'));
    // A line without a break continues the last paragraph in its own colour.
    EXPECT_EQ(Name(FormatAt(Find(QStringLiteral("four"))).foreground().color()), Name(kBlue));
    EXPECT_EQ(Name(FormatAt(Find(QStringLiteral("more"))).foreground().color()), Name(kRed));
}

TEST_F(TranscriptViewTest, AddressesAreMarkedAsLinks)
{
    view->AppendLine(QStringLiteral("Ann: see http://shop.example/item?id=7, WWW.Example.org. "
                                    "mailto:ann@example.com xhttp://no ftp://files.example\r\n"),
                     kBlue);

    const auto expectLink = [&](const QString& text) {
        SCOPED_TRACE(text.toStdString());
        const int at = Find(text);
        ASSERT_GE(at, 0);
        for (int pos : {at, at + static_cast<int>(text.size()) - 1}) {
            const QTextCharFormat format = FormatAt(pos);
            EXPECT_TRUE(format.isAnchor());
            EXPECT_TRUE(format.fontUnderline());
            EXPECT_EQ(Name(format.foreground().color()), Name(view->palette().color(QPalette::Link)));
        }
        // The characters either side of the address are plain text.
        EXPECT_FALSE(FormatAt(at - 1).isAnchor());
        EXPECT_FALSE(FormatAt(at + static_cast<int>(text.size())).isAnchor());
    };
    expectLink(QStringLiteral("http://shop.example/item?id=7"));
    expectLink(QStringLiteral("WWW.Example.org"));
    expectLink(QStringLiteral("mailto:ann@example.com"));
    expectLink(QStringLiteral("ftp://files.example"));

    EXPECT_FALSE(FormatAt(Find(QStringLiteral("Ann"))).isAnchor());
    EXPECT_FALSE(FormatAt(Find(QStringLiteral("http://no"))).isAnchor());
    EXPECT_EQ(Name(FormatAt(Find(QStringLiteral("see"))).foreground().color()), Name(kBlue));

    // A document keeps every format it was given until it is cleared, so a day
    // of different addresses must not add one each.
    const auto formats = view->document()->allFormats().size();
    for (int i = 0; i < 50; ++i)
        view->AppendLine(QStringLiteral("Ann: http://shop.example/item-%1 www.x%1.example\r\n").arg(i), kBlue);
    EXPECT_EQ(view->document()->allFormats().size(), formats);
}

TEST_F(TranscriptViewTest, DropsTheOldestTextOnceOverTheCap)
{
    // 1,250 lines of 100 characters: exactly at the cap, which is not yet over it.
    const QString filler = QString(99, u'x') + QStringLiteral("\r\n");
    for (int i = 0; i < 1250; ++i)
        view->AppendLine(filler, kBlue);
    ASSERT_EQ(view->CharacterCount(), CTranscriptView::kTrimThreshold);
    view->AppendLine(QStringLiteral("Ann: still here\r\n"), kBlue);
    EXPECT_EQ(view->CharacterCount(), CTranscriptView::kTrimThreshold + 16);

    QTextCursor selection(view->document());
    selection.setPosition(10);
    selection.setPosition(20, QTextCursor::KeepAnchor);
    view->setTextCursor(selection);

    const QString before = view->toPlainText();
    view->AppendLine(QStringLiteral("admin: newest\r\n"), kRed);

    const QString expected = before.mid(50'000) + QStringLiteral("admin: newest\n");
    EXPECT_EQ(view->CharacterCount(), expected.size());
    EXPECT_TRUE(view->toPlainText() == expected) << view->toPlainText().left(120).toStdString();
    EXPECT_EQ(Name(FormatAt(Find(QStringLiteral("newest"))).foreground().color()), Name(kRed));
    EXPECT_EQ(view->textCursor().position(), view->CharacterCount());
    EXPECT_FALSE(view->textCursor().hasSelection());
}

// A line of a megabyte shows a bounded prefix and a mark, and the cap holds in
// characters whatever the lines' lengths.
TEST_F(TranscriptViewTest, HugeLinesAreCutAndTheCapStillHolds)
{
    view->AppendLine(QString(1 << 20, u'x'), kBlue);
    EXPECT_EQ(view->toPlainText(), QString(CTranscriptView::kMaxLineChars, u'x') + ui::kLineCutMark);
    const QString longLine = QString(100'000, u'y') + QStringLiteral("\r\n");
    for (int i = 0; i < 30; ++i)
        view->AppendLine(longLine, kBlue);
    // Each cut line is a paragraph of its own.
    EXPECT_GE(view->document()->blockCount(), 10);
    EXPECT_LE(view->CharacterCount(),
              CTranscriptView::kTrimThreshold + CTranscriptView::kMaxLineChars + ui::kLineCutMark.size() + 1);
}

TEST_F(TranscriptViewTest, KeyboardFocusStaysInTheInputField)
{
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    input->setFocus();
    ASSERT_TRUE(input->hasFocus());
    input->setText(QStringLiteral("typing"));

    for (int i = 0; i < 20; ++i)
        view->AppendLine(QStringLiteral("Ann: line %1\r\n").arg(i), kBlue);
    QCoreApplication::processEvents();

    EXPECT_EQ(QApplication::focusWidget(), input);
    QTest::keyClicks(input, QStringLiteral(" on"));
    EXPECT_EQ(input->text().toStdString(), "typing on");
}

TEST_F(TranscriptViewTest, AppendsLeaveTheOperatorsSelectionAlone)
{
    view->AppendLine(QStringLiteral("Ann: hello there\r\n"), kBlue);
    QTextCursor selection(view->document());
    selection.setPosition(5);
    selection.setPosition(10, QTextCursor::KeepAnchor);
    view->setTextCursor(selection);

    view->AppendLine(QStringLiteral("admin: hi\r\n"), kRed);
    view->AppendLine(QStringLiteral("Ann: more"), kBlue);

    EXPECT_EQ(view->textCursor().selectionStart(), 5);
    EXPECT_EQ(view->textCursor().selectionEnd(), 10);
    EXPECT_EQ(view->textCursor().selectedText().toStdString(), "hello");
}

TEST_F(TranscriptViewTest, FollowsTheNewestLineEvenAfterScrollingBack)
{
    // Lines that arrive before the window is shown are laid out only then.
    for (int i = 0; i < 100; ++i)
        view->AppendLine(QStringLiteral("Ann: early line %1\r\n").arg(i), kBlue);
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    QScrollBar* bar = view->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    for (int i = 0; i < 200; ++i) {
        view->AppendLine(QStringLiteral("Ann: line %1\r\n").arg(i), kBlue);
        if (i % 50 == 0)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), 0);

    view->AppendLine(QStringLiteral("admin: back to you\r\n"), kRed);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), bar->maximum());
    const QRect newest = view->cursorRect(QTextCursor(view->document()->lastBlock().previous()));
    EXPECT_TRUE(view->viewport()->rect().contains(newest));
}

TEST_F(TranscriptViewTest, MenuCopiesAndSelectsAll)
{
    view->AppendLine(QStringLiteral("Ann: hello\r\n"), kBlue);
    view->AppendLine(QStringLiteral("admin: hi\r\n"), kRed);

    const auto menu = view->BuildContextMenu();
    const auto actions = menu->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text().toStdString(), "&Copy");
    EXPECT_EQ(actions[1]->text().toStdString(), "&Select All");

    actions[1]->trigger();
    EXPECT_EQ(view->textCursor().selectionStart(), 0);
    EXPECT_EQ(view->textCursor().selectionEnd(), view->CharacterCount());

    QTextCursor part(view->document());
    part.setPosition(5);
    part.setPosition(10, QTextCursor::KeepAnchor);
    view->setTextCursor(part);
    QApplication::clipboard()->clear();
    actions[0]->trigger();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "hello");
}

TEST_F(TranscriptViewTest, RightClickOpensTheMenuOnlyWithTheFocus)
{
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    view->AppendLine(QStringLiteral("Ann: hello\r\n"), kBlue);
    QStringList shown;
    view->onMenuAboutToShow = [&shown](QMenu& menu) {
        for (const QAction* action : menu.actions())
            shown << action->text();
        QTimer::singleShot(0, &menu, &QMenu::close);
    };
    // Any other popup (the editor's own menu) is closed and counted.
    int otherPopups = 0;
    QTimer guard;
    guard.setInterval(10);
    QObject::connect(&guard, &QTimer::timeout, &guard, [&otherPopups] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            ++otherPopups;
            popup->close();
        }
    });
    guard.start();
    const QPoint inside = view->viewport()->rect().center();

    input->setFocus();
    QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, inside);
    EXPECT_TRUE(shown.isEmpty());

    // A real click: the press gives the view the focus, the release opens the menu.
    QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, view->viewport()->mapTo(&window, inside));
    EXPECT_EQ(shown.join(u'|').toStdString(), "&Copy|&Select All");
    EXPECT_EQ(otherPopups, 0);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

} // namespace
