#include "app/about_box.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "app/application.h"
#include "app/links.h"

namespace abonex {

namespace {

constexpr int kClientWidth = 321;
constexpr int kClientHeight = 320;
constexpr int kTitleHeight = 48;
constexpr int kHistoryHeight = 180;
constexpr int kBottomHeight = 92;
constexpr int kTitlePixels = 21;
constexpr int kHistoryStepMs = 90;
constexpr int kPictureSize = 32;
constexpr int kMargin = 8;
// Blank lines between the end of the history and its next round.
constexpr int kGapLines = 3;

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kLinkHover(0x00, 0x00, 0xFF);
const QColor kShadow(0x80, 0x80, 0x80);
// The history's engraved text: a light copy beneath the darker one.
const QColor kEngravedLight(0xFF, 0xFF, 0xFF);
const QColor kEngravedDark(0x5A, 0x5A, 0x5A);

const char* const kHistoryLines[] = {
    QT_TRANSLATE_NOOP("abonex::TForm2", "Абонекс"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "Версия 4 от 14.02.2002"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "Редакция для домашнего компьютера"),
    "",
    QT_TRANSLATE_NOOP("abonex::TForm2", "Что нового в версии 4:"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- справочник организаций"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- фавориты: свои контакты"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- набор номера через модем"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- импульсный и тоновый набор"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- обновление базы из другой копии"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- значок в области уведомлений"),
    "",
    QT_TRANSLATE_NOOP("abonex::TForm2", "Версия 3.1:"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- поиск по любой части фамилии"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- поиск по части номера телефона"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- комментарии к записям"),
    "",
    QT_TRANSLATE_NOOP("abonex::TForm2", "Версия 3.0:"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- работа нескольких копий по сети"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "- быстрый поиск по индексу"),
    "",
    QT_TRANSLATE_NOOP("abonex::TForm2", "Совет: пользуйтесь правой"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "кнопкой мыши и клавишами"),
    QT_TRANSLATE_NOOP("abonex::TForm2", "F2, F3, F4, F1 и Ctrl+Q."),
};

const char kCreditLine1[] = QT_TRANSLATE_NOOP("abonex::TForm2", "Разработка: команда Абонекс");
const char kCreditLine2[] =
    QT_TRANSLATE_NOOP("abonex::TForm2", "Данные: городская справочная служба");

QStringList historyLines() {
    QStringList lines;
    for (const char* line : kHistoryLines) lines << TForm2::tr(line);
    return lines;
}

void setLinkLook(QLabel* label, bool pointedAt) {
    QFont font = label->font();
    font.setUnderline(pointedAt);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, pointedAt ? kLinkHover : kNavy);
    label->setPalette(palette);
}

QLabel* makeLinkLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setCursor(Qt::PointingHandCursor);
    label->setMouseTracking(true);
    setLinkLook(label, false);
    return label;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Title

ShadowTitle::ShadowTitle(const QString& text, QWidget* parent) : QWidget(parent), m_text(text) {
    QFont font(QStringLiteral("Times New Roman"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(kTitlePixels);
    font.setBold(true);
    setFont(font);
}

void ShadowTitle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    const QRect area = rect();
    painter.setPen(kShadow);
    painter.drawText(area.translated(1, 1), Qt::AlignCenter, m_text);
    painter.setPen(kNavy);
    painter.drawText(area, Qt::AlignCenter, m_text);
}

// ---------------------------------------------------------------------------------------------
// History panel

ScrollingText::ScrollingText(const QPixmap& picture, const QStringList& lines, int stepMs,
                             QWidget* parent)
    : QFrame(parent), m_picture(picture), m_lines(lines), m_timer(new QTimer(this)) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
    m_timer->setInterval(stepMs);
    connect(m_timer, &QTimer::timeout, this, &ScrollingText::advance);
    m_timer->start();
}

int ScrollingText::lineHeight() const {
    return fontMetrics().height() + 1;
}

int ScrollingText::pictureHeight() const {
    return kPictureSize + kMargin;
}

int ScrollingText::contentHeight() const {
    return pictureHeight() + static_cast<int>(m_lines.size()) * lineHeight();
}

int ScrollingText::period() const {
    return contentHeight() + kGapLines * lineHeight();
}

void ScrollingText::advance() {
    m_offset = (m_offset + 1) % period();
    update();
}

void ScrollingText::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    // The content and, below it after the gap, its next round, which has reached the top when
    // the offset comes round to 0 again.
    for (int round = 0; round < 2; ++round) {
        int top = area.top() - m_offset + round * period();
        if (top >= area.bottom()) break;
        painter.drawPixmap(area.left() + (area.width() - kPictureSize) / 2, top + kMargin / 2,
                           kPictureSize, kPictureSize, m_picture);
        top += pictureHeight();
        const int step = lineHeight();
        for (const QString& line : m_lines) {
            if (top + step >= area.top() && top < area.bottom()) {
                const QRect band(area.left(), top, area.width(), step);
                painter.setPen(kEngravedLight);
                painter.drawText(band.translated(1, 1), Qt::AlignHCenter | Qt::AlignVCenter, line);
                painter.setPen(kEngravedDark);
                painter.drawText(band, Qt::AlignHCenter | Qt::AlignVCenter, line);
            }
            top += step;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The box

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TForm2"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(tr("О программе"));
    setFixedSize(kClientWidth, kClientHeight);

    Title = new ShadowTitle(tr("Абонекс \n(служба 09 после 20:00)"), this);
    Title->setObjectName(QStringLiteral("Title"));
    Title->setGeometry(0, 0, kClientWidth, kTitleHeight);

    History = new ScrollingText(Application::programIcon().pixmap(kPictureSize, kPictureSize),
                                historyLines(), kHistoryStepMs, this);
    History->setObjectName(QStringLiteral("History"));
    History->setGeometry(kMargin, kTitleHeight, kClientWidth - 2 * kMargin, kHistoryHeight);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, kTitleHeight + kHistoryHeight, kClientWidth, kBottomHeight);
    Panel1->setMouseTracking(true);
    Panel1->installEventFilter(this);

    const int lineHeight = fontMetrics().height() + 2;
    int top = 4;
    for (const char* credit : {kCreditLine1, kCreditLine2}) {
        auto* line = new QLabel(TForm2::tr(credit), Panel1);
        line->setGeometry(kMargin, top, kClientWidth - 2 * kMargin, lineHeight);
        line->setMouseTracking(true);
        top += lineHeight;
    }

    Panel2 = new QWidget(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    // A little of the panel shows above and below the link, so that the mouse leaving the
    // link crosses the panel and puts it back to rest.
    constexpr int kSiteMargin = 3;
    Panel2->setGeometry(kMargin, top, kClientWidth - 2 * kMargin, lineHeight + 2 * kSiteMargin);
    Panel2->setMouseTracking(true);
    Panel2->installEventFilter(this);
    auto* siteCaption = new QLabel(tr("Официальный сайт:"), Panel2);
    siteCaption->setMouseTracking(true);
    siteCaption->adjustSize();
    siteCaption->move(0, kSiteMargin);
    const QUrl site(homePageAddress());
    const QString sitePath = site.path(QUrl::FullyDecoded);
    labelWWW = makeLinkLabel(
        "labelWWW", sitePath == QStringLiteral("/") ? site.host() : site.host() + sitePath, Panel2);
    labelWWW->adjustSize();
    labelWWW->move(siteCaption->width() + 4, kSiteMargin);
    top += Panel2->height() + 2;

    lblEmail = makeLinkLabel("lblEmail", tr("Написать на support"), Panel1);
    lblEmail->adjustSize();
    btnClose = new QPushButton(tr("Закрыть"), Panel1);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setToolTip(tr("Закрыть окно «О программе»"));
    btnClose->setDefault(true);
    btnClose->setAutoDefault(true);
    const QSize button(88, 25);
    const int buttonTop = kBottomHeight - button.height() - 6;
    btnClose->setGeometry(kClientWidth - kMargin - button.width(), buttonTop, button.width(),
                          button.height());
    lblEmail->move(kMargin, std::max(top, buttonTop + (button.height() - lblEmail->height()) / 2));
    // Escape rejects the dialog as "Закрыть" does: both simply close the box.
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    for (QLabel* label : {labelWWW, lblEmail}) label->installEventFilter(this);
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QScreen* screen = this->screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (watched == labelWWW || watched == lblEmail) {
            labelWWWMouseMove(static_cast<QLabel*>(watched));
            // Kept from the panel beneath, which would put the label back to rest at once.
            return true;
        }
        if (watched == Panel1 || watched == Panel2) {
            Panel1MouseMove(static_cast<QWidget*>(watched));
        }
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == labelWWW) {
            labelWWWClick();
            return true;
        }
        if (watched == lblEmail) {
            lblEmailClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TForm2::labelWWWClick() {
    OpenLink(this, homePageAddress());
}

void TForm2::lblEmailClick() {
    openSupportMail(this);
}

void TForm2::labelWWWMouseMove(QLabel* label) {
    setLinkLook(label, true);
}

void TForm2::Panel1MouseMove(QWidget* panel) {
    // Only the panel's own labels: the site line's panel lies inside the bottom one.
    for (QLabel* label : {labelWWW, lblEmail}) {
        if (label->parentWidget() == panel) setLinkLook(label, false);
    }
}

}  // namespace abonex
