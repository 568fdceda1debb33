#pragma once
// The refresh run's progress bar. Its maximum is the last row's number, so with one account it is 0;
// a plain QProgressBar shows a busy animation for the range 0..0, which would spin forever here.
#include <QProgressBar>

namespace korvex {

class RunProgressBar : public QProgressBar {
    Q_OBJECT
public:
    using QProgressBar::QProgressBar;

    void setMaximum(int maximum) {
        m_maximum = maximum;
        QProgressBar::setRange(0, maximum > 0 ? maximum : 1);
    }
    int maximum() const { return m_maximum; }

private:
    int m_maximum = 0;
};

}  // namespace korvex
