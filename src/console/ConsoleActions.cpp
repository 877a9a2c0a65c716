// The console's actions on the selected visitor: buttons, list clicks and menu,
// accepting a chat and its reply, proactive invitations.
#include "ConsoleDlg.h"

#include "session/ServiceCalls.h"
#include "net/Text.h"
#include "panel/VisitorPanelDlg.h"
#include "ListLogic.h"
#include "platform/Platform.h"
#include "res/Strings.h"
#include "ui/OutsideText.h"

#include <QCheckBox>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>

#include <array>

namespace kivora::console {

int CConsoleDlg::GetSelectedRow() const
{
    const QModelIndexList selected = listView->selectionModel()->selectedRows();
    int first = -1;
    for (const QModelIndex& index : selected) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    return first < model.Count() ? first : -1;
}

int CConsoleDlg::FindRowBySession(const std::string& sessionId) const
{
    const auto& rows = model.Rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].GetSessionId() == sessionId)
            return static_cast<int>(i);
    }
    return -1;
}

std::string CConsoleDlg::GetAddressBySession(const std::string& sessionId) const
{
    const int row = FindRowBySession(sessionId);
    return row < 0 ? std::string() : model.Rows()[static_cast<std::size_t>(row)].GetIpAddress();
}

void CConsoleDlg::UpdateButtons()
{
    const int row = GetSelectedRow();
    const CVisitorRecord* selected = row >= 0 ? &model.Row(row) : nullptr;
    const ActionStates states = ActionsFor(selected, selected && AcceptUnderWay(selected->GetSessionId()));
    Button(res::IDC_DELETE)->setEnabled(states.remove);
    Button(res::IDC_BUSY)->setEnabled(states.busy);
    Button(res::IDC_INVITE)->setEnabled(states.invite);
    Button(res::IDC_SEND_PROACTIVE)->setEnabled(states.proactive);
    Button(res::IDC_ACCEPT)->setEnabled(states.accept);
    Button(res::IDC_VIEW_DETAILS)->setEnabled(states.details);
}

void CConsoleDlg::ShowSelectedDetails()
{
    const int row = GetSelectedRow();
    if (row < 0)
        return;
    CVisitorRecord& record = model.Row(row);
    if (record.HasDetails()) {
        panel->SetVisitorDetails(record.GetDetails());
        StoreVisitorDetails(record.GetDetails(), record.GetSessionId());
        return;
    }
    // Asked for without waiting: the panel fills in when they come.
    const std::string sessionId = record.GetSessionId();
    if (!detailsUnderWay.insert(sessionId).second)
        return;
    kivora::session::RequestDetails(session, sessionId, this,
                                    [this, sessionId](std::optional<net::VisitorDetails> details) {
                                        OnDetailsReply(sessionId, details);
                                    });
}

void CConsoleDlg::OnDetailsReply(const std::string& sessionId, const std::optional<net::VisitorDetails>& details)
{
    detailsUnderWay.erase(sessionId);
    // Nothing usable is kept: the next View Details asks again.
    if (Gone() || !details)
        return;
    StoreVisitorDetails(*details, sessionId);
    if (const int row = FindRowBySession(sessionId); row >= 0)
        model.Row(row).SetDetails(*details);
    // Shown only while that visitor is still the one selected.
    const int selected = GetSelectedRow();
    if (selected >= 0 && model.Row(selected).GetSessionId() == sessionId)
        panel->SetVisitorDetails(*details);
}

void CConsoleDlg::OnListClicked()
{
    const int row = GetSelectedRow();
    if (row >= 0 && model.Row(row).HasDetails())
        ShowSelectedDetails();
    else
        panel->SetVisitorDetails(net::VisitorDetails{});
    UpdateButtons();
}

void CConsoleDlg::OnListRightClicked()
{
    if (GetSelectedRow() < 0)
        return;
    OnListClicked();
    QMenu menu(this);
    const std::array<std::pair<const char*, int>, 5> items = {{
        {"&View Details", res::IDC_VIEW_DETAILS},
        {"&Accept", res::IDC_ACCEPT},
        {"&Busy", res::IDC_BUSY},
        {"&Invite", res::IDC_INVITE},
        {"&Delete", res::IDC_DELETE},
    }};
    for (const auto& [text, id] : items) {
        QPushButton* button = Button(id);
        QAction* action = menu.addAction(QString::fromLatin1(text));
        action->setEnabled(button->isEnabled());
        connect(action, &QAction::triggered, button, &QPushButton::click);
    }
    menu.exec(QCursor::pos());
}

void CConsoleDlg::OnAccept()
{
    const int row = GetSelectedRow();
    if (row < 0)
        return;
    Button(res::IDC_ACCEPT)->setEnabled(false);
    AcceptChat(row);
}

void CConsoleDlg::AcceptChat(int row)
{
    if (row < 0 || row >= model.Count())
        return;
    const CVisitorRecord& record = model.Row(row);
    AcceptChatSession(record.GetSessionId(), record.GetIpAddress());
}

void CConsoleDlg::AcceptChatSession(const std::string& sessionId, const std::string& address)
{
    // One window per chat: a repeated accept or transfer notice for an open chat
    // only brings its window up, and one under way is not asked for again.
    if (chat::CChatDlg* open = FindChatWindow(sessionId)) {
        if (open->isMinimized())
            open->showNormal();
        open->raise();
        return;
    }
    if (!acceptsUnderWay.insert(sessionId).second)
        return;
    kivora::session::AcceptChat(session, sessionId, address, this,
                                [this, sessionId](std::optional<net::AcceptReply> reply) {
                                    acceptsUnderWay.erase(sessionId);
                                    OnAcceptReply(reply);
                                    if (!Gone())
                                        UpdateButtons();
                                });
}

chat::CChatDlg* CConsoleDlg::FindChatWindow(const std::string& sessionId) const
{
    for (const QPointer<QObject>& window : chatWindows) {
        auto* chat = qobject_cast<chat::CChatDlg*>(window.data());
        if (chat && chat->SessionId() == sessionId)
            return chat;
    }
    return nullptr;
}

void CConsoleDlg::OnAcceptReply(const std::optional<net::AcceptReply>& reply)
{
    if (Gone() || !reply)
        return;
    if (reply->result != "true") {
        platform.messageBoxes.Show(this, ui::OutsideText(reply->result, ui::kLineChars, ui::TextLines::Many),
                                   QStringLiteral("Chat"), platform::BoxIcon::Information);
        return;
    }
    // Granted twice (two accepts crossed): the chat keeps its one window.
    if (chat::CChatDlg* open = FindChatWindow(reply->sessionId)) {
        open->raise();
        return;
    }
    // The chat opens even when its visitor has left the list meanwhile: the chat
    // window then fetches the details itself and the address stays empty.
    ChatRequest request;
    request.sessionId = reply->sessionId;
    request.name = reply->name;
    request.email = reply->email;
    const int row = FindRowBySession(reply->sessionId);
    if (row >= 0) {
        const CVisitorRecord& record = model.Row(row);
        request.address = record.GetIpAddress();
        request.hasDetails = record.HasDetails();
        if (request.hasDetails)
            request.details = record.GetDetails();
    }
    if (openChatWindow)
        openChatWindow(request);

    if (reply->history == "Y") {
        // Opened once this reply has been handled.
        QMetaObject::invokeMethod(
            this, [this, address = request.address] { kivora::session::OpenHistoryPage(session, address); },
            Qt::QueuedConnection);
    }
}

void CConsoleDlg::OnVisitorAction(net::VisitorAction action)
{
    const int row = GetSelectedRow();
    if (row < 0)
        return;
    model.Row(row).SendVisitorAction(session, action);
}

bool CConsoleDlg::NormalizeUrl(QString& text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return false;
    static const char* const kSchemes[] = {"http://", "https://", "ftp://",  "news:",
                                           "mailto:", "telnet:",  "file://"};
    const QString lower = text.toLower();
    for (const char* scheme : kSchemes) {
        if (lower.contains(QLatin1String(scheme)))
            return true;
    }
    text.prepend(QStringLiteral("http://"));
    return true;
}

void CConsoleDlg::OnSendProactive()
{
    const int row = GetSelectedRow();
    if (row < 0)
        return;
    QString url = proactiveUrlEdit->text();
    if (!NormalizeUrl(url))
        return;
    model.Row(row).SendProactiveInvitation(session, sameWindowBox->isChecked(), net::ToServerText(url));
    proactiveUrlEdit->clear();
}

bool CConsoleDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == listView->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        OnListClicked();
    } else if (watched == proactiveUrlEdit && proactiveUrlEdit->hasFocus()) {
        // The URL field shows no context menu while it has the focus.
        if (event->type() == QEvent::ContextMenu)
            return true;
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kivora::console
