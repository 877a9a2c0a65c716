#pragma once

#include "net/Replies.h"
#include "net/ServerLink.h"
#include "ui/DialogBuilder.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kivora::net {
class CServerLink;
}
namespace kivora::platform {
struct Platform;
}
namespace kivora::session {
class CSession;
}
namespace kivora::ui {
class CHyperLink;
class CMessageViewDlg;
}

namespace kivora::panel {

// The operator panel: the selected visitor's details, the operators on line with
// a message field, and a row of buttons that depends on its host. It lives inside
// the console (hostedByConsole) and inside every chat window, as a child widget.
class CVisitorPanelDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CVisitorPanelDlg)
public:
    CVisitorPanelDlg(bool hostedByConsole, session::CSession& session, platform::Platform& platform,
                     QWidget* parent = nullptr);
    ~CVisitorPanelDlg() override;

    // Shows the details in their labels (the URL and the referrer as links) and
    // keeps a copy for the panel's later requests.
    void SetVisitorDetails(const net::VisitorDetails& details);
    const net::VisitorDetails& Details() const { return details; }

    bool HostedByConsole() const { return hostedByConsole; }
    // Asks the service for the operator messages: all of them, or only the new ones.
    // New ones are asked for once at a time, and shown only when no viewer shows
    // the same messages already: the service repeats its notice while they wait.
    void RequestOperatorMessages(bool all);
    // Refills the operators combo from the operators on line, leaving out the
    // operator's own login id and keeping the selection where it can.
    void SetOperatorList(const std::vector<std::string>& names);
    // What the console does when its own operator is missing from the list.
    std::function<void()> showOffline;
    // Ends the console after a log out.
    std::function<void()> endConsole;
    // The console's log-out: the service told, the saved login forgotten, the
    // console ended. False when the console goes on after all.
    std::function<bool()> logOut;
    // A chat window's chat has been handed to that operator.
    std::function<void(const QString& operatorName)> onTransferred;

    // What the service's replies change.
    void OnMessagesReply(const net::OperatorMessages& messages, bool askedByOperator);
    void OnSaveMessageReply(const std::string& text);
    void OnTransferReply(bool done);
    // Logs out at the service, forgets the saved login and ends the console.
    void LogOut();
    void OnSendMessage();
    void OnViewMessage();
    void OnChatTransfer();
    void OnControlPanel();
    void OnTranscripts();
    void SetChatSessionId(std::string id) { chatSessionId = std::move(id); }

    // The row's buttons and Send Message, by control id; null for other ids.
    QPushButton* Button(int id) const;
    QComboBox* OperatorsCombo() const { return operatorsCombo; }
    // The selected operator's login id as the service sent it; empty when none is.
    std::string SelectedOperator() const;
    QLineEdit* MessageEdit() const { return messageEdit; }
    // The label showing detail index (net::DetailIndex); the URL and referrer
    // ones are CHyperLinks.
    QLabel* DetailLabel(int index) const;
    ui::CHyperLink* UrlLink() const { return urlLink; }
    ui::CHyperLink* ReferrerLink() const { return referrerLink; }

    // The panel never ends: its host owns its lifetime.
    void accept() override;
    void reject() override;
    void done(int result) override;

    // A chat window's panel, once its chat has been passed to another operator.
    bool transferred = false;
    // The chat a chat window's panel belongs to; empty in the console.
    std::string chatSessionId;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnInitDialog();
    void PlaceButtonRow();

    static QString MessageCaption();

    const bool hostedByConsole;
    kivora::session::CSession& session;
    net::CServerLink& link;
    platform::Platform& platform;
    ui::CDialogControls controls;
    net::VisitorDetails details;

    ui::CHyperLink* urlLink = nullptr;
    ui::CHyperLink* referrerLink = nullptr;
    QComboBox* operatorsCombo = nullptr;
    QLineEdit* messageEdit = nullptr;
    // Message viewers still open; they close with the session.
    std::vector<QPointer<ui::CMessageViewDlg>> viewers;
    bool newMessagesPending = false;
    // Whom the last transfer was asked for, as shown.
    QString transferTo;
};

} // namespace kivora::panel
