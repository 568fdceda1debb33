#include "app/forecast_text.h"

#include <QDateTime>

namespace korvex {

QString daysLeftCaption(const Spending& spending) {
    return spending.daysLeft ? QString::number(*spending.daysLeft) : QStringLiteral("—");
}

QString perDayCaption(const Spending& spending) {
    return spending.perDay ? QString::number(*spending.perDay, 'f', 2) : QStringLiteral("—");
}

QString forecastGapCaption(const Spending& spending) {
    switch (spending.state) {
        case ForecastState::NoReading:
            return QStringLiteral("нет прочитанного баланса за %1 дней").arg(kForecastWindowDays);
        case ForecastState::TooShort:
            return QStringLiteral("проверки без пополнений охватывают меньше недели");
        case ForecastState::NothingSpent:
            return QStringLiteral("баланс не уменьшался");
        case ForecastState::Estimated:
        case ForecastState::RunOut:
            break;
    }
    return {};
}

QString asOfCaption(const Spending& spending) {
    const auto moment = momentFromUtcTimestamp(spending.asOf);
    if (!moment) return {};
    const qint64 ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(moment->time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC)
        .toLocalTime()
        .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

QString daysLeftLine(const Spending& spending) {
    QString line = QStringLiteral("Осталось дней: ") + daysLeftCaption(spending);
    if (spending.state == ForecastState::RunOut) return line + QStringLiteral(" (баланс исчерпан)");
    if (spending.state != ForecastState::Estimated)
        return line + QStringLiteral(" (") + forecastGapCaption(spending) + QLatin1Char(')');
    return line +
           QStringLiteral(" (расход %1 в день, на %2)").arg(perDayCaption(spending), asOfCaption(spending));
}

}  // namespace korvex
