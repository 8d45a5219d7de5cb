#include "app/edit_record_dialog.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>
#include <string>

#include "app/application.h"
#include "app/window_language.h"
#include "directory/message_language.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/near_form.h"
#include "ui/message_box.h"
#include "ui/text_codec.h"

namespace abonex {

namespace {

constexpr int kClientWidth = 213;
constexpr int kClientHeight = 222;
constexpr int kWideEditor = 197;
constexpr int kPhoneEditor = 121;
constexpr int kCommentHeight = 61;
constexpr int kButtonWidth = 107;
constexpr int kButtonHeight = 36;
// What the title bar takes beside the caption: its margins and the close box.
constexpr int kCaptionAllowance = 80;

// The translation context of the dialog's texts, for the functions outside it.
constexpr char kContext[] = "abonex::TFEditRecord";

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
    const QString name = QString::fromStdString(field.FieldName());
    if (!stored) {
        const std::string why = describeFaultIn(windowMessageLanguage(), typed, fault, page);
        throw std::runtime_error(QCoreApplication::translate(kContext, "Поле %1 %2")
                                     .arg(name, QString::fromStdString(why))
                                     .toStdString());
    }
    if (static_cast<int>(stored->size()) > field.Size()) {
        throw std::runtime_error(
            QCoreApplication::translate(kContext,
                                        "Поле %1 вмещает %2 знаков; текст, в котором символы "
                                        "заменены ближайшими, занимает %3")
                .arg(name)
                .arg(field.Size())
                .arg(stored->size())
                .toStdString());
    }
    return *stored;
}

}  // namespace

TFEditRecord::TFEditRecord(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFEditRecord"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(tr("Редактирование записи"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(1);

    auto addEditor = [&](QLabel* label, QWidget* editor, int width) {
        layout->addWidget(label);
        editor->setFixedWidth(width);
        layout->addWidget(editor);
        layout->addSpacing(4);
    };

    Label1 = new QLabel(tr("Фамилия И.О."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    dbeName = new QLineEdit(this);
    dbeName->setObjectName(QStringLiteral("dbeName"));
    Label1->setBuddy(dbeName);
    addEditor(Label1, dbeName, kWideEditor);

    // Each label is its editor's buddy: a screen reader names the editor by it.
    auto labelFor = [this](const QString& text, QWidget* editor) {
        auto* label = new QLabel(text, this);
        label->setBuddy(editor);
        return label;
    };
    dbePhone1 = new QLineEdit(this);
    dbePhone1->setObjectName(QStringLiteral("dbePhone1"));
    addEditor(labelFor(tr("Телефон 1."), dbePhone1), dbePhone1, kPhoneEditor);

    dbePhone2 = new QLineEdit(this);
    dbePhone2->setObjectName(QStringLiteral("dbePhone2"));
    addEditor(labelFor(tr("Телефон 2."), dbePhone2), dbePhone2, kPhoneEditor);

    dbmComment = new QPlainTextEdit(this);
    dbmComment->setObjectName(QStringLiteral("dbmComment"));
    dbmComment->setFixedHeight(kCommentHeight);
    dbmComment->setTabChangesFocus(true);
    QLabel* commentLabel = labelFor(tr("Комментарии"), dbmComment);
    // The memo is not named by its buddy; its name is given.
    dbmComment->setAccessibleName(commentLabel->text());
    addEditor(commentLabel, dbmComment, kWideEditor);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    bbPost = new QPushButton(tr("Применить"), this);
    bbPost->setObjectName(QStringLiteral("bbPost"));
    bbPost->setDefault(true);
    bbPost->setAutoDefault(true);
    cancelButton = new QPushButton(tr("Отмена"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setAutoDefault(false);
    bbPost->setToolTip(tr("Сохранить запись в таблице и закрыть окно"));
    cancelButton->setToolTip(tr("Закрыть окно, не сохраняя изменений"));
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
    // As wide as its caption too: the title bar cut "Редактирование записи" short.
    const int caption = fontMetrics().horizontalAdvance(windowTitle()) + kCaptionAllowance;
    const QSize needed =
        layout->totalSizeHint().expandedTo(QSize(std::max(kClientWidth, caption), kClientHeight));
    setFixedSize(needed);
}

void TFEditRecord::bindFields(TEngineDataSet& dataSet,
                              const std::array<std::string, 4>& fieldNames) {
    m_dataSet = &dataSet;
    m_fieldNames = fieldNames;
    std::array<QLineEdit*, 3> lines{dbeName, dbePhone1, dbePhone2};
    for (size_t i = 0; i < m_fieldSizes.size(); ++i) {
        m_fieldSizes[i] = dataSet.FieldByName(fieldNames[i]).Size();
    }
    // No length limit on the boxes themselves: a limit there cuts a pasted text silently.
    // "Применить" refuses a text too long instead, and each box says how much it holds.
    std::array<QWidget*, 4> editors{dbeName, dbePhone1, dbePhone2, dbmComment};
    for (size_t i = 0; i < editors.size(); ++i) {
        editors[i]->setToolTip(tr("Не более %1 знаков").arg(m_fieldSizes[i]));
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        lines[i]->setText(shownText(dataSet, dataSet.FieldByName(fieldNames[i])));
    }
    dbmComment->setPlainText(memoText(shownText(dataSet, dataSet.FieldByName(fieldNames[3]))));
}

QString TFEditRecord::refusal(QWidget** editor) const {
    const std::array<QWidget*, 4> editors{dbeName, dbePhone1, dbePhone2, dbmComment};
    const std::array<QString, 4> texts{dbeName->text(), dbePhone1->text(), dbePhone2->text(),
                                       storedText(dbmComment->toPlainText())};
    if (texts[0].trimmed().isEmpty() && texts[1].trimmed().isEmpty() &&
        texts[2].trimmed().isEmpty()) {
        *editor = dbeName;
        return tr("Запись пуста: введите имя или номер телефона.");
    }
    const std::array<QString, 4> captions{Label1->text(), tr("Телефон 1"), tr("Телефон 2"),
                                          tr("Комментарии")};
    for (size_t i = 0; i < texts.size(); ++i) {
        // What the table stores: one byte a character, trailing blanks left out.
        std::string stored = toAnsi(texts[i]);
        while (!stored.empty() && stored.back() == ' ') stored.pop_back();
        const auto length = static_cast<int>(stored.size());
        if (length > m_fieldSizes[i] && m_fieldSizes[i] > 0) {
            *editor = editors[i];
            return tr("Поле «%1» длиннее %2 знаков (набрано %3): сократите его, "
                      "иначе оно не поместится в таблицу.")
                .arg(captions[i])
                .arg(m_fieldSizes[i])
                .arg(length);
        }
    }
    return {};
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
    QWidget* editor = nullptr;
    if (const QString why = refusal(&editor); !why.isEmpty()) {
        MessageBox::warning(this, QStringLiteral("Warning"), why);
        editor->setFocus();
        return;
    }
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
