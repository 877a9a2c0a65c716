#include "VisitorPanelDlg.h"

#include "session/Session.h"
#include "net/ServerLink.h"
#include "net/Text.h"
#include "platform/Platform.h"
#include "res/DialogTemplates.h"
#include "res/Strings.h"
#include "ui/HyperLink.h"
#include "ui/MessageViewDlg.h"
#include "ui/OutsideText.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QByteArray>

#include <vector>

namespace kivora::panel {

namespace {

// An entry shows a bounded, neutralised form of an operator's name; the name as
// the service sent it is kept with it, for the requests that name the operator.
constexpr int kNameRole = Qt::UserRole;

bool SameItems(const QComboBox* combo, const std::vector<QByteArray>& names)
{
    if (combo->count() != static_cast<int>(names.size()))
        return false;
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemData(i, kNameRole).toByteArray() != names[static_cast<std::size_t>(i)])
            return false;
    }
    return true;
}

// The label of each detail, in net::DetailIndex order.
constexpr int kDetailIds[net::kDetailCount] = {
    res::IDC_DETAIL_URL,     res::IDC_DETAIL_BROWSER, res::IDC_DETAIL_OS,   res::IDC_DETAIL_REFERRER,
    res::IDC_DETAIL_COLORS,  res::IDC_DETAIL_JAVA,    res::IDC_DETAIL_COUNTRY, res::IDC_DETAIL_REGION,
    res::IDC_DETAIL_CITY,    res::IDC_DETAIL_TIME,    res::IDC_DETAIL_LANGUAGE,
};

constexpr int kButtonIds[] = {
    res::IDC_SEND_MESSAGE, res::IDC_VIEW_MESSAGE, res::IDC_CONTROL_PANEL,
    res::IDC_TRANSCRIPTS,  res::IDC_LOG_OUT,      res::IDC_CHAT_TRANSFER,
};

// Gap between the buttons of the row, in pixels.
constexpr int kButtonGap = 4;
// Top of the row, in pixels of the original font.
constexpr int kRowTopOriginal = 120;

bool IsEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

CVisitorPanelDlg::CVisitorPanelDlg(bool hostedByConsole, kivora::session::CSession& session, platform::Platform& platform,
                                   QWidget* parent)
    : QDialog(parent), hostedByConsole(hostedByConsole), session(session), link(session.Link()), platform(platform)
{
    // Embedded in its host, not a window of its own.
    setWindowFlags(Qt::Widget);
    controls = ui::BuildDialog(*this, *res::FindDialogTemplate(res::IDD_PANEL));
    // The host gives the panel its rectangle, which differs from the template's.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

    urlLink = controls.As<ui::CHyperLink>(res::IDC_DETAIL_URL);
    referrerLink = controls.As<ui::CHyperLink>(res::IDC_DETAIL_REFERRER);
    operatorsCombo = controls.As<QComboBox>(res::IDC_OPERATORS);
    messageEdit = controls.As<QLineEdit>(res::IDC_MESSAGE);
    messageEdit->setAccessibleName(QStringLiteral("Message to the operator"));
    urlLink->SetBrowser(&platform.browser);
    referrerLink->SetBrowser(&platform.browser);
    // The details come from the visitor's browser: shown as they are, never as
    // markup.
    for (int id : kDetailIds)
        controls.As<QLabel>(id)->setTextFormat(Qt::PlainText);

    connect(Button(res::IDC_SEND_MESSAGE), &QPushButton::clicked, this, &CVisitorPanelDlg::OnSendMessage);
    connect(Button(res::IDC_VIEW_MESSAGE), &QPushButton::clicked, this, &CVisitorPanelDlg::OnViewMessage);
    connect(Button(res::IDC_CHAT_TRANSFER), &QPushButton::clicked, this, &CVisitorPanelDlg::OnChatTransfer);
    connect(Button(res::IDC_CONTROL_PANEL), &QPushButton::clicked, this, &CVisitorPanelDlg::OnControlPanel);
    connect(Button(res::IDC_TRANSCRIPTS), &QPushButton::clicked, this, &CVisitorPanelDlg::OnTranscripts);
    connect(Button(res::IDC_LOG_OUT), &QPushButton::clicked, this, &CVisitorPanelDlg::LogOut);

    OnInitDialog();
}

CVisitorPanelDlg::~CVisitorPanelDlg()
{
    for (const QPointer<ui::CMessageViewDlg>& viewer : viewers)
        delete viewer.data();
}

QPushButton* CVisitorPanelDlg::Button(int id) const
{
    for (int known : kButtonIds) {
        if (known == id)
            return controls.As<QPushButton>(id);
    }
    return nullptr;
}

QLabel* CVisitorPanelDlg::DetailLabel(int index) const
{
    if (index < 0 || index >= net::kDetailCount)
        return nullptr;
    return controls.As<QLabel>(kDetailIds[index]);
}

void CVisitorPanelDlg::OnInitDialog()
{
    PlaceButtonRow();
    if (!session.Who().isAdmin) {
        Button(res::IDC_CONTROL_PANEL)->setEnabled(false);
        Button(res::IDC_TRANSCRIPTS)->setEnabled(false);
    }
}

void CVisitorPanelDlg::PlaceButtonRow()
{
    const QSize button = Button(res::IDC_CONTROL_PANEL)->size();
    const int w = button.width();
    const int h = button.height();
    // Centred in the template's width: the host resizes the panel only later.
    const int d = width();
    const int y = controls.units.ScaleOriginalPixels(0, kRowTopOriginal).y();

    std::vector<int> row;
    int x = 0;
    if (hostedByConsole) {
        Button(res::IDC_CONTROL_PANEL)->show();
        Button(res::IDC_LOG_OUT)->show();
        row = {res::IDC_VIEW_MESSAGE, res::IDC_CONTROL_PANEL, res::IDC_TRANSCRIPTS, res::IDC_LOG_OUT};
        x = (d - (4 * w + 3 * kButtonGap)) / 2;
    } else {
        Button(res::IDC_CHAT_TRANSFER)->show();
        row = {res::IDC_VIEW_MESSAGE, res::IDC_CHAT_TRANSFER, res::IDC_TRANSCRIPTS};
        x = (d - (3 * w + 2 * kButtonGap)) / 2;
    }
    for (int id : row) {
        Button(id)->setGeometry(x, y, w, h);
        x += w + kButtonGap;
    }
}

void CVisitorPanelDlg::SetVisitorDetails(const net::VisitorDetails& newDetails)
{
    details = newDetails;
    for (int i = 0; i < net::kDetailCount; ++i) {
        if (i == net::kDetailUrl || i == net::kDetailReferrer)
            continue;
        DetailLabel(i)->setText(ui::OutsideText(details[static_cast<std::size_t>(i)]));
    }
    // The links decide for themselves what of the text may open.
    urlLink->SetURL(net::FromServerText(details[net::kDetailUrl]));
    referrerLink->SetURL(net::FromServerText(details[net::kDetailReferrer]));
    repaint();
}

std::string CVisitorPanelDlg::SelectedOperator() const
{
    const int selected = operatorsCombo->currentIndex();
    if (selected < 0)
        return {};
    return operatorsCombo->itemData(selected, kNameRole).toByteArray().toStdString();
}

void CVisitorPanelDlg::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        // Escape would end a dialog; the panel is not one to end.
        event->accept();
        return;
    }
    if (IsEnterKey(key)) {
        // Enter is the message field's send key and nothing else here; letting it
        // through would make the host take it as OK.
        event->accept();
        if (focusWidget() == messageEdit && !messageEdit->text().isEmpty())
            OnSendMessage();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CVisitorPanelDlg::accept() {}

void CVisitorPanelDlg::reject() {}

void CVisitorPanelDlg::done(int) {}

// The button handlers arrive with operator messaging.

void CVisitorPanelDlg::SetOperatorList(const std::vector<std::string>& names)
{
    const QString own = net::FromServerText(session.Who().loginId);
    bool ownSeen = false;
    std::vector<QByteArray> shown;
    shown.reserve(names.size());
    for (const std::string& name : names) {
        if (net::FromServerText(name).compare(own, Qt::CaseInsensitive) == 0)
            ownSeen = true;
        else
            shown.emplace_back(name.data(), static_cast<qsizetype>(name.size()));
    }
    // The list comes with every refresh and is mostly the same as before; refilling
    // the list with what it already holds would only repaint it.
    if (!SameItems(operatorsCombo, shown) || (!shown.empty() && operatorsCombo->currentIndex() < 0)) {
        const int rememberedIndex = operatorsCombo->currentIndex();
        const QByteArray rememberedName =
            rememberedIndex >= 0 ? operatorsCombo->itemData(rememberedIndex, kNameRole).toByteArray() : QByteArray();
        const QSignalBlocker blocker(operatorsCombo);
        operatorsCombo->clear();
        int found = -1;
        for (const QByteArray& name : shown) {
            if (rememberedIndex >= 0 && found < 0 && name == rememberedName)
                found = operatorsCombo->count();
            operatorsCombo->addItem(ui::OutsideText(std::string_view(name.constData(), static_cast<std::size_t>(name.size()))),
                                    name);
        }
        if (!names.empty()) {
            int select = 0;
            if (rememberedIndex >= 0)
                select = found >= 0 ? found : (rememberedIndex < operatorsCombo->count() ? rememberedIndex : -1);
            operatorsCombo->setCurrentIndex(select < operatorsCombo->count() ? select : -1);
        }
    }
    if (hostedByConsole && !ownSeen && showOffline)
        showOffline();
}

} // namespace kivora::panel
