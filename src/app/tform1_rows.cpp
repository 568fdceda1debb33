// Row editing from the account table's menu; the rows move in the account book (AccountBook), the
// window shows the result.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QProgressBar>
#include <QTableView>

#include "app/text_grid_model.h"
#include "app/tform1.h"

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
    if (!m_book.insertAccount(m_curRow)) {
        QApplication::beep();
        return;
    }
    afterRowCommand();
}

void TForm1::delrowClick() {
    if (!m_book.deleteAccount(m_curRow)) {
        QApplication::beep();
        return;
    }
    afterRowCommand();
}

void TForm1::moveupClick() {
    if (m_book.moveAccountUp(m_curRow)) afterRowCommand();
}

void TForm1::movedownClick() {
    if (m_book.moveAccountDown(m_curRow)) afterRowCommand();
}

void TForm1::sortClick() {
    m_book.sortAccounts(m_curCol);
    afterRowCommand();
}

}  // namespace korvex
