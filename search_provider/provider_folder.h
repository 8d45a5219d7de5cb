// Which directory the desktop search reads: the folder named by ABONEX_DIRECTORY for one run,
// else the one named by "Folder" in group [DesktopSearch] of the program's per-user settings
// file (~/.config/abonex/abonex.ini), else the program's own folder, which the package shares
// among its users (/opt/abonex).
#pragma once

#include <QString>

namespace abonex {

// The folder, ending in "/". `programFolder` is the folder this program lies in.
QString desktopSearchFolder(const QString& programFolder);

}  // namespace abonex
