#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;
struct Services;

// The household search window: moves the shared household record set to the
// household found.
class SearchWindow : public QWidget {
    Q_OBJECT
public:
    explicit SearchWindow(Services& services, QWidget* parent = nullptr);

    QLineEdit* textBox() const { return text_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* previousButton() const { return previous_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* closeButton() const { return close_; }

    void startSearch();
    void findNext();
    void findPrevious();

private:
    template <typename Step>
    void run(Step step);

    Services& services_;
    QLineEdit* text_;
    QPushButton* start_;
    QPushButton* previous_;
    QPushButton* next_;
    QPushButton* close_;
};
