// The chat window's side of the exchange with the service: polling for lines,
// typing both ways, sending, and what completes the window's view of the visitor.
#include "ChatDlg.h"

#include "Transcript.h"
#include "net/RecordText.h"
#include "net/Replies.h"
#include "net/Text.h"
#include "panel/VisitorPanelDlg.h"
#include "platform/Platform.h"
#include "res/Strings.h"
#include "session/ServiceCalls.h"
#include "session/Session.h"
#include "res/Waves.h"
#include "ui/HyperLink.h"
#include "ui/OutsideText.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>

namespace kivora::chat {

namespace {

constexpr std::string_view kClosedNotice = net::kChatClosedNotice;

} // namespace

bool CChatDlg::Gone() const
{
    // A reply on its way while the session or this chat ended is for nobody.
    return link.ShuttingDown() || ended;
}

void CChatDlg::RequestTranscript()
{
    if (!poll.MaySend(clock.elapsed()))
        return;
    poll.Sent(clock.elapsed());
    kivora::session::PollChat(session, sessionId, ipAddress, poll.LastNumber(), this,
                      [this](bool ok, const net::ChatPollReply& reply) { OnPollReply(ok, reply); });
}

void CChatDlg::RequestTypingStatus()
{
    kivora::session::RequestVisitorTyping(session, sessionId, this, [this](bool typing) { OnTypingReply(typing); });
}

void CChatDlg::SendTypingNotice()
{
    kivora::session::SendOperatorTyping(session, sessionId);
}

void CChatDlg::RequestNameAndEmail()
{
    if (!visitorName.empty() || !visitorEmail.empty())
        return;
    kivora::session::RequestNameAndEmail(session, sessionId, this,
                                 [this](std::optional<net::NameMailReply> reply) { OnNameMailReply(reply); });
}

void CChatDlg::OnPollReply(bool ok, net::ChatPollReply reply)
{
    if (Gone())
        return;
    // A failed exchange is not the service saying anything: it changes nothing
    // but the status line, which tells that the chat waits for the service.
    if (!ok) {
        poll.Failed();
        pollsFailing = true;
        statusLine->setText(QStringLiteral("Cannot reach the service; the chat goes on when it answers."));
        return;
    }
    if (pollsFailing) {
        pollsFailing = false;
        statusLine->setText(QStringLiteral("Connected again."));
    }
    const CChatPoll::Outcome outcome = poll.Answered(std::move(reply));
    // Most polls bring nothing; an empty edit still costs the document a pass.
    if (!outcome.lines.empty() || outcome.closedByVisitor) {
        const CTranscriptView::Batch batch(*transcript);
        bool ownLineBack = false;
        for (const std::string& line : outcome.lines) {
            if (std::optional<CPendingLines::Line> back = pendingLines.Arrived(line, session.Who().loginId)) {
                ownLineBack = true;
                if (back->state == CPendingLines::State::Lost)
                    ArrivedAfterAll(back->text);
            }
            AppendLine(line + "\r\n");
        }
        if (outcome.closedByVisitor)
            AppendLine(std::string(kClosedNotice));
        // The line comes back in its place among the others and leaves the greyed ones.
        if (ownLineBack)
            ShowPending();
    }
    if (outcome.closedByVisitor)
        StopTimer();
    if (!soundOff && outcome.newLineSound)
        platform.sounds.Play(res::kWaveNewLine, false);
}

void CChatDlg::AppendLine(const std::string& line)
{
    const LineStyle style = ClassifyLine(line, session.Who().loginId);
    if (style.joinNotice)
        RequestNameAndEmail();
    if (style.kind == LineKind::Visitor)
        ClearStatus();
    transcript->AppendLine(ui::OutsideText(line, ui::kLineChars, ui::TextLines::Many), style.color);
    if (style.kind == LineKind::Visitor && !isActiveWindow() && requestAttention)
        requestAttention();
}

void CChatDlg::OnTypingReply(bool typing)
{
    if (Gone())
        return;
    if (typing)
        statusLine->setText(QStringLiteral("Visitor is Typing"));
    else
        ClearStatus();
}

void CChatDlg::ClearStatus()
{
    // Most typing replies find the line already empty; setting the same text again
    // is a no-op, where clear() would repaint the line and the window under it.
    if (undelivered.empty())
        statusLine->setText(QString());
    else if (undelivered.size() == 1)
        statusLine->setText(QStringLiteral("A line was not delivered."));
    else
        statusLine->setText(QStringLiteral("%1 lines were not delivered.").arg(undelivered.size()));
}

void CChatDlg::OnInputChanged()
{
    if (TypingNoticeDue(net::ToServerText(input->toPlainText()).size(), shared.typingNoticeSent))
        SendTypingNotice();
}

void CChatDlg::OnSend()
{
    // An input of only blanks is nothing to tell the visitor.
    if (input->toPlainText().trimmed().isEmpty())
        return;
    const std::string line = net::ToServerText(input->toPlainText());
    input->clear();
    SendLine(line);
    input->setFocus();
}

void CChatDlg::SendLine(const std::string& line)
{
    // Shown at once, greyed, until the poll brings it back.
    const int id = pendingLines.Add(line);
    ShowPending();
    kivora::session::SendChatLine(session, sessionId, line, this, [this, id](bool sent) { OnSendReply(id, sent); });
}

void CChatDlg::OnSendReply(int lineId, bool sent)
{
    if (Gone())
        return;
    if (sent) {
        pendingLines.Delivered(lineId);
        return;
    }
    std::optional<std::string> text = pendingLines.Failed(lineId);
    if (!text)
        return;
    // It stays in the transcript marked as not delivered, and nothing goes again
    // unless the operator sends it: back into an empty input, or else offered on
    // the status line.
    ShowPending();
    if (input->isEnabled() && input->toPlainText().trimmed().isEmpty()) {
        input->setPlainText(net::FromServerText(*text));
        input->moveCursor(QTextCursor::End);
        statusLine->setText(QStringLiteral("The line was not delivered; it is back in the input."));
        return;
    }
    undelivered.push_back(std::move(*text));
    resendButton->setVisible(input->isEnabled());
    ClearStatus();
}

void CChatDlg::ArrivedAfterAll(const std::string& text)
{
    // The service took the line before the exchange broke: what was offered for
    // sending again is withdrawn, so that it does not go twice.
    if (input->isEnabled() && net::ToServerText(input->toPlainText()) == text)
        input->clear();
    std::erase(undelivered, text);
    resendButton->setVisible(!undelivered.empty() && input->isEnabled());
    ClearStatus();
}

void CChatDlg::OnResend()
{
    std::vector<std::string> lines;
    lines.swap(undelivered);
    resendButton->hide();
    ClearStatus();
    for (const std::string& line : lines)
        SendLine(line);
}

QString CChatDlg::OwnLine(const std::string& text) const
{
    return ui::OutsideText(session.Who().loginId + ": " + text, ui::kLineChars, ui::TextLines::Many);
}

void CChatDlg::ShowPending()
{
    std::vector<QString> lines;
    lines.reserve(pendingLines.Lines().size());
    for (const CPendingLines::Line& line : pendingLines.Lines()) {
        lines.push_back(line.state == CPendingLines::State::Lost ? OwnLine(line.text) + QStringLiteral(" (not delivered)")
                                                                  : OwnLine(line.text));
    }
    transcript->SetPending(lines);
}

void CChatDlg::OnListsReply(std::optional<net::CannedLists> parsed)
{
    if (Gone() || !parsed)
        return;
    lists.pushUrls.insert(lists.pushUrls.end(), parsed->pushUrls.begin(), parsed->pushUrls.end());
    lists.responses.insert(lists.responses.end(), parsed->responses.begin(), parsed->responses.end());
    FillCombos();
}

void CChatDlg::FillCombos()
{
    const QSignalBlocker blockPush(pushUrlsCombo);
    const QSignalBlocker blockResponses(responsesCombo);
    pushUrlsCombo->clear();
    for (const CannedEntry& entry : lists.pushUrls)
        pushUrlsCombo->addItem(ui::OutsideText(entry.title));
    responsesCombo->clear();
    for (const CannedEntry& entry : lists.responses)
        responsesCombo->addItem(ui::OutsideText(entry.title));
    pushUrlsCombo->setCurrentIndex(-1);
    responsesCombo->setCurrentIndex(-1);
}

void CChatDlg::OnCannedSelected(QComboBox* combo, const std::vector<CannedEntry>& list, int index)
{
    if (index < 0 || index >= static_cast<int>(list.size()))
        return;
    input->setPlainText(net::FromServerText(list[static_cast<std::size_t>(index)].text));
    combo->setCurrentIndex(-1);
}

void CChatDlg::OnDetailsReply(std::optional<net::VisitorDetails> details)
{
    if (Gone() || !details)
        return;
    panel->SetVisitorDetails(*details);
    owner.StoreVisitorDetails(*details, sessionId);
    detailsKnown = true;
}

void CChatDlg::OnNameMailReply(std::optional<net::NameMailReply> reply)
{
    if (Gone() || !reply)
        return;
    visitorName = std::move(reply->name);
    visitorEmail = std::move(reply->email);
    if (!visitorEmail.empty())
        emailLink->SetEmail(ui::OutsideText(visitorEmail));
    nameLabel->setText(ui::OutsideText(visitorName));
    UpdateCaption();
}

} // namespace kivora::chat
