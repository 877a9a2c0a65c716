#include "ConsoleDlg.h"

#include "ListLogic.h"
#include "net/Requests.h"
#include "net/RecordText.h"
#include "net/Replies.h"
#include "net/Text.h"
#include "panel/VisitorPanelDlg.h"
#include "platform/Platform.h"
#include "res/Images.h"
#include "res/Strings.h"
#include "res/Waves.h"
#include "session/ConnectionText.h"
#include "session/ServiceCalls.h"
#include "session/Session.h"
#include "ui/HyperLink.h"
#include "ui/OutsideText.h"
#include "ui/RequestPopupDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace kivora::console {

namespace {

// The refresh period when the service named no usable one.
constexpr int kFallbackRefreshMs = 5000;

// The panel's place in the console, in pixels of the original font.
constexpr int kPanelX = 0;
constexpr int kPanelY = 300;
constexpr int kPanelWidth = 600;
constexpr int kPanelHeight = 180;

} // namespace

CConsoleDlg::CConsoleDlg(kivora::session::CSession& session, platform::Platform& platform, QWidget* parent)
    : QDialog(parent), session(session), link(session.Link()), platform(platform)
{
    controls = ui::BuildDialog(*this, *res::FindDialogTemplate(res::IDD_CONSOLE));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    onlineRadio = controls.As<QRadioButton>(res::IDC_ONLINE);
    offlineRadio = controls.As<QRadioButton>(res::IDC_OFFLINE);
    siteLink = controls.As<ui::CHyperLink>(res::IDC_SITE_LINK);
    operatorCaption = controls.As<QLabel>(res::IDC_OPERATOR_CAPTION);
    listView = controls.As<QTableView>(res::IDC_LIST);
    listView->setAccessibleName(QStringLiteral("Visitors"));
    soundOffBox = controls.As<QCheckBox>(res::IDC_SOUND_OFF);
    proactiveUrlEdit = controls.As<QLineEdit>(res::IDC_PROACTIVE_URL);
    sameWindowBox = controls.As<QCheckBox>(res::IDC_SAME_WINDOW);
    siteLink->SetBrowser(&platform.browser);

    connect(onlineRadio, &QRadioButton::clicked, this, [this] { SendPresence(true); });
    connect(offlineRadio, &QRadioButton::clicked, this, [this] { SendPresence(false); });
    connect(soundOffBox, &QCheckBox::clicked, this, [this] { soundOff = soundOffBox->isChecked(); });
    connect(Button(res::IDC_VIEW_DETAILS), &QPushButton::clicked, this, &CConsoleDlg::ShowSelectedDetails);
    connect(Button(res::IDC_ACCEPT), &QPushButton::clicked, this, &CConsoleDlg::OnAccept);
    connect(Button(res::IDC_BUSY), &QPushButton::clicked, this,
            [this] { OnVisitorAction(net::VisitorAction::Refuse); });
    connect(Button(res::IDC_INVITE), &QPushButton::clicked, this,
            [this] { OnVisitorAction(net::VisitorAction::Invite); });
    connect(Button(res::IDC_DELETE), &QPushButton::clicked, this,
            [this] { OnVisitorAction(net::VisitorAction::Remove); });
    connect(Button(res::IDC_SEND_PROACTIVE), &QPushButton::clicked, this, &CConsoleDlg::OnSendProactive);
    proactiveUrlEdit->installEventFilter(this);
    connect(proactiveUrlEdit, &QLineEdit::returnPressed, this, [this] {
        if (Button(res::IDC_SEND_PROACTIVE)->isEnabled())
            Button(res::IDC_SEND_PROACTIVE)->click();
    });
    openChatWindow = [this](const ChatRequest& request) { OpenChatWindow(request); };
    raisePopup = [this](int row, const std::string& address, const std::string& sessionId) {
        RaisePopup(row, address, sessionId);
    };
}

CConsoleDlg::~CConsoleDlg()
{
    OnDestroy();
}

QPushButton* CConsoleDlg::Button(int id) const
{
    return controls.As<QPushButton>(id);
}

void CConsoleDlg::SetLoginInfo(std::string newSiteId, std::string newLoginId, std::string newSiteUrl)
{
    siteId = std::move(newSiteId);
    loginId = std::move(newLoginId);
    siteUrl = std::move(newSiteUrl);
}

int CConsoleDlg::DoModal()
{
    OnInitDialog();
    // A loop of its own rather than exec(): exec() would make the console modal to
    // the whole program, locking the chat windows and pop-ups, and would end the
    // session when the console hides itself in the tray.
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    loop.exec();
    OnDestroy();
    return result();
}

void CConsoleDlg::OnInitDialog()
{
    setWindowIcon(res::AppIcon());
    platform.tray.SetActions(platform::TrayActions{
        [this] { ShowInFront(); },
        [this] { panel->LogOut(); },
        [this] { OnTrayExit(); },
        [this] { return isVisible(); },
    });
    platform.tray.Add(res::AppIcon(), QStringLiteral("Kivora Online"));
    siteLink->SetURL(net::FromServerText(siteUrl));
    operatorCaption->setText(ui::OutsideText(loginId + " (" + siteId + ") "));
    SendPresence(true);
    SetUpList();
    connect(&session, &kivora::session::CSession::connectionChanged, this, &CConsoleDlg::ShowConnection);
    connect(&session, &kivora::session::CSession::recovered, this, &CConsoleDlg::OnRecovered);
    connect(&session, &kivora::session::CSession::failureWarning, this, [this] {
        this->platform.messageBoxes.Show(nullptr,
                                         QStringLiteral("No Response from Server. Please check your internet connection."),
                                         QStringLiteral("Internet Connection"), platform::BoxIcon::Error);
    });

    panel = new panel::CVisitorPanelDlg(true, session, platform, this);
    panel->showOffline = [this] { ShowOffline(); };
    panel->endConsole = [this] { done(1); };
    panel->logOut = [this] { return LogOutAndEnd(); };
    const QPoint topLeft = controls.units.ScaleOriginalPixels(kPanelX, kPanelY);
    const QPoint size = controls.units.ScaleOriginalPixels(kPanelWidth, kPanelHeight);
    panel->setGeometry(QRect(topLeft, QSize(size.x(), size.y())));
    panel->show();
    // The dialog was sized for its controls; the panel below them sets the height,
    // and the connection line goes under it.
    SetUpConnectionLine();

    refreshPeriodMs = net::TimerPeriodMs(session.RefreshIntervalMs(), kFallbackRefreshMs);
    ShowConnection();
    timerId = startTimer(refreshPeriodMs);
}

void CConsoleDlg::SetUpList()
{
    loadingNote = new QLabel(QStringLiteral("Loading visitors..."), listView->viewport());
    loadingNote->setObjectName(QStringLiteral("loadingNote"));
    loadingNote->setTextFormat(Qt::PlainText);
    loadingNote->setAlignment(Qt::AlignCenter);
    loadingNote->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Kept over the whole list, whatever size the list takes.
    auto* loadingPlace = new QVBoxLayout(listView->viewport());
    loadingPlace->setContentsMargins(0, 0, 0, 0);
    loadingPlace->addWidget(loadingNote);
    listView->setModel(&model);
    listView->setIconSize(QSize(16, 16));
    listView->setContextMenuPolicy(Qt::CustomContextMenu);
    listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = listView->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(false);
    listView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    listView->verticalHeader()->setDefaultSectionSize(qMax(18, fontMetrics().height() + 4));
    // The selection stays visible when the list does not have the focus.
    QPalette palette = listView->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    listView->setPalette(palette);

    const int clientWidth = listView->width() - 2 * listView->frameWidth();
    static constexpr double kFractions[CVisitorListModel::kColumnCount] = {0.3, 0.2, 0.1, 0.4};
    for (int column = 0; column < CVisitorListModel::kColumnCount; ++column)
        listView->setColumnWidth(column, static_cast<int>(clientWidth * kFractions[column]));

    listView->viewport()->installEventFilter(this);
    connect(listView, &QTableView::doubleClicked, this, [this] {
        const int row = GetSelectedRow();
        if (Button(res::IDC_ACCEPT)->isEnabled() && row >= 0)
            AcceptChat(row);
    });
    connect(listView, &QTableView::customContextMenuRequested, this, &CConsoleDlg::OnListRightClicked);
    // Moving through the list with the keys keeps the buttons true to the row.
    connect(listView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CConsoleDlg::UpdateButtons);
}

void CConsoleDlg::OnDestroy()
{
    if (destroyed)
        return;
    destroyed = true;
    platform.tray.Remove();
    if (timerId != 0) {
        killTimer(timerId);
        timerId = 0;
    }
    link.SetShuttingDown();
    // The session ends with the console: its chat windows and pop-ups go with it.
    std::vector<QPointer<QObject>> open;
    open.swap(chatWindows);
    open.insert(open.end(), popups.begin(), popups.end());
    popups.clear();
    for (const QPointer<QObject>& window : open)
        delete window.data();
}

void CConsoleDlg::timerEvent(QTimerEvent*)
{
    RequestVisitorList();
}

void CConsoleDlg::RequestVisitorList()
{
    kivora::session::RequestVisitorList(session, this,
                                        [this](const std::string& text, bool) { OnVisitorListReply(text); });
}

void CConsoleDlg::SendPresence(bool goOnline, std::function<void()> then)
{
    session.SetChosenOnline(goOnline);
    ShowConnection();
    kivora::session::SendPresence(session, goOnline, this,
                                  [this, then = std::move(then)](std::optional<bool> nowOnline) {
                                      OnPresenceReply(nowOnline);
                                      if (then && !Gone())
                                          then();
                                  });
}

bool CConsoleDlg::Gone() const
{
    // Once the console has started to end, no reply changes it any more.
    return destroyed || link.ShuttingDown();
}

void CConsoleDlg::OnPresenceReply(std::optional<bool> nowOnline)
{
    if (Gone())
        return;
    if (nowOnline)
        online = *nowOnline;
    ApplyPresence();
}

void CConsoleDlg::ApplyPresence()
{
    onlineRadio->setChecked(online);
    offlineRadio->setChecked(!online);
}

void CConsoleDlg::ShowOffline()
{
    if (!online)
        return;
    online = false;
    ApplyPresence();
}

void CConsoleDlg::OnVisitorListReply(const std::string& text)
{
    if (Gone())
        return;
    // One pass reads the rows in place and the blocks after them.
    net::VisitorListReply reply = net::ParseVisitorListReply(text);
    std::vector<CVisitorRecord> rows = CVisitorRecord::FromListRows(reply.rows);
    if (!reply.fourBlocks && !reply.logout) {
        // A failed exchange, or a reply cut short or garbled on the way, says nothing
        // about the visitors or about who is on line: the list keeps its last rows,
        // shown as stale until a whole reply comes, and the presence stays as the
        // operator chose it.
        model.SetStale(true);
        return;
    }
    model.SetStale(false);
    listUpdated = QDateTime::currentDateTime();
    if (loadingNote)
        loadingNote->hide();
    ShowConnection();
    if (reply.logout) {
        // Before the box: while it is up, the refreshes go on and would each bring
        // "logout" again, and another box.
        link.SetShuttingDown();
        platform.messageBoxes.Show(this,
                                   QStringLiteral("Your account has been deactivated. Application will terminate now."),
                                   QStringLiteral("Account expire"), platform::BoxIcon::Information);
        platform.tray.Remove();
        done(1);
        // The rest runs on empty blocks, as for any reply without them.
        rows.clear();
    }
    RebuildRows(std::move(rows));
    UpdateButtons();
    operators = std::move(reply.operators);
    if (!operators.empty()) {
        for (const QPointer<QObject>& window : chatWindows) {
            if (auto* chat = qobject_cast<chat::CChatDlg*>(window.data()))
                chat->SetOperatorList(operators);
        }
    }
    panel->SetOperatorList(operators);
    PlayAlert(reply.sound);
    HandleNotice(reply.notice);
}

void CConsoleDlg::RebuildRows(std::vector<CVisitorRecord> rows)
{
    // The selection follows the visitor, not the row number: when visitors above
    // leave, the row number would point at someone else while the details and the
    // buttons still spoke of the first.
    const int selectedRow = GetSelectedRow();
    const std::string selectedSession = selectedRow >= 0 ? model.Row(selectedRow).GetSessionId() : std::string();

    // "No Users Online" is a line of one field, which gives no record.
    const bool newVisitor = SoundsForNewVisitor(rows, soundOff);
    std::string sessionId; // the details cache's key, its buffer reused row after row
    for (std::size_t n = 0; n < rows.size(); ++n) {
        CVisitorRecord& record = rows[n];
        PopupCheck(static_cast<int>(n), record);
        if (!session.DetailsCache().empty()) {
            sessionId.assign(record.Field(CVisitorRecord::kSession));
            if (const net::VisitorDetails* cached = session.FindDetails(sessionId))
                record.SetDetails(*cached);
        }
    }
    // The selection goes quietly, as with a model reset; the row number is chosen
    // again below.
    listView->selectionModel()->reset();
    model.ReplaceRows(std::move(rows));
    // With nothing selected the first row is, as it has always been.
    const int row = selectedRow >= 0 ? FindRowBySession(selectedSession) : (model.Count() > 0 ? 0 : -1);
    if (row >= 0) {
        listView->selectionModel()->setCurrentIndex(model.index(row, 0),
                                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else if (selectedRow >= 0) {
        // The visitor has gone: nothing is selected, and the panel no longer shows them.
        panel->SetVisitorDetails(net::VisitorDetails{});
    }
    // However many rows are new, one refresh sounds once.
    if (newVisitor)
        PlayAlert("NewVisitor");
}

bool CConsoleDlg::IsNewVisitor(std::string_view timeOnSite)
{
    return net::IsNewVisitorTime(timeOnSite);
}

void CConsoleDlg::PopupCheck(int n, const CVisitorRecord& record)
{
    // A minimised console is out of sight as much as one hidden in the tray.
    if (!TakePopup(record, !isMinimized() && (isVisible() || isActiveWindow()), session.Shared()))
        return;
    if (raisePopup)
        raisePopup(n, record.GetIpAddress(), record.GetSessionId());
}

void CConsoleDlg::HandleNotice(const std::string& text)
{
    const NoticeAction action = ActionForNotice(text, [this](const std::string& sessionId) {
        return FindChatWindow(sessionId) != nullptr || AcceptUnderWay(sessionId);
    });
    switch (action.kind) {
    case NoticeAction::Kind::FetchMessages:
        panel->RequestOperatorMessages(false);
        break;
    case NoticeAction::Kind::AcceptTransfer:
        // A transferred chat is accepted by its session even when its visitor is
        // not (or no longer) in the list.
        AcceptChatSession(action.sessionId, GetAddressBySession(action.sessionId));
        if (action.transferSound)
            PlayAlert("sound2");
        break;
    case NoticeAction::Kind::None:
        break;
    }
}

void CConsoleDlg::PlayAlert(const std::string& name)
{
    res::WaveId wave;
    if (name == "sound1")
        wave = res::kWaveChatRequest;
    else if (name == "sound2")
        wave = res::kWaveTransfer;
    else if (name == "sound3")
        wave = res::kWaveMessage;
    else if (name == "NewVisitor")
        wave = res::kWaveNewVisitor;
    else
        return;
    // Played without waiting for its end, so that the console never stalls on it.
    platform.sounds.Play(wave, false);
    if (name == "sound1")
        ShowForAlert();
}

void CConsoleDlg::OnTrayExit()
{
    Leave(Leaving::Quit);
}

void CConsoleDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Minimised, the console waits in the tray; where the desktop shows no tray it
    // stays an ordinary minimised window, so that it can always be reached.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && platform.tray.IsShown())
        QMetaObject::invokeMethod(this, [this] { hide(); }, Qt::QueuedConnection);
}

void CConsoleDlg::RaisePopup(int row, const std::string& address, const std::string& sessionId)
{
    // A window of its own: it must show while the console is hidden in the tray.
    auto* popup = new ui::CRequestPopupDlg(session.Shared(), row, address, sessionId);
    connect(popup, &ui::CRequestPopupDlg::acceptRequested, this,
            [this](int, const QString& session) { OnPopupAccept(session.toStdString()); });
    // Once a pop-up has gone, the next chat request may raise one again.
    connect(popup, &ui::CRequestPopupDlg::ended, this, [this] { session.Shared().popupShown = false; });
    std::erase_if(popups, [](const QPointer<QObject>& p) { return p.isNull(); });
    popups.emplace_back(popup);
    popup->show();
    // The desktop's notifications reach an operator who is looking elsewhere.
    platform.tray.Notify(QStringLiteral("Chat Request"), QStringLiteral("Chat Request from: ") + ui::OutsideText(address));
}

void CConsoleDlg::OnPopupAccept(const std::string& sessionId)
{
    // The list may have been rebuilt since the pop-up was made: accept the row
    // that holds its visitor now, or nothing when the visitor has gone.
    const int row = FindRowBySession(sessionId);
    if (row >= 0)
        AcceptChat(row);
}

void CConsoleDlg::ShowInFront()
{
    showNormal();
    raise();
    activateWindow();
}

void CConsoleDlg::ShowForAlert()
{
    // The operator may be typing in another of our windows, a chat reply most
    // likely: the console comes up beside it and leaves it the keyboard.
    QWidget* active = QApplication::activeWindow();
    if (active == nullptr || active == this) {
        ShowInFront();
        return;
    }
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    showNormal();
    raise();
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    // Where the desktop activates a shown window all the same, the keyboard goes back.
    active->activateWindow();
}

void CConsoleDlg::keyPressEvent(QKeyEvent* event)
{
    // The console is never ended by a stray key: Escape does nothing, and Enter
    // only presses the push button that has the focus (the URL field's Enter
    // presses Send, through the field itself).
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CConsoleDlg::OpenChatWindow(const ChatRequest& request)
{
    auto* chat = new chat::CChatDlg(*this, session, platform, request.address, request.sessionId, request.name,
                                    request.email, request.hasDetails);
    chat->OnInitDialog();
    if (request.hasDetails)
        chat->SetVisitorDetails(request.details);
    chat->SetOperatorList(operators);
    chat->show();
    chatWindows.emplace_back(chat);
}

int CConsoleDlg::ChatWindowCount() const
{
    return static_cast<int>(std::count_if(chatWindows.begin(), chatWindows.end(),
                                          [](const QPointer<QObject>& w) { return !w.isNull(); }));
}

void CConsoleDlg::RemoveChatWindow(QObject* chatWindow)
{
    std::erase_if(chatWindows, [chatWindow](const QPointer<QObject>& w) { return w == chatWindow || !w; });
}

void CConsoleDlg::StoreVisitorDetails(const net::VisitorDetails& details, const std::string& sessionId)
{
    session.StoreDetails(sessionId, details);
}

const std::unordered_map<std::string, net::VisitorDetails>& CConsoleDlg::DetailsCache() const
{
    return session.DetailsCache();
}

} // namespace kivora::console
