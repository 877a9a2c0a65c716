// Reading the console's replies and the visitor record, without windows.
#include "console/ConsoleDlg.h"
#include "console/ListLogic.h"
#include "console/VisitorListModel.h"
#include "console/VisitorRecord.h"
#include "net/RecordText.h"
#include "net/Replies.h"
#include "session/Session.h"
#include "support/Fakes.h"
#include "support/ScriptedTransport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace kivora;
using namespace kivora::net;
using kivora::console::CConsoleDlg;
using kivora::console::CVisitorRecord;

namespace {

std::string Row(const std::string& session, const std::string& address, const std::string& status,
                const std::string& marker = "", const std::string& duration = "0:01:00")
{
    return session + "<fld>" + address + "<fld>3<fld>" + status + "<fld>" + duration +
           "<fld>Delete<fld><fld>Invite<fld>Pro-Pop<fld>/index.html<fld>" + marker;
}

TEST(VisitorListReply, FourBlocksRowsOperatorsSoundAndNotice)
{
    const std::string reply = Row("c1", "192.0.2.1", "Chat Request") + "<ln>" +
                              "short<fld>row<fld>of<fld>ten<fld>1<fld>2<fld>3<fld>4<fld>5<fld>6" + "<ln>" +
                              Row("c2", "192.0.2.2", "In Site", "ppc") + "<blk>admin<fld>sales<blk>sound1<blk>";
    const VisitorListReply parsed = ParseVisitorListReply(reply);
    ASSERT_TRUE(parsed.fourBlocks);
    ASSERT_EQ(parsed.rows.size(), 2u);
    EXPECT_EQ(parsed.rows[0][kRowSession], "c1");
    EXPECT_EQ(parsed.rows[1][kRowAddress], "192.0.2.2");
    EXPECT_EQ(parsed.rows[1][kRowProactiveMarker], "ppc");
    EXPECT_EQ(parsed.operators, (std::vector<std::string>{"admin", "sales"}));
    EXPECT_EQ(parsed.sound, "sound1");
    EXPECT_EQ(parsed.notice, "");

    const VisitorListReply empty = ParseVisitorListReply("No Users Online<blk><blk><blk>");
    EXPECT_TRUE(empty.noUsersOnline);
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_TRUE(empty.operators.empty());

    // Three blocks, an error page or "logout": all blocks empty.
    for (const char* other : {"a<blk>b<blk>c", "<html>error</html>", "", "logout", "logout<blk>"}) {
        const VisitorListReply p = ParseVisitorListReply(other);
        EXPECT_FALSE(p.fourBlocks) << other;
        EXPECT_TRUE(p.rows.empty());
        EXPECT_EQ(p.logout, std::string(other) == "logout") << other;
    }
    // Twelve fields are skipped as well as ten.
    EXPECT_TRUE(ParseVisitorListReply(Row("c", "a", "s") + "<fld>extra<blk><blk><blk>").rows.empty());
}

TEST(VisitorRecord, RecordOrderProactiveFlagAndDetailsMapping)
{
    VisitorRow row{"c9", "198.51.100.7", "2", "Chat Request", "0:00:05", "Delete", "Busy", "Invite", "Pro-Pop",
                   "/p.html", "ppc"};
    CVisitorRecord record;
    record.SetRowFields(CVisitorRecord::FromRow(row));
    const auto& f = record.GetRowFields();
    const CVisitorRecord::RowFields expected = {"198.51.100.7", "2",      "Chat Request", "0:00:05",
                                                "/p.html",      "c9",     "Delete",       "Busy",
                                                "Invite",       "Pro-Pop", "ppc"};
    EXPECT_EQ(f, expected);
    EXPECT_TRUE(record.IsProactive());
    EXPECT_EQ(record.GetSessionId(), "c9");
    EXPECT_EQ(record.GetIpAddress(), "198.51.100.7");
    // The flag is never cleared, and a marker in capitals does not set it.
    record.SetRowFields({});
    EXPECT_TRUE(record.IsProactive());
    CVisitorRecord upper;
    row[kRowProactiveMarker] = "PPC";
    upper.SetRowFields(CVisitorRecord::FromRow(row));
    EXPECT_FALSE(upper.IsProactive());

    // The service sends time and language before the location.
    CVisitorRecord details;
    details.ApplyDetailsReply("F0<fld>F1<fld>F2<fld>F3<fld>F4<fld>F5<fld>F6<fld>F7<fld>F8<fld>F9<fld>F10");
    ASSERT_TRUE(details.HasDetails());
    const VisitorDetails labelOrder = {"F0", "F1", "F2", "F3", "F4", "F5", "F8", "F9", "F10", "F6", "F7"};
    EXPECT_EQ(details.GetDetails(), labelOrder);
}

// The list reads its rows in place; what it keeps must be what the parser reads,
// and must outlive the reply text it was read from.
TEST(VisitorRecord, RowsReadInPlaceMatchTheParsedRows)
{
    auto rowsBlock = std::make_unique<std::string>(
        Row("c1", "192.0.2.1", "Chat Request") + "<ln>" + "ten<fld>1<fld>2<fld>3<fld>4<fld>5<fld>6<fld>7<fld>8<fld>9" +
        "<ln>" + Row("c2", "192.0.2.2", "In Site", "ppc") + "<fld>twelfth" + "<ln>" +
        Row("c3", "192.0.2.3", "In Site", "ppc", "0:00:04") + "<ln>");
    // What splitting by lines and then by fields gives, as strings of their own.
    std::vector<VisitorRow> split;
    for (const std::string& line : SplitRecord(*rowsBlock, kLineSep)) {
        const std::vector<std::string> fields = SplitRecord(line, kFieldSep);
        if (fields.size() == kRowFieldCount) {
            VisitorRow& row = split.emplace_back();
            std::copy(fields.begin(), fields.end(), row.begin());
        }
    }
    const VisitorListReply parsed = ParseVisitorListReply(*rowsBlock + "<blk><blk><blk>");
    const std::vector<CVisitorRecord> records = CVisitorRecord::ReadRows(*rowsBlock);
    rowsBlock.reset();

    ASSERT_EQ(records.size(), 2u);
    ASSERT_EQ(parsed.rows.size(), 2u);
    ASSERT_EQ(split.size(), 2u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].GetRowFields(), CVisitorRecord::FromRow(split[i])) << i;
        EXPECT_EQ(CVisitorRecord::FromListRow(parsed.rows[i]).GetRowFields(), CVisitorRecord::FromRow(split[i])) << i;
    }
    EXPECT_TRUE(records[0].IsChatRequest());
    EXPECT_FALSE(records[0].IsProactive());
    EXPECT_EQ(records[1].GetSessionId(), "c3");
    EXPECT_EQ(records[1].Field(CVisitorRecord::kDuration), "0:00:04");
    EXPECT_TRUE(records[1].IsProactive());
    EXPECT_FALSE(records[1].HasDetails());

    EXPECT_TRUE(CVisitorRecord::ReadRows("").empty());
    EXPECT_TRUE(CVisitorRecord::ReadRows("<ln><ln>").empty());
    // Reading stops at the first block separator, whose place it reports.
    const std::string reply = Row("c4", "192.0.2.4", "In Site") + "<blk>" + Row("c5", "192.0.2.5", "In Site") +
                              "<blk>sound1<blk>";
    std::size_t rowsEnd = 0;
    const std::vector<CVisitorRecord> first = CVisitorRecord::ReadRows(reply, &rowsEnd);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].GetSessionId(), "c4");
    EXPECT_EQ(rowsEnd, reply.find("<blk>"));
    CVisitorRecord::ReadRows("logout", &rowsEnd);
    EXPECT_EQ(rowsEnd, 6u);
}

// The list tells its views which rows went, came and changed; a view that
// trusted a wrong count would show stale rows or read past the end.
TEST(VisitorListModel, RefreshesReportRemovedAddedAndChangedRows)
{
    kivora::console::CVisitorListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const auto rows = [](std::initializer_list<const char*> sessions) {
        std::string block;
        for (const char* session : sessions)
            block += (block.empty() ? "" : "<ln>") + Row(session, std::string("192.0.2.") + session, "In Site");
        return CVisitorRecord::ReadRows(block);
    };
    const auto shown = [&model](int row) { return model.data(model.index(row, 0)).toString().toStdString(); };

    model.ReplaceRows(rows({"1", "2", "3"}));
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(shown(2), "192.0.2.3 - (3)");

    model.ReplaceRows(rows({"4"}));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 1);
    EXPECT_EQ(removed[0][2].toInt(), 2);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>(), model.index(0, 0));
    EXPECT_EQ(changed[0][1].value<QModelIndex>(), model.index(0, kivora::console::CVisitorListModel::kColumnCount - 1));
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(shown(0), "192.0.2.4 - (3)");

    model.ReplaceRows(rows({"5", "6"}));
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 1);
    EXPECT_EQ(inserted[1][2].toInt(), 1);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(shown(0), "192.0.2.5 - (3)");

    // A refresh that changes nothing in sight repaints nothing; otherwise the span
    // from the first to the last changed row.
    model.ReplaceRows(rows({"5", "6"}));
    EXPECT_EQ(changed.count(), 2);
    model.ReplaceRows(rows({"5", "7", "8"}));
    ASSERT_EQ(changed.count(), 3);
    EXPECT_EQ(changed[2][0].value<QModelIndex>().row(), 1);
    EXPECT_EQ(changed[2][1].value<QModelIndex>().row(), 1);
    EXPECT_EQ(shown(1), "192.0.2.7 - (3)");

    model.ReplaceRows({});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(removed.count(), 2);
}

TEST(VisitorRecord, DetailsKeptOnlyFromElevenFields)
{
    CVisitorRecord record;
    record.ApplyDetailsReply("1<fld>2<fld>3<fld>4<fld>5<fld>6<fld>7<fld>8<fld>9<fld>10");
    record.ApplyDetailsReply("1<fld>2<fld>3<fld>4<fld>5<fld>6<fld>7<fld>8<fld>9<fld>10<fld>11<fld>12");
    EXPECT_FALSE(record.HasDetails());
    EXPECT_EQ(record.GetDetails(), VisitorDetails{});
    record.ApplyDetailsReply("u<fld>b<fld>o<fld>r<fld>s<fld>j<fld>t<fld>l<fld>c<fld>re<fld>ci");
    EXPECT_EQ(record.GetDetails()[kDetailCity], "ci");
}

// What the list decides, without a window: actions, the pop-up, the new-visitor
// sound and notices.
TEST(ListLogic, ActionsPopupsSoundsAndNotices)
{
    using namespace kivora::console;
    const std::vector<CVisitorRecord> rows = CVisitorRecord::ReadRows(
        Row("c1", "192.0.2.1", "Chat Request") + "<ln>" + Row("c2", "192.0.2.2", "In Site", "", "0:00:05"));
    ASSERT_EQ(rows.size(), 2u);

    const ActionStates none = ActionsFor(nullptr, false);
    EXPECT_FALSE(none.details || none.accept || none.remove || none.busy || none.invite || none.proactive);
    const ActionStates request = ActionsFor(&rows[0], false);
    EXPECT_TRUE(request.accept && request.remove && request.invite && request.proactive && request.details);
    EXPECT_FALSE(request.busy);
    EXPECT_FALSE(ActionsFor(&rows[0], true).accept); // an accept of that visitor is under way
    EXPECT_FALSE(ActionsFor(&rows[1], false).accept);

    kivora::session::SharedWindowState state;
    EXPECT_FALSE(TakePopup(rows[0], true, state)); // the console is on screen
    EXPECT_TRUE(TakePopup(rows[0], false, state));
    EXPECT_FALSE(TakePopup(rows[0], false, state)); // one is up
    state.popupShown = false;
    EXPECT_FALSE(TakePopup(rows[0], false, state)); // the same visitor again
    EXPECT_FALSE(TakePopup(rows[1], false, state)); // no chat request

    EXPECT_TRUE(SoundsForNewVisitor(rows, false));
    EXPECT_FALSE(SoundsForNewVisitor(rows, true));
    EXPECT_FALSE(SoundsForNewVisitor({rows[0]}, false));

    const auto taken = [](const std::string& id) { return id == "c9"; };
    EXPECT_EQ(ActionForNotice("message", taken).kind, NoticeAction::Kind::FetchMessages);
    const NoticeAction fresh = ActionForNotice("chat_trans<fld>c7", taken);
    EXPECT_EQ(fresh.kind, NoticeAction::Kind::AcceptTransfer);
    EXPECT_EQ(fresh.sessionId, "c7");
    EXPECT_TRUE(fresh.transferSound);
    EXPECT_FALSE(ActionForNotice("chat_trans<fld>c9", taken).transferSound);
    for (const char* nothing : {"", "chat_trans", "other<fld>x"})
        EXPECT_EQ(ActionForNotice(nothing, taken).kind, NoticeAction::Kind::None) << nothing;
}

TEST(ConsoleRules, NewVisitorNormalizeUrlNoticeAndAccept)
{
    EXPECT_TRUE(CConsoleDlg::IsNewVisitor("0:00:08"));
    EXPECT_FALSE(CConsoleDlg::IsNewVisitor("0:00:09"));
    EXPECT_FALSE(CConsoleDlg::IsNewVisitor("1:00:05"));
    EXPECT_TRUE(CConsoleDlg::IsNewVisitor("0:00:00"));
    EXPECT_TRUE(CConsoleDlg::IsNewVisitor(""));

    auto normalize = [](const char* text) {
        QString s = QString::fromLatin1(text);
        const bool ok = CConsoleDlg::NormalizeUrl(s);
        return ok ? s.toStdString() : std::string("<none>");
    };
    EXPECT_EQ(normalize("  www.site.example/offer.html "), "http://www.site.example/offer.html");
    EXPECT_EQ(normalize("MAILTO:sales@site.example"), "MAILTO:sales@site.example");
    EXPECT_EQ(normalize("see https://x.example"), "see https://x.example");
    EXPECT_EQ(normalize("ftp://files.example/a"), "ftp://files.example/a");
    EXPECT_EQ(normalize("   "), "<none>");

    EXPECT_EQ(ParseNotice("").kind, Notice::Kind::None);
    EXPECT_EQ(ParseNotice("message").kind, Notice::Kind::Message);
    EXPECT_EQ(ParseNotice("chat_trans<fld>c7").sessionId, "c7");
    EXPECT_EQ(ParseNotice("chat_trans").kind, Notice::Kind::ChatTransfer);
    EXPECT_EQ(ParseNotice("chat_trans").sessionId, "");
    EXPECT_EQ(ParseNotice("other<fld>x").kind, Notice::Kind::None);

    EXPECT_FALSE(ParseAcceptReply("true<fld>n<fld>e<fld>Y"));
    const auto accepted = ParseAcceptReply("true<fld>Ann<fld>ann@x.example<fld>Y<fld>c1");
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->email, "ann@x.example");
    EXPECT_EQ(accepted->sessionId, "c1");
}

} // namespace
