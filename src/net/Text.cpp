#include "Text.h"

#include <QStringDecoder>

namespace kivora::net {

QString FromServerText(std::string_view text)
{
    const auto size = static_cast<qsizetype>(text.size());
    bool ascii = true;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(text.data(), size);
    QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(QByteArrayView(text.data(), size));
    if (decoder.hasError())
        return QString::fromLatin1(text.data(), size);
    return decoded;
}

std::string ToServerText(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

} // namespace kivora::net
