// The balance table's menu: speed change, the personal page and the one-row refresh, for the row
// under the last right-click.
#include <algorithm>

#include <QAction>
#include <QMenu>
#include <QTableView>

#include "app/tform1.h"
#include "commands/speed_change.h"

namespace korvex {

void TForm1::buildBalanceMenu() {
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    New1 = PopupMenu2->addMenu(QStringLiteral("Смена скорости"));
    New1->setObjectName(QStringLiteral("New1"));
    const struct {
        QAction** action;
        const char* name;
        QString caption;
        void (TForm1::*handler)();
    } items[] = {
        {&N641, "N641", QStringLiteral("64 Кбит"), &TForm1::N641Click},
        {&N1281, "N1281", QStringLiteral("128 Кбит"), &TForm1::N1281Click},
        {&N2561, "N2561", QStringLiteral("256 Кбит"), &TForm1::N2561Click},
        {&N5121, "N5121", QStringLiteral("512 Кбит"), &TForm1::N5121Click},
        {&N10241, "N10241", QStringLiteral("1024 Кбит"), &TForm1::N10241Click},
        {&N20481, "N20481", QStringLiteral("2048 Кбит"), &TForm1::N20481Click},
        {&N30721, "N30721", QStringLiteral("3072 Кбит"), &TForm1::N30721Click},
        {&N40961, "N40961", QStringLiteral("4096 Кбит"), &TForm1::N40961Click},
        {&N51201, "N51201", QStringLiteral("5120 Кбит"), &TForm1::N51201Click},
    };
    for (const auto& item : items) {
        *item.action = New1->addAction(item.caption, this, item.handler);
        (*item.action)->setObjectName(QString::fromLatin1(item.name));
    }
    N5 = PopupMenu2->addAction(QStringLiteral("Личная страница"), this, &TForm1::N5Click);
    N5->setObjectName(QStringLiteral("N5"));
    N6 = PopupMenu2->addAction(QStringLiteral("Обновить этот баланс"), this, &TForm1::N6Click);
    N6->setObjectName(QStringLiteral("N6"));
    BalanceHistoryItem = PopupMenu2->addAction(QStringLiteral("История баланса…"), this, &TForm1::BalanceHistoryItemClick);
    BalanceHistoryItem->setObjectName(QStringLiteral("BalanceHistoryItem"));
    buildForecast();
}

void TForm1::StatMouseDown(QWidget* source, Qt::MouseButton button, const QPoint& pos) {
    if (m_running) return;
    QAction* const speeds[] = {N641, N1281, N2561, N5121, N10241, N20481, N30721, N40961, N51201};
    for (QAction* a : speeds) a->setEnabled(true);
    if (button != Qt::RightButton) return;

    const QModelIndex cell = Stat->indexAt(pos);  // header coordinates taken as the table's own
    m_curCol = cell.isValid() ? cell.column() : -1;
    m_curRow = cell.isValid() ? cell.row() : -1;
    if (m_curCol < 0 || m_curRow < 0) return;
    m_popupPoint = source->mapToGlobal(pos);

    const std::vector<SpeedItem> enabled = speedMenuItems(m_book.client.cell(kPlanCode, m_curRow));
    for (std::size_t i = 0; i < kSpeedItems.size(); ++i)
        speeds[i]->setEnabled(std::ranges::find(enabled, kSpeedItems[i]) != enabled.end());
    PopupMenu2->popup(m_popupPoint);
}

}  // namespace korvex
