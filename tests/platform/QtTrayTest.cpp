// The desktop tray's menu: its items, the bold default, and "Show &Dialog" greyed
// while the console is on screen.
#include "platform/QtPlatform.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kivora::platform;

namespace {

TEST(QtTray, MenuItemsDefaultAndGreying)
{
    CQtTray tray;
    bool visible = true;
    int shows = 0, logOuts = 0, exits = 0;
    tray.SetActions(TrayActions{[&] { ++shows; }, [&] { ++logOuts; }, [&] { ++exits; }, [&] { return visible; }});
    QMenu* menu = tray.Menu();
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), QStringLiteral("Show &Dialog"));
    EXPECT_EQ(items[1]->text(), QStringLiteral("&LogOut"));
    EXPECT_EQ(items[2]->text(), QStringLiteral("E&xit"));
    EXPECT_EQ(menu->defaultAction(), items[0]);
    EXPECT_TRUE(items[0]->font().bold());

    Q_EMIT menu->aboutToShow();
    EXPECT_FALSE(items[0]->isEnabled());
    visible = false;
    Q_EMIT menu->aboutToShow();
    EXPECT_TRUE(items[0]->isEnabled());

    items[0]->trigger();
    items[1]->trigger();
    items[2]->trigger();
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(logOuts, 1);
    EXPECT_EQ(exits, 1);
}

// A box shows the service's or a visitor's text as it came, never as markup.
TEST(QtMessageBoxes, ShowPlainText)
{
    Qt::TextFormat shownAs = Qt::RichText;
    QString shown;
    QTimer::singleShot(0, qApp, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                shownAs = box->textFormat();
                shown = box->text();
                box->accept();
            }
        }
    });
    CQtMessageBoxes boxes;
    const QString text = QStringLiteral("<a href=\"http://evil.example/\">refused</a>");
    boxes.Show(nullptr, text, QStringLiteral("Chat"), BoxIcon::Information);
    EXPECT_EQ(shownAs, Qt::PlainText);
    EXPECT_EQ(shown, text);
}

// A question defaults to No, so that Enter never says Yes by accident.
TEST(QtMessageBoxes, QuestionsDefaultToNo)
{
    for (const bool yes : {false, true}) {
        bool defaultIsNo = false;
        QTimer::singleShot(0, qApp, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    defaultIsNo = static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::No);
                    box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
                }
            }
        });
        CQtMessageBoxes boxes;
        EXPECT_EQ(boxes.Ask(nullptr, QStringLiteral("Transfer this chat to anna?"), QStringLiteral("Kivora")), yes);
        EXPECT_TRUE(defaultIsNo);
    }
}

} // namespace
