// TFMain's handlers of its data sets' opening and closing: the folder each table opens from, and
// the mode buttons that follow which tables are open.
#include <QAction>
#include <QToolButton>

#include "app/main_window.h"
#include "ui/local_path.h"

namespace abonex {

void TFMain::DSetBeforeOpen(TEngineDataSet& dataSet) {
    dataSet.setDatabaseName(localPath(m_databaseFolder));
}

void TFMain::DSetAfterOpen(TEngineDataSet&) {
    btnUser->setEnabled(true);
}

void TFMain::DSOrgAfterOpen(TEngineDataSet&) {
    btnOrg->setEnabled(true);
}

void TFMain::DSFavorAfterOpen(TEngineDataSet&) {
    btnFavorit->setEnabled(true);
    if (m_mode != DirectoryMode::Favourites && !m_readOnly) addKont->setEnabled(true);
}

void TFMain::DSOrgAfterClose(TEngineDataSet&) {
    btnOrg->setEnabled(false);
    if (m_returnToPersonsOnClose) btnUserClick(btnUser);
}

void TFMain::DSFavorAfterClose(TEngineDataSet&) {
    btnFavorit->setEnabled(false);
    addKont->setEnabled(false);
    if (m_returnToPersonsOnClose) btnUserClick(btnUser);
}

}  // namespace abonex
