// What the panel's buttons do: messages between operators, handing a chat over,
// the web console's pages and logging out.
#include "VisitorPanelDlg.h"

#include "net/Endpoints.h"
#include "net/RecordText.h"
#include "net/ReplyCallback.h"
#include "net/Replies.h"
#include "net/Text.h"
#include "platform/Platform.h"
#include "res/DialogTemplates.h"
#include "res/Strings.h"
#include "res/Waves.h"
#include "ui/MessageViewDlg.h"
#include "ui/OutsideText.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace kivora::panel {

void CVisitorPanelDlg::RequestOperatorMessages(bool all)
{
    if (!all && newMessagesPending)
        return;
    newMessagesPending = newMessagesPending || !all;
    auto* target = new net::CReplyCallback(this, [this, all](int, const std::string& text) {
        if (!all)
            newMessagesPending = false;
        if (!link.ShuttingDown())
            OnMessagesReply(text, all);
    });
    link.StartRequest(net::MakeUrl(all ? res::IDS_URL_ALL_MESSAGES : res::IDS_URL_NEW_MESSAGES,
                                   {link.GetLoginId(), link.GetSiteId()}),
                      net::kKindMessages, target);
}

void CVisitorPanelDlg::OnMessagesReply(const std::string& text, bool askedByOperator)
{
    const net::OperatorMessages messages = net::ParseOperatorMessagesReply(text);
    const QString shown = ui::OutsideText(messages.text, ui::kDocumentChars, ui::TextLines::Many);
    std::erase_if(viewers, [](const QPointer<ui::CMessageViewDlg>& v) { return v.isNull(); });
    if (!askedByOperator) {
        for (const QPointer<ui::CMessageViewDlg>& viewer : viewers) {
            if (viewer->Text() == shown)
                return;
        }
    }
    // Played without waiting for its end, so that the console never stalls on it.
    if (messages.sound)
        platform.sounds.Play(res::kWaveMessage, false);
    auto* viewer = new ui::CMessageViewDlg(shown);
    viewers.emplace_back(viewer);
    viewer->show();
}

void CVisitorPanelDlg::OnSendMessage()
{
    const int selected = operatorsCombo->currentIndex();
    const QString text = messageEdit->text();
    if (selected < 0 || text.isEmpty())
        return;
    messageEdit->clear();
    const std::string addressee = SelectedOperator();
    messageEdit->setFocus();
    link.StartRequest(net::MakeUrl(res::IDS_URL_SAVE_MESSAGE,
                                   {addressee, net::ToServerText(text), link.GetLoginId(), link.GetSiteId()}),
                      net::kKindSaveMessage, this);
}

void CVisitorPanelDlg::OnViewMessage()
{
    RequestOperatorMessages(true);
}

void CVisitorPanelDlg::OnChatTransfer()
{
    const int selected = operatorsCombo->currentIndex();
    if (selected < 0)
        return;
    link.StartRequest(net::MakeUrl(res::IDS_URL_TRANSFER,
                                   {chatSessionId, SelectedOperator(),
                                    link.GetSiteId(), link.GetLoginId()}),
                      net::kKindTransfer, this);
}

void CVisitorPanelDlg::OpenServicePage(int templateId)
{
    link.OpenInBrowser(
        net::MakeUrl(templateId, {link.GetLoginId(), link.GetSiteId(), link.isAdmin ? "Y" : ""}));
}

void CVisitorPanelDlg::OnControlPanel()
{
    OpenServicePage(res::IDS_URL_CONTROL_PAGE);
}

void CVisitorPanelDlg::OnTranscripts()
{
    OpenServicePage(res::IDS_URL_TRANSCRIPTS_PAGE);
}

void CVisitorPanelDlg::LogOut()
{
    Button(res::IDC_LOG_OUT)->setEnabled(false);
    if (!hostedByConsole) {
        platform.messageBoxes.Show(this, QStringLiteral("LogOut called from ChatDLG!!!"), QStringLiteral("Error"),
                                   platform::BoxIcon::Error);
        return;
    }
    if (logOut)
        logOut();
}

void CVisitorPanelDlg::OnServerReply(int kind, const std::string& text)
{
    if (link.ShuttingDown())
        return;
    const QString caption = net::FromServerText(res::LoadString(res::IDS_MESSAGE_CAPTION));
    switch (kind) {
    case net::kKindSaveMessage:
        platform.messageBoxes.Show(this, ui::OutsideText(text, ui::kLineChars, ui::TextLines::Many), caption,
                                   platform::BoxIcon::Information);
        break;
    case net::kKindMessages:
        OnMessagesReply(text, true);
        break;
    case net::kKindTransfer:
        if (net::ParseTransferReply(text)) {
            transferred = true;
            platform.messageBoxes.Show(this, QStringLiteral("Chat Session Transferred"), caption,
                                       platform::BoxIcon::Information);
        }
        break;
    default:
        break;
    }
}

} // namespace kivora::panel
