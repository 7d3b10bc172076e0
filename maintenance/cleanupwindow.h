#pragma once

#include <QWidget>

class QComboBox;
class QPushButton;
struct Services;

// The data cleanup window: a range of months and the button that deletes its paid
// history.
class CleanupWindow : public QWidget {
    Q_OBJECT
public:
    explicit CleanupWindow(Services& services, QWidget* parent = nullptr);

    QComboBox* firstBox() const { return first_; }
    QComboBox* lastBox() const { return last_; }
    QPushButton* deleteButton() const { return delete_; }

    void refreshMonths();
    void runCleanup();

private:
    Services& services_;
    QComboBox* first_;
    QComboBox* last_;
    QPushButton* delete_;
};
