#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QWidget;
class RecordSet;

// Binds boxes to columns of a record set's current row: each box shows the column
// of the current row and writes what the operator types back into it.
// QLineEdit, QPlainTextEdit, QTextEdit, QCheckBox and QComboBox are supported.
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
    QString textOf(const Binding& b) const;

    RecordSet& rs_;
    QList<Binding> bindings_;
    bool showing_ = false;
    std::function<void(const QString&)> onError_;
};
