// The text of a PDF file as poppler's pdftotext reads it back (pages separated by form feeds),
// for the tests of what is printed; pdfTextReader() is empty where the tool is not installed.
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace abonex::test {

inline QString pdfTextReader() {
    return QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
}

// The file's text in reading order (no layout), or a null string when it could not be read.
inline QString pdfText(const QString& path) {
    QProcess reader;
    reader.start(pdfTextReader(),
                 {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!reader.waitForFinished(30000) || reader.exitCode() != 0) return QString();
    return QString::fromUtf8(reader.readAllStandardOutput());
}

// Where `texts` are found in `text`, one after another; the index of the first not found after
// the one before it, or -1 when every one was found in order.
inline int firstOutOfOrder(const QString& text, const QStringList& texts) {
    qsizetype from = 0;
    for (int i = 0; i < texts.size(); ++i) {
        const qsizetype at = text.indexOf(texts[i], from);
        if (at < 0) return i;
        from = at + texts[i].size();
    }
    return -1;
}

}  // namespace abonex::test
