#include "app/call_log_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>
#include <utility>

#include "ui/message_box.h"

namespace abonex {

namespace {

QString shownDate(const CallLogEntry& call) {
    const QString date = QString::fromStdString(call.date);
    const QString when =
        date.size() == 8 ? date.mid(6, 2) + u'.' + date.mid(4, 2) + u'.' + date.left(4) : date;
    return when + u' ' + QString::fromStdString(call.time);
}

QString shownKind(const CallLogEntry& call) {
    if (call.direction == CallDirection::Incoming) return CallLogDialog::tr("Входящий");
    switch (call.line) {
        case CallLine::Modem:
            return CallLogDialog::tr("Исходящий (модем)");
        case CallLine::Desktop:
            return CallLogDialog::tr("Исходящий (телефон)");
        case CallLine::None:
            break;
    }
    return CallLogDialog::tr("Исходящий");
}

}  // namespace

QStringList CallLogDialog::rowTexts(const CallLogEntry& call) {
    const QString number =
        call.number.empty() ? tr("номер не определён") : QString::fromStdString(call.number);
    const QString rings =
        call.direction == CallDirection::Incoming ? QString::number(call.rings) : QString();
    return {shownDate(call), shownKind(call), number, QString::fromStdString(call.name), rings};
}

CallLogDialog::CallLogDialog(std::string folder, Dial dial, QWidget* parent)
    : QDialog(parent), m_folder(std::move(folder)), m_dial(std::move(dial)) {
    setObjectName(QStringLiteral("CallLogDialog"));
    setWindowTitle(tr("Журнал звонков"));
    auto* layout = new QVBoxLayout(this);
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("lblCallLogError"));
    m_error->setWordWrap(true);
    m_error->hide();
    layout->addWidget(m_error);

    m_list = new QTableWidget(0, 5, this);
    m_list->setObjectName(QStringLiteral("lstCalls"));
    m_list->setHorizontalHeaderLabels(
        {tr("Когда"), tr("Звонок"), tr("Номер"), tr("Имя"), tr("Звонков")});
    m_list->verticalHeader()->hide();
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    layout->addWidget(m_list);

    auto* buttons = new QDialogButtonBox(this);
    m_callBack = buttons->addButton(tr("Перезвонить"), QDialogButtonBox::ActionRole);
    m_callBack->setObjectName(QStringLiteral("btnCallBack"));
    m_clear = buttons->addButton(tr("Очистить"), QDialogButtonBox::ActionRole);
    m_clear->setObjectName(QStringLiteral("btnClearLog"));
    QPushButton* close = buttons->addButton(tr("Закрыть"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("btnClose"));
    layout->addWidget(buttons);
    connect(m_callBack, &QPushButton::clicked, this, &CallLogDialog::callBack);
    connect(m_clear, &QPushButton::clicked, this, &CallLogDialog::clear);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTableWidget::itemSelectionChanged, this, &CallLogDialog::updateButtons);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, &CallLogDialog::callBack);
    resize(640, 360);
    reload();
}

void CallLogDialog::reload() {
    m_calls.clear();
    m_error->hide();
    try {
        m_calls = CallLog(m_folder).entries();
    } catch (const std::exception& error) {
        m_error->setText(QString::fromUtf8(error.what()));
        m_error->show();
    }
    m_list->setRowCount(static_cast<int>(m_calls.size()));
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const QStringList texts = rowTexts(m_calls[static_cast<size_t>(row)]);
        for (int column = 0; column < texts.size(); ++column) {
            m_list->setItem(row, column, new QTableWidgetItem(texts[column]));
        }
    }
    m_list->resizeColumnsToContents();
    if (!m_calls.empty()) m_list->selectRow(0);
    updateButtons();
}

void CallLogDialog::updateButtons() {
    const int row = m_list->currentRow();
    const bool numbered = row >= 0 && row < static_cast<int>(m_calls.size()) &&
                          !m_list->selectedItems().isEmpty() &&
                          !m_calls[static_cast<size_t>(row)].number.empty();
    m_callBack->setEnabled(numbered && m_dial != nullptr);
    m_clear->setEnabled(!m_calls.empty());
}

void CallLogDialog::callBack() {
    if (!m_callBack->isEnabled()) return;
    const CallLogEntry call = m_calls[static_cast<size_t>(m_list->currentRow())];
    accept();
    m_dial(QString::fromStdString(call.number), QString::fromStdString(call.name));
}

void CallLogDialog::clear() {
    if (MessageBox::question(this, tr("Журнал звонков"), tr("Очистить журнал звонков?")) !=
        QMessageBox::Yes) {
        return;
    }
    try {
        CallLog(m_folder).clear();
    } catch (const std::exception& error) {
        MessageBox::error(this, QStringLiteral("Error"), QString::fromUtf8(error.what()));
    }
    reload();
}

}  // namespace abonex
