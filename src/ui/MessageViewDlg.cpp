#include "MessageViewDlg.h"

#include "DialogBuilder.h"
#include "res/Images.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace kivora::ui {

CMessageViewDlg::CMessageViewDlg(const QString& text, QWidget* parent) : QDialog(parent), text(text)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(res::AppIcon());

    const CDialogControls controls = BuildDialog(*this, *res::FindDialogTemplate(res::IDD_MESSAGE_VIEW));
    textEdit = controls.As<QPlainTextEdit>(res::IDC_MESSAGE_VIEW_TEXT);
    textEdit->setAccessibleName(QStringLiteral("Message"));
    okButton = controls.As<QPushButton>(res::IDC_MESSAGE_VIEW_OK);

    // The builder leaves multi-line edits writable; this one only shows.
    textEdit->setReadOnly(true);
    // Plain text always: the message is whatever another operator typed.
    textEdit->setPlainText(text);
    connect(okButton, &QPushButton::clicked, this, [this] { accept(); });
}

} // namespace kivora::ui
