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
// A box bound to a number column takes full-width digits as plain ones; a text that
// is still not a number is not stored, and leaving the box with it is refused with a
// message naming the box (through the error handler) while the focus stays there.
class Binder : public QObject {
    Q_OBJECT
public:
    explicit Binder(RecordSet& rs, QObject* parent = nullptr);

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
    static QString captionOf(QWidget* box, const QString& column);
    QString textOf(const Binding& b) const;

    RecordSet& rs_;
    QList<Binding> bindings_;
    bool showing_ = false;
    bool complaining_ = false;
    QHash<QWidget*, QVariant> before_;  // a number box's value before the operator began typing
    std::function<void(const QString&)> onError_;
};
