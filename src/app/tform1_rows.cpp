// Row editing from the account table's menu. Every command acts on both tables, so that balance row i
// stays beside account row i. Adding and deleting rows also moves the account count by one, so no row
// ever lies beyond the count, where it would be neither saved nor checked.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QProgressBar>
#include <QTableView>

#include "grid_func.h"
#include "tform1.h"
#include "text_grid_model.h"

namespace korvex {

void TForm1::buildRowMenu() {
    JvPopupMenu1 = new QMenu(this);
    JvPopupMenu1->setObjectName(QStringLiteral("JvPopupMenu1"));
    addrow = JvPopupMenu1->addAction(QStringLiteral("Добавить строку"), this, &TForm1::addrowClick);
    delrow = JvPopupMenu1->addAction(QStringLiteral("Удалить строку"), this, &TForm1::delrowClick);
    moveup = JvPopupMenu1->addAction(QStringLiteral("Сдвиг вверх"), this, &TForm1::moveupClick);
    movedown = JvPopupMenu1->addAction(QStringLiteral("Сдвиг вниз"), this, &TForm1::movedownClick);
    sort = JvPopupMenu1->addAction(QStringLiteral("Сортировать"), this, &TForm1::sortClick);
    addrow->setObjectName(QStringLiteral("addrow"));
    delrow->setObjectName(QStringLiteral("delrow"));
    moveup->setObjectName(QStringLiteral("moveup"));
    movedown->setObjectName(QStringLiteral("movedown"));
    sort->setObjectName(QStringLiteral("sort"));

    for (QWidget* w : {client->viewport(), static_cast<QWidget*>(client->horizontalHeader()),
                       Stat->viewport(), static_cast<QWidget*>(Stat->horizontalHeader())})
        w->installEventFilter(this);
}

void TForm1::clientMouseDown(QWidget* source, Qt::MouseButton button, const QPoint& pos) {
    if (button != Qt::RightButton || m_running) return;
    // The header strip's coordinates are taken as if they were the table's own.
    const QModelIndex cell = client->indexAt(pos);
    m_curCol = cell.isValid() ? cell.column() : -1;
    m_curRow = cell.isValid() ? cell.row() : -1;
    if (m_curCol < 0 || m_curRow < 0) return;
    m_popupPoint = source->mapToGlobal(pos);
    JvPopupMenu1->popup(m_popupPoint);
}

void TForm1::afterRowCommand() {
    const QSignalBlocker blocker(clients);
    clients->setValue(m_book.clients);
    JvXPProgressBar1->setMaximum(m_book.clients - 1);
    m_statModel->clearRowNotes();  // the marks of failed checks belonged to rows that have moved
    reloadTables();
}

void TForm1::addrowClick() {
    if (m_book.clients >= kMaxAccounts || !insertRow(m_book.client, m_curRow)) {
        QApplication::beep();
        return;
    }
    insertRow(m_book.Stat, m_curRow);
    m_book.clients = m_book.client.rowCount();
    afterRowCommand();
}

void TForm1::delrowClick() {
    if (!deleteRow(m_book.client, m_curRow)) {
        QApplication::beep();
        return;
    }
    deleteRow(m_book.Stat, m_curRow);
    // The row that falls off the end is written empty by the next save: no deleted password stays.
    while (m_book.clients > m_book.client.rowCount()) m_book.dropLastRow();
    m_book.clients = m_book.client.rowCount();
    afterRowCommand();
}

void TForm1::moveupClick() {
    if (m_curRow < 1) return;
    moveRow(m_book.client, m_curRow, m_curRow - 1);
    moveRow(m_book.Stat, m_curRow, m_curRow - 1);
    afterRowCommand();
}

void TForm1::movedownClick() {
    if (m_curRow < 1) return;
    moveRow(m_book.client, m_curRow, m_curRow + 1);
    moveRow(m_book.Stat, m_curRow, m_curRow + 1);
    afterRowCommand();
}

void TForm1::sortClick() {
    sortRows(m_book.client, m_curCol, 1, m_book.client.rowCount() - 1, m_book.Stat);
    afterRowCommand();
}

}  // namespace korvex
