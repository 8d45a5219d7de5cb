// KRunnerRunner: the directory as a runner of KDE's KRunner, the D-Bus interface
// org.kde.krunner1 (KRunner finds it through the desktop file under
// /usr/share/krunner/dbusplugins/).
//
// A match is (id, "Петров П.П. — 53-87-52", icon, type, relevance, properties); the property
// "subtext" says which variant found it when the search as typed found nothing. Running a
// match opens the window on it (or copies the number when the window cannot be opened); the
// action "copy" copies the number.
#pragma once

#include <QDBusArgument>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace abonex {

struct RemoteAction {
    QString id;
    QString text;
    QString iconName;
};

struct RemoteMatch {
    QString id;
    QString text;
    QString iconName;
    int type = 0;  // KRunner's match kinds: 30 is a possible match
    double relevance = 0;
    QVariantMap properties;
};

using RemoteActions = QList<RemoteAction>;
using RemoteMatches = QList<RemoteMatch>;

QDBusArgument& operator<<(QDBusArgument& argument, const RemoteAction& action);
const QDBusArgument& operator>>(const QDBusArgument& argument, RemoteAction& action);
QDBusArgument& operator<<(QDBusArgument& argument, const RemoteMatch& match);
const QDBusArgument& operator>>(const QDBusArgument& argument, RemoteMatch& match);

class DesktopProvider;

class KRunnerRunner : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.krunner1")
  public:
    static constexpr int kPossibleMatch = 30;
    static constexpr const char* kCopyAction = "copy";

    explicit KRunnerRunner(DesktopProvider& provider, QObject* parent = nullptr);
    // The D-Bus types of the matches and actions; once, before the object is registered.
    static void registerTypes();

  public slots:
    abonex::RemoteActions Actions();
    abonex::RemoteMatches Match(const QString& query);
    void Run(const QString& matchId, const QString& actionId);
    void Teardown();

  private:
    DesktopProvider& m_provider;
};

}  // namespace abonex

Q_DECLARE_METATYPE(abonex::RemoteAction)
Q_DECLARE_METATYPE(abonex::RemoteMatch)
