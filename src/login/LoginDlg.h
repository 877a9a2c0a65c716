#pragma once

#include "SavedLogin.h"
#include "ui/DialogBuilder.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kivora::session {
class CSession;
struct LoginOutcome;
}
namespace kivora::platform {
struct Platform;
}

namespace kivora::login {

// Runs the console for a logged-in operator and returns when it has ended.
struct ConsoleStart {
    std::string siteId;
    std::string loginId;
    std::string siteAddress;
};
using ConsoleRunner = std::function<void(const ConsoleStart&)>;

// The first window of the process: site id, login id and password. The login runs
// without holding up the window; while it connects, the Login button (and Escape)
// abandons it. Once logged in the dialog goes and the console runs.
class CLoginDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLoginDlg)
public:
    CLoginDlg(session::CSession& session, platform::Platform& platform, ConsoleRunner runConsole,
              QWidget* parent = nullptr);
    ~CLoginDlg() override;

    // Initialises (logging in at once from a saved login), then runs the dialog
    // modally unless that login already ended it, and then the console.
    int DoModal();

    QLineEdit* SiteIdEdit() const { return siteIdEdit; }
    QLineEdit* LoginIdEdit() const { return loginIdEdit; }
    QLineEdit* PasswordEdit() const { return passwordEdit; }
    QCheckBox* SavePasswordBox() const { return savePasswordBox; }
    QPushButton* LoginButton() const { return loginButton; }
    QLabel* StatusLine() const { return statusLine; }
    QPushButton* AboutButton() const { return aboutButton; }

    // Hook for tests: what the About entry runs instead of the modal About box.
    std::function<void()> runAbout;

    void OnInitDialog();
    void OnLogin();
    void OnBannerClicked();
    void OnAbout();
    void LoginExchange();
    // Abandons a login under way and gives the fields back.
    void CancelLogin();

Q_SIGNALS:
    // A login attempt is over, whichever way.
    void loginSettled();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetConnecting(bool connecting);
    void OnLoginOutcome(const session::LoginOutcome& outcome, const SavedLogin& typed);
    void RunPendingConsole();

    void ReadTexts();
    // Ends the modal run the way OK does, even before it has started.
    void EndDialogOk();

    session::CSession& session;
    platform::Platform& platform;
    ConsoleRunner runConsole;
    ui::CDialogControls controls;

    QLineEdit* siteIdEdit = nullptr;
    QLineEdit* loginIdEdit = nullptr;
    QLineEdit* passwordEdit = nullptr;
    QCheckBox* savePasswordBox = nullptr;
    QPushButton* loginButton = nullptr;
    QLabel* statusLine = nullptr;
    QPushButton* aboutButton = nullptr;

    QString siteId;
    QString loginId;
    QString password;
    bool ended = false;
    bool runningModally = false;
    std::optional<ConsoleStart> pendingConsole;
};

} // namespace kivora::login
