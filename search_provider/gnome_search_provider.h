// GnomeSearchProvider: the directory as a search provider of GNOME Shell's overview, the D-Bus
// interface org.gnome.Shell.SearchProvider2 (the Shell finds it through the .ini file under
// /usr/share/gnome-shell/search-providers/).
//
// A result's meta holds "id", "name" ("Петров П.П. — 53-87-52"), "gicon" (the program's icon),
// "description" (which variant found it, when the search as typed found nothing) and, when the
// window cannot be opened, "clipboardText": the Shell then copies the number itself on
// activation, which it may do on a desktop where a background program may not.
#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace abonex {

class DesktopProvider;

class GnomeSearchProvider : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell.SearchProvider2")
  public:
    explicit GnomeSearchProvider(DesktopProvider& provider, QObject* parent = nullptr);

  public slots:
    QStringList GetInitialResultSet(const QStringList& terms);
    // The Shell narrows a search as more is typed; the directory searches again, since a
    // variant may find rows the earlier search did not.
    QStringList GetSubsearchResultSet(const QStringList& previousResults, const QStringList& terms);
    QList<QVariantMap> GetResultMetas(const QStringList& identifiers);
    void ActivateResult(const QString& identifier, const QStringList& terms, uint timestamp);
    void LaunchSearch(const QStringList& terms, uint timestamp);

  private:
    DesktopProvider& m_provider;
};

}  // namespace abonex
