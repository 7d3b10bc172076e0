#include "estate.h"

#include "store/gridview.h"
#include "store/recordsetmodel.h"

#include <QSignalSpy>
#include <QtTest>

using Dir = RecordSet::Direction;
using Start = RecordSet::Start;

namespace {

constexpr int Households = 1000;
constexpr int PageRows = 64;
constexpr int Pages = 4;

// 1,000 households; names repeat every 50 doors, so a name is found on many pages.
void fillEstate(TestEstate& e)
{
    Transaction t(e.db());
    for (int i = 1; i <= Households; ++i)
        e.db().exec(QStringLiteral("insert into 档案库 (门牌号, 户名) values (?, ?)"),
                    {QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("户%1").arg(i % 50)});
    t.commit();
}

std::unique_ptr<RecordSet> households(TestEstate& e, bool paged)
{
    auto rs = std::make_unique<RecordSet>(e.db(), QStringLiteral("档案库"), QStringLiteral("户名, ID"));
    rs->setPaging(paged ? PageRows : Households * 2, paged ? Pages : 1);
    rs->open();
    return rs;
}

// Runs one step of a script: "first", "last", "next", "prev", "to N", "mark",
// "find fwd|back cur|first|last|mark NAME", "filter NAME|-", "delete", "add DOOR",
// "edit NAME", "batch", "requery", "cancel", "walk", "set DOOR NAME|null". A find of
// "~TEXT" looks for names containing TEXT. Returns what a caller sees.
QString step(RecordSet& rs, const QString& op, RecordSet::Bookmark& mark)
{
    const QStringList w = op.split(QLatin1Char(' '));
    QString result;
    try {
        if (w[0] == QLatin1String("first"))
            rs.moveFirst();
        else if (w[0] == QLatin1String("last"))
            rs.moveLast();
        else if (w[0] == QLatin1String("next"))
            rs.moveNext();
        else if (w[0] == QLatin1String("prev"))
            rs.movePrevious();
        else if (w[0] == QLatin1String("to"))
            rs.moveTo(w[1].toInt());
        else if (w[0] == QLatin1String("mark"))
            mark = rs.bookmark();
        else if (w[0] == QLatin1String("find")) {
            const Start s = w[2] == QLatin1String("cur")     ? Start::Current
                            : w[2] == QLatin1String("first") ? Start::First
                            : w[2] == QLatin1String("last")  ? Start::Last
                                                             : Start::Bookmark;
            const Dir d = w[1] == QLatin1String("fwd") ? Dir::Forward : Dir::Backward;
            const Criterion c = w[3].startsWith(QLatin1Char('~')) ? Criterion::contains(QStringLiteral("户名"), w[3].mid(1))
                                                                   : Criterion::equals(QStringLiteral("户名"), w[3]);
            // The row a scan of every row with matches() finds (unknown after a deletion).
            int expected = -2;
            const int n = rs.count();
            int from = s == Start::First ? 0 : s == Start::Last ? n - 1 : s == Start::Bookmark ? -2 : rs.position();
            if (s == Start::Bookmark)
                for (int i = 0; i < n && from == -2; ++i)
                    if (rs.valueAt(i, 0).toLongLong() == mark)
                        from = i;
            if (from != -2 && (s != Start::Current || rs.hasCurrent() || rs.bof() || rs.eof())) {
                const int step = d == Dir::Forward ? 1 : -1;
                int i = d == Dir::Forward ? std::max(from, 0) : std::min(from, n - 1);
                for (; i >= 0 && i < n; i += step)
                    if (c.matches([&](const QString& col) { return rs.valueAt(i, col); }))
                        break;
                expected = i < 0 ? -1 : i;
            }
            result = rs.find(c, d, s, mark) ? QStringLiteral("found") : QStringLiteral("not found");
            if (expected != -2 && rs.position() != expected)
                result += QStringLiteral(" MISMATCH, a scan finds %1").arg(expected);
        } else if (w[0] == QLatin1String("set")) {
            // Another writer's change.
            rs.database().exec(QStringLiteral("update 档案库 set 户名 = ? where 门牌号 = ?"),
                               {w[2] == QLatin1String("null") ? QVariant() : QVariant(w[2]), w[1]});
        } else if (w[0] == QLatin1String("filter"))
            rs.setFilter(w[1] == QLatin1String("-") ? Criterion() : Criterion::equals(QStringLiteral("户名"), w[1]));
        else if (w[0] == QLatin1String("delete"))
            rs.deleteCurrent();
        else if (w[0] == QLatin1String("add")) {
            rs.addNew();
            rs.setValue(QStringLiteral("门牌号"), w[1]);
            rs.setValue(QStringLiteral("户名"), QStringLiteral("户新"));
        } else if (w[0] == QLatin1String("edit"))
            rs.setValue(QStringLiteral("户名"), w[1]);
        else if (w[0] == QLatin1String("batch"))
            rs.updateBatch();
        else if (w[0] == QLatin1String("requery"))
            rs.requery(true);
        else if (w[0] == QLatin1String("cancel"))
            rs.cancelBatch();
        else if (w[0] == QLatin1String("walk")) {
            for (rs.moveFirst(); !rs.eof(); rs.moveNext())
                result += rs.value(QStringLiteral("门牌号")).toString().right(1);
        } else
            qFatal("unknown step %s", qPrintable(op));
    } catch (const StoreError& e) {
        result = QStringLiteral("refused: ") + e.message();
    }
    return QStringLiteral("%1 | %2/%3 bof %4 eof %5 current %6 %7 %8 pending %9")
        .arg(result)
        .arg(rs.position())
        .arg(rs.count())
        .arg(rs.bof())
        .arg(rs.eof())
        .arg(rs.hasCurrent())
        .arg(rs.value(QStringLiteral("门牌号")).toString(), rs.value(QStringLiteral("户名")).toString())
        .arg(rs.hasPendingChanges());
}

// Every 37th row and the rows around each page border.
QStringList sample(RecordSet& rs)
{
    QStringList out;
    for (int i = 0; i < rs.count(); ++i)
        if (i % 37 == 0 || i % PageRows == 0 || i % PageRows == PageRows - 1)
            out << QStringLiteral("%1 %2 %3")
                       .arg(i)
                       .arg(rs.valueAt(i, QStringLiteral("门牌号")).toString(), rs.valueAt(i, QStringLiteral("户名")).toString());
    return out;
}

}  // namespace

class TestPaging : public QObject {
    Q_OBJECT
private slots:
    void pagedSetBehavesAsTheWholeTable_data();
    void pagedSetBehavesAsTheWholeTable();
    void noticeWhileTheGridShowsALaterPage();
    void rolledBackRowsAreNotKept();
};

void TestPaging::pagedSetBehavesAsTheWholeTable_data()
{
    QTest::addColumn<QStringList>("script");
    const auto s = [](const char* text) { return QString::fromUtf8(text).split(QLatin1Char(';')); };
    QTest::newRow("moving across borders") << s("to 63;next;prev;to 127;next;last;next;next;prev;first;prev;prev;to 500;walk");
    QTest::newRow("find forward from current") << s("to 60;find fwd cur 户7;find fwd cur 户7;next;find fwd cur 户7;find fwd cur 无");
    QTest::newRow("find backward from last and current")
        << s("find back last 户3;prev;find back cur 户3;to 2;find back cur 户49;find back cur 无");
    QTest::newRow("find from first and from a bookmark")
        << s("to 700;mark;find fwd first 户20;find fwd mark 户20;find back mark 户20;to 999;mark;find fwd mark 户0");
    QTest::newRow("filter across pages") << s("filter 户9;last;prev;find back cur 户9;filter 无;filter -;to 640;walk");
    QTest::newRow("deleting at page borders")
        << s("to 63;delete;next;delete;prev;to 127;delete;delete;batch;to 62;next;next;last;delete;next;walk");
    QTest::newRow("deleting then finding backward from the gap") << s("to 64;delete;find back cur 户1;to 300;delete;next");
    QTest::newRow("adding rows and writing them") << s("to 200;add 9001;next;add 9002;add 9003;batch;last;prev;walk");
    QTest::newRow("edits kept across a requery")
        << s("to 65;edit 户改;to 900;requery;to 65;to 129;edit 户改二;add 9004;cancel;to 65;walk");
    QTest::newRow("finding names by letter case, NULL and quotes")
        << s("set 0005 Abc;set 0400 aBC;set 0700 abc;set 0900 null;set 0010 O'Hara;set 0020 Äb;set 0030 a%b_c;"
             "find fwd first abc;find fwd cur ABC;next;find fwd cur abc;find back last AbC;find fwd first o'hara;"
             "find fwd first ~'H;find fwd first ~bc;next;find fwd cur ~BC;find fwd first ~;find back cur ~;"
             "find fwd first äb;find fwd first ~äB;find fwd first ~%;find fwd first ~_;find fwd first ~\\;"
             "to 500;edit Zed;find fwd first zED;find back last ~bC;walk;to 12;delete;add 9005;to 10;edit 户待");
    QTest::newRow("a bookmark after moving away") << s("to 777;mark;walk;find fwd mark 户27;to 3;find back mark 户27");
}

// The same script on a set of 64-row pages holding four pages and on a set holding
// the whole table gives the same positions, current rows, counts and values.
void TestPaging::pagedSetBehavesAsTheWholeTable()
{
    QFETCH(QStringList, script);
    TestEstate pe, we;
    fillEstate(pe);
    fillEstate(we);
    auto paged = households(pe, true);
    auto whole = households(we, false);
    RecordSet::Bookmark pm = 0, wm = 0;
    for (const QString& op : std::as_const(script)) {
        const QString p = step(*paged, op, pm), w = step(*whole, op, wm);
        QVERIFY2(!p.contains(QLatin1String("MISMATCH")), qPrintable(op + QLatin1Char(' ') + p));
        if (p != w)
            QFAIL(qPrintable(QStringLiteral("%1:\n  paged %2\n  whole %3").arg(op, p, w)));
        QCOMPARE(pm, wm);
        QVERIFY2(paged->heldRows() <= PageRows * Pages + 8, qPrintable(QString::number(paged->heldRows())));
    }
    QCOMPARE(sample(*paged), sample(*whole));
    // The export's reading gives what the rows give, pending changes included.
    QList<QVariantList> each;
    for (int i = 0; i < paged->count(); ++i) {
        QVariantList row;
        for (int c = 0; c < paged->columns().size(); ++c)
            row << paged->valueAt(i, c);
        each << row;
    }
    QCOMPARE(paged->allRows(), each);
    paged->updateBatch();
    whole->updateBatch();
    QCOMPARE(pe.rows("select rowid, 门牌号, 户名 from 档案库 order by rowid"),
             we.rows("select rowid, 门牌号, 户名 from 档案库 order by rowid"));
}

// Another writer changes a row of the page on screen, deletes one before the current
// row and adds one: the grid is reset once, shows the new values and keeps its row.
void TestPaging::noticeWhileTheGridShowsALaterPage()
{
    TestEstate e;
    fillEstate(e);
    RecordSet rs(e.db(), QStringLiteral("档案库"), QStringLiteral("ID"));
    rs.setPaging(PageRows, Pages);
    rs.open();
    RecordSetModel model(rs, {{QStringLiteral("门牌号"), {}, {}}, {QStringLiteral("户名"), {}, {}}});
    RecordSetGrid grid;
    grid.setRecordSetModel(&model);
    grid.resize(400, 300);
    grid.show();
    rs.moveTo(900);
    QCoreApplication::processEvents();
    const RecordSet::Bookmark current = rs.bookmark();
    QCOMPARE(model.data(model.index(905, 1)).toString(), QStringLiteral("户6"));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    {
        Transaction t(e.db());
        e.db().exec(QStringLiteral("update 档案库 set 户名 = ? where 门牌号 = ?"), {QStringLiteral("户改"), QStringLiteral("0906")});
        e.db().exec(QStringLiteral("delete from 档案库 where 门牌号 = ?"), {QStringLiteral("0010")});
        e.db().exec(QStringLiteral("insert into 档案库 (门牌号, 户名) values (?, ?)"), {QStringLiteral("9999"), QStringLiteral("户新")});
        t.commit();
    }
    QCoreApplication::processEvents();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(rs.bookmark(), current);
    QCOMPARE(rs.position(), 899);
    QCOMPARE(rs.count(), Households);
    QCOMPARE(model.rowCount(), Households);
    QCOMPARE(model.data(model.index(904, 1)).toString(), QStringLiteral("户改"));
    QCOMPARE(model.data(model.index(Households - 1, 0)).toString(), QStringLiteral("9999"));
    QCOMPARE(grid.currentIndex().row(), 899);
    QVERIFY(rs.heldRows() <= PageRows * Pages);
}

// Rows first read inside a transaction that is then rolled back show the file's
// values afterwards.
void TestPaging::rolledBackRowsAreNotKept()
{
    TestEstate e;
    fillEstate(e);
    auto rs = households(e, true);
    QCOMPARE(rs->count(), Households);
    {
        Transaction t(e.db());
        e.db().exec(QStringLiteral("update 档案库 set 户名 = ? where 门牌号 = ?"), {QStringLiteral("户改"), QStringLiteral("0549")});
        rs->find(Criterion::equals(QStringLiteral("门牌号"), QStringLiteral("0549")), Dir::Forward, Start::First);
        QCOMPARE(rs->value(QStringLiteral("户名")).toString(), QStringLiteral("户改"));
    }
    QCOMPARE(rs->value(QStringLiteral("户名")).toString(), QStringLiteral("户49"));
}

QTEST_MAIN(TestPaging)
#include "test_paging.moc"
