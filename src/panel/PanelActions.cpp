// What the panel's buttons do: messages between operators, handing a chat over,
// the web console's pages and logging out.
#include "VisitorPanelDlg.h"

#include "net/RecordText.h"
#include "net/ServerLink.h"
#include "session/ServiceCalls.h"
#include "session/Session.h"
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
    kivora::session::RequestOperatorMessages(session, all, this, [this, all](const net::OperatorMessages& messages) {
        if (!all)
            newMessagesPending = false;
        OnMessagesReply(messages, all);
    });
}

void CVisitorPanelDlg::OnMessagesReply(const net::OperatorMessages& messages, bool askedByOperator)
{
    if (link.ShuttingDown())
        return;
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
    kivora::session::SaveOperatorMessage(session, addressee, net::ToServerText(text), this,
                                         [this](const std::string& shown) { OnSaveMessageReply(shown); });
}

void CVisitorPanelDlg::OnSaveMessageReply(const std::string& text)
{
    if (link.ShuttingDown())
        return;
    platform.messageBoxes.Show(this, ui::OutsideText(text, ui::kLineChars, ui::TextLines::Many), MessageCaption(),
                               platform::BoxIcon::Information);
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
    // Handing a chat over is not to be done by a slip of the mouse.
    if (!platform.messageBoxes.Ask(this, QStringLiteral("Transfer this chat to %1?").arg(operatorsCombo->itemText(selected)),
                                   MessageCaption()))
        return;
    transferTo = operatorsCombo->itemText(selected);
    kivora::session::TransferChat(session, chatSessionId, SelectedOperator(), this,
                                  [this](bool done) { OnTransferReply(done); });
}

void CVisitorPanelDlg::OnTransferReply(bool done)
{
    if (link.ShuttingDown() || !done)
        return;
    transferred = true;
    if (onTransferred)
        onTransferred(transferTo);
    platform.messageBoxes.Show(this, QStringLiteral("Chat Session Transferred"), MessageCaption(),
                               platform::BoxIcon::Information);
}

QString CVisitorPanelDlg::MessageCaption()
{
    return net::FromServerText(res::LoadString(res::IDS_MESSAGE_CAPTION));
}

void CVisitorPanelDlg::OnControlPanel()
{
    kivora::session::OpenControlPanel(session);
}

void CVisitorPanelDlg::OnTranscripts()
{
    kivora::session::OpenTranscripts(session);
}

void CVisitorPanelDlg::LogOut()
{
    Button(res::IDC_LOG_OUT)->setEnabled(false);
    if (!hostedByConsole) {
        platform.messageBoxes.Show(this, QStringLiteral("LogOut called from ChatDLG!!!"), QStringLiteral("Error"),
                                   platform::BoxIcon::Error);
        return;
    }
    // The console may keep running: the operator said No to ending open chats.
    if (logOut && !logOut())
        Button(res::IDC_LOG_OUT)->setEnabled(true);
}

} // namespace kivora::panel
