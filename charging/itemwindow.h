#pragma once

#include <QWidget>
#include <memory>

class QPushButton;
class RecordSetGrid;
class RecordSetModel;
struct Services;

// The charge item window: the items of the shared item set in a grid, edited in
// place and added in the new-row line; every pending change is written in one
// transaction when the window closes. While it is open, an item without an item
// number or with another item's is refused with a message.
class ItemWindow : public QWidget {
    Q_OBJECT
public:
    explicit ItemWindow(Services& services, QWidget* parent = nullptr);

    RecordSetGrid* grid() const { return grid_; }
    RecordSetModel* model() const { return model_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* closeButton() const { return close_; }

    // Deletes the current item (pending until the window closes).
    void deleteItem();
    // Writes every pending change; false (after the message) when the database refused.
    bool unload();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void report(const QString& what, const QString& message);

    Services& services_;
    RecordSetGrid* grid_;
    RecordSetModel* model_;
    QPushButton* delete_;
    QPushButton* close_;
    std::shared_ptr<void> numberGuard_ = std::make_shared<int>(0);  // keeps the item-number check on
};
