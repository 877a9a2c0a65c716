#include "OutsideText.h"

#include "net/Text.h"

#include <QTextDocument>

namespace kivora::ui {

namespace {

// A web address longer than this is no link a visitor's browser sent us honestly.
constexpr qsizetype kLinkChars = 4096;
constexpr qsizetype kMailChars = 254;
// Bytes of a UTF-8 character at most.
constexpr std::size_t kMaxCharBytes = 4;

// Characters that reorder the text around them: a page named "/x<RLO>gpj.exe"
// would read as "/xexe.jpg".
bool IsBidiControl(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Invisible characters, and those that change what the text around them looks
// like, have no place in an address the operator is to trust.
bool HiddenOrBlank(QChar c)
{
    const QChar::Category category = c.category();
    return c.isSpace() || category == QChar::Other_Control || category == QChar::Other_Format ||
           category == QChar::Other_NotAssigned || category == QChar::Other_PrivateUse;
}

bool IsAsciiAlnum(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

// "www.example.com", "www.example.com:8080/page?x": a host name with a dot, an
// optional port, then anything.
bool IsBareHostLink(QStringView text)
{
    qsizetype end = 0;
    while (end < text.size() && text[end] != u'/' && text[end] != u'?' && text[end] != u'#')
        ++end;
    const QStringView authority = text.first(end);
    const qsizetype colon = authority.indexOf(u':');
    const QStringView host = colon < 0 ? authority : authority.first(colon);
    if (host.isEmpty() || !host.contains(u'.') || host.front() == u'.' || host.front() == u'-')
        return false;
    for (const QChar c : host) {
        if (!IsAsciiAlnum(c) && c != u'.' && c != u'-' && !c.isLetter())
            return false;
    }
    if (colon >= 0) {
        const QStringView port = authority.sliced(colon + 1);
        if (port.isEmpty())
            return false;
        for (const QChar c : port) {
            if (!c.isDigit() || c.unicode() > '9')
                return false;
        }
    }
    return true;
}

bool IsMailLocalChar(QChar c)
{
    return IsAsciiAlnum(c) || QStringView(u".!$&'*+=^_`{|}~-").contains(c);
}

bool IsMailDomainChar(QChar c)
{
    return IsAsciiAlnum(c) || c == u'.' || c == u'-' || (c.unicode() >= 0x80 && c.isLetterOrNumber());
}

} // namespace

QString OutsideText(std::string_view bytes, qsizetype maxChars, TextLines lines)
{
    // A field of a megabyte is cut before it is decoded; the cut falls before the
    // character it would split, so a valid text stays valid.
    const std::size_t maxBytes = static_cast<std::size_t>(maxChars) * kMaxCharBytes + kMaxCharBytes;
    // A cut line keeps its line end, or the next line would run on in its paragraph.
    const bool endsLine =
        lines == TextLines::Many && !bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r');
    bool cut = false;
    if (bytes.size() > maxBytes) {
        std::size_t end = maxBytes;
        for (std::size_t back = 0; back + 1 < kMaxCharBytes && end > 0 &&
                                   (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80;
             ++back)
            --end;
        bytes = bytes.substr(0, end);
        cut = true;
    }
    QString text = Neutralised(net::FromServerText(bytes), maxChars, lines);
    if (!cut)
        return text;
    if (endsLine && text.endsWith(u'\n'))
        text.chop(1);
    if (!text.endsWith(lines == TextLines::One ? kCutMark : kLineCutMark))
        text += lines == TextLines::One ? kCutMark : kLineCutMark;
    if (endsLine)
        text += u'\n';
    return text;
}

QString Neutralised(QString text, qsizetype maxChars, TextLines lines)
{
    const bool many = lines == TextLines::Many;
    // Most texts need nothing done: looked at once, returned as they are.
    bool clean = text.size() <= maxChars;
    for (qsizetype i = 0; clean && i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (IsBidiControl(c) || c < 0x20 || c == 0x7F)
            clean = many && (c == u'\n' || c == u'\t');
    }
    if (clean)
        return text;

    QString out;
    out.reserve(std::min(text.size(), maxChars) + 1);
    bool cut = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (out.size() >= maxChars) {
            cut = true;
            break;
        }
        const char16_t c = text[i].unicode();
        if (IsBidiControl(c))
            continue;
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += many ? u'\n' : u' ';
        } else if (c == u'\n' || c == u'\t') {
            out += many ? c : u' ';
        } else if (c < 0x20 || c == 0x7F) {
            out += u' ';
        } else {
            out += text[i];
        }
    }
    if (cut) {
        // Never leave half of a surrogate pair before the mark.
        if (!out.isEmpty() && out.back().isHighSurrogate())
            out.chop(1);
        out += many ? kLineCutMark : kCutMark;
        // A cut line keeps its line end, or the next line would run on in its paragraph.
        if (many && (text.back() == u'\n' || text.back() == u'\r'))
            out += u'\n';
    }
    return out;
}

QString AsLiteralRichText(const QString& plain)
{
    if (plain.isEmpty())
        return plain;
    return Qt::convertFromPlainText(plain, Qt::WhiteSpacePre);
}

QString AsWindowTitle(const QString& plain)
{
    QString title = plain;
    // A word joiner inside keeps it from reading as the placeholder; it shows nothing.
    title.replace(QStringLiteral("[*]"), QStringLiteral("[\u2060*]"));
    return title;
}

QUrl WebLinkTarget(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > kLinkChars)
        return {};
    for (const QChar c : trimmed) {
        if (HiddenOrBlank(c))
            return {};
    }
    QUrl url;
    if (trimmed.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
        trimmed.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        url = QUrl(trimmed, QUrl::StrictMode);
    else if (IsBareHostLink(trimmed))
        url = QUrl(QStringLiteral("http://") + trimmed, QUrl::StrictMode);
    else
        return {};
    const QString scheme = url.scheme().toLower();
    // "http://bank.example@elsewhere.example/" names another host than it seems to.
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty() ||
        !url.userInfo().isEmpty())
        return {};
    return url;
}

QUrl MailLinkTarget(const QString& address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > kMailChars)
        return {};
    const qsizetype at = trimmed.indexOf(u'@');
    if (at <= 0 || at != trimmed.lastIndexOf(u'@') || at + 1 == trimmed.size())
        return {};
    const QStringView local = QStringView(trimmed).first(at);
    const QStringView domain = QStringView(trimmed).sliced(at + 1);
    for (const QChar c : local) {
        if (!IsMailLocalChar(c))
            return {};
    }
    if (!domain.contains(u'.') || domain.front() == u'.' || domain.back() == u'.')
        return {};
    for (const QChar c : domain) {
        if (!IsMailDomainChar(c))
            return {};
    }
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(trimmed);
    return url;
}

} // namespace kivora::ui
