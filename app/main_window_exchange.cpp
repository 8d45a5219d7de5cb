// TFMain's exchange with address books and phones: the rows shown (or every favourite) written
// as a vCard file, the cards of a vCard file added to the favourites (directory/vcard.h does the
// format); and tables whose text is in another code page than the directory's, which the window
// shows but does not change, so that no file ever holds text in two pages.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <fstream>
#include <iterator>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/main_window.h"
#include "app/window_language.h"
#include "directory/contact_rows.h"
#include "directory/vcard.h"
#include "directory/vcard_uid.h"
#include "engine/dbf/codepage.h"
#include "ui/local_path.h"
#include "ui/message_box.h"
#include "ui/open_file_dialog.h"
#include "ui/text_codec.h"

namespace abonex {

namespace {

const QString kVcardFilter = TFMain::tr("Визитные карточки vCard (*.vcf *.vcard)");
const QString kVcardSuffix = QStringLiteral("vcf");
constexpr int kRowsPerRead = 500;

VcardStyle styleOf(DirectoryMode mode) {
    switch (mode) {
        case DirectoryMode::Persons:
            return VcardStyle::Person;
        case DirectoryMode::Organisations:
            return VcardStyle::Organisation;
        case DirectoryMode::Favourites:
            break;
    }
    return VcardStyle::Plain;
}

// A file the directory or another dBASE program keeps: never written over by an export.
bool isTableFile(const QString& path) {
    static const QStringList kinds = {QStringLiteral("dbf"), QStringLiteral("mdx"),
                                      QStringLiteral("dbt"), QStringLiteral("fpt"),
                                      QStringLiteral("ndx")};
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot >= 0 && kinds.contains(path.mid(dot + 1).toLower());
}

QString pageNumber(CodePage page) {
    return QString::fromLatin1(codePageName(page).substr(2));
}

}  // namespace

void TFMain::buildExchangeMenuItems(QMenu* file) {
    mnuExportVcard = file->addAction(tr("Экспорт показанных записей в vCard..."));
    mnuExportVcard->setObjectName(QStringLiteral("mnuExportVcard"));
    connect(mnuExportVcard, &QAction::triggered, this, &TFMain::mnuExportVcardClick);
    mnuExportFavorVcard = file->addAction(tr("Экспорт избранного в vCard..."));
    mnuExportFavorVcard->setObjectName(QStringLiteral("mnuExportFavorVcard"));
    connect(mnuExportFavorVcard, &QAction::triggered, this, &TFMain::mnuExportFavorVcardClick);
    mnuImportVcard = file->addAction(tr("Импорт из vCard в избранное..."));
    mnuImportVcard->setObjectName(QStringLiteral("mnuImportVcard"));
    connect(mnuImportVcard, &QAction::triggered, this, &TFMain::mnuImportVcardClick);
    file->addSeparator();
    connect(file, &QMenu::aboutToShow, this, [this] {
        mnuExportFavorVcard->setEnabled(DSFavor.Active());
        mnuImportVcard->setEnabled(DSFavor.Active() && !DSFavor.ReadOnly());
    });
}

void TFMain::mnuExportVcardClick() {
    exportVcards(gridDataSet(), m_mode, tr("Экспорт показанных записей в vCard"));
}

void TFMain::mnuExportFavorVcardClick() {
    if (!DSFavor.Active()) return;
    exportVcards(DSFavor, DirectoryMode::Favourites, tr("Экспорт избранного в vCard"));
}

void TFMain::exportVcards(TEngineDataSet& dataSet, DirectoryMode mode, const QString& caption) {
    if (!dataSet.Active()) return;
    const QString path = OpenFileDialog::chooseToSave(this, caption, kVcardFilter, kVcardSuffix);
    if (path.isEmpty()) return;
    if (isTableFile(path)) {
        MessageBox::error(this, QStringLiteral("Error"),
                          path + tr(": это файл таблицы; карточки записываются в файл "
                                    "vCard (.vcf)"));
        return;
    }
    userOperation([&] {
        // The cards are made whole before the file is touched: a failed read leaves no half file.
        std::string cards;
        VcardUids uids;
        int count = 0;
        for (int after = 0;;) {
            const std::vector<DataSetRow> rows = dataSet.fetchRows(after, kRowsPerRead);
            for (const DataSetRow& row : rows) {
                Contact contact;
                std::string* texts[4] = {&contact.name, &contact.phone1, &contact.phone2,
                                         &contact.comment};
                for (size_t c = 0; c < 4 && c < row.values.size(); ++c) {
                    *texts[c] = ansiToUtf8(row.values[c]);
                }
                if (row.values.size() >= 2) {
                    contact.uid = uids.next(row.values[0], row.values[1], styleOf(mode));
                }
                cards += writeVcard(contact, styleOf(mode));
                ++count;
                after = row.recordNumber;
            }
            if (rows.size() < static_cast<size_t>(kRowsPerRead)) break;
        }
        std::ofstream out(localPath(path), std::ios::binary | std::ios::trunc);
        out << cards;
        out.close();
        if (!out) {
            MessageBox::error(this, QStringLiteral("Error"),
                              tr("Не удалось записать файл ") + path);
            return;
        }
        MessageBox::information(this, caption, tr("Записано карточек: ") + QString::number(count));
    });
}

void TFMain::mnuImportVcardClick() {
    if (!DSFavor.Active() || DSFavor.ReadOnly()) return;
    const QString caption = tr("Импорт из vCard в избранное");
    const QString path = OpenFileDialog::choose(this, caption, kVcardFilter, kVcardSuffix);
    if (path.isEmpty()) return;
    userOperation([&] {
        std::ifstream in(localPath(path), std::ios::binary);
        if (!in) {
            MessageBox::error(this, QStringLiteral("Error"),
                              tr("Не удалось прочитать файл ") + path);
            return;
        }
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        const VcardImport cards = readVcards(text, windowMessageLanguage());
        if (cards.error) {
            MessageBox::error(this, QStringLiteral("Error"),
                              path + QStringLiteral(": ") + QString::fromStdString(*cards.error) +
                                  QStringLiteral("\r\n") + tr("Ничего не добавлено."));
            return;
        }
        std::vector<TableColumn> columns;
        for (int c = 0; c < 4; ++c) {
            columns.push_back({DSFavor.Fields(c).FieldName(), DSFavor.Fields(c).Size()});
        }
        // Every card is checked before the first is added; the rows hold the table's own bytes.
        const CodePage page = DSFavor.tableCodePage();
        const ContactRows rows =
            contactRowsForTable(cards.contacts, page, columns, false, windowMessageLanguage());
        if (rows.error) {
            MessageBox::error(this, QStringLiteral("Error"),
                              path + QStringLiteral(": ") + QString::fromStdString(*rows.error) +
                                  QStringLiteral("\r\n") + tr("Ничего не добавлено."));
            return;
        }
        for (const std::vector<std::string>& row : rows.rows) {
            DSFavor.Append();
            for (size_t c = 0; c < row.size(); ++c) {
                DSFavor.Fields(static_cast<int>(c)).SetStoredText(row[c]);
            }
            DSFavor.Post();
        }
        QString told = tr("Добавлено в избранное: ") + QString::number(rows.rows.size());
        std::vector<std::string> notes = cards.notes;
        notes.insert(notes.end(), rows.notes.begin(), rows.notes.end());
        if (!rows.replaced.empty()) {
            notes.push_back(describeNearFormsIn(windowMessageLanguage(), rows.replaced, page));
        }
        for (const std::string& note : notes) {
            told += QStringLiteral("\r\n") + QString::fromStdString(note);
        }
        MessageBox::information(this, caption, told);
    });
}

void TFMain::reopenForeignPageReadOnly(TEngineDataSet& dataSet) {
    if (!dataSet.Active() || dataSet.ReadOnly() || dataSet.tableCodePage() == CodePage::Cp866) {
        return;
    }
    dataSet.Close();
    dataSet.setReadOnly(true);
    dataSet.Open();
}

void TFMain::showCodePageNote() {
    TEngineDataSet* dataSet = m_model->dataSet();
    const bool foreign = dataSet != nullptr && dataSet->Active() && dataSet->ReadOnly() &&
                         dataSet->tableCodePage() != CodePage::Cp866;
    if (foreign) {
        m_codePageNote->setText(tr("Таблица в кодовой странице ") +
                                pageNumber(dataSet->tableCodePage()) +
                                tr(", не 866: только просмотр"));
    }
    m_codePageNote->setVisible(foreign);
}

}  // namespace abonex
