#include "store/binder.h"

#include "common/numbers.h"
#include "store/database.h"
#include "store/recordset.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <cmath>

Binder::Binder(RecordSet& rs, QObject* parent) : QObject(parent), rs_(rs)
{
    connect(&rs_, &RecordSet::currentChanged, this, [this] {
        before_.clear();
        typed_.clear();
        refresh();
    });
    connect(&rs_, &RecordSet::rowsReset, this, &Binder::refresh);
    connect(&rs_, &RecordSet::valueChanged, this, [this](int row, int) {
        if (!showing_ && row == rs_.position())
            refresh();
    });
}

QString Binder::textOf(const Binding& b) const
{
    const QVariant v = rs_.value(b.column);
    if (b.shown)
        return b.shown(v);
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
    Binding b{box, column, mask, {}, {}};
    bindings_.append(b);
    if (auto* e = qobject_cast<QLineEdit*>(box)) {
        connect(e, &QLineEdit::textEdited, this, [this, b] { store(b); });
        connect(e, &QLineEdit::editingFinished, this, [this, b] { finish(b); });
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

void Binder::bindSecret(QLineEdit* box, const QString& column, std::function<QString(const QVariant&)> shown,
                        std::function<QVariant(const QString&)> stored)
{
    Binding b{box, column, QString(), std::move(shown), std::move(stored)};
    bindings_.append(b);
    connect(box, &QLineEdit::textEdited, this, [this, box] {
        if (!showing_)
            typed_.insert(box);
    });
    connect(box, &QLineEdit::editingFinished, this, [this, b] { commitSecret(b); });
    show(b);
}

bool Binder::commitSecret(const Binding& b)
{
    auto* e = qobject_cast<QLineEdit*>(b.box.data());
    if (!e || !typed_.remove(e) || !rs_.hasCurrent())
        return true;
    const QString text = e->text();
    if (text.isEmpty() && b.shown(rs_.value(b.column)).isEmpty())
        return true;  // nothing typed over a hidden value
    showing_ = true;
    try {
        rs_.setValue(b.column, b.stored(text));
    } catch (const StoreError& err) {
        showing_ = false;
        typed_.insert(e);
        if (onError_)
            onError_(err.message());
        return false;
    }
    showing_ = false;
    return true;
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
    // A re-read of the same row does not wipe out a number being typed.
    if ((before_.contains(b.box) && refused(b)) || typed_.contains(b.box))
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
    } else if (isNumber(b)) {
        if (!before_.contains(b.box))
            before_.insert(b.box, rs_.value(b.column));
        if (narrowDigits(text).trimmed().isEmpty()) {
            v = QVariant();
        } else {
            // Not a number (yet): the column holds its value from before the typing,
            // never a prefix ("1" of "1,200").
            const std::optional<double> d = boxNumber(text);
            v = d ? QVariant(*d) : before_.value(b.box);
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

bool Binder::isNumber(const Binding& b) const
{
    return rs_.declaredType(b.column) == QLatin1String("REAL");
}

bool Binder::refused(const Binding& b) const
{
    auto* e = qobject_cast<QLineEdit*>(b.box.data());
    if (!e || e->isReadOnly() || !isNumber(b) || !rs_.hasCurrent())
        return false;
    const QString text = e->text();
    return !narrowDigits(text).trimmed().isEmpty() && !boxNumber(text);
}

void Binder::complain(const Binding& b)
{
    auto* e = qobject_cast<QLineEdit*>(b.box.data());
    complaining_ = true;
    if (onError_)
        onError_(notANumberText(captionOf(e, b.column), e->text()));
    e->setFocus();
    e->selectAll();
    complaining_ = false;
}

void Binder::finish(const Binding& b)
{
    auto* e = qobject_cast<QLineEdit*>(b.box.data());
    if (!e || complaining_ || showing_ || !isNumber(b) || !rs_.hasCurrent())
        return;
    if (refused(b)) {
        complain(b);
        return;
    }
    before_.remove(e);
    if (!narrowDigits(e->text()).trimmed().isEmpty())
        show(b);  // "８５．５" is shown as the 85.5 it stored
}

bool Binder::checkNumbers()
{
    if (complaining_)
        return false;
    for (const Binding& b : std::as_const(bindings_))
        if (b.stored && !commitSecret(b))
            return false;
    for (const Binding& b : std::as_const(bindings_)) {
        if (refused(b)) {
            complain(b);
            return false;
        }
    }
    return true;
}

bool Binder::checkAll(const QObject* root)
{
    if (!root)
        return true;
    for (Binder* b : root->findChildren<Binder*>())
        if (!b->checkNumbers())
            return false;
    return true;
}

namespace {

QLayout* layoutHolding(QLayout* layout, QWidget* box)
{
    if (!layout)
        return nullptr;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == box)
            return layout;
        if (QLayout* found = layoutHolding(item->layout(), box))
            return found;
    }
    return nullptr;
}

QString cleanCaption(QString t)
{
    t.remove(QLatin1Char('&'));
    t = t.trimmed();
    while (t.endsWith(QLatin1Char(':')) || t.endsWith(QChar(0xFF1A)))
        t.chop(1);
    return t.trimmed();
}

}  // namespace

// The label in front of the box: its buddy label, else the label just before it in
// its layout; the column's name when there is none.
QString Binder::captionOf(QWidget* box, const QString& column)
{
    if (QWidget* top = box->window()) {
        for (QLabel* l : top->findChildren<QLabel*>())
            if (l->buddy() == box && !cleanCaption(l->text()).isEmpty())
                return cleanCaption(l->text());
    }
    if (QWidget* parent = box->parentWidget()) {
        if (QLayout* layout = layoutHolding(parent->layout(), box)) {
            int row = 0, col = 0, rows = 0, cols = 0;
            QWidget* before = nullptr;
            if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
                grid->getItemPosition(grid->indexOf(box), &row, &col, &rows, &cols);
                if (col > 0)
                    if (QLayoutItem* item = grid->itemAtPosition(row, col - 1))
                        before = item->widget();
            } else {
                const int i = layout->indexOf(box);
                if (i > 0)
                    before = layout->itemAt(i - 1)->widget();
            }
            if (auto* l = qobject_cast<QLabel*>(before))
                if (!cleanCaption(l->text()).isEmpty())
                    return cleanCaption(l->text());
        }
    }
    return column;
}
