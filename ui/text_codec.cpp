#include "ui/text_codec.h"

#include "engine/dbf/codepage.h"

namespace abonex {

QString fromAnsi(std::string_view ansi) {
    const std::string utf8 = ansiToUtf8(ansi);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toAnsi(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    if (auto ansi = utf8ToAnsi(std::string_view(utf8.constData(), utf8.size()))) return *ansi;
    // Some character has no place in the page: convert one character at a time.
    std::string result;
    for (qsizetype i = 0; i < text.size();) {
        const char32_t code = text.at(i).isHighSurrogate() && i + 1 < text.size()
                                  ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1))
                                  : text.at(i).unicode();
        const qsizetype width = code > 0xFFFF ? 2 : 1;
        const QByteArray one = text.mid(i, width).toUtf8();
        auto ansi = utf8ToAnsi(std::string_view(one.constData(), one.size()));
        result += ansi ? *ansi : std::string("?");
        i += width;
    }
    return result;
}

}  // namespace abonex
