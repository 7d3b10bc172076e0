// Odd texts typed into every text box and input box of the windows: quotes,
// wildcards, control characters, very long texts, characters beyond the BMP or
// without a GBK form, and numbers the reader must not misread. Nothing crashes, the
// texts are stored as typed (they are data, never SQL), numbers are stored finite,
// and exports are whole files of whole lines or refused as a whole.
#include "charging/billentrywindow.h"
#include "collection/paymentwindow.h"
#include "collection/receipt.h"
#include "common/gbkfile.h"
#include "estate.h"
#include "maintenance/cleanupwindow.h"
#include "operations.h"
#include "queries/querywindow.h"
#include "queries/queryexport.h"
#include "queries/querytable.h"
#include "common/numbers.h"
#include "records/householdexport.h"
#include "records/householdwindow.h"
#include "records/searchwindow.h"
#include "shell/passwordhash.h"
#include "shell/settingswindow.h"
#include "store/criterion.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {

const QString kDoor = QStringLiteral("门牌号");

void inputs()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("apostrophe") << QStringLiteral("O'Brien");
    QTest::newRow("statement") << QStringLiteral("x'; delete from 档案库; --");
    QTest::newRow("double quotes") << QStringLiteral("\"一号\"楼");
    QTest::newRow("percent") << QStringLiteral("%");
    QTest::newRow("underscore") << QStringLiteral("_");
    QTest::newRow("bracket") << QStringLiteral("[0-9]*");
    QTest::newRow("backslash") << QStringLiteral("a\\b\\");
    QTest::newRow("CR alone") << QStringLiteral("前\r后");
    QTest::newRow("LF alone") << QStringLiteral("前\n后");
    QTest::newRow("tab") << QStringLiteral("a\tb");
    QTest::newRow("NUL") << QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b");
    QTest::newRow("300 characters") << QString(300, QChar(0x95e8));
    QTest::newRow("10000 characters") << QString(10000, QLatin1Char('x'));
    QTest::newRow("emoji") << QStringLiteral("住户😀");
    QTest::newRow("non-BMP CJK") << QString::fromUcs4(U"\U00020000\U0002A6A5");
    QTest::newRow("no GBK form") << QStringLiteral("₩ก");
    QTest::newRow("lone surrogate") << QString(QChar(0xd800));
    QTest::newRow("1e308") << QStringLiteral("1e308");
    QTest::newRow("1e309") << QStringLiteral("1e309");
    QTest::newRow("-1e308") << QStringLiteral("-1e308");
    QTest::newRow("-0") << QStringLiteral("-0");
    QTest::newRow("1,2") << QStringLiteral("1,2");
    QTest::newRow("dot") << QStringLiteral(".");
    QTest::newRow("--5") << QStringLiteral("--5");
    QTest::newRow("nan") << QStringLiteral("nan");
    QTest::newRow("inf") << QStringLiteral("inf");
    QTest::newRow("hex") << QStringLiteral("0x10");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << QStringLiteral("   ");
}

void typeInto(QLineEdit* box, const QString& text)
{
    box->setFocus();
    box->selectAll();
    box->insert(text);
}

template <typename T>
T* child(QWidget* w, const QString& name)
{
    T* c = w->findChild<T*>(name);
    if (!c)
        qFatal("no child %s", qPrintable(name));
    return c;
}

// Every REAL value of the money and reading columns is a finite number or empty.
// A server holds no NUL in a text: the write is refused with a message, never cut short.
bool serverRefusedNul(const QString& shown, const QStringList& informs)
{
    return TestEstate::onServer() && shown.contains(QChar(0)) && informs.join(QString()).contains(QStringLiteral("NUL"));
}

QStringList nonFinite(TestEstate& e)
{
    QStringList out;
    const QStringList cols[] = {{"账户余额", "面积"},
                                {"收费金额", "实缴金额", "账户余额"},
                                {"收费金额"},
                                {"上月数", "本月数", "单价", "收费金额"}};
    const QString tables[] = {"档案库", "缴费历史", "收费1", "收费2"};
    for (int t = 0; t < 4; ++t)
        for (const QString& c : cols[t])
            for (const QVariantList& r : e.rows(QStringLiteral("select %1 from %2").arg(c, tables[t])))
                if (!r[0].isNull() && (r[0].typeId() != QMetaType::Double || !std::isfinite(r[0].toDouble())))
                    out << QStringLiteral("%1.%2 = %3").arg(tables[t], c, r[0].toString());
    return out;
}

// A written export: GBK text of whole lines, each ended by CR LF, with no other line
// break inside; `expected` lines.
void checkExport(const QString& path, const QStringList& expected)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.isEmpty() || bytes.endsWith("\r\n"));
    QStringDecoder gbk("GBK");
    const QString text = gbk.decode(bytes);
    QVERIFY(!gbk.hasError());
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    QCOMPARE(lines.size(), expected.size());
    for (const QString& l : lines)
        QVERIFY2(!l.contains(QLatin1Char('\r')) && !l.contains(QLatin1Char('\n')), qPrintable(l));
    QCOMPARE(lines, expected);
}

// A text as the UTF-8 file holds it: only a lone surrogate (no character at all)
// comes back otherwise.
QString stored8(const QString& s)
{
    return QString::fromUtf8(s.toUtf8());
}

bool hasGbkForm(const QString& s)
{
    bool ok = true;
    toGbk(s, &ok);
    return ok;
}

// The lines as an export writes them: a character without a GBK form, and a lone
// surrogate, becomes "?".
QStringList asWritten(const QStringList& lines)
{
    QStringList out;
    for (const QString& line : lines) {
        QString written;
        for (qsizetype i = 0; i < line.size(); ++i) {
            QString ch(line[i]);
            if (line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate())
                ch += line[++i];
            written += hasGbkForm(ch) ? ch : QStringLiteral("?");
        }
        out << written;
    }
    return out;
}

}  // namespace

class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void householdBoxes_data() { inputs(); }
    void householdBoxes();
    void searchBox_data() { inputs(); }
    void searchBox();
    void billEntryBoxesAndPrompts_data() { inputs(); }
    void billEntryBoxesAndPrompts();
    void collectionPrompt_data() { inputs(); }
    void collectionPrompt();
    void queryBoxes_data() { inputs(); }
    void queryBoxes();
    void settingsBoxes_data() { inputs(); }
    void settingsBoxes();
    void cleanupBoxes_data() { inputs(); }
    void cleanupBoxes();
    void nonFiniteNumberIsRefusedByTheStore();

private:
    std::unique_ptr<QTemporaryDir> reports_;
};

void TestBadInput::init()
{
    reports_ = std::make_unique<QTemporaryDir>();
    qputenv("FENWARY_REPORT_DIR", reports_->path().toUtf8());
}

void TestBadInput::cleanup()
{
    qunsetenv("FENWARY_REPORT_DIR");
    reports_.reset();
}

void TestBadInput::householdBoxes()
{
    QFETCH(QString, text);
    const QList<QPair<QString, QString>> boxes = {
        {"txt门牌号", "门牌号"}, {"txt户名", "户名"}, {"txt联系电话", "联系电话"}, {"txt单位", "单位"},
        {"txt籍贯", "籍贯"},     {"txt账户余额", "账户余额"}, {"Text1", "面积"},     {"txt收费说明", "收费说明"},
        {"txt其他信息", "其他信息"}};
    for (const auto& [name, column] : boxes) {
        TestEstate e;
        const qint64 id = e.addHousehold(QStringLiteral("0001"), QStringLiteral("张三"), 80, 10.0);
        e.addHousehold(QStringLiteral("0002"), QStringLiteral("李四"), 90, 0.0);
        const QVariant old = e.scalar(QStringLiteral("select %1 from 档案库 where ID = ?").arg(column), {id});
        HouseholdWindow w(e.services());
        RecordSet& rs = e.env().rs档案();
        rs.moveFirst();
        QString shown;
        if (name == QStringLiteral("txt其他信息")) {
            auto* box = child<QPlainTextEdit>(&w, name);
            box->setPlainText(text);
            shown = box->toPlainText();
        } else {
            auto* box = child<QLineEdit>(&w, name);
            typeInto(box, text);
            shown = box->text();
        }
        w.unload();
        const QStringList informs = informsAfter(e.prompter, 0);
        QCOMPARE(e.count(QStringLiteral("档案库")), 2);
        QCOMPARE(e.scalar(QStringLiteral("select 门牌号 from 档案库 where ID <> ?"), {id}).toString(),
                 QStringLiteral("0002"));
        const QVariant stored = e.scalar(QStringLiteral("select %1 from 档案库 where ID = ?").arg(column), {id});
        if (column == QStringLiteral("账户余额") || column == QStringLiteral("面积")) {
            bool ok = false;
            const double typed = shown.trimmed().toDouble(&ok);
            if (shown.trimmed().isEmpty())
                QVERIFY(stored.isNull());
            else if (ok && std::isfinite(typed))
                QCOMPARE(stored.toDouble(), typed);
            else
                QCOMPARE(stored, old);  // not a number: the column keeps its value
            QVERIFY(stored.isNull() || std::isfinite(stored.toDouble()));
        } else if (informs.isEmpty()) {
            QCOMPARE(stored.toString(), stored8(shown));
        } else {
            QCOMPARE(stored, old);  // refused with a message: nothing written
        }

        // The export is whole lines of every household, or refused as a whole.
        const QString path = QDir(reports_->path()).filePath(HouseholdExport::fileName());
        QFile::remove(path);
        e.prompter.clear();
        w.exportHouseholds();
        if (QFileInfo::exists(path)) {
            // A lone surrogate is no character: the GBK encoder drops it.
            checkExport(path, asWritten(HouseholdExport::lines(rs)));
        } else {
            const QStringList after = informsAfter(e.prompter, 0);
            QVERIFY2(!after.isEmpty(), "no export and no message");
            const bool noCharacter = shown.contains(QChar(0xd800));
            QVERIFY2(((noCharacter || !hasGbkForm(shown)) && after.join(QString()).contains(QStringLiteral("GBK"))) ||
                         serverRefusedNul(shown, after),
                     qPrintable(after.join(QLatin1Char('|'))));
        }
    }
}

void TestBadInput::searchBox()
{
    QFETCH(QString, text);
    TestEstate e;
    e.addHousehold(QStringLiteral("0001"), QStringLiteral("张三"));
    e.addHousehold(QStringLiteral("0002"), QStringLiteral("O'Brien"));
    e.addHousehold(QStringLiteral("0003"), QStringLiteral("100%满意"));
    e.addHousehold(QStringLiteral("0004"), QStringLiteral("a_b"));
    const Snapshot before = snapshot(e.db());
    SearchWindow w(e.services());
    RecordSet& rs = e.env().rs档案();
    typeInto(w.textBox(), text);
    const QString typed = w.textBox()->text().trimmed();  // the search trims the box
    for (auto step : {&SearchWindow::startSearch, &SearchWindow::findNext, &SearchWindow::findPrevious,
                      &SearchWindow::findNext}) {
        (w.*step)();
        // Whatever is found holds the text literally.
        if (rs.hasCurrent() && !typed.isEmpty())
            QVERIFY2(rs.value(kDoor).toString() == typed || rs.value(QStringLiteral("户名")).toString().contains(typed),
                     qPrintable(rs.value(QStringLiteral("户名")).toString()));
    }
    QCOMPARE(snapshot(e.db()), before);
}

void TestBadInput::billEntryBoxesAndPrompts()
{
    QFETCH(QString, text);
    for (int box = 0; box < 3; ++box) {
        TestEstate e;
        e.addHousehold(QStringLiteral("0001"), QStringLiteral("张三"), 80);
        e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
        e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.5, true, true);
        e.addItem(QStringLiteral("03"), QStringLiteral("清洁费"), 1.5, false, false, true);
        e.addItem(QStringLiteral("04"), QStringLiteral("电费"), 0.6, true, false, true);
        BillEntryWindow w(e.services());
        const QString month = box == 0 ? text : QStringLiteral("202407");
        const QString door = box == 1 ? text : QStringLiteral("0001");
        typeInto(w.monthBox(), month);
        w.checkMonth();
        typeInto(w.doorBox(), door);
        for (int i = 0; i < 10; ++i)
            e.prompter.type(box == 2 ? text : QStringLiteral("3"));
        w.singleEntry();
        QCOMPARE(nonFinite(e), QStringList());
        const QStringList informs = informsAfter(e.prompter, 0);
        if (box == 2) {
            // Typed amounts are read as numbers; a product too large for a double is refused.
            const int bills = e.count(QStringLiteral("缴费历史"));
            QCOMPARE(bills, 1);
            const double total = e.scalar(QStringLiteral("select 收费金额 from 缴费历史")).toDouble();
            const double lines = e.scalar(QStringLiteral("select (select coalesce(sum(收费金额), 0) from 收费1) + "
                                                         "(select coalesce(sum(收费金额), 0) from 收费2)"))
                                     .toDouble();
            const bool failed = std::any_of(informs.begin(), informs.end(),
                                            [](const QString& t) { return t.contains(QStringLiteral("未完成")); });
            if (!failed)
                QCOMPARE(total, lines);
        } else if (box == 1 && door != QLatin1String("0001")) {
            QCOMPARE(e.count(QStringLiteral("缴费历史")), 0);
            QVERIFY(informs.contains(QStringLiteral("门牌号有误！")));
        } else if (box == 0) {
            // The month is a text key: whatever was typed is the bill's month, bound as data.
            const QList<QVariantList> bills = e.rows(QStringLiteral("select 月份 from 缴费历史"));
            for (const QVariantList& b : bills)
                QCOMPARE(b[0].toString(), stored8(w.monthBox()->text()));
            if (!isValidMonthText(w.monthBox()->text()))
                QVERIFY(informs.contains(QStringLiteral("日期格式不正确")));
        }
        QCOMPARE(e.count(QStringLiteral("档案库")), 1);
        QCOMPARE(e.count(QStringLiteral("项目")), 4);
    }
}

void TestBadInput::collectionPrompt()
{
    QFETCH(QString, text);
    for (double balance : {0.0, 100.0, -50.0}) {
        TestEstate e;
        e.addHousehold(QStringLiteral("0001"), QStringLiteral("张三"), 80, balance);
        e.addBill(QStringLiteral("0001"), QStringLiteral("202407"), 120.0);
        e.addFixedLine(QStringLiteral("0001"), QStringLiteral("202407"), QStringLiteral("01"), QStringLiteral("物业费"), 120.0);
        PaymentWindow w(e.services());
        w.setReceiptSink([](const ReceiptData&) {});
        e.env().rs档案().moveFirst();
        e.env().rs缴费历史().moveFirst();
        e.prompter.yes();
        if (balance > 0)
            e.prompter.no();  // pays in cash instead of the credit
        e.prompter.type(text);
        e.prompter.no();
        w.collect();
        QCOMPARE(nonFinite(e), QStringList());
        const QList<QVariantList> bill =
            e.rows(QStringLiteral("select coalesce(缴费标志, 0), 实缴金额, 账户余额 from 缴费历史"));
        const double household = e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble();
        if (bill[0][0].toInt()) {
            QCOMPARE(household, bill[0][2].toDouble());
            QCOMPARE(household, balance + bill[0][1].toDouble() - 120.0);
            QCOMPARE(bill[0][1].toDouble(), typedNumber(text));
        } else {
            // Refused: a failure message, the household as it was.
            QCOMPARE(household, balance);
            QVERIFY(!informsAfter(e.prompter, 0).isEmpty());
        }
    }
}

void TestBadInput::queryBoxes()
{
    QFETCH(QString, text);
    for (int box = 0; box < 3; ++box) {
        TestEstate e;
        e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
        for (const QString& door : {QStringLiteral("1-101"), QStringLiteral("1-102"), QStringLiteral("2-101")}) {
            e.addHousehold(door, QStringLiteral("住户") + door);
            e.addBill(door, QStringLiteral("202406"), 50.0, door.endsWith(QLatin1String("2")), 50.0);
            e.addFixedLine(door, QStringLiteral("202406"), QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
        }
        // The text itself as a door and a name (a server holds no NUL).
        const QString held = TestEstate::onServer() ? QString(text).remove(QChar(0)) : text;
        e.addHousehold(held.isEmpty() ? QStringLiteral("x") : held, held);
        const Snapshot before = snapshot(e.db());
        QueryWindow w(e.services());
        if (box == 0)
            typeInto(child<QLineEdit>(&w, QStringLiteral("txt楼号")), text);
        const QList<QComboBox*> combos = w.findChildren<QComboBox*>();
        for (QComboBox* c : combos) {
            if (!c->isEditable())
                continue;
            if (box == 1 || box == 2)
                c->setEditText(box == 1 ? text : QStringLiteral("202406"));
        }
        for (const char* b : {"Command2", "Command1", "Command4", "Command6"}) {
            child<QPushButton>(&w, QString::fromLatin1(b))->click();
            const QString path = QDir(reports_->path()).filePath(QStringLiteral("查询明细.txt"));
            QFile::remove(path);
            e.prompter.clear();
            child<QPushButton>(&w, QStringLiteral("Command5"))->click();
            if (QFileInfo::exists(path))
                checkExport(path, asWritten(QueryExport::lines(w.table())));
            else
                QVERIFY2(!informsAfter(e.prompter, 0).isEmpty(), "no export and no message");
        }
        QCOMPARE(snapshot(e.db()), before);
    }
}

void TestBadInput::settingsBoxes()
{
    QFETCH(QString, text);
    for (int box = 0; box < 4; ++box) {
        TestEstate e;
        SettingsWindow w(e.services());
        QString shown;
        if (box == 0) {
            typeInto(w.receiptNameBox(), text);
            shown = w.receiptNameBox()->text();
        } else if (box == 1) {
            w.noticeBox()->setPlainText(text);
            shown = w.noticeBox()->toPlainText();
        } else if (box == 2) {
            typeInto(w.operatorBox(), text);
            shown = w.operatorBox()->text();
        } else {
            typeInto(w.passwordBox(), text);
            shown = w.passwordBox()->text();
        }
        w.levelBox()->setCurrentText(QStringLiteral("A"));
        w.closeWindow();
        const QStringList informs = informsAfter(e.prompter, 0);
        QCOMPARE(e.count(QStringLiteral("操作员")), 1);
        const QString column = box == 0 ? QStringLiteral("收据名称") : QStringLiteral("广告");
        if (serverRefusedNul(shown, informs)) {
            continue;
        } else if (box < 2) {
            QCOMPARE(e.scalar(QStringLiteral("select %1 from 广告").arg(column)).toString(), stored8(shown));
        } else if (box == 3 && TestEstate::onServer() && shown.isEmpty()) {
            // The server shows no password: an empty box keeps the stored one.
            QCOMPARE(informs, QStringList());
            QCOMPARE(e.scalar(QStringLiteral("select 密码 from 操作员")).toString(), QStringLiteral("1234"));
        } else if (shown.trimmed().isEmpty()) {
            QCOMPARE(informs, QStringList{SettingsEditor::incompleteText()});
        } else if (box == 3 && TestEstate::onServer()) {
            QVERIFY(PasswordHash::verify(e.scalar(QStringLiteral("select 密码 from 操作员")).toString(), shown));
        } else {
            const QString col = box == 2 ? QStringLiteral("操作员") : QStringLiteral("密码");
            QCOMPARE(e.scalar(QStringLiteral("select %1 from 操作员").arg(col)).toString(), stored8(shown));
        }
    }
}

void TestBadInput::cleanupBoxes()
{
    QFETCH(QString, text);
    for (int box = 0; box < 2; ++box) {
        TestEstate e;
        e.addHousehold(QStringLiteral("0001"));
        for (const QString& m : {QStringLiteral("202405"), QStringLiteral("202406"), QStringLiteral("202407")}) {
            e.addBill(QStringLiteral("0001"), m, 10.0, m != QLatin1String("202407"), 10.0);
            e.addFixedLine(QStringLiteral("0001"), m, QStringLiteral("01"), QStringLiteral("物业费"), 10.0);
        }
        CleanupWindow w(e.services());
        const QString first = box == 0 ? text : QStringLiteral("202401");
        const QString last = box == 1 ? text : QStringLiteral("202412");
        w.firstBox()->setEditText(first);
        w.lastBox()->setEditText(last);
        e.prompter.yes();
        w.runCleanup();
        // Exactly the paid bills whose month lies between the two texts go, with their lines.
        int expected = 3;
        for (const QString& m : {QStringLiteral("202405"), QStringLiteral("202406")})
            if (m.toUtf8() >= w.firstBox()->currentText().toUtf8() && m.toUtf8() <= w.lastBox()->currentText().toUtf8())
                --expected;
        if (serverRefusedNul(text, e.prompter.texts()))
            expected = 3;  // refused with a message: nothing deleted
        QCOMPARE(e.count(QStringLiteral("缴费历史")), expected);
        QCOMPARE(e.count(QStringLiteral("收费1")), expected);
        QCOMPARE(e.count(QStringLiteral("档案库")), 1);
    }
}

// One place refuses infinities and NaN for every write: a bound value.
void TestBadInput::nonFiniteNumberIsRefusedByTheStore()
{
    TestEstate e;
    const qint64 id = e.addHousehold(QStringLiteral("0001"), QString(), 0, 5.0);
    for (double v : {HUGE_VAL, -HUGE_VAL, std::nan("")}) {
        try {
            e.db().exec(QStringLiteral("update 档案库 set 账户余额 = ? where ID = ?"), {v, id});
            QFAIL("a non-finite value was written");
        } catch (const StoreError& err) {
            QVERIFY2(err.message().contains(QStringLiteral("数值")), qPrintable(err.message()));
        }
    }
    QCOMPARE(e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble(), 5.0);
}

QTEST_MAIN(TestBadInput)
#include "test_badinput.moc"
