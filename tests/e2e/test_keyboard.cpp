// Keyboard use: in every working window Tab visits the boxes in reading order
// (top to bottom, left to right), and Enter in the boxes does what the clerk
// expects.
#include "road.h"

#include "charging/billentrywindow.h"
#include "estate.h"
#include "common/windowregistry.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QtTest>
#include <algorithm>

namespace {

// The text boxes and drop-downs of a window that take the focus by Tab.
QList<QWidget*> boxes(QWidget* w)
{
    QList<QWidget*> out;
    for (QWidget* c : w->findChildren<QWidget*>()) {
        const bool box = qobject_cast<QLineEdit*>(c) || qobject_cast<QPlainTextEdit*>(c) ||
                         (qobject_cast<QComboBox*>(c) && !c->findChild<QLineEdit*>() ? true : false) ||
                         (qobject_cast<QComboBox*>(c) != nullptr);
        if (!box || !c->isVisible() || !c->isEnabled() || !(c->focusPolicy() & Qt::TabFocus))
            continue;
        if (qobject_cast<QLineEdit*>(c) && qobject_cast<QComboBox*>(c->parentWidget()))
            continue;  // the edit of an editable drop-down
        out << c;
    }
    return out;
}

QString name(QWidget* w)
{
    if (qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget()))
        w = w->parentWidget();
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

}  // namespace

class TestKeyboard : public QObject {
    Q_OBJECT
private slots:
    void tabVisitsTheBoxesInReadingOrder_data();
    void tabVisitsTheBoxesInReadingOrder();
    void gridsGrowWithTheWindowAndCaptionsFit_data();
    void gridsGrowWithTheWindowAndCaptionsFit();
};

void TestKeyboard::tabVisitsTheBoxesInReadingOrder_data()
{
    QTest::addColumn<QString>("window");
    for (const char* n : {"frm_档案录入", "frm_缴费录入", "frm_缴费打印", "frm_查询", "数据清理", "FRM_系统设置"})
        QTest::newRow(n) << QString::fromUtf8(n);
}

void TestKeyboard::tabVisitsTheBoxesInReadingOrder()
{
    QFETCH(QString, window);
    TestEstate e;
    e.addItem(QStringLiteral("01"), QStringLiteral("管理费"), 30.0);
    for (int i = 1; i <= 3; ++i) {
        e.addHousehold(QStringLiteral("1-10%1").arg(i), QStringLiteral("住户%1").arg(i), 80);
        e.addBill(QStringLiteral("1-10%1").arg(i), QStringLiteral("202406"), 30);
    }
    const WindowRegistry r = allWindows();
    std::unique_ptr<QWidget> w(r.find(window)->create(e.services()));
    w->resize(1100, 720);
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));

    QList<QWidget*> expected = boxes(w.get());
    QVERIFY(!expected.isEmpty());
    // Reading order: by rows (boxes whose tops lie within half a box height share a row), then left to right.
    auto pos = [&](QWidget* c) { return c->mapTo(w.get(), QPoint(0, 0)); };
    std::stable_sort(expected.begin(), expected.end(), [&](QWidget* a, QWidget* b) {
        const QPoint pa = pos(a), pb = pos(b);
        if (std::abs(pa.y() - pb.y()) > std::min(a->height(), b->height()) / 2)
            return pa.y() < pb.y();
        return pa.x() < pb.x();
    });
    QStringList want;
    for (QWidget* c : expected)
        want << name(c);

    expected.first()->setFocus(Qt::TabFocusReason);
    QStringList seen;
    QList<QWidget*> visited;
    QWidget* start = QApplication::focusWidget();
    QVERIFY(start);
    for (int i = 0; i < 200; ++i) {
        QWidget* f = QApplication::focusWidget();
        QWidget* owner = (qobject_cast<QLineEdit*>(f) && qobject_cast<QComboBox*>(f->parentWidget())) ? f->parentWidget() : f;
        if (expected.contains(owner) && !visited.contains(owner)) {
            visited << owner;
            seen << name(owner);
        }
        auto* plain = qobject_cast<QPlainTextEdit*>(f);
        if ((plain && !plain->tabChangesFocus()) || qobject_cast<QAbstractItemView*>(f))
            QTest::keyClick(f, Qt::Key_Tab, Qt::ControlModifier);
        else
            QTest::keyClick(f, Qt::Key_Tab);
        if (QApplication::focusWidget() == start)
            break;
    }
    QVERIFY2(seen == want, qPrintable(seen.join(QLatin1Char(' ')) + QStringLiteral("\n") + want.join(QLatin1Char(' '))));
}

void TestKeyboard::gridsGrowWithTheWindowAndCaptionsFit_data()
{
    tabVisitsTheBoxesInReadingOrder_data();
    QTest::newRow("frm_项目维护") << QStringLiteral("frm_项目维护");
}

void TestKeyboard::gridsGrowWithTheWindowAndCaptionsFit()
{
    QFETCH(QString, window);
    TestEstate e;
    e.addItem(QStringLiteral("01"), QStringLiteral("管理费"), 30.0);
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("住户"), 80);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202406"), 30);
    const WindowRegistry r = allWindows();
    std::unique_ptr<QWidget> w(r.find(window)->create(e.services()));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QApplication::processEvents();

    // At the window's own size no label or button cuts its caption.
    for (QLabel* l : w->findChildren<QLabel*>()) {
        if (!l->isVisible() || l->wordWrap() || l->text().isEmpty())
            continue;
        QVERIFY2(l->width() >= l->fontMetrics().horizontalAdvance(l->text()),
                 qPrintable(window + QStringLiteral(": ") + l->text()));
    }
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (!b->isVisible() || b->text().isEmpty() || qobject_cast<QToolButton*>(b))
            continue;
        QVERIFY2(b->width() >= b->fontMetrics().horizontalAdvance(b->text()),
                 qPrintable(window + QStringLiteral(": ") + b->text()));
    }

    // A larger window gives its grids the room.
    const QList<QAbstractItemView*> grids = w->findChildren<QAbstractItemView*>();
    QList<QSize> before;
    for (QAbstractItemView* g : grids)
        before << g->size();
    w->resize(w->width() + 300, w->height() + 200);
    QApplication::processEvents();
    for (int i = 0; i < grids.size(); ++i) {
        if (!grids[i]->isVisible() || qobject_cast<QHeaderView*>(grids[i]) || qobject_cast<QComboBox*>(grids[i]->parentWidget()) ||
            grids[i]->window() != w.get() || grids[i]->parentWidget()->inherits("QComboBoxPrivateContainer"))
            continue;
        QVERIFY2(grids[i]->width() > before[i].width() || grids[i]->height() > before[i].height(),
                 qPrintable(window + QStringLiteral(": grid %1 %2x%3 -> %4x%5").arg(grids[i]->metaObject()->className()).arg(before[i].width()).arg(before[i].height()).arg(grids[i]->width()).arg(grids[i]->height())));
    }
}

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
