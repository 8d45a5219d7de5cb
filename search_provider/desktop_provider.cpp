#include "search_provider/desktop_provider.h"

#include <cstdio>

#include "search_provider/desktop_actions.h"

namespace abonex {

DesktopProvider::DesktopProvider(DesktopSearch& search, DesktopActions& actions,
                                 int idleMilliseconds, QObject* parent)
    : QObject(parent), m_search(search), m_actions(actions) {
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleMilliseconds);
    connect(&m_idle, &QTimer::timeout, this, &DesktopProvider::idle);
    touch();
}

void DesktopProvider::touch() {
    if (m_idle.interval() > 0) m_idle.start();
}

std::vector<DesktopRow> DesktopProvider::find(const QStringList& words) {
    touch();
    std::vector<std::string> texts;
    for (const QString& word : words) texts.push_back(word.toStdString());
    std::vector<DesktopRow> rows = m_search.find(texts);
    if (rows.empty() && !m_search.lastError().empty()) {
        // The desktop shows no rows; the reason goes to the session's log.
        std::fprintf(stderr, "abonex-search-provider: %s\n", m_search.lastError().c_str());
    }
    return rows;
}

std::optional<DesktopRow> DesktopProvider::row(const QString& id) {
    touch();
    return m_search.row(id.toStdString());
}

void DesktopProvider::activate(const QString& id) {
    touch();
    const std::optional<DesktopRow> found = m_search.row(id.toStdString());
    if (!found) return;
    const QString table = QString::fromStdString(m_search.tablePath(found->mode));
    if (m_actions.openWindow(table, found->record)) return;
    copyNumber(id);
}

void DesktopProvider::copyNumber(const QString& id) {
    touch();
    const std::optional<DesktopRow> found = m_search.row(id.toStdString());
    if (!found || found->phone.empty()) return;
    if (!m_actions.copyText(QString::fromStdString(found->phone))) {
        std::fprintf(stderr, "abonex-search-provider: the number %s could not be copied\n",
                     found->phone.c_str());
    }
}

void DesktopProvider::launch() {
    touch();
    m_actions.openWindow(QString::fromStdString(m_search.tablePath(DirectoryMode::Persons)), 0);
}

bool DesktopProvider::windowAvailable() const {
    return m_actions.windowAvailable();
}

}  // namespace abonex
