#include "store/navbar.h"

#include "store/binder.h"
#include "store/database.h"
#include "store/recordset.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

NavBar::NavBar(QWidget* parent) : QWidget(parent)
{
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(2);
    auto make = [this, lay](const QString& text, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(false);
        lay->addWidget(b);
        return b;
    };
    first_ = make(QStringLiteral("|◀"), QStringLiteral("第一条"));
    prev_ = make(QStringLiteral("◀"), QStringLiteral("上一条"));
    caption_ = new QLabel(this);
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setFrameShape(QFrame::StyledPanel);
    caption_->setMinimumWidth(120);
    lay->addWidget(caption_, 1);
    next_ = make(QStringLiteral("▶"), QStringLiteral("下一条"));
    last_ = make(QStringLiteral("▶|"), QStringLiteral("最后一条"));

    connect(first_, &QToolButton::clicked, this, [this] { go([](RecordSet& r) { r.moveFirst(); }); });
    connect(last_, &QToolButton::clicked, this, [this] { go([](RecordSet& r) { r.moveLast(); }); });
    connect(next_, &QToolButton::clicked, this, [this] {
        go([](RecordSet& r) {
            if (r.count() > 0 && r.position() < r.count() - 1)
                r.moveNext();
            else if (r.count() > 0 && !r.hasCurrent())
                r.moveLast();
        });
    });
    connect(prev_, &QToolButton::clicked, this, [this] {
        go([](RecordSet& r) {
            if (r.count() > 0 && r.position() > 0)
                r.movePrevious();
            else if (r.count() > 0 && !r.hasCurrent())
                r.moveFirst();
        });
    });
}

void NavBar::setRecordSet(RecordSet* rs)
{
    rs_ = rs;
}

void NavBar::setCaption(const QString& text)
{
    caption_->setText(text);
}

QString NavBar::caption() const
{
    return caption_->text();
}

void NavBar::go(const std::function<void(RecordSet&)>& move)
{
    if (!rs_)
        return;
    for (QWidget* w = parentWidget(); w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        if (!w->findChildren<Binder*>(Qt::FindDirectChildrenOnly).isEmpty()) {
            if (!Binder::checkAll(w))
                return;
            break;
        }
    }
    try {
        move(*rs_);
    } catch (const StoreError& e) {
        if (onError_)
            onError_(e.message());
    }
}
