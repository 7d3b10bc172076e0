#pragma once

#include <QHash>
#include <QObject>
#include <QVariant>
#include <QPointer>
#include <QString>
#include <functional>

class QWidget;
class RecordSet;

// Binds boxes to columns of a record set's current row: each box shows the column
// of the current row and writes what the operator types back into it.
// QLineEdit, QPlainTextEdit, QTextEdit, QCheckBox and QComboBox are supported.
// A box bound to a number column takes full-width digits as plain ones, and writes
// to the row only while its whole text is a number: while it is not ("1," of
// "1,200", "80平米"), the column holds its value from before the typing. Leaving the
// box with such a text is refused with a message naming the box (through the error
// handler) while the focus stays there; whatever leaves or saves the row otherwise
// (a record bar, a save, the end of the program) asks checkNumbers() first.
class Binder : public QObject {
    Q_OBJECT
public:
    explicit Binder(RecordSet& rs, QObject* parent = nullptr);

    // False, after the message naming the box and with the focus put there, when a
    // bound number box holds a text that is not a number.
    bool checkNumbers();
    // The same for every binder under `root` (its children at any depth).
    static bool checkAll(const QObject* root);

    // `mask` formats numbers for display ("" shows the plain number text).
    void bind(QWidget* box, const QString& column, const QString& mask = QString());
    void setErrorHandler(std::function<void(const QString&)> h) { onError_ = std::move(h); }
    // Shows the current row again in every box.
    void refresh();
    RecordSet& recordSet() const { return rs_; }

private:
    struct Binding {
        QPointer<QWidget> box;
        QString column;
        QString mask;
    };
    void show(const Binding& b);
    void store(const Binding& b);
    void finish(const Binding& b);
    bool isNumber(const Binding& b) const;
    bool refused(const Binding& b) const;  // a number box holding a text that is no number
    void complain(const Binding& b);
    static QString captionOf(QWidget* box, const QString& column);
    QString textOf(const Binding& b) const;

    RecordSet& rs_;
    QList<Binding> bindings_;
    bool showing_ = false;
    bool complaining_ = false;
    QHash<QWidget*, QVariant> before_;  // a number box's value before the operator began typing
    std::function<void(const QString&)> onError_;
};
