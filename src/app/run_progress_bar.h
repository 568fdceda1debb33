#pragma once
// The refresh run's progress bar. It counts rows: its range is 0 to the number of rows in the book, its
// position the rows the run has finished (read, failed, or cut short by the stop), so that at the end it
// stands where the caption's count does. maximum() is the last row's number, as the window has always
// set it (0 with one account); a plain QProgressBar would show a busy animation for a range of 0..0.
#include <QProgressBar>

namespace korvex {

class RunProgressBar : public QProgressBar {
    Q_OBJECT
public:
    using QProgressBar::QProgressBar;

    void setMaximum(int maximum) {
        m_maximum = maximum;
        QProgressBar::setRange(0, maximum > 0 ? maximum + 1 : 1);
    }
    int maximum() const { return m_maximum; }
    // How many rows of the book are finished.
    void setRowsFinished(int rows) { setValue(rows); }

private:
    int m_maximum = 0;
};

}  // namespace korvex
