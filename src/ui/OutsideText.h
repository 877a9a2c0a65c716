#pragma once

// Everything the console shows that comes from outside - the service's replies,
// whatever a visitor typed or their browser sent - goes through here on its way to
// the screen: plain text always, bounded in length, with no bidirectional
// overrides, and links only to the web or a bare mail address.

#include <QString>
#include <QUrl>

#include <string_view>

namespace kivora::ui {

// A label, a list cell, a combo entry, a title or a tooltip shows at most this many
// characters of outside text; a transcript line or a message box at most
// kLineChars; a whole document (the operator messages) at most kDocumentChars.
inline constexpr qsizetype kFieldChars = 1'000;
inline constexpr qsizetype kLineChars = 10'000;
inline constexpr qsizetype kDocumentChars = 200'000;

// One: line breaks and other control characters become blanks, for places that
// show one line. Many: line breaks are kept (CR LF and CR become LF).
enum class TextLines { One, Many };

// What a text cut short ends with.
inline const QString kCutMark = QStringLiteral("\u2026");
inline const QString kLineCutMark = QStringLiteral("\u2026 [line too long, cut]");

// Service bytes for the screen: decoded by the one conversion of service text,
// bidirectional override and isolate characters dropped, and cut after maxChars
// characters with a mark. A huge field is cut before it is decoded.
QString OutsideText(std::string_view bytes, qsizetype maxChars = kFieldChars, TextLines lines = TextLines::One);

// The same for text already decoded.
QString Neutralised(QString text, qsizetype maxChars = kFieldChars, TextLines lines = TextLines::One);

// Plain text as rich text that shows it literally, for the places that guess
// whether a text is markup (tooltips, desktop notifications): nothing in it is
// ever taken for a tag or loads a resource.
QString AsLiteralRichText(const QString& plain);

// Text for a window title, where "[*]" would be taken for the modified mark.
QString AsWindowTitle(const QString& plain);

// The address a link shown from outside may open: an http or https URL (a bare
// host name, as in "www.example.com/page", counts as http). Anything else -
// another scheme, blanks or control characters, an overlong text - gives an
// empty QUrl: the text is then shown with no link behaviour.
QUrl WebLinkTarget(const QString& text);

// "mailto:" with the address alone, or an empty QUrl when the text is not a bare
// address (a query part, several addresses, blanks, other schemes).
QUrl MailLinkTarget(const QString& address);

} // namespace kivora::ui
