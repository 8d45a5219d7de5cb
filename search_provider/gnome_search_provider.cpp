#include "search_provider/gnome_search_provider.h"

#include "search_provider/desktop_provider.h"

namespace abonex {

GnomeSearchProvider::GnomeSearchProvider(DesktopProvider& provider, QObject* parent)
    : QObject(parent), m_provider(provider) {}

QStringList GnomeSearchProvider::GetInitialResultSet(const QStringList& terms) {
    QStringList ids;
    for (const DesktopRow& row : m_provider.find(terms)) ids << QString::fromStdString(row.id);
    return ids;
}

QStringList GnomeSearchProvider::GetSubsearchResultSet(const QStringList& /*previousResults*/,
                                                       const QStringList& terms) {
    return GetInitialResultSet(terms);
}

QList<QVariantMap> GnomeSearchProvider::GetResultMetas(const QStringList& identifiers) {
    QList<QVariantMap> metas;
    const bool window = m_provider.windowAvailable();
    for (const QString& id : identifiers) {
        const std::optional<DesktopRow> row = m_provider.row(id);
        if (!row) continue;
        QVariantMap meta;
        meta.insert(QStringLiteral("id"), id);
        meta.insert(QStringLiteral("name"), QString::fromStdString(row->title()));
        meta.insert(QStringLiteral("gicon"), QStringLiteral("abonex"));
        if (!row->note.empty()) {
            meta.insert(QStringLiteral("description"), QString::fromStdString(row->note));
        }
        if (!window && !row->phone.empty()) {
            meta.insert(QStringLiteral("clipboardText"), QString::fromStdString(row->phone));
        }
        metas << meta;
    }
    return metas;
}

void GnomeSearchProvider::ActivateResult(const QString& identifier, const QStringList& /*terms*/,
                                         uint /*timestamp*/) {
    m_provider.activate(identifier);
}

void GnomeSearchProvider::LaunchSearch(const QStringList& /*terms*/, uint /*timestamp*/) {
    m_provider.launch();
}

}  // namespace abonex
