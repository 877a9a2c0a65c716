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
#include <QSignalBlocker>

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
        for (const std::string& line : outcome.lines)
            AppendLine(line + "\r\n");
        if (outcome.closedByVisitor)
            AppendLine(std::string(kClosedNotice));
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
    statusLine->setText(QString());
}

void CChatDlg::OnInputChanged()
{
    if (TypingNoticeDue(net::ToServerText(input->toPlainText()).size(), shared.typingNoticeSent))
        SendTypingNotice();
}

void CChatDlg::OnSend()
{
    const std::string line = net::ToServerText(input->toPlainText());
    // An input of only blanks is nothing to tell the visitor.
    if (input->toPlainText().trimmed().isEmpty())
        return;
    input->clear();
    kivora::session::SendChatLine(session, sessionId, line);
    input->setFocus();
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
