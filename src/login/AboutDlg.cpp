#include "AboutDlg.h"

#include "BuildConfig.h"
#include "res/Images.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace kivora::login {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Kivora"));
    setWindowIcon(res::AppIcon());

    auto* icon = new QLabel(this);
    icon->setPixmap(res::AppIcon().pixmap(48, 48));
    auto* text = new QLabel(QStringLiteral("<b>Kivora</b> operator console<br>Version %1")
                                .arg(QStringLiteral(KIVORA_VERSION)),
                            this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace kivora::login
