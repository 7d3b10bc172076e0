#pragma once

#include <QTableView>
#include <functional>

class RecordSet;
class RecordSetModel;

// A grid over a record set whose current cell follows the record set's current
// row, and whose clicks move the record set.
class RecordSetGrid : public QTableView {
    Q_OBJECT
public:
    explicit RecordSetGrid(QWidget* parent = nullptr);
    void setRecordSetModel(RecordSetModel* model);
    RecordSetModel* recordSetModel() const { return model_; }
    void setErrorHandler(std::function<void(const QString&)> h) { onError_ = std::move(h); }
    // Selects the record set's current row in the grid.
    void followCurrent();

private:
    void rowClicked(const QModelIndex& current);
    RecordSetModel* model_ = nullptr;
    bool following_ = false;
    std::function<void(const QString&)> onError_;
};
