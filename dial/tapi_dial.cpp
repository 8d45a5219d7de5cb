#include "dial/tapi_dial.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <cstring>
#include <stdexcept>

#include "dial/telephony_line.h"

namespace abonex {

namespace {

const char* const kNotOnForm = "Please drop the component onto a Form!";
const char* const kSecondDialer = "There is TTApiDial component already on this form";
const char* const kErrorInLineMakeCall = "Error in lineMakeCall";
const char* const kCheckModem =
    QT_TRANSLATE_NOOP("abonex::TTapiDial", "Проверьте наличие и правильность подключения модема!");

// The status window's place and size, and its list's font.
constexpr QRect kStatusWindowFrame(527, 419, 230, 100);
constexpr int kStatusFontPoints = 8;

constexpr std::size_t kCallInfoSize = 1024;
union CallInfoBuffer {
    LINECALLINFO info;
    std::array<unsigned char, kCallInfoSize> bytes;
};
static_assert(sizeof(CallInfoBuffer) == kCallInfoSize);

// What the program keeps once for all dialers.
struct DialerUnit {
    std::uint32_t apiVersion = 0;
    QString lastStatus;
    QString numberCopy;
    QPointer<QWidget> statusWindow;
    QPointer<QListWidget> statusList;
    bool statusWindowExists = false;
    CallInfoBuffer callInfo{};
};

DialerUnit& unit() {
    static DialerUnit state;
    return state;
}

QObject* checkedOwner(QObject* owner) {
    const auto* form = qobject_cast<QWidget*>(owner);
    if (form == nullptr || !form->isWindow()) throw std::invalid_argument(kNotOnForm);
    for (const QObject* child : owner->children()) {
        if (child->metaObject() == &TTapiDial::staticMetaObject) {
            throw std::invalid_argument(kSecondDialer);
        }
    }
    return owner;
}

void createStatusWindow() {
    DialerUnit& state = unit();
    // Owned by no form: a small log that stays on top, with a sizeable frame and no buttons.
    auto* window = new QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint |
                                            Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window->setObjectName(QStringLiteral("DialStatus"));
    window->setWindowTitle(QStringLiteral("Dial Stauts"));
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->move(kStatusWindowFrame.topLeft());
    window->resize(kStatusWindowFrame.size());
    auto* list = new QListWidget(window);
    list->setObjectName(QStringLiteral("StatusList"));
    list->setFont(QFont(QStringLiteral("MS Sans Serif"), kStatusFontPoints));
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list->setSortingEnabled(false);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
    state.statusWindow = window;
    state.statusList = list;
    state.statusWindowExists = true;
}

void destroyStatusWindow() {
    DialerUnit& state = unit();
    state.statusWindowExists = false;
    delete state.statusWindow.data();
}

QMessageBox::StandardButton plainBox(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

TTapiDial::TTapiDial(QObject* owner, TelephonyLine& line)
    : QObject(checkedOwner(owner)),
      m_line(line),
      m_ownerWindow(static_cast<QWidget*>(owner)),
      m_noticeBox(plainBox) {
    setTelephonNo(QStringLiteral("9865"));
    // CallDialog starts as None.
    if (!unit().statusWindowExists) createStatusWindow();
    setStatusWindow(true);
    StartTapi();
}

TTapiDial::~TTapiDial() {
    destroyStatusWindow();
    StopTapi();
}

void TTapiDial::setTelephonNo(const QString& number) {
    m_telephonNo = number;
    unit().numberCopy = number;
}

void TTapiDial::setCallDialog(CallDialogKind value) {
    if (value == m_callDialog) return;
    m_callDialog = value;
    setLastStatus(QStringLiteral("Call dialog set to: ") + (value == CallDialogKind::None
                                                                ? QStringLiteral("None")
                                                                : QStringLiteral("Win95")));
    AddStatus(LastStatus());
    StopTapi();
    StartTapi();
}

void TTapiDial::setStatusWindow(bool value) {
    if (value == m_statusWindow) return;
    m_statusWindow = value;
    if (value) {
        if (!unit().statusWindowExists) createStatusWindow();
        unit().statusWindow->show();
    } else if (unit().statusWindowExists) {
        destroyStatusWindow();
    }
}

void TTapiDial::setNoticeBox(NoticeBox box) {
    m_noticeBox = box ? std::move(box) : NoticeBox(plainBox);
}

QString TTapiDial::LastStatus() {
    return unit().lastStatus;
}

QWidget* TTapiDial::statusWindow() {
    return unit().statusWindowExists ? unit().statusWindow.data() : nullptr;
}

QListWidget* TTapiDial::statusList() {
    return unit().statusWindowExists ? unit().statusList.data() : nullptr;
}

void TTapiDial::setLastStatus(const QString& text) {
    unit().lastStatus = text;
    emit statusChanged(text);
}

void TTapiDial::AddStatus(const QString& text) {
    DialerUnit& state = unit();
    if (!state.statusWindowExists || state.statusList == nullptr) return;
    state.statusList->addItem(QStringLiteral("-> ") + text);
    state.statusList->setCurrentRow(state.statusList->count() - 1);
}

// ---------------------------------------------------------------------------------------------
// Calls

void TTapiDial::Dial() {
    if (m_telephonNo.isEmpty()) return;
    // The address goes to the line through a buffer of kDialableAddressLength characters and
    // its zero; a longer number is refused rather than cut.
    std::array<char, kDialableAddressLength + 1> address{};
    std::int32_t result = kLineErrorInvalidAddress;
    if (m_telephonNo.size() <= kDialableAddressLength) {
        const QByteArray bytes = m_telephonNo.toLatin1();
        std::memcpy(address.data(), bytes.constData(), bytes.size());
        result = m_line.lineMakeCall(m_lineHandle, &m_call, address.data(), 0, &m_callParams);
    }
    if (result < 0) {
        setLastStatus(QString::fromLatin1(kErrorInLineMakeCall));
        AddStatus(LastStatus());
    }
    const auto failed = [] { return LastStatus() == QLatin1String(kErrorInLineMakeCall); };
    if (m_callDialog == CallDialogKind::None && !failed()) {
        if (m_noticeBox(m_ownerWindow, QStringLiteral("Talking to ") + m_telephonNo,
                        QStringLiteral("HangUp?")) == QMessageBox::Ok) {
            HangUp();
        }
    }
    if (failed()) {
        if (m_noticeBox(m_ownerWindow, QCoreApplication::applicationName(),
                        TTapiDial::tr(kCheckModem)) != QMessageBox::Ok) {
            HangUp();
        }
    } else {
        HangUp();
    }
}

void TTapiDial::HangUp() {
    const std::int32_t result = m_line.lineDrop(m_call, nullptr, 0);
    setLastStatus(result < 0 ? QStringLiteral("Error in lineDrop")
                             : QStringLiteral("Line Dropped"));
    AddStatus(LastStatus());
}

void TTapiDial::ConfigureModem() {
    if (m_line.lineConfigDialog(0, m_ownerWindow, "comm/datamodem") == 0) {
        StopTapi();
        StartTapi();
    }
}

// ---------------------------------------------------------------------------------------------
// The line

void TTapiDial::rebuildCallParams() {
    m_callParams = {};
    m_callParams.dwTotalSize = sizeof(LINECALLPARAMS);
    m_callParams.dwBearerMode = LINEBEARERMODE_VOICE;
    m_callParams.dwMediaMode = m_callDialog == CallDialogKind::Win95
                                   ? LINEMEDIAMODE_INTERACTIVEVOICE
                                   : LINEMEDIAMODE_DATAMODEM;
}

void TTapiDial::StartTapi() {
    const auto status = [this](const char* text) {
        setLastStatus(QString::fromLatin1(text));
        AddStatus(LastStatus());
    };
    status("Initializing TAPI");
    rebuildCallParams();
    std::uint32_t devices = 0;
    const auto callback = [this](std::uint32_t device, std::uint32_t message,
                                 std::uint32_t instance, std::uint32_t param1, std::uint32_t param2,
                                 std::uint32_t param3) {
        LineCallback(device, message, instance, param1, param2, param3);
    };
    if (m_line.lineInitialize(m_lineApp, callback, nullptr, devices) < 0) {
        m_lineApp = 0;
        return;
    }
    if (devices == 0) {
        m_line.lineShutdown(m_lineApp);
        m_lineApp = 0;
        status("No TAPI devices");
        return;
    }
    LINEEXTENSIONID extension{};
    if (m_line.lineNegotiateAPIVersion(m_lineApp, 0, kLineApiVersionLow, kLineApiVersionHigh,
                                       unit().apiVersion, extension) < 0) {
        m_line.lineShutdown(m_lineApp);
        m_lineApp = 0;
        status("Error in lineNegotiateAPIVersion");
        return;
    }
    if (m_line.lineOpen(m_lineApp, LINEMAPPER, m_lineHandle, unit().apiVersion, 0, 0,
                        LINECALLPRIVILEGE_NONE, 0, &m_callParams) < 0) {
        m_line.lineShutdown(m_lineApp);
        m_lineApp = 0;
        m_lineHandle = 0;
        status("Error in LineOpen");
        return;
    }
    if (m_lineHandle == 0) {
        status("Error!!");
        return;
    }
    status("TAPI successfully initialized");
}

void TTapiDial::StopTapi() {
    // A closed line ends its calls without further messages.
    if (!m_callsUp.empty()) {
        m_callsUp.clear();
        emit callInProgressChanged(false);
    }
    // The handles keep their values; the next StartTapi overwrites them.
    if (m_lineHandle != 0) m_line.lineClose(m_lineHandle);
    if (m_lineApp != 0) m_line.lineShutdown(m_lineApp);
    setLastStatus(QStringLiteral("TAPI terminated"));
    AddStatus(LastStatus());
}

void TTapiDial::LineCallback(std::uint32_t device, std::uint32_t message, std::uint32_t,
                             std::uint32_t param1, std::uint32_t param2, std::uint32_t) {
    QString text;
    if (message == LINE_REPLY) {
        text = static_cast<std::int32_t>(param2) < 0 ? QStringLiteral("Reply error")
                                                     : QStringLiteral("LINE_REPLY ok");
    } else if (message == LINE_CALLSTATE) {
        followCall(device, param1 != LINECALLSTATE_IDLE && param1 != LINECALLSTATE_DISCONNECTED);
        switch (param1) {
            case LINECALLSTATE_IDLE:
                if (device == 0) return;
                m_line.lineDeallocateCall(device);
                text = QStringLiteral("Idle - call deallocated");
                break;
            case LINECALLSTATE_DIALING:
                text = QStringLiteral("Dialing: ") + unit().numberCopy;
                break;
            case LINECALLSTATE_BUSY:
                text = QStringLiteral("Busy");
                break;
            case LINECALLSTATE_CONNECTED:
                if (device == 0) return;
                text = connectedText(device);
                break;
            case LINECALLSTATE_PROCEEDING:
                text = QStringLiteral("Proceeding");
                break;
            case LINECALLSTATE_DISCONNECTED:
                text = QStringLiteral("Disconnected: ");
                if (param2 == LINEDISCONNECTMODE_NORMAL) {
                    text += QStringLiteral("normal");
                } else if (param2 == LINEDISCONNECTMODE_BUSY) {
                    text += QStringLiteral("busy");
                }
                break;
            default:
                return;
        }
    } else {
        return;
    }
    setLastStatus(text);
    AddStatus(text);
}

void TTapiDial::followCall(HCALL call, bool up) {
    if (call == 0) return;
    const bool before = callInProgress();
    if (up) {
        m_callsUp.insert(call);
    } else {
        m_callsUp.erase(call);
    }
    if (callInProgress() != before) emit callInProgressChanged(callInProgress());
}

QString TTapiDial::connectedText(HCALL call) {
    QString text = QStringLiteral("Connected: ") + unit().numberCopy + u' ';
    CallInfoBuffer& buffer = unit().callInfo;
    buffer.info.dwTotalSize = kCallInfoSize;
    if (m_line.lineGetCallInfo(call, &buffer.info) == 0 && buffer.info.dwAppNameSize > 0) {
        // The name is the line's text: it is read up to its zero and never past the buffer.
        const std::uint32_t offset = buffer.info.dwAppNameOffset;
        if (offset < kCallInfoSize) {
            const auto* start = reinterpret_cast<const char*>(&buffer) + offset;
            text += QString::fromUtf8(
                start, static_cast<qsizetype>(::strnlen(start, kCallInfoSize - offset)));
        }
    }
    return text;
}

}  // namespace abonex
