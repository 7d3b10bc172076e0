#include "store/binder.h"

#include "common/numbers.h"
#include "store/database.h"
#include "store/recordset.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <cmath>

Binder::Binder(RecordSet& rs, QObject* parent) : QObject(parent), rs_(rs)
{
    connect(&rs_, &RecordSet::currentChanged, this, &Binder::refresh);
    connect(&rs_, &RecordSet::rowsReset, this, &Binder::refresh);
    connect(&rs_, &RecordSet::valueChanged, this, [this](int row, int) {
        if (!showing_ && row == rs_.position())
            refresh();
    });
}

QString Binder::textOf(const Binding& b) const
{
    const QVariant v = rs_.value(b.column);
    if (v.isNull() || !v.isValid())
        return QString();
    const QString type = rs_.declaredType(b.column);
    if (type == QLatin1String("REAL")) {
        bool ok = true;
        const double d = v.typeId() == QMetaType::QString ? v.toString().toDouble(&ok) : v.toDouble();
        if (!ok)
            return v.toString();
        return b.mask.isEmpty() ? plainNumber(d) : formatMask(d, b.mask);
    }
    return v.toString();
}

void Binder::bind(QWidget* box, const QString& column, const QString& mask)
{
    Binding b{box, column, mask};
    bindings_.append(b);
    if (auto* e = qobject_cast<QLineEdit*>(box)) {
        connect(e, &QLineEdit::textEdited, this, [this, b] { store(b); });
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(box)) {
        connect(p, &QPlainTextEdit::textChanged, this, [this, b] { store(b); });
    } else if (auto* t = qobject_cast<QTextEdit*>(box)) {
        connect(t, &QTextEdit::textChanged, this, [this, b] { store(b); });
    } else if (auto* c = qobject_cast<QCheckBox*>(box)) {
        connect(c, &QCheckBox::clicked, this, [this, b] { store(b); });
    } else if (auto* cb = qobject_cast<QComboBox*>(box)) {
        connect(cb, &QComboBox::currentTextChanged, this, [this, b] { store(b); });
    }
    show(b);
}

void Binder::refresh()
{
    for (const Binding& b : std::as_const(bindings_))
        show(b);
}

void Binder::show(const Binding& b)
{
    if (!b.box)
        return;
    showing_ = true;
    const bool has = rs_.hasCurrent();
    const QString text = has ? textOf(b) : QString();
    if (auto* e = qobject_cast<QLineEdit*>(b.box)) {
        if (e->text() != text)
            e->setText(text);
        e->setCursorPosition(0);
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(b.box)) {
        if (p->toPlainText() != text)
            p->setPlainText(text);
    } else if (auto* t = qobject_cast<QTextEdit*>(b.box)) {
        if (t->toPlainText() != text)
            t->setPlainText(text);
    } else if (auto* c = qobject_cast<QCheckBox*>(b.box)) {
        c->setChecked(has && Criterion::valueIsTrue(rs_.value(b.column)));
    } else if (auto* cb = qobject_cast<QComboBox*>(b.box)) {
        if (cb->currentText() != text)
            cb->setCurrentText(text);
    }
    showing_ = false;
}

void Binder::store(const Binding& b)
{
    if (showing_ || !b.box || !rs_.hasCurrent())
        return;
    QString text;
    QVariant v;
    if (auto* e = qobject_cast<QLineEdit*>(b.box))
        text = e->text();
    else if (auto* p = qobject_cast<QPlainTextEdit*>(b.box))
        text = p->toPlainText();
    else if (auto* t = qobject_cast<QTextEdit*>(b.box))
        text = t->toPlainText();
    else if (auto* cb = qobject_cast<QComboBox*>(b.box))
        text = cb->currentText();
    if (auto* c = qobject_cast<QCheckBox*>(b.box)) {
        v = QVariant(qlonglong(c->isChecked() ? 1 : 0));
    } else if (rs_.declaredType(b.column) == QLatin1String("REAL")) {
        const QString t = text.trimmed();
        if (t.isEmpty()) {
            v = QVariant();
        } else {
            bool ok = false;
            const double d = t.toDouble(&ok);
            if (!ok || !std::isfinite(d))
                return;  // not a number (yet): the column keeps its value
            v = d;
        }
    } else {
        v = text;
    }
    showing_ = true;
    try {
        rs_.setValue(b.column, v);
    } catch (const StoreError& e) {
        if (onError_)
            onError_(e.message());
    }
    showing_ = false;
}
