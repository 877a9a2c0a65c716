#pragma once

#include "VisitorListModel.h"
#include "chat/ChatDlg.h"
#include "net/Replies.h"
#include "net/ServerLink.h"
#include "ui/DialogBuilder.h"

#include <QDateTime>
#include <QDialog>
#include <QPointer>

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;

namespace kivora::platform {
struct Platform;
}
namespace kivora::session {
class CSession;
}
namespace kivora::panel {
class CVisitorPanelDlg;
}
namespace kivora::ui {
class CHyperLink;
}

namespace kivora::console {

// What a chat window is opened with when the service grants a chat.
struct ChatRequest {
    std::string address; // empty when the visitor's row is not in the list
    std::string sessionId;
    std::string name;
    std::string email;
    bool hasDetails = false;
    net::VisitorDetails details;
};

// The operator's main window for as long as the operator is logged in: presence,
// the visitor list refreshed on a timer, the actions on a visitor and the panel.
class CConsoleDlg final : public QDialog, public chat::IChatOwner {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CConsoleDlg)
public:
    CConsoleDlg(session::CSession& session, platform::Platform& platform, QWidget* parent = nullptr);
    // Whichever way the console ends, no reply reaches anybody afterwards.
    ~CConsoleDlg() override;

    void SetLoginInfo(std::string siteId, std::string loginId, std::string siteUrl);
    // Initialises, runs modally and tidies up; returns the run's result.
    int DoModal();
    void OnInitDialog();
    void OnDestroy();

    // What the service's replies change.
    void OnVisitorListReply(const std::string& text);
    void OnPresenceReply(std::optional<bool> nowOnline);
    void OnAcceptReply(const std::optional<net::AcceptReply>& reply);

    void RemoveChatWindow(QObject* chatWindow) override;
    void StoreVisitorDetails(const net::VisitorDetails& details, const std::string& sessionId) override;
    // Opens the chat window for a granted chat (what openChatWindow does unless
    // replaced).
    void OpenChatWindow(const ChatRequest& request);
    int ChatWindowCount() const;
    void ShowOffline();
    void AcceptChat(int row);
    // Asks the service for the chat, unless its window is open already (that window
    // comes to the front instead) or an accept for it is under way.
    void AcceptChatSession(const std::string& sessionId, const std::string& address);
    // The open chat window of that chat, or null.
    chat::CChatDlg* FindChatWindow(const std::string& sessionId) const;
    bool AcceptUnderWay(const std::string& sessionId) const { return acceptsUnderWay.contains(sessionId); }
    int FindRowBySession(const std::string& sessionId) const;
    std::string GetAddressBySession(const std::string& sessionId) const;
    int GetSelectedRow() const;
    void UpdateButtons();
    void ShowSelectedDetails();
    void PlayAlert(const std::string& name);
    void RequestVisitorList();
    // then, when given, runs once the service has answered (or failed to).
    void SendPresence(bool goOnline, std::function<void()> then = {});
    void RaisePopup(int row, const std::string& address, const std::string& sessionId);
    void OnPopupAccept(const std::string& sessionId);
    void OnTrayExit();
    // Logs out: the windows go at once, the service is told (waiting at most a few
    // seconds), the saved login is forgotten and the console ends.
    // False when the console goes on (the operator kept open chats).
    bool LogOutAndEnd();
    enum class Leaving { Quit, LogOut };
    // Ends the console the operator's way: with chats open, only after a Yes to the
    // question, and then each of them ends with the service. Quitting tells the
    // service the operator is off line; logging out logs out. The console ends once
    // the service has answered, or after a few seconds at most.
    bool Leave(Leaving how);
    bool IsLeaving() const { return leaving; }

    // Trims the URL; false when nothing is left. Without a known scheme anywhere in
    // it, "http://" is put in front.
    static bool NormalizeUrl(QString& text);
    // At most eight seconds on the site ("0:00:08").
    static bool IsNewVisitor(std::string_view timeOnSite);

    // What a granted chat opens; OpenChatWindow by default.
    std::function<void(const ChatRequest&)> openChatWindow;
    // Raises the chat-request pop-up for row n.
    std::function<void(int row, const std::string& address, const std::string& sessionId)> raisePopup;

    CVisitorListModel& Model() { return model; }
    session::CSession& Session() const { return session; }
    QTableView* ListView() const { return listView; }
    QPushButton* Button(int id) const;
    panel::CVisitorPanelDlg* Panel() const { return panel; }
    ui::CHyperLink* SiteLink() const { return siteLink; }
    QLabel* OperatorCaption() const { return operatorCaption; }
    QRadioButton* OnlineRadio() const { return onlineRadio; }
    QRadioButton* OfflineRadio() const { return offlineRadio; }
    QCheckBox* SoundOffBox() const { return soundOffBox; }
    QCheckBox* SameWindowBox() const { return sameWindowBox; }
    QLineEdit* ProactiveUrlEdit() const { return proactiveUrlEdit; }
    bool IsOnline() const { return online; }
    const std::vector<std::string>& Operators() const { return operators; }
    const std::unordered_map<std::string, net::VisitorDetails>& DetailsCache() const;
    QLabel* ConnectionLine() const { return connectionLine; }
    QLabel* LoadingNote() const { return loadingNote; }
    int RefreshPeriodMs() const { return refreshPeriodMs; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool Gone() const;
    void RebuildRows(std::vector<CVisitorRecord> rows);
    void PopupCheck(int n, const CVisitorRecord& record);
    void HandleNotice(const std::string& notice);
    void ApplyPresence();
    void ShowInFront();
    // For a chat request: shown and raised, but without taking the keyboard from
    // another of our windows that has it.
    void ShowForAlert();
    void SetUpList();
    void SetUpConnectionLine();
    // The connection line and the tray icon say where the console stands.
    void ShowConnection();
    void OnRecovered();
    void OnDetailsReply(const std::string& sessionId, const std::optional<net::VisitorDetails>& details);

    void OnListClicked();
    void OnListRightClicked();
    void OnAccept();
    void OnVisitorAction(net::VisitorAction action);
    void OnSendProactive();

    session::CSession& session;
    net::CServerLink& link;
    platform::Platform& platform;
    ui::CDialogControls controls;
    CVisitorListModel model;

    QRadioButton* onlineRadio = nullptr;
    QRadioButton* offlineRadio = nullptr;
    ui::CHyperLink* siteLink = nullptr;
    QLabel* operatorCaption = nullptr;
    QTableView* listView = nullptr;
    QCheckBox* soundOffBox = nullptr;
    QLineEdit* proactiveUrlEdit = nullptr;
    QCheckBox* sameWindowBox = nullptr;
    panel::CVisitorPanelDlg* panel = nullptr;

    bool online = false;
    bool soundOff = false;
    std::string siteId;
    std::string loginId;
    std::string siteUrl;
    std::vector<std::string> operators;
    QLabel* connectionLine = nullptr;
    // Says that the list is on its way until the first reply comes: an empty list
    // would look like no visitors.
    QLabel* loadingNote = nullptr;
    // When the last whole list reply came.
    QDateTime listUpdated;
    // Details asked for and not answered yet.
    std::unordered_set<std::string> detailsUnderWay;
    std::vector<QPointer<QObject>> chatWindows;
    std::vector<QPointer<QObject>> popups;
    // Chats asked for and not answered yet.
    std::unordered_set<std::string> acceptsUnderWay;
    int timerId = 0;
    int refreshPeriodMs = 0;
    bool destroyed = false;
    // The operator chose to leave; the last exchanges are under way.
    bool leaving = false;
};

} // namespace kivora::console
