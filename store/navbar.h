#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QToolButton;
class RecordSet;

// The data control's navigation bar: first, previous, caption, next, last.
// Its buttons take no focus, so before it moves it checks the bound number boxes of
// the form that holds it (the nearest ancestor with binders): a box holding a text
// that is not a number is named and the record stays where it is.
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
