#include "ChatDlg.h"

#include "Transcript.h"
#include "net/Text.h"
#include "panel/VisitorPanelDlg.h"
#include "platform/Platform.h"
#include "res/Images.h"
#include "res/Strings.h"
#include "session/ServiceCalls.h"
#include "session/Session.h"
#include "ui/HyperLink.h"
#include "ui/OutsideText.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

namespace kivora::chat {

namespace {

// The poll period when the service named no usable one.
constexpr int kFallbackPollMs = 3000;

// The panel's place in a chat window, in pixels of the original font.
constexpr int kPanelX = 0;
constexpr int kPanelY = 35;
constexpr int kPanelWidth = 600;
constexpr int kPanelHeight = 170;

const QColor kHeaderColor(0, 0, 185);

void SetTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

} // namespace

CChatDlg::CChatDlg(IChatOwner& owner, kivora::session::CSession& session, platform::Platform& platform,
                   std::string ipAddress,
                   std::string sessionId, std::string name, std::string email, bool detailsKnown)
    : QDialog(nullptr),
      owner(owner),
      session(session),
      link(session.Link()),
      platform(platform),
      shared(session.Shared()),
      sessionId(std::move(sessionId)),
      visitorName(std::move(name)),
      visitorEmail(std::move(email)),
      ipAddress(std::move(ipAddress)),
      detailsKnown(detailsKnown),
      startTime(QDateTime::currentDateTimeUtc())
{
    clock.start();
    requestAttention = [this] { QApplication::alert(this); };
    controls = ui::BuildDialog(*this, *res::FindDialogTemplate(res::IDD_CHAT));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    nameLabel = controls.As<QLabel>(res::IDC_VISITOR_NAME);
    soundOffBox = controls.As<QCheckBox>(res::IDC_CHAT_SOUND_OFF);
    emailLink = controls.As<ui::CHyperLink>(res::IDC_EMAIL);
    durationLabel = controls.As<QLabel>(res::IDC_DURATION);
    pushUrlsCombo = controls.As<QComboBox>(res::IDC_PUSH_URLS);
    responsesCombo = controls.As<QComboBox>(res::IDC_RESPONSES);
    input = controls.As<QPlainTextEdit>(res::IDC_INPUT);
    input->setAccessibleName(QStringLiteral("Message to the visitor"));
    sendButton = controls.As<QPushButton>(res::IDC_SEND);
    closeChatButton = controls.As<QPushButton>(res::IDC_CLOSE_CHAT);
    statusLine = controls.As<QLabel>(res::IDC_CHAT_STATUS);
    emailLink->SetBrowser(&platform.browser);
    // The lists show no choice between picks; say what they hold.
    responsesCombo->setPlaceholderText(QStringLiteral("Choose a response"));
    pushUrlsCombo->setPlaceholderText(QStringLiteral("Choose a page"));
    SetTextColor(durationLabel, kHeaderColor);
    // The clock changes every second in every chat window. Painting its own
    // background spares repainting the group box beneath it each time, and a
    // fixed size spares asking the window for a new layout each time.
    durationLabel->setAutoFillBackground(true);
    durationLabel->setFixedSize(durationLabel->size());
    SetTextColor(nameLabel, kHeaderColor);

    // The transcript takes the place the template keeps for it.
    QWidget* place = controls.Control(res::IDC_TRANSCRIPT);
    transcript = new CTranscriptView(this);
    transcript->setGeometry(place->geometry());
    transcript->setProperty("controlId", res::IDC_TRANSCRIPT);
    transcript->setAccessibleName(QStringLiteral("Chat transcript"));
    place->hide();
    QWidget::setTabOrder(closeChatButton, transcript);
    QWidget::setTabOrder(transcript, soundOffBox);

    panel = new panel::CVisitorPanelDlg(false, session, platform, this);
    panel->SetChatSessionId(this->sessionId);
    // Handed over, the chat is another operator's: nothing more goes out from here,
    // and the transcript says to whom it went.
    panel->onTransferred = [this](const QString& name) {
        input->setEnabled(false);
        sendButton->setEnabled(false);
        resendButton->hide();
        transcript->AppendLine(QStringLiteral("Chat transferred to ") + name + QStringLiteral("\r\n"),
                               kNoticeLineColor);
    };

    // Offered at the end of the status line while lines the service never took
    // wait to be sent again.
    resendButton = new QPushButton(QStringLiteral("&Resend"), this);
    resendButton->setObjectName(QStringLiteral("resend"));
    const QRect statusPlace = statusLine->geometry();
    const int resendWidth = resendButton->sizeHint().width();
    resendButton->setGeometry(statusPlace.right() + 1 - resendWidth, statusPlace.top(), resendWidth,
                              qMax(statusPlace.height(), resendButton->sizeHint().height()));
    resendButton->hide();
    connect(resendButton, &QPushButton::clicked, this, &CChatDlg::OnResend);

    connect(sendButton, &QPushButton::clicked, this, &CChatDlg::OnSend);
    connect(closeChatButton, &QPushButton::clicked, this, &CChatDlg::OnCloseChat);
    connect(soundOffBox, &QCheckBox::clicked, this, [this] { soundOff = soundOffBox->isChecked(); });
    connect(input, &QPlainTextEdit::textChanged, this, &CChatDlg::OnInputChanged);
    connect(responsesCombo, &QComboBox::activated, this,
            [this](int index) { OnCannedSelected(responsesCombo, lists.responses, index); });
    connect(pushUrlsCombo, &QComboBox::activated, this,
            [this](int index) { OnCannedSelected(pushUrlsCombo, lists.pushUrls, index); });
    input->installEventFilter(this);
}

CChatDlg::~CChatDlg()
{
    StopTimer();
    // An ended chat has already left the console's list, and may outlive the console.
    if (!ended)
        owner.RemoveChatWindow(this);
}

void CChatDlg::OnInitDialog()
{
    setWindowIcon(res::AppIcon());
    timerId = startTimer(net::TimerPeriodMs(session.ChatPollIntervalMs(), kFallbackPollMs));
    kivora::session::RequestChatLists(session, this,
                              [this](std::optional<net::CannedLists> lists) { OnListsReply(std::move(lists)); });

    const QPoint topLeft = controls.units.ScaleOriginalPixels(kPanelX, kPanelY);
    const QPoint size = controls.units.ScaleOriginalPixels(kPanelWidth, kPanelHeight);
    panel->setGeometry(QRect(topLeft, QSize(size.x(), size.y())));
    panel->show();
    setFixedSize(qMax(width(), panel->geometry().right() + 1), height());

    if (!visitorEmail.empty())
        emailLink->SetEmail(ui::OutsideText(visitorEmail));
    nameLabel->setText(ui::OutsideText(visitorName));
    if (!detailsKnown)
        kivora::session::RequestDetails(session, sessionId, this,
                                [this](std::optional<net::VisitorDetails> details) { OnDetailsReply(details); });
    UpdateCaption();
    input->setFocus();
}

void CChatDlg::UpdateCaption()
{
    setWindowTitle(ui::AsWindowTitle(QStringLiteral("Chatting with:") +
                                     ui::OutsideText(visitorName.empty() ? ipAddress : visitorName)));
}

void CChatDlg::SetVisitorDetails(const net::VisitorDetails& details)
{
    panel->SetVisitorDetails(details);
}

void CChatDlg::SetOperatorList(const std::vector<std::string>& operators)
{
    panel->SetOperatorList(operators);
}

void CChatDlg::timerEvent(QTimerEvent*)
{
    OnTimer();
}

void CChatDlg::OnTimer()
{
    RequestTranscript();
    RequestTypingStatus();
    durationLabel->setText(FormatDuration(startTime.secsTo(QDateTime::currentDateTimeUtc())));
}

QString CChatDlg::FormatDuration(qint64 seconds)
{
    if (seconds < 0)
        seconds = 0;
    const qint64 hours = (seconds / 3600) % 24;
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void CChatDlg::StopTimer()
{
    if (timerId != 0) {
        killTimer(timerId);
        timerId = 0;
    }
}

void CChatDlg::OnCloseChat()
{
    if (panel->transferred) {
        StopTimer();
        EndChat();
        return;
    }
    // The service did not confirm the end last time (it may be out of reach): the
    // operator may close the window all the same.
    if (endUnconfirmed &&
        platform.messageBoxes.Ask(this,
                                  QStringLiteral("The service has not confirmed the end of this chat. "
                                                 "Close the window anyway?"),
                                  QStringLiteral("Kivora"))) {
        EndChat();
        return;
    }
    StopTimer();
    kivora::session::EndChat(session, sessionId, this, [this](bool chatEnded) { OnEndChatReply(chatEnded); });
}

void CChatDlg::EndWithService(std::function<void()> answered)
{
    StopTimer();
    hide();
    if (panel->transferred) {
        // The chat is another operator's now: there is nothing of ours to end.
        answered();
        return;
    }
    kivora::session::EndChat(session, sessionId, this, [answered = std::move(answered)](bool) { answered(); });
}

void CChatDlg::OnEndChatReply(bool chatEnded)
{
    if (Gone())
        return;
    if (chatEnded) {
        EndChat();
        return;
    }
    endUnconfirmed = true;
    statusLine->setText(QStringLiteral("The service has not confirmed the end of the chat."));
}

void CChatDlg::RequestClose()
{
    // The close box ends the chat as Close Chat does; a reply being written is
    // not thrown away without a word.
    if (!input->toPlainText().trimmed().isEmpty() &&
        !platform.messageBoxes.Ask(this, QStringLiteral("Your reply has not been sent. End the chat anyway?"),
                                   QStringLiteral("Kivora")))
        return;
    OnCloseChat();
}

void CChatDlg::EndChat()
{
    if (ended)
        return;
    ended = true;
    owner.RemoveChatWindow(this);
    hide();
    // Freed once back in the event loop; a reply still on its way then finds the
    // window gone and is dropped.
    deleteLater();
}

void CChatDlg::keyPressEvent(QKeyEvent* event)
{
    // Escape does nothing: it neither ends the chat nor touches the draft.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // No default button: Enter clicks only a focused push button.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CChatDlg::closeEvent(QCloseEvent* event)
{
    // The window goes only once its chat has ended.
    if (!ended) {
        event->ignore();
        RequestClose();
        return;
    }
    QDialog::closeEvent(event);
}

bool CChatDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == input && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))) {
            OnSend();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kivora::chat
