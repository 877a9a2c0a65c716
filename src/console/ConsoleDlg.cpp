#include "ConsoleDlg.h"

#include "net/ServerLink.h"
#include "platform/Platform.h"
#include "res/Images.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kivora::console {

CConsoleDlg::CConsoleDlg(net::CServerLink& link, platform::Platform& platform, QWidget* parent)
    : QDialog(parent), link(link), platform(platform)
{
    setWindowTitle(QStringLiteral("Kivora"));
    setWindowIcon(res::AppIcon());
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    operatorCaption = new QLabel(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(operatorCaption);
    resize(420, 120);
}

CConsoleDlg::~CConsoleDlg()
{
    link.SetShuttingDown();
}

void CConsoleDlg::SetLoginInfo(std::string newSiteId, std::string newLoginId, std::string newSiteUrl)
{
    siteId = std::move(newSiteId);
    loginId = std::move(newLoginId);
    siteUrl = std::move(newSiteUrl);
    const std::string caption = loginId + " (" + siteId + ") ";
    operatorCaption->setText(QString::fromLocal8Bit(caption.data(), static_cast<qsizetype>(caption.size())));
}

int CConsoleDlg::DoModal()
{
    return exec();
}

} // namespace kivora::console
