#pragma once
// Shows a TextGrid in a QTableView: cp1251 cells as Unicode, typed text stored back as cp1251.
// The grid belongs to the window's account book; the model only looks at it, so after the core
// changes the grid the window calls reload() (rows added or removed) or refreshCells() (texts only).
#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>
#include <functional>

#include "book/text_grid.h"

namespace korvex {

class TextGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TextGridModel(TextGrid& grid, bool editable, QObject* parent = nullptr);

    void setHeadings(const QStringList& headings);
    void reload();
    void refreshCells();
    // While deferred, changed cells and notes are gathered instead of announced to the views, and
    // flushChanges() announces what gathered at once: a refresh run shows its rows once a frame, not
    // once a row. Ending the deferral flushes.
    void setDeferred(bool deferred);
    void flushChanges();

    // A note on a row (why its last check failed): the row is tinted and the note is its tooltip.
    // An empty note takes it away.
    void setRowNote(int row, const QString& note);
    void clearRowNotes();
    QString rowNote(int row) const { return m_rowNotes.value(row); }
    // More for a cell's tooltip, after its row's note: asked each time the tooltip is about to show,
    // so it says what holds then. "" adds nothing.
    using CellTip = std::function<QString(int col, int row)>;
    void setCellTip(CellTip tip) { m_cellTip = std::move(tip); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // Rows first..last changed: announced now, or gathered while deferred.
    void rowsChanged(int first, int last);

    TextGrid& m_grid;
    bool m_editable;
    QStringList m_headings;
    QHash<int, QString> m_rowNotes;
    CellTip m_cellTip;
    bool m_deferred = false;
    int m_changedFirst = -1;  // the rows gathered while deferred; -1: none
    int m_changedLast = -1;
};

}  // namespace korvex
