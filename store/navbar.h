#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QToolButton;
class RecordSet;

// The data control's navigation bar: first, previous, caption, next, last.
class NavBar : public QWidget {
    Q_OBJECT
public:
    explicit NavBar(QWidget* parent = nullptr);
    void setRecordSet(RecordSet* rs);
    void setCaption(const QString& text);
    QString caption() const;
    void setErrorHandler(std::function<void(const QString&)> h) { onError_ = std::move(h); }

    QToolButton* firstButton() const { return first_; }
    QToolButton* previousButton() const { return prev_; }
    QToolButton* nextButton() const { return next_; }
    QToolButton* lastButton() const { return last_; }

private:
    void go(const std::function<void(RecordSet&)>& move);
    RecordSet* rs_ = nullptr;
    QToolButton* first_;
    QToolButton* prev_;
    QToolButton* next_;
    QToolButton* last_;
    QLabel* caption_;
    std::function<void(const QString&)> onError_;
};
