#pragma once

#include "CannedLists.h"
#include "ChatLogic.h"
#include "net/Replies.h"
#include "net/ServerLink.h"
#include "ui/DialogBuilder.h"

#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kivora::platform {
struct Platform;
}
namespace kivora::session {
class CSession;
struct SharedWindowState;
}
namespace kivora::panel {
class CVisitorPanelDlg;
}
namespace kivora::ui {
class CHyperLink;
}

namespace kivora::chat {

class CTranscriptView;

// What a chat window asks of the console that opened it.
class IChatOwner {
public:
    virtual ~IChatOwner() = default;
    virtual void RemoveChatWindow(QObject* chatWindow) = 0;
    virtual void StoreVisitorDetails(const net::VisitorDetails& details, const std::string& sessionId) = 0;
};

// One chat with one visitor, in a top-level window of its own: it polls for new
// lines on a timer, sends the operator's lines, shows typing both ways and offers
// canned responses and push URLs.
class CChatDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CChatDlg)
public:
    CChatDlg(IChatOwner& owner, session::CSession& session, platform::Platform& platform, std::string ipAddress,
             std::string sessionId, std::string name, std::string email, bool detailsKnown);
    ~CChatDlg() override;

    void OnInitDialog();
    // What the service's replies change; a failed poll (ok false) only the status
    // line.
    void OnPollReply(bool ok, net::ChatPollReply reply);
    void OnTypingReply(bool typing);
    void OnEndChatReply(bool chatEnded);
    void OnListsReply(std::optional<net::CannedLists> parsed);
    void OnDetailsReply(std::optional<net::VisitorDetails> details);
    void OnNameMailReply(std::optional<net::NameMailReply> reply);
    // The last polls failed: the status line says so until one works.
    bool PollsFailing() const { return pollsFailing; }
    void SetVisitorDetails(const net::VisitorDetails& details);
    void SetOperatorList(const std::vector<std::string>& operators);

    // Appends one line as received, in its speaker's colour.
    void AppendLine(const std::string& line);
    void OnTimer();
    void OnSend();
    // Sends the undelivered lines again, in order.
    void OnResend();
    void OnSendReply(int lineId, bool sent);
    void OnCloseChat();
    // The console is ending: the chat ends with the service as Close Chat ends it,
    // and answered runs once the service has answered (or failed to). The window
    // stays until the console goes.
    void EndWithService(std::function<void()> answered);
    void OnInputChanged();


    const std::string& LastMessageNumber() const { return poll.LastNumber(); }
    const std::string& SessionId() const { return sessionId; }
    bool IsPolling() const { return timerId != 0; }
    bool DetailsKnown() const { return detailsKnown; }
    const CannedLists& Lists() const { return lists; }
    CTranscriptView* Transcript() const { return transcript; }
    QPlainTextEdit* Input() const { return input; }

    // Draws the operator's eye to this window when the visitor writes while another
    // window is active: by default the task bar's urgency mark.
    std::function<void()> requestAttention;
    QLabel* StatusLine() const { return statusLine; }
    QLabel* NameLabel() const { return nameLabel; }
    QLabel* DurationLabel() const { return durationLabel; }
    ui::CHyperLink* EmailLink() const { return emailLink; }
    QComboBox* ResponsesCombo() const { return responsesCombo; }
    QComboBox* PushUrlsCombo() const { return pushUrlsCombo; }
    QCheckBox* SoundOffBox() const { return soundOffBox; }
    QPushButton* CloseChatButton() const { return closeChatButton; }
    QPushButton* SendButton() const { return sendButton; }
    QPushButton* ResendButton() const { return resendButton; }
    const CPendingLines& PendingLines() const { return pendingLines; }
    panel::CVisitorPanelDlg* Panel() const { return panel; }
    // Hook for tests: the time the duration clock counts from.
    void SetStartTime(const QDateTime& time) { startTime = time; }
    static QString FormatDuration(qint64 seconds);

protected:
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Gone() const;
    void ClearStatus();
    void RequestTranscript();
    void RequestTypingStatus();
    void RequestNameAndEmail();
    void SendTypingNotice();
    void OnCannedSelected(QComboBox* combo, const std::vector<CannedEntry>& list, int index);
    void FillCombos();
    void UpdateCaption();
    void StopTimer();
    void EndChat();
    void RequestClose();
    void SendLine(const std::string& line);
    void ShowPending();
    void ArrivedAfterAll(const std::string& text);
    QString OwnLine(const std::string& text) const;

    IChatOwner& owner;
    kivora::session::CSession& session;
    net::CServerLink& link;
    platform::Platform& platform;
    // Shared with the session's other chat windows: whether the last change of any
    // chat input sent a typing notice.
    kivora::session::SharedWindowState& shared;
    ui::CDialogControls controls;

    QLabel* nameLabel = nullptr;
    QCheckBox* soundOffBox = nullptr;
    ui::CHyperLink* emailLink = nullptr;
    QLabel* durationLabel = nullptr;
    QComboBox* pushUrlsCombo = nullptr;
    QComboBox* responsesCombo = nullptr;
    CTranscriptView* transcript = nullptr;
    QPlainTextEdit* input = nullptr;
    QPushButton* sendButton = nullptr;
    QPushButton* closeChatButton = nullptr;
    QLabel* statusLine = nullptr;
    QPushButton* resendButton = nullptr;
    panel::CVisitorPanelDlg* panel = nullptr;

    CannedLists lists;
    std::string sessionId;
    std::string visitorName;
    std::string visitorEmail;
    std::string ipAddress;
    bool soundOff = false;
    int timerId = 0;
    CChatPoll poll;
    CPendingLines pendingLines;
    // Lines the service never took while the operator went on typing: the status
    // line says so, and Resend sends them.
    std::vector<std::string> undelivered;
    // The window's own clock, for the poll's times.
    QElapsedTimer clock;
    bool pollsFailing = false;
    // The last end-chat request was not confirmed by the service.
    bool endUnconfirmed = false;
    bool detailsKnown = false;
    QDateTime startTime;
    bool ended = false;
};

} // namespace kivora::chat
