// The month's road through Tallowmere and Brisco on a fresh folder, through the
// real windows: first start, log-in, items, households, two months of bills,
// collection with receipts, queries and exports, cleanup, backup and restore,
// and a day of a level-B operator on the same database. Every amount below is
// worked out by hand.
#include "road.h"

#include "backupprompter.h"
#include "backuptool.h"
#include "charging/billentrywindow.h"
#include "charging/itemwindow.h"
#include "collection/paymentwindow.h"
#include "collection/receipt.h"
#include "collection/receiptprinter.h"
#include "common/gbkfile.h"
#include "maintenance/cleanupwindow.h"
#include "queries/querytable.h"
#include "queries/querywindow.h"
#include "records/householdwindow.h"
#include "shell/passwordhash.h"
#include "store/database.h"
#include "store/databasechoice.h"
#include "store/gridview.h"
#include "store/recordsetmodel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using Kind = ScriptedPrompter::Kind;

namespace {

const QString kPaidOn = QStringLiteral("2024-07-15");
// The charge note typed for the first three households; the fourth keeps the default.
const QString kNote = QStringLiteral("物业费缴至2024年12月");
const QString kDefaultNote = QStringLiteral("您的物业费到期日为2024年07月15日请及时缴纳!");
const QString kShortPaidOn = QStringLiteral("2024/7/15");  // the Chinese short date form

QString blanks(int n)
{
    return QString(n, QLatin1Char(' '));
}

QString fit(const QString& s, int n)
{
    return s.leftJustified(n, QLatin1Char(' '), true);
}

// A line of 查询明细.txt: the row text in 30 positions, then 4 blanks and 26
// positions for each further column.
QString queryLine(const QStringList& cells, int columns)
{
    QString line = fit(cells.value(0), 30);
    for (int c = 1; c < columns; ++c)
        line += blanks(4) + fit(cells.value(c), 26);
    return line;
}

QByteArray gbkLines(const QStringList& lines)
{
    QByteArray out;
    for (const QString& l : lines)
        out += toGbk(l) + "\r\n";
    return out;
}

QStringList tableRows(const QueryTable& t)
{
    QStringList out;
    for (const QueryTable::Row& r : t.rows())
        out << r.cells.join(QLatin1Char('|'));
    return out;
}

QPushButton* button(QWidget* w, const char* name)
{
    return w->findChild<QPushButton*>(QString::fromUtf8(name));
}

QLineEdit* box(QWidget* w, const char* name)
{
    return w->findChild<QLineEdit*>(QString::fromUtf8(name));
}

}  // namespace

class TestMonthRoad : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;     // the program folder
    QTemporaryDir reports_;  // stands for c:\报表
    QTemporaryDir backups_;  // the folder chosen in Brisco
    std::unique_ptr<Run> run_;
    // On the server engine: the schema of the test server that holds the estate.
    QString schema_;
    std::unique_ptr<Database> admin_;
    QList<ReceiptData> receipts_;
    QStringList pdfs_;

    QString reportFolder() const { return reports_.path() + QStringLiteral("/报表"); }
    QString dataPath() const { return home_.path() + QStringLiteral("/data.dat"); }

    bool start(const QString& name = QStringLiteral("王主任"), const QString& password = QStringLiteral("Pa55"))
    {
        run_ = std::make_unique<Run>(home_.path());
        return run_->startup.run() && run_->logIn(name, password) && activate();
    }
    bool activate()
    {
        MainFrame* f = run_->frame();
        f->show();
        f->activateWindow();
        return QTest::qWaitForWindowActive(f);
    }
    // Closes Tallowmere as an office would: the data environment and the lock go.
    void stop() { run_.reset(); }

    // Selects the bill of the month in the payment window's bill grid.
    static bool selectBill(PaymentWindow* w, const QString& month)
    {
        RecordSetModel* m = w->billGrid()->recordSetModel();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->displayText(r, 1) == month) {
                w->billGrid()->selectRow(r);
                return true;
            }
        return false;
    }

private slots:
    void initTestCase();
    void firstStartAndLogIn();
    void chargeItems();
    void households();
    void continuousEntryOfTwoMonths();
    void collectionWithReceipts();
    void queries();
    void exports();
    void cleanupOfTheFirstMonth();
    void backupChangeAndRestore();
    void levelBDay();
    void cleanupTestCase()
    {
        stop();
        if (admin_)
            admin_->execScript(QStringLiteral("drop schema %1 cascade").arg(schema_));
    }
};

void TestMonthRoad::initTestCase()
{
    QVERIFY(home_.isValid() && reports_.isValid() && backups_.isValid());
    qputenv("FENWARY_REPORT_DIR", reportFolder().toUtf8());
    QCOMPARE(shortDate(QDate(2024, 7, 15)), kShortPaidOn);
    if (qEnvironmentVariable("FENWARY_TEST_ENGINE") == QLatin1String("server")) {
        // The same road on an empty server database named in the program folder.
        const QString server = qEnvironmentVariable("FENWARY_TEST_SERVER");
        QVERIFY2(!server.isEmpty(), "FENWARY_TEST_SERVER must name the test server");
        schema_ = QStringLiteral("road%1").arg(QCoreApplication::applicationPid());
        admin_ = Database::connect(server);
        admin_->execScript(QStringLiteral("drop schema if exists %1 cascade; create schema %1").arg(schema_));
        QVERIFY(DatabaseChoice::save(home_.path(), server + QStringLiteral(" options='-c search_path=%1'").arg(schema_), nullptr));
    }
}

void TestMonthRoad::firstStartAndLogIn()
{
    const FirstStartAnswer create{FirstStartAnswer::Choice::Create,
                                  {QStringLiteral("王主任"), QStringLiteral("Pa55"), QStringLiteral("幸福里小区"),
                                   QStringLiteral("请于每月25日前缴费")}};
    run_ = std::make_unique<Run>(home_.path(), create);
    QVERIFY(run_->startup.run());
    QCOMPARE(QFile::exists(dataPath()), !admin_);
    QCOMPARE(run_->dump(QStringLiteral("select 操作员, 操作级别 from 操作员")), QStringList{QStringLiteral("王主任|A")});
    // A file keeps the password in clear, a server only its hash.
    const QString password = run_->db().scalar(QStringLiteral("select 密码 from 操作员")).toString();
    if (admin_)
        QVERIFY2(PasswordHash::verify(password, QStringLiteral("Pa55")), qPrintable(password));
    else
        QCOMPARE(password, QStringLiteral("Pa55"));
    QCOMPARE(run_->dump(QStringLiteral("select 收据名称, 广告 from 广告")),
             QStringList{QStringLiteral("幸福里小区|请于每月25日前缴费")});
    QVERIFY(!run_->logIn(QStringLiteral("王主任"), QStringLiteral("pa55")));
    QCOMPARE(run_->prompter.texts(), QStringList{QStringLiteral("密码有误!")});
    run_->prompter.clear();
    QVERIFY(run_->logIn(QStringLiteral("王主任"), QStringLiteral("Pa55")));
    QVERIFY(activate());
    QCOMPARE(run_->app.receiptName, QStringLiteral("幸福里小区"));
    QVERIFY(run_->frame()->item(QStringLiteral("menu_3"))->isEnabled());
    for (const char* t : {"档案库", "项目", "缴费历史", "收费1", "收费2"})
        QCOMPARE(run_->db().scalar(QStringLiteral("select count(*) from ") + QString::fromUtf8(t)).toInt(), 0);
}

void TestMonthRoad::chargeItems()
{
    auto* w = run_->open<ItemWindow>(QStringLiteral("frm_项目维护"));
    QVERIFY(w);
    RecordSetModel* m = w->model();
    struct Item {
        QString name, no, fixed;
        bool previous, computed, byArea;
    };
    const Item items[] = {
        {QStringLiteral("管理费"), QStringLiteral("01"), QStringLiteral("30"), false, false, false},
        {QStringLiteral("物业费"), QStringLiteral("02"), QStringLiteral("1.5"), false, false, true},
        {QStringLiteral("水费"), QStringLiteral("03"), QStringLiteral("2.5"), true, true, false},
    };
    for (const Item& it : items) {
        const int row = m->rowCount() - 1;
        QVERIFY(m->isNewRowLine(row));
        QVERIFY(m->setData(m->index(row, 0), it.name));
        QVERIFY(m->setData(m->index(row, 2), it.no));
        QVERIFY(m->setData(m->index(row, 3), it.fixed));
        if (it.previous)
            QVERIFY(m->setData(m->index(row, 1), int(Qt::Checked), Qt::CheckStateRole));
        if (it.computed)
            QVERIFY(m->setData(m->index(row, 4), int(Qt::Checked), Qt::CheckStateRole));
        if (it.byArea)
            QVERIFY(m->setData(m->index(row, 5), int(Qt::Checked), Qt::CheckStateRole));
    }
    QCOMPARE(m->displayText(1, 3), QStringLiteral("￥1.50"));
    QVERIFY(w->close());
    QVERIFY2(run_->prompter.boxes().isEmpty(), qPrintable(run_->prompter.texts().join(QLatin1Char('\n'))));
    QTRY_VERIFY(!run_->frame()->openedWindow(QStringLiteral("frm_项目维护")));
    QCOMPARE(run_->dump(QStringLiteral("select 项目号, 项目名, 固定收费, ifnull(项目标志,0), ifnull(计算标志,0), "
                                       "ifnull(按面积,0) from 项目 order by 项目号")),
             (QStringList{"01|管理费|30|0|0|0", "02|物业费|1.5|0|0|1", "03|水费|2.5|1|1|0"}));
    QCOMPARE(run_->prompter.boxes().size(), 0);
}

void TestMonthRoad::households()
{
    QVERIFY(activate());
    auto* w = run_->open<HouseholdWindow>(QStringLiteral("frm_档案录入"));
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    struct House {
        QString door, name, phone, area, balance;
    };
    const House houses[] = {
        {"1-101", "张伟", "13800000001", "85.5", "300"},
        {"1-102", "李娜", "13800000002", "60", "-20"},
        {"2-201", "王芳", "13800000003", "100", "0"},
        {"2-202", "刘洋", "13800000004", "72.5", "0"},
    };
    const QStringList placeholders = {"0001", "0001(新)", "1-101(新)", "1-102(新)"};
    for (int i = 0; i < 4; ++i) {
        QTest::mouseClick(w->addButton(), Qt::LeftButton);
        QCOMPARE(w->doorBox()->text(), placeholders[i]);
        QVERIFY2(w->doorBox()->hasFocus(), QApplication::focusWidget() ? qPrintable(QApplication::focusWidget()->objectName()) : "none");
        retype(w->doorBox(), houses[i].door);
        retype(box(w, "txt户名"), houses[i].name);
        retype(box(w, "txt联系电话"), houses[i].phone);
        retype(box(w, "Text1"), houses[i].area);
        retype(box(w, "txt账户余额"), houses[i].balance);
        if (i < 3)
            retype(box(w, "txt收费说明"), kNote);
    }
    QVERIFY(w->close());
    QCOMPARE(run_->prompter.boxes().size(), 0);
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 户名, 联系电话, 单位, 籍贯, 面积, 账户余额, 其他信息, 收费说明 "
                                       "from 档案库 order by ID")),
             (QStringList{
                 "1-101|张伟|13800000001|城关镇|城关镇|85.5|300|家庭主要成员：配偶:   年龄:      联系方式:     籍贯:|" + kNote,
                 "1-102|李娜|13800000002|城关镇|城关镇|60|-20|家庭主要成员：配偶:   年龄:      联系方式:     籍贯:|" + kNote,
                 "2-201|王芳|13800000003|城关镇|城关镇|100|0|家庭主要成员：配偶:   年龄:      联系方式:     籍贯:|" + kNote,
                 "2-202|刘洋|13800000004|城关镇|城关镇|72.5|0|家庭主要成员：配偶:   年龄:      联系方式:     籍贯:|" +
                     kDefaultNote,
             }));
    // Numbers typed into the boxes are stored as numbers (a server column holds its type).
    if (!admin_)
        QCOMPARE(run_->db().scalar(QStringLiteral("select typeof(面积) || typeof(账户余额) from 档案库 where 门牌号='1-101'"))
                     .toString(),
                 QStringLiteral("realreal"));
}

void TestMonthRoad::continuousEntryOfTwoMonths()
{
    auto* w = run_->open<BillEntryWindow>(QStringLiteral("frm_缴费录入"));
    QVERIFY(w);
    QCOMPARE(w->monthBox()->text(), QStringLiteral("202406"));  // 2024-07-15 less 20 days
    QCOMPARE(w->doorBox()->text(), QStringLiteral("1-101"));
    ScriptedPrompter& p = run_->prompter;

    // 202406 for all four: management 30, area fee 1.5 per m², first water readings.
    const QStringList readings = {"15", "22", "9", "30"};
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            p.yes();
        for (const QString& a : {QStringLiteral("30"), QStringLiteral("1.5"), readings[i], QStringLiteral("2.5")})
            p.type(a);
    }
    QTest::mouseClick(w->continuousButton(), Qt::LeftButton);
    QCOMPARE(p.pending(), 0);
    QCOMPARE(p.unanswered(), 0);
    QCOMPARE(p.boxes().size(), 19);  // four prompts per household, three questions
    QCOMPARE(p.boxes()[0].text, QStringLiteral("请录入 张伟 的 '管理费' 的金额"));
    QCOMPARE(p.boxes()[0].offered, QStringLiteral("30"));
    QCOMPARE(p.boxes()[1].offered, QStringLiteral("1.5"));
    QCOMPARE(p.boxes()[2].text, QStringLiteral("请录入 张伟 的 '水费' 的本月数，默认值为上月数"));
    QCOMPARE(p.boxes()[2].offered, QStringLiteral("0"));
    QCOMPARE(p.boxes()[3].text, QStringLiteral("请录入 张伟 的 '水费' 的单价"));
    QCOMPARE(p.boxes()[3].offered, QStringLiteral("2.5"));
    QCOMPARE(p.boxes()[4].kind, Kind::YesNo);
    QCOMPARE(p.boxes()[4].text, QStringLiteral("是否继续录入 1-102的收费内容?"));
    QCOMPARE(p.boxes()[4].title, QStringLiteral("Fenwary"));
    QCOMPARE(w->doorBox()->text(), QStringLiteral("2-202"));
    p.clear();

    // 202407 for the first two: the water readings go on from June's.
    retype(w->monthBox(), QStringLiteral("202407"));
    QTest::keyClick(w->monthBox(), Qt::Key_Return);
    retype(w->doorBox(), QStringLiteral("1-101"));
    QTest::keyClick(w->doorBox(), Qt::Key_Return);
    QCOMPARE(w->nameBox()->text(), QStringLiteral("张伟"));
    for (const char* a : {"30", "1.5", "27", "2.5"})
        p.type(QString::fromUtf8(a));
    p.yes();
    for (const char* a : {"30", "1.5", "35", "2.5"})
        p.type(QString::fromUtf8(a));
    p.no();
    QTest::mouseClick(w->continuousButton(), Qt::LeftButton);
    QVERIFY2(p.pending() == 0, qPrintable(p.texts().join(QLatin1Char('\n'))));
    QCOMPARE(p.boxes().size(), 10);
    QCOMPARE(p.boxes()[2].offered, QStringLiteral("15"));
    QCOMPARE(p.boxes()[7].offered, QStringLiteral("22"));
    QCOMPARE(p.boxes()[9].text, QStringLiteral("是否继续录入 2-201的收费内容?"));
    QCOMPARE(w->doorBox()->text(), QStringLiteral("2-201"));
    p.clear();
    QVERIFY(w->close());

    // 1-101: 30 + 1.5 × 85.5 = 128.25 + 15 × 2.5 = 37.5  -> 195.75; July 30 + 128.25 + 12 × 2.5 -> 188.25
    // 1-102: 30 + 90 + 22 × 2.5 = 55 -> 175;                   July 30 + 90 + 13 × 2.5 -> 152.5
    // 2-201: 30 + 150 + 9 × 2.5 = 22.5 -> 202.5
    // 2-202: 30 + 108.75 + 30 × 2.5 = 75 -> 213.75
    const QString note = kNote;
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 月份, 收费金额, 实缴金额, ifnull(缴费标志,0), 缴费时间, 账户余额, "
                                       "其他说明 from 缴费历史 order by 门牌号, 月份")),
             (QStringList{"1-101|202406|195.75|0|0|||" + note, "1-101|202407|188.25|0|0|||" + note,
                          "1-102|202406|175|0|0|||" + note, "1-102|202407|152.5|0|0|||" + note,
                          "2-201|202406|202.5|0|0|||" + note, "2-202|202406|213.75|0|0|||" + kDefaultNote}));
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 月份, 项目号, 项目名, 收费金额 from 收费1 "
                                       "order by 门牌号, 月份, 项目号")),
             (QStringList{"1-101|202406|01|管理费|30", "1-101|202406|02|物业费(按面积)|128.25",
                          "1-101|202407|01|管理费|30", "1-101|202407|02|物业费(按面积)|128.25",
                          "1-102|202406|01|管理费|30", "1-102|202406|02|物业费(按面积)|90",
                          "1-102|202407|01|管理费|30", "1-102|202407|02|物业费(按面积)|90",
                          "2-201|202406|01|管理费|30", "2-201|202406|02|物业费(按面积)|150",
                          "2-202|202406|01|管理费|30", "2-202|202406|02|物业费(按面积)|108.75"}));
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, 收费金额 from 收费2 "
                                       "order by 门牌号, 月份, 项目号")),
             (QStringList{"1-101|202406|03|水费|0|15|2.5|37.5", "1-101|202407|03|水费|15|27|2.5|30",
                          "1-102|202406|03|水费|0|22|2.5|55", "1-102|202407|03|水费|22|35|2.5|32.5",
                          "2-201|202406|03|水费|0|9|2.5|22.5", "2-202|202406|03|水费|0|30|2.5|75"}));
}

void TestMonthRoad::collectionWithReceipts()
{
    auto* w = run_->open<PaymentWindow>(QStringLiteral("frm_缴费打印"));
    QVERIFY(w);
    w->setReceiptSink([this](const ReceiptData& d) {
        receipts_ << d;
        const QString pdf = QDir(reports_.path()).filePath(QStringLiteral("receipt%1.pdf").arg(receipts_.size()));
        QString error;
        QVERIFY2(ReceiptPrinter::printToPdf(d, pdf, &error), qPrintable(error));
        pdfs_ << pdf;
    });
    ScriptedPrompter& p = run_->prompter;

    // With credit: 300 pays the 195.75 of June, no cash; 104.25 stays.
    w->householdGrid()->selectRow(0);
    QVERIFY(selectBill(w, QStringLiteral("202406")));
    p.yes();
    p.yes();
    p.yes();
    button(w, "Command5")->click();
    QCOMPARE(p.texts(), (QStringList{"本次应缴费用是:195.75,是否确认?", "此住户有预存款:300 ,是否直接从账户上扣除?",
                                     "是否打印当前缴费单据?"}));
    p.clear();

    // With arrears: 20 owed and 175 due, 195 paid; the balance comes to 0.
    w->householdGrid()->selectRow(1);
    QVERIFY(selectBill(w, QStringLiteral("202406")));
    p.yes();
    p.type(QStringLiteral("195"));
    p.yes();
    button(w, "Command5")->click();
    QCOMPARE(p.texts(), (QStringList{"本次应缴费用是:175.00,是否确认?", "您的账户存在欠款 -20元，合计住户实缴现金金额应为",
                                     "是否打印当前缴费单据?"}));
    QCOMPARE(p.boxes()[1].offered, QStringLiteral("195"));
    p.clear();

    // With a shortfall: 202.5 due, 150 paid; 52.5 owed and written into the remarks.
    w->householdGrid()->selectRow(2);
    QVERIFY(selectBill(w, QStringLiteral("202406")));
    p.yes();
    p.type(QStringLiteral("150"));
    p.yes();
    button(w, "Command5")->click();
    QCOMPARE(p.texts(), (QStringList{"本次应缴费用是:202.50,是否确认?", "请录入住户实缴现金金额",
                                     "住户缴金额不足，目前欠费：-52.5元，将合并至下次共同收缴！", "是否打印当前缴费单据?"}));
    QCOMPARE(p.boxes()[1].offered, QStringLiteral("203"));
    QCOMPARE(p.boxes()[2].title, QString());  // the program's default title
    p.clear();

    const QString note = kNote;
    const QString shortfall =
        note + QStringLiteral("\r  2024年07月15日应缴费202.5元，实收150元，还欠-52.5元未缴，将合并至下次共同收缴!");
    QCOMPARE(w->remarksBox()->toPlainText().replace(QLatin1Char('\n'), QLatin1Char('\r')), shortfall);
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 月份, 收费金额, 实缴金额, ifnull(缴费标志,0), 缴费时间, 账户余额, "
                                       "其他说明 from 缴费历史 order by 门牌号, 月份")),
             (QStringList{"1-101|202406|195.75|0|1|" + kPaidOn + "|104.25|" + note,
                          "1-101|202407|188.25|0|0|||" + note,
                          "1-102|202406|175|195|1|" + kPaidOn + "|0|" + note,
                          "1-102|202407|152.5|0|0|||" + note,
                          "2-201|202406|202.5|150|1|" + kPaidOn + "|-52.5|" + shortfall,
                          "2-202|202406|213.75|0|0|||" + kDefaultNote}));
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 账户余额 from 档案库 order by ID")),
             (QStringList{"1-101|104.25", "1-102|0", "2-201|-52.5", "2-202|0"}));
    // Every line of a paid bill carries the day; the others none.
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号 || 月份, count(*) from (select 门牌号, 月份 from 收费1 where 缴费时间 = '")
                        + kPaidOn + QStringLiteral("' union all select 门牌号, 月份 from 收费2 where 缴费时间 = '") + kPaidOn +
                        QStringLiteral("') group by 门牌号, 月份 order by 1")),
             (QStringList{"1-101202406|3", "1-102202406|3", "2-201202406|3"}));
    QCOMPARE(run_->db().scalar(QStringLiteral("select (select count(*) from 收费1 where 缴费时间 is null) + "
                                              "(select count(*) from 收费2 where 缴费时间 is null)"))
                 .toInt(),
             9);

    // The receipts: one page each, the figures as the office worked them out.
    QCOMPARE(receipts_.size(), 3);
    const ReceiptPage page = ReceiptPage::build(receipts_[2]);
    QStringList texts;
    for (const ReceiptLine& l : page.lines)
        texts << l.text;
    const QString ruler = QStringLiteral("  ") + QString(65, QChar(0x2500));
    const QStringList expected = {
        QStringLiteral("幸福里小区(已缴)"),
        QString(),
        "  月份:2024年06月" + blanks(10) + "门牌号:2-201    姓名: 王芳  住房面积:100平米    缴费日期:" + kShortPaidOn,
        ruler,
        "  " + ReceiptPage::columnHeader(),
        ruler,
        "  水费" + blanks(16) + "9" + blanks(9) + "0" + blanks(9) + "2.50000" + blanks(3) + "22.50" + blanks(9) + "|",
        ruler,
        "  管理费:30.0000" + blanks(19) + blanks(4) + "物业费(按面积):150.0000" + blanks(13) + blanks(4),
        ruler,
        "  应收合计：202.50" + blanks(10) + "账户余额:-52.500" + blanks(10) + "原账户余额:0.000",
        QStringLiteral("  实缴现金:150  大写:壹佰伍拾元"),
        "  " + shortfall,
        QStringLiteral(" "),
        QStringLiteral("  请于每月25日前缴费"),
        blanks(65) + ReceiptPage::makerCredit(),
        ruler,
        QStringLiteral(" "),
        "  经办人:" + blanks(15) + "收款人:" + blanks(25) + "收款单位盖章",
    };
    QCOMPARE(texts, expected);
    const ReceiptPage credit = ReceiptPage::build(receipts_[0]);
    QCOMPARE(credit.lines[10].text, "  应收合计：195.75" + blanks(10) + "账户余额:104.250" + blanks(10) + "原账户余额:300.000");
    QCOMPARE(credit.lines[11].text, QStringLiteral("  实缴现金:  大写: "));
    QCOMPARE(ReceiptPage::build(receipts_[1]).lines[11].text, QStringLiteral("  实缴现金:195  大写:壹佰玖拾伍元"));

    // The PDFs hold one page with the receipt's texts.
    for (const QString& pdf : pdfs_) {
        const QByteArray bytes = fileBytes(pdf);
        QVERIFY(bytes.startsWith("%PDF-"));
        QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 1);
    }
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdfs_[2], QStringLiteral("-")});
    if (text.waitForFinished(20000) && text.exitCode() == 0) {
        // The face maps some ideographs to their radical forms in its text map.
        const QString out = QString::fromUtf8(text.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
        for (const char* t : {"幸福里小区(已缴)", "2-201", "王芳", "壹佰伍拾元", "请于每月25日前缴费", "收款单位盖章"})
            QVERIFY2(out.contains(QString::fromUtf8(t)), t);
    }
    QVERIFY(w->close());
}

void TestMonthRoad::queries()
{
    auto* w = run_->open<QueryWindow>(QStringLiteral("frm_查询"));
    QVERIFY(w);
    auto* item = w->findChild<QComboBox*>(QStringLiteral("DataCombo1"));
    auto* first = w->findChild<QComboBox*>(QStringLiteral("DataCombo2"));
    auto* last = w->findChild<QComboBox*>(QStringLiteral("DataCombo3"));
    QCOMPARE(first->count(), 2);  // 202406, 202407
    choose(item, QStringLiteral("水费"));
    choose(first, QStringLiteral("202406"));
    choose(last, QStringLiteral("202407"));

    // The water charges of both months: 37.5 + 30 + 55 + 32.5 + 22.5 + 75 = 252.5.
    button(w, "Command2")->click();
    const QString d = kShortPaidOn;
    QCOMPARE(w->table().headers(), (QStringList{"门牌号", "户名", "月份", "上月数", "本月数", "单价", "金额", "缴费时间"}));
    QCOMPARE(tableRows(w->table()),
             (QStringList{"1-101|张伟|202406|0|15|2.5|37.5|" + d, "1-101|张伟|202407|15|27|2.5|30|未缴", " ",
                          "1-102|李娜|202406|0|22|2.5|55|" + d, "1-102|李娜|202407|22|35|2.5|32.5|未缴", " ",
                          "2-201|王芳|202406|0|9|2.5|22.5|" + d, " ", "2-202|刘洋|202406|0|30|2.5|75|未缴", " ", " ",
                          "合计 ||||||252.50|"}));
    QCOMPARE(w->findChild<QLabel*>(QStringLiteral("Label2"))->text(),
             QStringLiteral("现在查询的是: 水费 的明细,包括已缴和未缴!"));

    // The unpaid management fees: 30 × 3.
    choose(item, QStringLiteral("管理费"));
    button(w, "Command1")->click();
    QCOMPARE(tableRows(w->table()),
             (QStringList{"1-101|张伟|202407|30|未缴", " ", "1-102|李娜|202407|30|未缴", " ", "2-202|刘洋|202406|30|未缴",
                          " ", " ", "合计 |||90.00|"}));

    // Every bill of both months. Charged 195.75 + 188.25 + 175 + 152.5 + 202.5 + 213.75 = 1127.75,
    // paid 0 + 195 + 150 = 345, balances 104.25 + 0 - 52.5 = 51.75.
    button(w, "Command6")->click();
    QCOMPARE(item->currentText(), QStringLiteral("全部项目"));
    QCOMPARE(w->table().headers(),
             (QStringList{"门牌号", "户名", "月份", "收费金额", "实缴金额", "账户余额", "缴费状态", "缴费时间"}));
    QCOMPARE(tableRows(w->table()),
             (QStringList{" ", "1-101|张伟|202407|188.25|0|0|未缴|*", "1-101|张伟|202406|195.75|0|104.25|已缴|" + d,
                          " ", "1-102|李娜|202407|152.5|0|0|未缴|*", "1-102|李娜|202406|175|195|0|已缴|" + d, " ",
                          "2-201|王芳|202406|202.5|150|-52.5|已缴|" + d, " ", "2-202|刘洋|202406|213.75|0|0|未缴|*", " ",
                          "合计|||1127.75|345|51.75"}));
    QCOMPARE(w->findChild<QLabel*>(QStringLiteral("Label2"))->text(),
             QStringLiteral("现在查询的是全部用户 包括未缴费和已缴费"));
}

void TestMonthRoad::exports()
{
    // The query export of the all-items table still shown.
    auto* q = qobject_cast<QueryWindow*>(run_->frame()->openedWindow(QStringLiteral("frm_查询")));
    QVERIFY(q);
    run_->prompter.clear();
    button(q, "Command5")->click();
    const QString folderText = QDir::toNativeSeparators(reportFolder() + QLatin1Char('/'));
    QCOMPARE(run_->prompter.texts(), QStringList{"表生成放至 " + folderText + " 下面"});
    const QString queryFile = reportFolder() + QStringLiteral("/查询明细.txt");
    QCOMPARE(run_->opener.paths(), QStringList{queryFile});
    const QString d = kShortPaidOn;
    QString header;
    for (const char* h : {"门牌号", "户名", "月份", "收费金额", "实缴金额", "账户余额", "缴费状态", "缴费时间"})
        header += fit(QString::fromUtf8(h), 30);
    const QByteArray queryBytes = fileBytes(queryFile);
    QCOMPARE(queryBytes, gbkLines({
                             header,
                             queryLine({"1-101", "张伟", "202407", "188.25", "0", "0", "未缴", "*"}, 8),
                             queryLine({"1-101", "张伟", "202406", "195.75", "0", "104.25", "已缴", d}, 8),
                             queryLine({"1-102", "李娜", "202407", "152.5", "0", "0", "未缴", "*"}, 8),
                             queryLine({"1-102", "李娜", "202406", "175", "195", "0", "已缴", d}, 8),
                             queryLine({"2-201", "王芳", "202406", "202.5", "150", "-52.5", "已缴", d}, 8),
                             queryLine({"2-202", "刘洋", "202406", "213.75", "0", "0", "未缴", "*"}, 8),
                             queryLine({"合计", "", "", "1127.75", "345", "51.75"}, 8),
                         }));
    QVERIFY(queryBytes.contains("\xBA\xCF\xBC\xC6"));  // 合计 in GBK
    QCOMPARE(queryBytes.count("\r\n"), 8);
    QCOMPARE(queryBytes.count('\n'), 8);
    QVERIFY(q->close());

    // The household export.
    auto* h = run_->open<HouseholdWindow>(QStringLiteral("frm_档案录入"));
    QVERIFY(h);
    run_->prompter.clear();
    QTest::mouseClick(h->exportButton(), Qt::LeftButton);
    QCOMPARE(run_->prompter.texts(), QStringList{"表生成放至 " + folderText + "  下面"});
    const QString houseFile = reportFolder() + QStringLiteral("/档案明细.txt");
    QCOMPARE(run_->opener.paths().last(), houseFile);
    const QString other = QStringLiteral("家庭主要成员：配偶:   年龄:      联系方式:     籍贯:");
    auto line = [&](const QString& door, const QString& name, const QString& phone9) {
        return blanks(14) + door + "|" + blanks(26) + name + "|" + phone9 + "|" + blanks(34) + "城关镇|" + other;
    };
    const QByteArray houseBytes = fileBytes(houseFile);
    QCOMPARE(houseBytes, gbkLines({line("1-101", "张伟", "800000001"), line("1-102", "李娜", "800000002"),
                                   line("2-201", "王芳", "800000003"), line("2-202", "刘洋", "800000004")}));
    QVERIFY(houseBytes.startsWith(QByteArray(14, ' ') + "1-101|" + QByteArray(26, ' ') + "\xD5\xC5\xCE\xB0|"));  // 张伟
    QCOMPARE(houseBytes.count("\r\n"), 4);
    QVERIFY(h->close());
}

void TestMonthRoad::cleanupOfTheFirstMonth()
{
    auto* w = run_->open<CleanupWindow>(QStringLiteral("数据清理"));
    QVERIFY(w);
    choose(w->firstBox(), QStringLiteral("202406"));
    choose(w->lastBox(), QStringLiteral("202406"));
    run_->prompter.clear();
    run_->prompter.yes();
    QTest::mouseClick(w->deleteButton(), Qt::LeftButton);
    QCOMPARE(run_->prompter.texts(),
             (QStringList{"删除数据请慎重，请先进行备份，一旦删除无法恢复，另外，系统只删除已缴用户的信息，不删除欠缴用户的信息！",
                          "清理完毕，请关闭程序后重新打开程序！"}));
    QCOMPARE(run_->prompter.boxes()[0].title, QStringLiteral("警告"));
    // June's three paid bills and their nine lines are gone; the unpaid June bill of
    // 2-202, July's bills and the balances stay.
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 月份, 收费金额 from 缴费历史 order by 门牌号, 月份")),
             (QStringList{"1-101|202407|188.25", "1-102|202407|152.5", "2-202|202406|213.75"}));
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 月份, 项目号, 收费金额 from 收费1 order by 门牌号, 月份, 项目号")),
             (QStringList{"1-101|202407|01|30", "1-101|202407|02|128.25", "1-102|202407|01|30", "1-102|202407|02|90",
                          "2-202|202406|01|30", "2-202|202406|02|108.75"}));
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 月份, 本月数, 收费金额 from 收费2 order by 门牌号, 月份")),
             (QStringList{"1-101|202407|27|30", "1-102|202407|35|32.5", "2-202|202406|30|75"}));
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 账户余额 from 档案库 order by ID")),
             (QStringList{"1-101|104.25", "1-102|0", "2-201|-52.5", "2-202|0"}));
    QCOMPARE(w->firstBox()->count(), 2);  // 202406 stays for 2-202's unpaid bill
    QVERIFY(w->close());
}

void TestMonthRoad::backupChangeAndRestore()
{
    if (admin_)
        QSKIP("Brisco copies and restores data.dat: the file engine's");
    ScriptedBackupPrompter bp;
    // Brisco refuses while Tallowmere holds the database.
    {
        BackupTool tool(home_.path(), bp);
        QCOMPARE(tool.backUp(backups_.path(), QStringLiteral("2024年7月")), BackupTool::Outcome::Refused);
        QCOMPARE(bp.texts(), QStringList{BackupTool::backupInUse});
        QVERIFY(!QFile::exists(backups_.path() + QStringLiteral("/2024年7月.备份")));
        bp.clear();
    }
    stop();
    const QByteArray cleaned = fileBytes(dataPath());
    BackupTool tool(home_.path(), bp);
    QCOMPARE(tool.backUp(backups_.path(), QStringLiteral("  2024年7月 ")), BackupTool::Outcome::Done);
    QCOMPARE(bp.texts(), QStringList{BackupTool::backupDone});
    QCOMPARE(bp.boxes()[0].title, QStringLiteral("Brisco"));
    const QString backup = backups_.path() + QStringLiteral("/2024年7月.备份");
    QCOMPARE(fileBytes(backup), cleaned);
    QCOMPARE(BackupTool::backupFiles(backups_.path()), QStringList{QStringLiteral("2024年7月.备份")});

    // A change in Tallowmere: 2-202's name.
    QVERIFY(start());
    auto* h = run_->open<HouseholdWindow>(QStringLiteral("frm_档案录入"));
    QVERIFY(h);
    h->grid()->selectRow(3);
    QCOMPARE(h->doorBox()->text(), QStringLiteral("2-202"));
    retype(box(h, "txt户名"), QStringLiteral("刘洋洋"));
    QVERIFY(h->close());
    QCOMPARE(run_->db().scalar(QStringLiteral("select 户名 from 档案库 where 门牌号 = '2-202'")).toString(),
             QStringLiteral("刘洋洋"));

    // The restore is refused while Tallowmere is open, and works once it is closed.
    bp.clear();
    bp.ok();
    QCOMPARE(tool.restore(backups_.path(), QStringLiteral("2024年7月.备份")), BackupTool::Outcome::Refused);
    QCOMPARE(bp.texts().last(), BackupTool::restoreInUse);
    stop();
    const QByteArray changed = fileBytes(dataPath());
    QVERIFY(changed != cleaned);
    bp.clear();
    bp.ok();
    QCOMPARE(tool.restore(backups_.path(), QStringLiteral("2024年7月.备份")), BackupTool::Outcome::Done);
    QCOMPARE(bp.texts(), (QStringList{BackupTool::askRestore, BackupTool::restoreDone}));
    QCOMPARE(fileBytes(dataPath()), cleaned);
    QCOMPARE(fileBytes(home_.path() + QStringLiteral("/data_bf.备份")), changed);

    QVERIFY(start());
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 户名, 账户余额 from 档案库 order by ID")),
             (QStringList{"1-101|张伟|104.25", "1-102|李娜|0", "2-201|王芳|-52.5", "2-202|刘洋|0"}));
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 月份, 收费金额 from 缴费历史 order by 门牌号, 月份")),
             (QStringList{"1-101|202407|188.25", "1-102|202407|152.5", "2-202|202406|213.75"}));
    QCOMPARE(run_->db().scalar(QStringLiteral("select count(*) from 收费1")).toInt(), 6);
    QCOMPARE(run_->db().scalar(QStringLiteral("select count(*) from 收费2")).toInt(), 3);
}

void TestMonthRoad::levelBDay()
{
    run_->db().exec(QStringLiteral("insert into 操作员 (操作员, 密码, 操作级别) values (?, ?, ?)"),
                    {QStringLiteral("收银员"), QStringLiteral("8888"), QStringLiteral("B")});
    stop();
    QVERIFY(start(QStringLiteral("收银员"), QStringLiteral("8888")));
    MainFrame* f = run_->frame();

    const QStringList usable = {"menu_1", "menu_1_2", "menu_5", "menu", "menu_4"};
    const QStringList greyed = {"menu_1_1", "menu_1_3", "menu_1_4", "menu_2", "menu_2_1", "menu_2_2", "menu_3"};
    for (const QString& n : usable)
        QVERIFY2(f->item(n)->isEnabled(), qPrintable(n));
    for (const QString& n : greyed)
        QVERIFY2(!f->item(n)->isEnabled(), qPrintable(n));
    for (const char* k : {"key4", "key5", "key2"})
        QVERIFY2(f->toolButton(QString::fromUtf8(k))->isEnabled(), k);
    for (const char* k : {"key3", "key1"})
        QVERIFY2(!f->toolButton(QString::fromUtf8(k))->isEnabled(), k);

    // Nothing greyed opens a window: not from the menu, the tool bar or a shortcut.
    for (const QString& n : greyed)
        f->item(n)->trigger();
    f->toolButton(QStringLiteral("key3"))->trigger();
    f->toolButton(QStringLiteral("key1"))->trigger();
    f->dispatchKey(QStringLiteral("key3"));
    f->dispatchKey(QStringLiteral("key1"));
    for (QAction* a : f->findChildren<QAction*>()) {
        if (a->isEnabled() || a->shortcut().isEmpty())
            continue;
        QTest::keySequence(f, a->shortcut());
    }
    QTest::keyClick(f, Qt::Key_F2);
    QTest::keyClick(f, Qt::Key_F5);
    QCOMPARE(f->openedWindows(), QStringList());
    QCOMPARE(run_->quits, 0);

    // Collection: 2-202 pays June's 213.75 in full.
    QTest::keyClick(f, Qt::Key_F3);
    auto* w = qobject_cast<PaymentWindow*>(f->openedWindow(QStringLiteral("frm_缴费打印")));
    QVERIFY(w);
    w->setReceiptSink([this](const ReceiptData& d) { receipts_ << d; });
    w->householdGrid()->selectRow(3);
    QVERIFY(selectBill(w, QStringLiteral("202406")));
    ScriptedPrompter& p = run_->prompter;
    p.clear();
    p.yes();
    p.type(QStringLiteral("213.75"));
    p.yes();
    button(w, "Command5")->click();
    QCOMPARE(p.texts(), (QStringList{"本次应缴费用是:213.75,是否确认?", "请录入住户实缴现金金额", "是否打印当前缴费单据?"}));
    QCOMPARE(p.boxes()[1].offered, QStringLiteral("214"));
    QCOMPARE(receipts_.size(), 4);
    // The cash received, to the fen: 213.75 is not rounded to 214.
    QCOMPARE(ReceiptPage::build(receipts_.last()).lines[11].text,
             QStringLiteral("  实缴现金:213.75  大写:贰佰壹拾叁元柒角伍分"));
    QCOMPARE(run_->dump(QStringLiteral("select 门牌号, 月份, 实缴金额, 缴费标志, 缴费时间, 账户余额 from 缴费历史 "
                                       "where 缴费标志 <> 0 order by 门牌号")),
             QStringList{"2-202|202406|213.75|1|" + kPaidOn + "|0"});

    // Queries: the tool bar opens them, and the unpaid listing shows July's two bills.
    f->toolButton(QStringLiteral("key5"))->trigger();
    auto* q = qobject_cast<QueryWindow*>(f->openedWindow(QStringLiteral("frm_查询")));
    QVERIFY(q);
    choose(q->findChild<QComboBox*>(QStringLiteral("DataCombo2")), QStringLiteral("202406"));
    choose(q->findChild<QComboBox*>(QStringLiteral("DataCombo3")), QStringLiteral("202407"));
    button(q, "Command1")->click();  // item box on 全部项目: the unpaid bills
    QCOMPARE(tableRows(q->table()),
             (QStringList{" ", "1-101|张伟|202407|188.25|0|0|未缴|*", " ", "1-102|李娜|202407|152.5|0|0|未缴|*", " ",
                          "合计|||340.75|0|"}));
    QCOMPARE(f->openedWindows().size(), 2);
}

int main(int argc, char** argv)
{
    // Dates in the form of the office's Chinese system, whatever this machine's locale.
    qputenv("LC_ALL", "C");
    qputenv("LANG", "C");
    QApplication app(argc, argv);
    TestMonthRoad t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_month_road.moc"
