#pragma once

#include <QDialog>

#include <string>

class QLabel;

namespace kivora::net {
class CServerLink;
}
namespace kivora::platform {
struct Platform;
}

namespace kivora::console {

// The operator's main window for as long as the operator is logged in. For now it
// shows who is logged in; closing it ends the session.
class CConsoleDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CConsoleDlg)
public:
    CConsoleDlg(net::CServerLink& link, platform::Platform& platform, QWidget* parent = nullptr);
    // No reply reaches anybody once the console is gone.
    ~CConsoleDlg() override;

    void SetLoginInfo(std::string siteId, std::string loginId, std::string siteUrl);
    int DoModal();

    const std::string& SiteId() const { return siteId; }
    const std::string& LoginId() const { return loginId; }
    const std::string& SiteUrl() const { return siteUrl; }

private:
    net::CServerLink& link;
    platform::Platform& platform;
    QLabel* operatorCaption = nullptr;
    std::string siteId;
    std::string loginId;
    std::string siteUrl;
};

} // namespace kivora::console
