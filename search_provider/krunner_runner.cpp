#include "search_provider/krunner_runner.h"

#include <QDBusMetaType>

#include "search_provider/desktop_provider.h"

namespace abonex {

QDBusArgument& operator<<(QDBusArgument& argument, const RemoteAction& action) {
    argument.beginStructure();
    argument << action.id << action.text << action.iconName;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RemoteAction& action) {
    argument.beginStructure();
    argument >> action.id >> action.text >> action.iconName;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const RemoteMatch& match) {
    argument.beginStructure();
    argument << match.id << match.text << match.iconName << match.type << match.relevance
             << match.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RemoteMatch& match) {
    argument.beginStructure();
    argument >> match.id >> match.text >> match.iconName >> match.type >> match.relevance >>
        match.properties;
    argument.endStructure();
    return argument;
}

KRunnerRunner::KRunnerRunner(DesktopProvider& provider, QObject* parent)
    : QObject(parent), m_provider(provider) {}

void KRunnerRunner::registerTypes() {
    qDBusRegisterMetaType<RemoteAction>();
    qDBusRegisterMetaType<RemoteActions>();
    qDBusRegisterMetaType<RemoteMatch>();
    qDBusRegisterMetaType<RemoteMatches>();
}

RemoteActions KRunnerRunner::Actions() {
    return {{QString::fromLatin1(kCopyAction), QStringLiteral("Копировать номер"),
             QStringLiteral("edit-copy")}};
}

RemoteMatches KRunnerRunner::Match(const QString& query) {
    RemoteMatches matches;
    QStringList words;
    for (const std::string& word : queryWords(query.toStdString())) {
        words << QString::fromStdString(word);
    }
    const std::vector<DesktopRow> rows = m_provider.find(words);
    for (size_t i = 0; i < rows.size(); ++i) {
        RemoteMatch match;
        match.id = QString::fromStdString(rows[i].id);
        match.text = QString::fromStdString(rows[i].title());
        match.iconName = QStringLiteral("abonex");
        match.type = kPossibleMatch;
        // In the directory's order: the first row first.
        match.relevance = 1.0 - 0.01 * static_cast<double>(i);
        if (!rows[i].note.empty()) {
            match.properties.insert(QStringLiteral("subtext"),
                                    QString::fromStdString(rows[i].note));
        }
        matches << match;
    }
    return matches;
}

void KRunnerRunner::Run(const QString& matchId, const QString& actionId) {
    if (actionId == QLatin1String(kCopyAction)) {
        m_provider.copyNumber(matchId);
    } else {
        m_provider.activate(matchId);
    }
}

void KRunnerRunner::Teardown() {}

}  // namespace abonex
