#pragma once
// How the window words an account's forecast (history/forecast.h): in the balance cell's tooltip,
// under the history dialog's chart and in the forecast table.
#include <QString>

#include "history/forecast.h"

namespace korvex {

// "12", "0", or "—" when the days cannot be told.
QString daysLeftCaption(const Spending& spending);
// The spend per day with two decimals, or "—".
QString perDayCaption(const Spending& spending);
// Why the days cannot be told; "" when they can.
QString forecastGapCaption(const Spending& spending);
// The time of the reading the estimate starts from, local, "dd.MM.yyyy HH:mm"; "" without one.
QString asOfCaption(const Spending& spending);
// One line for the balance cell's tooltip: "Осталось дней: 12 (расход 10.50 в день, на 07.12.2026 09:05)".
QString daysLeftLine(const Spending& spending);

}  // namespace korvex
