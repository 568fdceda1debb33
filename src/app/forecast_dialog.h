#pragma once
// "Прогноз": every account by the days its balance lasts, fewest first, as the history shows them.
// The rows with fewer days left than the summary's threshold are tinted.
#include <QDialog>
#include <vector>

#include "history/forecast.h"

class QLabel;
class QTableWidget;

namespace korvex {

class ForecastDialog : public QDialog {
    Q_OBJECT
public:
    // `forecasts` in the order to show; `threshold`: DaysLeft of the settings (0: no tint);
    // `problem`: why the history could not be read, "" when it could.
    ForecastDialog(const std::vector<AccountForecast>& forecasts, int threshold, const QString& problem,
                   QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    QLabel* note() const { return m_note; }

private:
    QLabel* m_note = nullptr;
    QTableWidget* m_table = nullptr;
};

}  // namespace korvex
