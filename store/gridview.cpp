#include "store/gridview.h"

#include <QTimer>

#include "store/database.h"
#include "store/recordset.h"
#include "store/recordsetmodel.h"

#include <QHeaderView>
#include <QItemSelectionModel>

RecordSetGrid::RecordSetGrid(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAlternatingRowColors(true);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    // Column widths come from the first rows, so that sizing reads one page, not the table.
    horizontalHeader()->setResizeContentsPrecision(100);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
}

void RecordSetGrid::setRecordSetModel(RecordSetModel* model)
{
    model_ = model;
    setModel(model);
    RecordSet& rs = model->recordSet();
    connect(&rs, &RecordSet::currentChanged, this, &RecordSetGrid::followCurrent);
    connect(model, &QAbstractItemModel::modelReset, this, &RecordSetGrid::followCurrent);
    // A refused number: the cell is edited again once the message is gone.
    connect(model, &RecordSetModel::refused, this, [this](const QModelIndex& index) {
        const QPersistentModelIndex at(index);
        QTimer::singleShot(0, this, [this, at] {
            if (at.isValid() && model_) {
                setCurrentIndex(at);
                edit(at);
            }
        });
    });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& cur, const QModelIndex&) { rowClicked(cur); });
    resizeColumnsToContents();
    followCurrent();
}

void RecordSetGrid::followCurrent()
{
    if (!model_ || following_)
        return;
    following_ = true;
    RecordSet& rs = model_->recordSet();
    if (rs.hasCurrent()) {
        const int col = std::max(0, currentIndex().column());
        const QModelIndex idx = model_->index(rs.position(), col);
        selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(idx);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
    }
    following_ = false;
}

void RecordSetGrid::rowClicked(const QModelIndex& current)
{
    if (!model_ || following_ || !current.isValid())
        return;
    RecordSet& rs = model_->recordSet();
    if (model_->isNewRowLine(current.row()) || current.row() == rs.position())
        return;
    following_ = true;
    try {
        rs.moveTo(current.row());
    } catch (const StoreError& e) {
        following_ = false;
        if (onError_)
            onError_(e.message());
        followCurrent();
        return;
    }
    following_ = false;
}
