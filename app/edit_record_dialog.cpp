#include "app/edit_record_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <stdexcept>

#include "app/application.h"
#include "directory/message_language.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/near_form.h"

namespace abonex {

namespace {

constexpr int kClientWidth = 213;
constexpr int kClientHeight = 222;
constexpr int kWideEditor = 197;
constexpr int kPhoneEditor = 121;
constexpr int kCommentHeight = 61;
constexpr int kButtonWidth = 107;
constexpr int kButtonHeight = 36;

// The comment is one table field: line breaks typed into the memo are stored as CR LF.
QString memoText(const QString& stored) {
    QString text = stored;
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString storedText(const QString& memo) {
    QString text = memo;
    return text.replace(u'\n', QStringLiteral("\r\n"));
}

// A field's text as the table holds it, straight from its code page (not through 1251, which
// lacks some characters of the others, such as 866's box drawing).
QString shownText(const TEngineDataSet& dataSet, const TField& field) {
    const std::string utf8 =
        pageToUtf8(dataSet.tableCodePage(), dataSet.storedFieldText(field.Index()));
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// What the user typed as the bytes to store: in the table's page, a character the page lacks
// in its nearest form. A character without one, or a text its nearest forms make longer than
// the field, is refused with a message that names the field.
std::string typedText(const QString& text, const TField& field, CodePage page) {
    const QByteArray utf8 = text.toUtf8();
    const std::string_view typed(utf8.constData(), static_cast<size_t>(utf8.size()));
    Utf8Fault fault;
    std::optional<std::string> stored = utf8ToPageNear(page, typed, &fault);
    if (!stored) {
        throw std::runtime_error("Поле " + field.FieldName() + " " +
                                 describeFaultIn(MessageLanguage::Russian, typed, fault, page));
    }
    if (static_cast<int>(stored->size()) > field.Size()) {
        throw std::runtime_error(
            "Поле " + field.FieldName() + " вмещает " + std::to_string(field.Size()) +
            " знаков; текст, в котором символы заменены ближайшими, занимает " +
            std::to_string(stored->size()));
    }
    return *stored;
}

}  // namespace

TFEditRecord::TFEditRecord(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFEditRecord"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Редактирование записи"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(1);

    auto addEditor = [&](QLabel* label, QWidget* editor, int width) {
        layout->addWidget(label);
        editor->setFixedWidth(width);
        layout->addWidget(editor);
        layout->addSpacing(4);
    };

    Label1 = new QLabel(QStringLiteral("Фамилия И.О."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    dbeName = new QLineEdit(this);
    dbeName->setObjectName(QStringLiteral("dbeName"));
    Label1->setBuddy(dbeName);
    addEditor(Label1, dbeName, kWideEditor);

    dbePhone1 = new QLineEdit(this);
    dbePhone1->setObjectName(QStringLiteral("dbePhone1"));
    addEditor(new QLabel(QStringLiteral("Телефон 1."), this), dbePhone1, kPhoneEditor);

    dbePhone2 = new QLineEdit(this);
    dbePhone2->setObjectName(QStringLiteral("dbePhone2"));
    addEditor(new QLabel(QStringLiteral("Телефон 2."), this), dbePhone2, kPhoneEditor);

    dbmComment = new QPlainTextEdit(this);
    dbmComment->setObjectName(QStringLiteral("dbmComment"));
    dbmComment->setFixedHeight(kCommentHeight);
    dbmComment->setTabChangesFocus(true);
    addEditor(new QLabel(QStringLiteral("Комментарии"), this), dbmComment, kWideEditor);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    bbPost = new QPushButton(QStringLiteral("Применить"), this);
    bbPost->setObjectName(QStringLiteral("bbPost"));
    bbPost->setDefault(true);
    bbPost->setAutoDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Отмена"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setAutoDefault(false);
    for (QPushButton* button : {bbPost, cancelButton}) {
        button->setFixedSize(kButtonWidth, kButtonHeight);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    layout->setAlignment(buttons, Qt::AlignHCenter);

    connect(bbPost, &QPushButton::clicked, this, &TFEditRecord::apply);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    // The client area is kept at its designed size unless the platform's fonts need more.
    setMinimumSize(kClientWidth, kClientHeight);
    const QSize needed = layout->totalSizeHint().expandedTo(QSize(kClientWidth, kClientHeight));
    setFixedSize(needed);
}

void TFEditRecord::bindFields(TEngineDataSet& dataSet,
                              const std::array<std::string, 4>& fieldNames) {
    m_dataSet = &dataSet;
    m_fieldNames = fieldNames;
    std::array<QLineEdit*, 3> lines{dbeName, dbePhone1, dbePhone2};
    for (size_t i = 0; i < lines.size(); ++i) {
        TField& field = dataSet.FieldByName(fieldNames[i]);
        lines[i]->setMaxLength(field.Size());
        lines[i]->setText(shownText(dataSet, field));
    }
    dbmComment->setPlainText(memoText(shownText(dataSet, dataSet.FieldByName(fieldNames[3]))));
}

void TFEditRecord::storeFields() {
    if (m_dataSet == nullptr) return;
    const QString typed[4] = {dbeName->text(), dbePhone1->text(), dbePhone2->text(),
                              storedText(dbmComment->toPlainText())};
    // Every field is checked before the first is stored.
    std::array<std::string, 4> stored;
    for (size_t i = 0; i < stored.size(); ++i) {
        stored[i] = typedText(typed[i], m_dataSet->FieldByName(m_fieldNames[i]),
                              m_dataSet->tableCodePage());
    }
    for (size_t i = 0; i < stored.size(); ++i) {
        m_dataSet->FieldByName(m_fieldNames[i]).SetStoredText(stored[i]);
    }
}

void TFEditRecord::apply() {
    if (m_apply) {
        try {
            m_apply();
        } catch (const std::exception& error) {
            // Shown once, here; the record keeps its state until the user tries again or
            // cancels.
            Application::showException(error);
            return;
        }
    }
    accept();
}

}  // namespace abonex
