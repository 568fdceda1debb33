#include "app/text_grid_model.h"

#include <QColor>
#include <algorithm>
#include <utility>

#include "app/qt_text.h"

namespace korvex {

TextGridModel::TextGridModel(TextGrid& grid, bool editable, QObject* parent)
    : QAbstractTableModel(parent), m_grid(grid), m_editable(editable) {}

void TextGridModel::setHeadings(const QStringList& headings) {
    m_headings = headings;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void TextGridModel::reload() {
    beginResetModel();
    endResetModel();
}

void TextGridModel::refreshCells() {
    rowsChanged(0, rowCount() - 1);
}

void TextGridModel::rowsChanged(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, rowCount() - 1);
    if (first > last) return;
    if (!m_deferred) {
        emit dataChanged(index(first, 0), index(last, columnCount() - 1));
        return;
    }
    m_changedFirst = m_changedFirst < 0 ? first : std::min(m_changedFirst, first);
    m_changedLast = std::max(m_changedLast, last);
}

void TextGridModel::setDeferred(bool deferred) {
    m_deferred = deferred;
    if (!deferred) flushChanges();
}

void TextGridModel::flushChanges() {
    if (m_changedFirst < 0) return;
    const int first = std::exchange(m_changedFirst, -1), last = std::exchange(m_changedLast, -1);
    const bool deferred = std::exchange(m_deferred, false);
    rowsChanged(first, last);
    m_deferred = deferred;
}

int TextGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_grid.rowCount();
}

int TextGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_grid.colCount();
}

QVariant TextGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return toQ(m_grid.cell(index.column(), index.row()));
        case Qt::BackgroundRole:
            if (m_rowNotes.contains(index.row())) return QColor(255, 221, 221);
            return {};
        case Qt::ToolTipRole: {
            QString tip = m_rowNotes.value(index.row());
            const QString more = m_cellTip ? m_cellTip(index.column(), index.row()) : QString();
            if (!more.isEmpty()) tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + more;
            return tip.isEmpty() ? QVariant() : QVariant(tip);
        }
        default:
            return {};
    }
}

void TextGridModel::setRowNote(int row, const QString& note) {
    if (note.isEmpty())
        m_rowNotes.remove(row);
    else
        m_rowNotes.insert(row, note);
    rowsChanged(row, row);
}

void TextGridModel::clearRowNotes() {
    if (m_rowNotes.isEmpty()) return;
    m_rowNotes.clear();
    refreshCells();
}

bool TextGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!m_editable || !index.isValid() || role != Qt::EditRole) return false;
    m_grid.setCell(index.column(), index.row(), fromQ(value.toString()));
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags TextGridModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (m_editable && index.isValid()) f |= Qt::ItemIsEditable;
    return f;
}

QVariant TextGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section < m_headings.size() ? QVariant(m_headings[section]) : QVariant();
}

}  // namespace korvex
