#pragma once

#include <QHash>
#include <QSet>
#include <QObject>
#include <QVariant>
#include <QPointer>
#include <QString>
#include <functional>

class QLineEdit;
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
    // bound number box holds a text that is not a number. Secret boxes hand what was
    // typed in them to the row first (false when that fails, after the message).
    bool checkNumbers();
    // The same for every binder under `root` (its children at any depth).
    static bool checkAll(const QObject* root);

    // `mask` formats numbers for display ("" shows the plain number text).
    void bind(QWidget* box, const QString& column, const QString& mask = QString());
    // A box for a secret (a password): it shows the column's value through `shown`,
    // and keeps what is typed to itself until the typing ends (the box is left, or
    // checkNumbers() is asked before the row is left or saved); the text then goes
    // to the row through `stored`, once. A box left empty over a value that `shown`
    // hides keeps that value.
    void bindSecret(QLineEdit* box, const QString& column, std::function<QString(const QVariant&)> shown,
                    std::function<QVariant(const QString&)> stored);
    void setErrorHandler(std::function<void(const QString&)> h) { onError_ = std::move(h); }
    // Shows the current row again in every box.
    void refresh();
    RecordSet& recordSet() const { return rs_; }

private:
    struct Binding {
        QPointer<QWidget> box;
        QString column;
        QString mask;
        std::function<QString(const QVariant&)> shown;  // secret boxes only
        std::function<QVariant(const QString&)> stored;
    };
    void show(const Binding& b);
    void store(const Binding& b);
    void finish(const Binding& b);
    bool commitSecret(const Binding& b);  // false when the text could not be stored
    bool isNumber(const Binding& b) const;
    bool refused(const Binding& b) const;  // a number box holding a text that is no number
    void complain(const Binding& b);
    static QString captionOf(QWidget* box, const QString& column);
    QString textOf(const Binding& b) const;

    RecordSet& rs_;
    QList<Binding> bindings_;
    bool showing_ = false;
    bool complaining_ = false;
    QSet<QWidget*> typed_;  // secret boxes typed in and not yet handed to the row
    QHash<QWidget*, QVariant> before_;  // a number box's value before the operator began typing
    std::function<void(const QString&)> onError_;
};
