#include "app/forecast_dialog.h"

#include <QBrush>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/forecast_text.h"
#include "app/qt_text.h"

namespace korvex {

ForecastDialog::ForecastDialog(const std::vector<AccountForecast>& forecasts, int threshold,
                               const QString& problem, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ForecastDialog"));
    setWindowTitle(QStringLiteral("Прогноз"));
    resize(820, 560);

    auto* layout = new QVBoxLayout(this);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("ForecastNote"));
    m_note->setWordWrap(true);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    int few = 0;
    for (const AccountForecast& f : forecasts) few += fewDaysLeft(f.spending, threshold);
    if (!problem.isEmpty()) {
        m_note->setText(QStringLiteral("История баланса не читается: ") + problem);
    } else {
        QString text = QStringLiteral(
                           "Расход в день — среднее снижение баланса за %1 дней (пополнения не в счёт); "
                           "дней осталось — баланс, делённый на него.")
                           .arg(kForecastWindowDays);
        if (threshold > 0) text += QStringLiteral(" Меньше %1 дней осталось: %2.").arg(threshold).arg(few);
        m_note->setText(text);
    }
    layout->addWidget(m_note);

    const QStringList headings = {QStringLiteral("№"),
                                  QStringLiteral("Клиент"),
                                  QStringLiteral("Спутник"),
                                  QStringLiteral("ФИО"),
                                  QStringLiteral("Баланс"),
                                  QStringLiteral("Расход в день"),
                                  QStringLiteral("Осталось дней"),
                                  QStringLiteral("Дата оценки")};
    m_table = new QTableWidget(static_cast<int>(forecasts.size()), static_cast<int>(headings.size()), this);
    m_table->setObjectName(QStringLiteral("ForecastTable"));
    m_table->setHorizontalHeaderLabels(headings);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    const QBrush fewTint(QColor(0xFF, 0xE4, 0xE1));
    for (int row = 0; row < static_cast<int>(forecasts.size()); ++row) {
        const AccountForecast& f = forecasts[static_cast<std::size_t>(row)];
        const Spending& s = f.spending;
        QString days = daysLeftCaption(s);
        const QString gap = forecastGapCaption(s);
        if (!gap.isEmpty()) days += QStringLiteral(" (") + gap + QLatin1Char(')');
        const QString cells[] = {QString::number(f.row + 1),
                                 toQ(f.login),
                                 toQ(f.plan),
                                 toQ(f.holder),
                                 s.balance ? QString::number(*s.balance, 'f', 2) : QString(),
                                 perDayCaption(s),
                                 days,
                                 asOfCaption(s)};
        for (int col = 0; col < static_cast<int>(std::size(cells)); ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            if (col == 0 || (col >= 4 && col <= 6)) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (fewDaysLeft(s, threshold)) item->setBackground(fewTint);
            m_table->setItem(row, col, item);
        }
    }
    m_table->resizeColumnsToContents();
    layout->addWidget(m_table, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Закрыть"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

}  // namespace korvex
