#pragma once

#include <QColor>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

class QMenu;
class QMouseEvent;

namespace kivora::chat {

// Who a transcript line comes from, as far as its text tells.
enum class LineKind { Own, NoColon, Notice, Visitor };

struct LineStyle {
    LineKind kind;
    QColor color;
    // The service's "a user has joined" notice, which the chat window reacts to.
    bool joinNotice;
};

inline const QColor kOwnLineColor{185, 0, 0};
inline const QColor kNoticeLineColor{0, 128, 0};
inline const QColor kVisitorLineColor{0, 0, 255};
// The operator's lines not yet back from the service, and those it never took.
inline const QColor kPendingLineColor{128, 128, 128};

// The kind and colour of a line of the service's 8-bit text, for the operator
// logged in as loginId. Letter case is ignored (ASCII only). A line that begins
// with the login id is the operator's own, even when it is a visitor whose name
// merely starts the same way; an empty login id never matches.
LineStyle ClassifyLine(std::string_view line, std::string_view loginId);

// The read-only chat transcript. Lines are appended in their speaker's colour
// without taking the keyboard from the operator or moving their selection, the
// view follows the newest line, and the text is capped so a window open all day
// stays small and fast.
class CTranscriptView final : public QTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTranscriptView)
public:
    // Past this many characters an append also drops the oldest kTrimCount.
    static constexpr int kTrimThreshold = 125'000;
    static constexpr int kTrimCount = 50'000;
    // A line shows at most this many characters, then a mark that it was cut: one
    // paragraph of a megabyte would take the window a minute to lay out.
    static constexpr qsizetype kMaxLineChars = 10'000;

    explicit CTranscriptView(QWidget* parent = nullptr);

    // Appends the text as given, in color; "\r\n" (or a lone CR or LF) ends a
    // paragraph. Web and mail addresses in it are shown as links, which do nothing
    // when clicked.
    void AppendLine(const QString& line, const QColor& color);

    // Lines shown greyed after all the others until the next call: the operator's
    // lines on their way. Appended lines go before them.
    void SetPending(const std::vector<QString>& lines);

    // Lines appended while a Batch lives are laid out, and move the view, once
    // when it ends: a reply that brings a chat's whole history is shown in one
    // step instead of one layout pass and one queued scroll-bar update per line.
    class Batch {
    public:
        explicit Batch(CTranscriptView& view);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        QTextCursor cursor;
    };

    // Characters of plain text held (paragraph breaks count one each).
    int CharacterCount() const;

    void CopySelection();
    void SelectAllText();

    // The Copy / Select All menu, not yet shown; the caller owns it.
    std::unique_ptr<QMenu> BuildContextMenu();
    // Called with the menu just before a right-click shows it.
    std::function<void(QMenu&)> onMenuAboutToShow;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void RemovePendingText();
    void WritePending();
    // Inserts text at the cursor, in color, "\r\n" (or a lone CR or LF) ending a
    // paragraph.
    void InsertText(QTextCursor& cursor, QStringView text, const QColor& color);

    // Every line's font; a line adds only its colour.
    QTextCharFormat lineFormat;
    std::vector<QString> pending;
    // Where the pending lines start in the document, or -1 when none are shown.
    int pendingStart = -1;
    // Whether the view keeps to the bottom when the scroll range changes. The
    // height also changes without an append (first show, resize, a layout
    // finished later), and the newest line must stay in sight through that until
    // the operator scrolls away.
    bool followEnd = true;
};

} // namespace kivora::chat
