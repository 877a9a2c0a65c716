#include "Transcript.h"

#include "ui/OutsideText.h"

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <array>

namespace kivora::chat {

namespace {

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

const std::array<QLatin1String, 5> kLinkPrefixes{QLatin1String("http://"), QLatin1String("https://"),
                                                 QLatin1String("ftp://"), QLatin1String("www."),
                                                 QLatin1String("mailto:")};

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

bool EndsLink(QChar c)
{
    return c.isSpace() || c == u'<' || c == u'>' || c == u'"' || c.category() == QChar::Other_Control;
}

// Punctuation that closes the sentence around an address rather than belonging to it.
bool IsTrailingPunctuation(QChar c)
{
    return QStringView(u".,;:!?'\")]}").contains(c);
}

// The length of the address that starts at `at`, or 0 when none does.
qsizetype LinkLengthAt(QStringView text, qsizetype at)
{
    const QStringView rest = text.sliced(at);
    for (const QLatin1String prefix : kLinkPrefixes) {
        if (!rest.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const qsizetype bodyStart = prefix.size();
        qsizetype end = bodyStart;
        while (end < rest.size() && !EndsLink(rest[end]))
            ++end;
        while (end > bodyStart && IsTrailingPunctuation(rest[end - 1]))
            --end;
        return end > bodyStart ? end : 0;
    }
    return 0;
}

// Inserts one paragraph's text, its addresses in the link format.
void InsertRun(QTextCursor& cursor, QStringView text, const QTextCharFormat& plain, const QTextCharFormat& link)
{
    qsizetype plainStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // An address starts a word: "xhttp://" is not one.
        if (i > 0 && IsWordChar(text[i - 1]))
            continue;
        const qsizetype length = LinkLengthAt(text, i);
        if (length == 0)
            continue;
        if (i > plainStart)
            cursor.insertText(text.sliced(plainStart, i - plainStart).toString(), plain);
        cursor.insertText(text.sliced(i, length).toString(), link);
        i += length - 1;
        plainStart = i + 1;
    }
    if (plainStart < text.size())
        cursor.insertText(text.sliced(plainStart).toString(), plain);
}

} // namespace

LineStyle ClassifyLine(std::string_view line, std::string_view loginId)
{
    // A plain prefix test would let an empty login id claim every line.
    if (!loginId.empty() && StartsWithNoCase(line, loginId))
        return {LineKind::Own, kOwnLineColor, false};
    if (line.find(':') == std::string_view::npos)
        return {LineKind::NoColon, kNoticeLineColor, false};
    if (StartsWithNoCase(line, "notice"))
        return {LineKind::Notice, kNoticeLineColor, StartsWithNoCase(line, "notice:now user has join the chat")};
    return {LineKind::Visitor, kVisitorLineColor, false};
}

CTranscriptView::CTranscriptView(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    // Addresses are only shown as links; nothing is opened from the transcript.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // The transcript grows all day; an undo history of it would only cost memory.
    setUndoRedoEnabled(false);
    // Right clicks reach mouseReleaseEvent, never the built-in edit menu.
    setContextMenuPolicy(Qt::PreventContextMenu);
    // Every paragraph runs left to right, whatever script a visitor writes in;
    // guessing each paragraph's direction would also cost a scan of its text
    // every time the layout moves it, which is on every append.
    QTextOption option = document()->defaultTextOption();
    option.setTextDirection(Qt::LeftToRight);
    document()->setDefaultTextOption(option);

    QFont font(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    font.setPointSize(10);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    // Kerning and ligatures are cosmetic in Latin text, and shaping every line for
    // them costs about a sixth of an append; scripts that need shaping still get it.
    font.setStyleStrategy(QFont::PreferNoShaping);
    lineFormat.setFont(font, QTextCharFormat::FontPropertiesAll);

    QScrollBar* bar = verticalScrollBar();
    connect(bar, &QScrollBar::rangeChanged, this, [this](int, int max) {
        if (followEnd)
            verticalScrollBar()->setValue(max);
    });
    connect(bar, &QScrollBar::valueChanged, this,
            [this](int value) { followEnd = value == verticalScrollBar()->maximum(); });
}

void CTranscriptView::AppendLine(const QString& given, const QColor& color)
{
    static_assert(kMaxLineChars == ui::kLineChars);
    const QString line = given.size() > kMaxLineChars + ui::kLineCutMark.size()
                             ? ui::Neutralised(given, kMaxLineChars, ui::TextLines::Many)
                             : given;
    // The operator types in the same window while lines arrive; nothing here may
    // take the keyboard away from them.
    const QPointer<QWidget> focused = QApplication::focusWidget();
    const bool pendingShown = pendingStart >= 0;
    if (pendingShown)
        RemovePendingText();
    const int heldBefore = CharacterCount();

    // A cursor of its own, so the operator's caret and selection stay where they are.
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // One edit block: the document is laid out once per line, not once per run.
    cursor.beginEditBlock();
    InsertText(cursor, line, color);
    cursor.endEditBlock();

    if (heldBefore > kTrimThreshold) {
        QTextCursor oldest(document());
        oldest.setPosition(kTrimCount, QTextCursor::KeepAnchor);
        oldest.removeSelectedText();
        QTextCursor end(document());
        end.movePosition(QTextCursor::End);
        setTextCursor(end);
    }
    if (pendingShown)
        WritePending();

    followEnd = true;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());

    if (focused && QApplication::focusWidget() != focused)
        focused->setFocus(Qt::OtherFocusReason);
}

void CTranscriptView::InsertText(QTextCursor& cursor, QStringView text, const QColor& color)
{
    QTextCharFormat plain = lineFormat;
    plain.setForeground(color);
    // All addresses share one format, without their targets: a document never
    // frees a format, so one per address would grow all day, and nothing is
    // opened from here anyway.
    QTextCharFormat link = plain;
    link.setAnchor(true);
    link.setFontUnderline(true);
    const QColor linkColor = palette().color(QPalette::Link);
    link.setForeground(linkColor.isValid() ? linkColor : QColor(Qt::blue));

    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        InsertRun(cursor, text.sliced(start, i - start), plain, link);
        cursor.insertBlock(QTextBlockFormat(), plain);
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    InsertRun(cursor, text.sliced(start), plain, link);
}

void CTranscriptView::SetPending(const std::vector<QString>& lines)
{
    const QPointer<QWidget> focused = QApplication::focusWidget();
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    RemovePendingText();
    pending = lines;
    WritePending();
    cursor.endEditBlock();
    followEnd = true;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    if (focused && QApplication::focusWidget() != focused)
        focused->setFocus(Qt::OtherFocusReason);
}

void CTranscriptView::RemovePendingText()
{
    if (pendingStart < 0)
        return;
    QTextCursor cursor(document());
    cursor.setPosition(pendingStart);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    pendingStart = -1;
}

void CTranscriptView::WritePending()
{
    if (pending.empty())
        return;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    pendingStart = cursor.position();
    cursor.beginEditBlock();
    for (const QString& line : pending) {
        InsertText(cursor, line, kPendingLineColor);
        cursor.insertBlock(QTextBlockFormat(), lineFormat);
    }
    cursor.endEditBlock();
}

CTranscriptView::Batch::Batch(CTranscriptView& view) : cursor(view.document())
{
    cursor.beginEditBlock();
}

CTranscriptView::Batch::~Batch()
{
    cursor.endEditBlock();
}

int CTranscriptView::CharacterCount() const
{
    // The document counts the paragraph separator that always ends it.
    return document()->characterCount() - 1;
}

void CTranscriptView::CopySelection()
{
    copy();
}

void CTranscriptView::SelectAllText()
{
    selectAll();
}

std::unique_ptr<QMenu> CTranscriptView::BuildContextMenu()
{
    // No parent: the menu must not be deleted under its owner with the view.
    auto menu = std::make_unique<QMenu>();
    connect(menu->addAction(tr("&Copy")), &QAction::triggered, this, &CTranscriptView::CopySelection);
    connect(menu->addAction(tr("&Select All")), &QAction::triggered, this, &CTranscriptView::SelectAllText);
    return menu;
}

void CTranscriptView::mouseReleaseEvent(QMouseEvent* event)
{
    // The menu is offered only in a transcript the operator is working in, one
    // that has the keyboard focus.
    if (event->button() != Qt::RightButton || !hasFocus()) {
        QTextEdit::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    const std::unique_ptr<QMenu> menu = BuildContextMenu();
    if (onMenuAboutToShow)
        onMenuAboutToShow(*menu);
    menu->exec(event->globalPosition().toPoint());
}

} // namespace kivora::chat
