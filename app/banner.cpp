#include "app/banner.h"

#include "ui/windows_color.h"

namespace abonex {

namespace {

const char* const kBannerLines[] = {
    QT_TRANSLATE_NOOP("abonex::Banner", "Такси «Попутчик» — по городу быстро и недорого"),
    QT_TRANSLATE_NOOP("abonex::Banner", "Магазин «Связист»: телефоны, модемы, аксессуары"),
    QT_TRANSLATE_NOOP("abonex::Banner", "Ремонт телефонов и модемов — в день обращения"),
};

}  // namespace

Banner::Banner(QWidget* parent) : QLabel(parent) {
    for (const char* line : kBannerLines) m_lines << tr(line);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setContentsMargins(2, 1, 2, 1);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, windowsColor(kBannerBackground));
    setPalette(palette);
    showStep();
}

void Banner::advance() {
    m_step = m_step == 3 ? 1 : m_step + 1;
    showStep();
}

QColor Banner::textColor() const {
    return palette().color(QPalette::WindowText);
}

void Banner::showStep() {
    static const QColor colours[] = {Qt::red, Qt::blue, Qt::black};
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, colours[m_step - 1]);
    setPalette(palette);
    setText(m_lines.at(m_step - 1));
}

}  // namespace abonex
