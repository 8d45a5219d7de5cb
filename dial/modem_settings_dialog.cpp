#include "dial/modem_settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QVBoxLayout>
#include <utility>

namespace abonex {

namespace {

constexpr qint32 kSpeeds[] = {2400, 9600, 19200, 38400, 57600, 115200, 230400};

}  // namespace

ModemSettingsDialog::ModemSettingsDialog(const ModemSettings& settings, ModemQuery query,
                                         QWidget* parent)
    : QDialog(parent), m_query(std::move(query)) {
    setObjectName(QStringLiteral("ModemSettingsDialog"));
    setWindowTitle(tr("Настройка модема"));

    auto* lineBox = new QGroupBox(tr("Как звонить"), this);
    rbModem = new QRadioButton(tr("Через модем на последовательном порту"), lineBox);
    rbModem->setObjectName(QStringLiteral("rbModem"));
    rbDesktop = new QRadioButton(tr("Телефон через приложение системы"), lineBox);
    rbDesktop->setObjectName(QStringLiteral("rbDesktop"));
    rbModem->setToolTip(tr("Номер набирает модем, подключённый к последовательному порту"));
    rbDesktop->setToolTip(tr("Номер передаётся программе-телефону рабочего стола (ссылка tel:)"));
    auto* lineLayout = new QVBoxLayout(lineBox);
    lineLayout->addWidget(rbModem);
    lineLayout->addWidget(rbDesktop);

    auto* modemBox = new QGroupBox(tr("Модем"), this);
    cbDevice = new QComboBox(modemBox);
    cbDevice->setObjectName(QStringLiteral("cbDevice"));
    cbDevice->setEditable(true);
    cbDevice->setInsertPolicy(QComboBox::NoInsert);
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        cbDevice->addItem(port.systemLocation());
        QString description = port.description();
        if (!port.manufacturer().isEmpty())
            description += QStringLiteral(" (%1)").arg(port.manufacturer());
        cbDevice->setItemData(cbDevice->count() - 1, description, Qt::ToolTipRole);
    }
    cbDevice->setEditText(settings.device);
    m_storedDevice = settings.device;
    cbDevice->setToolTip(tr("Устройство модема, например /dev/ttyACM0 или /dev/ttyS0"));

    cbSpeed = new QComboBox(modemBox);
    cbSpeed->setObjectName(QStringLiteral("cbSpeed"));
    for (qint32 speed : kSpeeds) cbSpeed->addItem(QString::number(speed), speed);
    if (cbSpeed->findData(settings.speed) < 0) {
        cbSpeed->addItem(QString::number(settings.speed), settings.speed);
    }
    cbSpeed->setCurrentIndex(cbSpeed->findData(settings.speed));
    cbSpeed->setToolTip(tr("Скорость обмена с модемом по порту"));

    edInit = new QLineEdit(settings.initString, modemBox);
    edInit->setObjectName(QStringLiteral("edInit"));
    edInit->setMaxLength(static_cast<int>(ModemSettings::kMaxInitString));
    edInit->setToolTip(tr("Команды, которые модем получает перед набором номера"));

    sbDialTimeout = new QSpinBox(modemBox);
    sbDialTimeout->setObjectName(QStringLiteral("sbDialTimeout"));
    sbDialTimeout->setRange(ModemSettings::kMinDialTimeout, ModemSettings::kMaxDialTimeout);
    sbDialTimeout->setSuffix(tr(" с"));
    sbDialTimeout->setValue(settings.dialTimeoutSeconds);
    sbDialTimeout->setToolTip(tr("Сколько секунд ждать ответа модема, прежде чем положить трубку"));

    btnQuery = new QPushButton(tr("Опросить модем"), modemBox);
    btnQuery->setObjectName(QStringLiteral("btnQuery"));
    btnQuery->setToolTip(tr("Послать модему команду ATI и показать его ответ"));
    btnQuery->setAutoDefault(false);
    memoAnswer = new QPlainTextEdit(modemBox);
    memoAnswer->setObjectName(QStringLiteral("memoAnswer"));
    memoAnswer->setReadOnly(true);
    memoAnswer->setPlaceholderText(tr("Здесь будет ответ модема на команду ATI"));
    memoAnswer->setToolTip(memoAnswer->placeholderText());
    memoAnswer->setFixedHeight(memoAnswer->fontMetrics().lineSpacing() * 4 + 10);

    auto* form = new QFormLayout(modemBox);
    form->addRow(tr("Порт:"), cbDevice);
    form->addRow(tr("Скорость, бит/с:"), cbSpeed);
    form->addRow(tr("Строка инициализации:"), edInit);
    form->addRow(tr("Ждать ответа при наборе:"), sbDialTimeout);
    form->addRow(btnQuery, memoAnswer);
    // A combo box and a memo are not named by their labels: their names are given.
    cbDevice->setAccessibleName(tr("Порт"));
    cbSpeed->setAccessibleName(tr("Скорость, бит/с"));
    memoAnswer->setAccessibleName(tr("Ответ модема"));
    if (QLineEdit* typed = cbDevice->lineEdit()) {
        typed->setAccessibleName(cbDevice->accessibleName());
        typed->setToolTip(cbDevice->toolTip());
    }
    m_modemWidgets = {cbDevice, cbSpeed, edInit, sbDialTimeout, btnQuery, memoAnswer};

    edTownCode = new QLineEdit(settings.townCode, this);
    edTownCode->setObjectName(QStringLiteral("edTownCode"));
    edTownCode->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(ModemSettings::kMaxTownCode)),
        edTownCode));
    edTownCode->setToolTip(
        tr("Телефонный код города справочника, например 8172: по нему номер "
           "звонящего с кодом находится среди местных номеров"));
    auto* townForm = new QFormLayout;
    townForm->addRow(tr("Код города:"), edTownCode);

    lblOverride = new QLabel(this);
    lblOverride->setObjectName(QStringLiteral("lblOverride"));
    lblOverride->setWordWrap(true);
    // While ABONEX_MODEM names the device, the dialog shows that one and leaves the stored
    // device as it is.
    m_override = ModemSettings::deviceOverride();
    lblOverride->setText(tr("Сейчас звонки идут через %1: так задано переменной "
                            "окружения ABONEX_MODEM.")
                             .arg(m_override));
    lblOverride->setVisible(!m_override.isEmpty());
    if (!m_override.isEmpty()) cbDevice->setEditText(m_override);

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("ОК"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    buttons->button(QDialogButtonBox::Ok)->setToolTip(tr("Запомнить настройки"));
    buttons->button(QDialogButtonBox::Cancel)->setToolTip(tr("Закрыть окно, не меняя настроек"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lineBox);
    layout->addWidget(modemBox);
    layout->addLayout(townForm);
    layout->addWidget(lblOverride);
    layout->addWidget(buttons);

    (settings.line == PhoneLine::Desktop ? rbDesktop : rbModem)->setChecked(true);
    connect(rbModem, &QRadioButton::toggled, this, &ModemSettingsDialog::lineChosen);
    connect(btnQuery, &QPushButton::clicked, this, &ModemSettingsDialog::queryModem);
    lineChosen();
}

ModemSettingsDialog::~ModemSettingsDialog() = default;

ModemSettings ModemSettingsDialog::settings() const {
    ModemSettings result;
    result.line = rbDesktop->isChecked() ? PhoneLine::Desktop : PhoneLine::Modem;
    result.device = m_override.isEmpty() ? cbDevice->currentText().trimmed() : m_storedDevice;
    result.speed = cbSpeed->currentData().toInt();
    result.initString = cleanInitString(edInit->text());
    result.dialTimeoutSeconds = sbDialTimeout->value();
    result.townCode = cleanTownCode(edTownCode->text());
    return result;
}

void ModemSettingsDialog::lineChosen() {
    for (QWidget* widget : m_modemWidgets) widget->setEnabled(rbModem->isChecked());
    if (!m_override.isEmpty()) cbDevice->setEnabled(false);
}

void ModemSettingsDialog::queryModem() {
    if (!m_query) return;
    btnQuery->setEnabled(false);
    memoAnswer->setPlainText(tr("Опрос модема..."));
    // The dialog may be closed before the modem answers.
    QPointer<ModemSettingsDialog> self(this);
    ModemSettings asked = settings();
    asked.device = cbDevice->currentText().trimmed();
    m_query(asked, [self](const QString& answer) {
        if (!self) return;
        self->memoAnswer->setPlainText(answer);
        self->btnQuery->setEnabled(self->rbModem->isChecked());
    });
}

}  // namespace abonex
