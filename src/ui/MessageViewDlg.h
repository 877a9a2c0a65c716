#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace kivora::ui {

// A message left for this operator, read-only. Each fetch opens a window of its
// own that frees itself when closed.
class CMessageViewDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMessageViewDlg)
public:
    explicit CMessageViewDlg(const QString& text, QWidget* parent = nullptr);

    QPlainTextEdit* TextEdit() const { return textEdit; }
    QPushButton* OkButton() const { return okButton; }
    // The text as given.
    const QString& Text() const { return text; }

private:
    QString text;
    QPlainTextEdit* textEdit = nullptr;
    QPushButton* okButton = nullptr;
};

} // namespace kivora::ui
