// Banner: the grid's band over all its columns, which shows one of three sponsor lines at a
// time in the band's own colour.
//
// BannerStep (1 to 3) says which line is shown; at design it is 1, in red. Each advance() goes
// on to the next step, 3 back to 1, and shows that line in its colour: red for step 1, blue
// for step 2, black for step 3.
#pragma once

#include <QColor>
#include <QLabel>
#include <QStringList>

namespace abonex {

class Banner : public QLabel {
    Q_OBJECT
  public:
    explicit Banner(QWidget* parent = nullptr);

    void advance();
    int BannerStep() const { return m_step; }
    const QStringList& BannerLines() const { return m_lines; }
    // The colour of the band's text now.
    QColor textColor() const;

  private:
    void showStep();

    QStringList m_lines;
    int m_step = 1;
};

}  // namespace abonex
