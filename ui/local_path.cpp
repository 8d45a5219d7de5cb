#include "ui/local_path.h"

#include <QFile>

namespace abonex {

std::string localPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fromLocalPath(std::string_view path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace abonex
