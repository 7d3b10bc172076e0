// The receipt page, line by line, and its PDF.
#include "collection/cmoney.h"
#include "collection/receipt.h"
#include "collection/receiptprinter.h"
#include "common/dates.h"
#include "common/fonts.h"
#include "estate.h"
#include "store/criterion.h"

#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString sp(int n)
{
    return QString(n, QLatin1Char(' '));
}

ReceiptData sample()
{
    ReceiptData d;
    d.paid = true;
    d.receiptName = QStringLiteral("收据");
    d.noticeText = QStringLiteral("请按时缴费");
    d.month = QStringLiteral("202406");
    d.door = QStringLiteral("0101");
    d.paidOn = QStringLiteral("2024-07-15");
    d.charge = 80.0;
    d.balance = 20.0;
    d.cash = 0.0;
    d.name = QStringLiteral("张三");
    d.area = 85.5;
    return d;
}

ReceiptData::Metered metered(const QString& name, double prev, double cur, double price, double amount)
{
    return {name, cur, prev, price, amount};
}

// The lines' texts only.
QStringList texts(const ReceiptPage& p)
{
    QStringList out;
    for (const ReceiptLine& l : p.lines)
        out << l.text;
    return out;
}

int indexOfPrefix(const QStringList& lines, const QString& prefix)
{
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith(prefix))
            return i;
    return -1;
}

// A page that keeps every text the painter draws, with its position, at 1200 dpi.
class TextRecorder : public QPaintDevice {
public:
    struct Text {
        QPointF at;
        QString text;
    };

    TextRecorder() : engine_(this) {}
    QPaintEngine* paintEngine() const override { return const_cast<Engine*>(&engine_); }
    QList<Text> texts;

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth: return 9921;  // A4
        case PdmHeight: return 14031;
        case PdmWidthMM: return 210;
        case PdmHeightMM: return 297;
        case PdmNumColors: return INT_MAX;
        case PdmDepth: return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return 1200;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        default: return 0;
        }
    }

private:
    class Engine : public QPaintEngine {
    public:
        explicit Engine(TextRecorder* page) : QPaintEngine(AllFeatures), page_(page) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawTextItem(const QPointF& p, const QTextItem& item) override { page_->texts.append({p, item.text()}); }
        Type type() const override { return User; }

    private:
        TextRecorder* page_;
    };
    Engine engine_;
};

}  // namespace

class TestReceipt : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installSongFontSubstitution(); }
    void fixedTexts();
    void title_data();
    void title();
    void header();
    void meteredRows();
    void meteredSegmentColumns_data();
    void meteredSegmentColumns();
    void fixedRows();
    void fixedSegment_data();
    void fixedSegment();
    void totalsAndCash_data();
    void totalsAndCash();
    void cashLine_data();
    void cashLine();
    void songFaceIsTwoLatinCharactersWide_data();
    void songFaceIsTwoLatinCharactersWide();
    void meteredBarsStandAtOneX();
    void unpaidBillPrintsEmptyValues();
    void blankRemarksAndNotice();
    void remarksAndNoticePrinted();
    void fontsAndSizes();
    void wholeReceiptMatchesGolden();
    void readsCurrentRowsWithoutMovingThem();
    void nothingWithoutCurrentBill();
    void pdfHasOnePageWithTitleAndCapitals();
};

void TestReceipt::fixedTexts()
{
    QCOMPARE(ReceiptPage::ruler(), QString(65, QChar(0x2500)));
    const QString h = ReceiptPage::columnHeader();
    QCOMPARE(h.size(), 92);
    const QString names = QStringLiteral("收费项目") + sp(11) + QStringLiteral("本月数") + sp(3) +
                          QStringLiteral("上月数") + sp(4) + QStringLiteral("单价") + sp(8) + QStringLiteral("金额");
    QCOMPARE(h, names + sp(10) + QStringLiteral("|") + names + QStringLiteral(" "));
}

void TestReceipt::title_data()
{
    QTest::addColumn<bool>("paid");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("x");
    QTest::newRow("paid") << true << QStringLiteral("收据") << QStringLiteral("收据(已缴)") << 11906 / 10 - 2;
    QTest::newRow("unpaid") << false << QStringLiteral("收据") << QStringLiteral("收据(未缴)") << 11906 / 10 - 2;
    QTest::newRow("longer name") << true << QStringLiteral("幸福小区收费收据") << QStringLiteral("幸福小区收费收据(已缴)")
                                 << 11906 / 10 - 8;
}

void TestReceipt::title()
{
    QFETCH(bool, paid);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(int, x);
    ReceiptData d = sample();
    d.paid = paid;
    d.receiptName = name;
    const ReceiptPage p = ReceiptPage::build(d);
    QCOMPARE(p.lines[0].text, text);
    QCOMPARE(p.lines[0].x, x);
    QCOMPARE(p.lines[0].size, 18.0);
    QCOMPARE(p.lines[1].text, QString());
    QCOMPARE(p.lines[1].size, 18.0);
    QCOMPARE(ReceiptPage::build(d, 12240).lines[0].x, 1224 - int(name.size()));
}

void TestReceipt::header()
{
    const ReceiptPage p = ReceiptPage::build(sample());
    QCOMPARE(p.lines[2].text, QStringLiteral("  月份:2024年06月") + sp(10) + QStringLiteral("门牌号:0101    姓名: 张三  住房面积:85.5平米    缴费日期:") +
                                  shortDate(QDate(2024, 7, 15)));
    QCOMPARE(p.lines[3].text, QStringLiteral("  ") + ReceiptPage::ruler());
    QCOMPARE(p.lines[4].text, QStringLiteral("  ") + ReceiptPage::columnHeader());
    QCOMPARE(p.lines[5].text, QStringLiteral("  ") + ReceiptPage::ruler());
}

void TestReceipt::meteredRows()
{
    ReceiptData d = sample();
    d.metered = {metered(QStringLiteral("水费"), 10, 20, 2, 20), metered(QStringLiteral("电费"), 100, 150, 0.5, 25),
                 metered(QStringLiteral("气费"), 1, 3, 3, 6)};
    const QStringList t = texts(ReceiptPage::build(d));
    const QString s1 = ReceiptPage::meteredSegment(d.metered[0]);
    const QString s2 = ReceiptPage::meteredSegment(d.metered[1]);
    const QString s3 = ReceiptPage::meteredSegment(d.metered[2]);
    QCOMPARE(t[6], QStringLiteral("  ") + s1 + QStringLiteral("|") + s2);
    QCOMPARE(t[7], QStringLiteral("  ") + s3 + QStringLiteral("|"));
    QCOMPARE(t[8], QStringLiteral("  ") + ReceiptPage::ruler());

    d.metered.removeLast();
    const QStringList two = texts(ReceiptPage::build(d));
    QCOMPARE(two[6], QStringLiteral("  ") + s1 + QStringLiteral("|") + s2);
    QCOMPARE(two[7], QStringLiteral("  ") + ReceiptPage::ruler());

    d.metered.clear();
    const QStringList none = texts(ReceiptPage::build(d));
    QCOMPARE(none[6], QStringLiteral("  ") + ReceiptPage::ruler());
    QCOMPARE(none[7], QStringLiteral("  ") + ReceiptPage::ruler());
}

void TestReceipt::meteredSegmentColumns_data()
{
    QTest::addColumn<QVariant>("name");
    QTest::addColumn<QVariant>("current");
    QTest::addColumn<QVariant>("previous");
    QTest::addColumn<QVariant>("price");
    QTest::addColumn<QVariant>("amount");
    QTest::addColumn<QString>("segment");
    QTest::newRow("water") << QVariant("水费") << QVariant(20.0) << QVariant(10.0) << QVariant(2.0) << QVariant(20.0)
                           << QStringLiteral("水费") + sp(16) + "20" + sp(8) + "10" + sp(8) + "2.00000" + sp(3) +
                                  "20.00" + sp(9);
    QTest::newRow("grouped amount") << QVariant("电费") << QVariant(12345.5) << QVariant(0.0) << QVariant(1234.5)
                                    << QVariant(15240594.75)
                                    << QStringLiteral("电费") + sp(16) + "12345.5" + sp(3) + "0" + sp(9) +
                                           "1,234.50000" + "15,240,594.75" + sp(1);
    // Blanks are counted from the name as stored, then the name is trimmed.
    QTest::newRow("name with blanks") << QVariant(" 水费 ") << QVariant(1.0) << QVariant(0.0) << QVariant(1.0)
                                      << QVariant(1.0)
                                      << QStringLiteral("水费") + sp(12) + "1" + sp(9) + "0" + sp(9) + "1.00000" +
                                             sp(3) + "1.00" + sp(10);
    // A half-width character of the name takes one column: its second comes back as a blank.
    QTest::newRow("area suffix") << QVariant("热水(按面积)") << QVariant(85.5) << QVariant(0.0) << QVariant(0.3)
                                 << QVariant(25.65)
                                 << QStringLiteral("热水(按面积)") + sp(8) + "85.5" + sp(6) + "0" + sp(9) + "0.30000" +
                                        sp(3) + "25.65" + sp(9);
    QTest::newRow("Latin letters") << QVariant("IC卡水费") << QVariant(1.0) << QVariant(0.0) << QVariant(1.0)
                                   << QVariant(1.0)
                                   << QStringLiteral("IC卡水费") + sp(12) + "1" + sp(9) + "0" + sp(9) + "1.00000" +
                                          sp(3) + "1.00" + sp(10);
    QTest::newRow("long name, no blanks")
        << QVariant("热水费按面积计算(按面积)") << QVariant(1.0) << QVariant(0.0) << QVariant(1.0) << QVariant(1.0)
        << QStringLiteral("热水费按面积计算(按面积)") + "1" + sp(9) + "0" + sp(9) + "1.00000" + sp(3) + "1.00" + sp(10);
    QTest::newRow("empty values") << QVariant("水费") << QVariant() << QVariant() << QVariant() << QVariant()
                                  << QStringLiteral("水费") + sp(16) + sp(10) + sp(10) + sp(10) + sp(14);
}

void TestReceipt::meteredSegmentColumns()
{
    QFETCH(QVariant, name);
    QFETCH(QVariant, current);
    QFETCH(QVariant, previous);
    QFETCH(QVariant, price);
    QFETCH(QVariant, amount);
    QFETCH(QString, segment);
    QCOMPARE(ReceiptPage::meteredSegment({name, current, previous, price, amount}), segment);
}

void TestReceipt::fixedRows()
{
    ReceiptData d = sample();
    d.fixed = {{QStringLiteral("物业费"), 30.0}, {QStringLiteral("卫生费"), 10.0}, {QStringLiteral("电梯费"), 15.0},
               {QStringLiteral("车位费"), 25.0}};
    const QStringList t = texts(ReceiptPage::build(d));
    QStringList seg;
    for (const auto& f : d.fixed)
        seg << ReceiptPage::fixedSegment(f);
    QCOMPARE(t[6], QStringLiteral("  ") + ReceiptPage::ruler());
    QCOMPARE(t[7], QStringLiteral("  ") + seg[0] + seg[1] + seg[2]);
    QCOMPARE(t[8], QStringLiteral("  ") + seg[3]);
    QCOMPARE(t[9], QStringLiteral("  ") + ReceiptPage::ruler());
    QVERIFY(t[10].startsWith(QStringLiteral("  应收合计：")));
}

void TestReceipt::fixedSegment_data()
{
    QTest::addColumn<QVariant>("name");
    QTest::addColumn<QVariant>("amount");
    QTest::addColumn<QString>("segment");
    QTest::newRow("short") << QVariant("物业费") << QVariant(30.0)
                           << (QStringLiteral("物业费:30.0000") + sp(24)).left(30) + sp(4);
    QTest::newRow("cut at 30") << QVariant("物业费") << QVariant(1234567.0)
                               << (QStringLiteral("物业费:1,234,567.0000") + sp(24)).left(30) + sp(4);
    QTest::newRow("long name") << QVariant("公共区域照明及电梯运行维护费用(按面积)") << QVariant(12.5)
                               << QStringLiteral("公共区域照明及电梯运行维护费用(按面积):12.5000").left(30) + sp(4);
    QTest::newRow("empty amount") << QVariant("物业费") << QVariant() << QStringLiteral("物业费:") + sp(24) + sp(4);
}

void TestReceipt::fixedSegment()
{
    QFETCH(QVariant, name);
    QFETCH(QVariant, amount);
    QFETCH(QString, segment);
    QCOMPARE(ReceiptPage::fixedSegment({name, amount}), segment);
}

void TestReceipt::totalsAndCash_data()
{
    QTest::addColumn<double>("charge");
    QTest::addColumn<double>("balance");
    QTest::addColumn<double>("cash");
    QTest::addColumn<QString>("totals");
    QTest::addColumn<QString>("cashLine");
    QTest::newRow("from credit 100") << 80.0 << 20.0 << 0.0
                                     << QStringLiteral("  应收合计：80.00") + sp(10) + "账户余额:20.000" + sp(10) +
                                            "原账户余额:100.000"
                                     << QStringLiteral("  实缴现金:  大写: ");
    // Cash with fractions of a yuan: two decimals and the capitals to the fen.
    QTest::newRow("1234.5 in cash") << 1234.5 << 0.0 << 1234.5
                                    << QStringLiteral("  应收合计：1,234.50") + sp(10) + "账户余额:0.000" + sp(10) +
                                           "原账户余额:0.000"
                                    << QStringLiteral("  实缴现金:1,234.50  大写:壹仟贰佰叁拾肆元伍角");
    QTest::newRow("arrears") << 80.0 << -10.0 << 40.0
                             << QStringLiteral("  应收合计：80.00") + sp(10) + "账户余额:-10.000" + sp(10) +
                                    "原账户余额:30.000"
                             << QStringLiteral("  实缴现金:40  大写:肆拾元");
    QTest::newRow("cash below half a yuan") << 0.3 << 0.0 << 0.3
                                            << QStringLiteral("  应收合计：0.30") + sp(10) + "账户余额:0.000" + sp(10) +
                                                   "原账户余额:0.000"
                                            << QStringLiteral("  实缴现金:0.30  大写:叁角");
}

void TestReceipt::cashLine_data()
{
    QTest::addColumn<QVariant>("cash");
    QTest::addColumn<QString>("line");
    // Whole yuan, as always.
    QTest::newRow("whole") << QVariant(1240.0) << QStringLiteral("1,240  大写:壹仟贰佰肆拾元");
    QTest::newRow("zero") << QVariant(0.0) << QStringLiteral("  大写: ");
    QTest::newRow("empty") << QVariant() << QStringLiteral("  大写: ");
    QTest::newRow("below half a fen") << QVariant(50.004) << QStringLiteral("50  大写:伍拾元");
    QTest::newRow("whole after rounding to the fen") << QVariant(99.996) << QStringLiteral("100  大写:壹佰元");
    QTest::newRow("negative whole") << QVariant(-3.0) << QStringLiteral("-3  大写:负叁元");
    // Fractions of a yuan.
    QTest::newRow("jiao") << QVariant(12.5) << QStringLiteral("12.50  大写:壹拾贰元伍角");
    QTest::newRow("fen") << QVariant(100.05) << QStringLiteral("100.05  大写:壹佰元伍分");
    QTest::newRow("jiao and fen") << QVariant(10000.37) << QStringLiteral("10,000.37  大写:壹万元叁角柒分");
    QTest::newRow("fen only") << QVariant(0.07) << QStringLiteral("0.07  大写:柒分");
    QTest::newRow("third decimal rounds") << QVariant(12.345) << QStringLiteral("12.35  大写:壹拾贰元叁角伍分");
    QTest::newRow("negative") << QVariant(-3.5) << QStringLiteral("-3.50  大写:负叁元伍角");
    QTest::newRow("typed text") << QVariant(QStringLiteral("20.5")) << QStringLiteral("20.50  大写:贰拾元伍角");
}

void TestReceipt::cashLine()
{
    QFETCH(QVariant, cash);
    QFETCH(QString, line);
    QCOMPARE(ReceiptPage::cashLine(cash), line);
}

void TestReceipt::totalsAndCash()
{
    QFETCH(double, charge);
    QFETCH(double, balance);
    QFETCH(double, cash);
    QFETCH(QString, totals);
    QFETCH(QString, cashLine);
    ReceiptData d = sample();
    d.charge = charge;
    d.balance = balance;
    d.cash = cash;
    const QStringList t = texts(ReceiptPage::build(d));
    const int at = indexOfPrefix(t, QStringLiteral("  应收合计："));
    QVERIFY(at > 0);
    QCOMPARE(t[at], totals);
    QCOMPARE(t[at + 1], cashLine);
}

void TestReceipt::songFaceIsTwoLatinCharactersWide_data()
{
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("italic");
    // 1000 pixels is the face's own unit square; 133 and 167 are 8 and 10 points at 1200 dpi.
    for (int px : {11, 13, 16, 24, 133, 167, 1000})
        for (bool italic : {false, true})
            QTest::addRow("%d px%s", px, italic ? " italic" : "") << px << italic;
}

void TestReceipt::songFaceIsTwoLatinCharactersWide()
{
    QFETCH(int, pixels);
    QFETCH(bool, italic);
    QFont song(QStringLiteral("宋体"));
    song.setPixelSize(pixels);
    song.setItalic(italic);
    QCOMPARE(QFontInfo(song).family(), QStringLiteral("Noto Sans Mono CJK SC"));
    const QFontMetricsF fm(song);
    const double latin = fm.horizontalAdvance(QLatin1Char('0'));
    QVERIFY(latin > 0);
    // In the face's unit square the widths are exact; at other sizes the scaling to
    // 1/64 pixel may take 1/64 off a glyph.
    const double slack = pixels == 1000 ? 0 : 1.0 / 64;
    // Every character the receipt's columns are built of.
    for (QChar c : QStringLiteral(" 0123456789,.:-|()Fenwary"))
        QVERIFY2(qAbs(fm.horizontalAdvance(c) - latin) <= slack, qPrintable(QString(c)));
    for (QChar c : QStringLiteral("中收费项目本月数上月数单价金额缴物业水电热─：￥"))
        QVERIFY2(qAbs(fm.horizontalAdvance(c) - 2 * latin) <= slack, qPrintable(QString(c)));
    if (pixels == 1000) {
        QCOMPARE(fm.horizontalAdvance(QChar(0x4E2D)), 2 * latin);
        QCOMPARE(fm.horizontalAdvance(ReceiptPage::columnHeader()), 120 * latin);  // 28 wide, 64 narrow
    }
}

void TestReceipt::meteredBarsStandAtOneX()
{
    ReceiptData d = sample();
    // Names of every length, with half-width characters too, and figures within their fields.
    d.metered = {metered(QStringLiteral("水费"), 120, 135, 2.8, 42),
                 metered(QStringLiteral("电费"), 3400, 3620.5, 0.56, 123.48),
                 metered(QStringLiteral("热水(按面积)"), 0, 85.5, 0.3, 25.65),
                 metered(QStringLiteral("中水"), 1, 123456.25, 1.5, 98765.43),
                 metered(QStringLiteral("燃气"), 10, 20, 3, 30)};
    TextRecorder page;
    QPainter painter(&page);
    DocumentPrinter::paint(painter, ReceiptPage::build(d));
    painter.end();

    QList<double> bars;
    for (const TextRecorder::Text& t : std::as_const(page.texts))
        if (t.text == QStringLiteral("|"))
            bars << t.at.x();
    QCOMPARE(bars.size(), 4);  // the column header and three rows of metered lines
    for (double x : std::as_const(bars))
        QCOMPARE(x, bars.first());
}

void TestReceipt::unpaidBillPrintsEmptyValues()
{
    ReceiptData d = sample();
    d.paid = false;
    d.paidOn = QVariant();
    d.balance = QVariant();
    d.cash = QVariant();
    d.area = QVariant();
    const QStringList t = texts(ReceiptPage::build(d));
    QVERIFY(t[2].endsWith(QStringLiteral("住房面积:平米    缴费日期:")));
    const int at = indexOfPrefix(t, QStringLiteral("  应收合计："));
    QCOMPARE(t[at], QStringLiteral("  应收合计：80.00") + sp(10) + "账户余额:" + sp(10) + "原账户余额:");
    QCOMPARE(t[at + 1], QStringLiteral("  实缴现金:  大写: "));
}

void TestReceipt::blankRemarksAndNotice()
{
    ReceiptData d = sample();
    d.remarks = QStringLiteral("   ");
    d.noticeText = QStringLiteral(" \t");
    const QStringList t = texts(ReceiptPage::build(d));
    const int cash = indexOfPrefix(t, QStringLiteral("  实缴现金:"));
    QCOMPARE(t[cash + 1], QStringLiteral(" "));  // line 12 only
    QVERIFY(t[cash + 2].startsWith(sp(65) + ReceiptPage::makerCredit()));
    QCOMPARE(t.size(), cash + 6);
}

void TestReceipt::remarksAndNoticePrinted()
{
    ReceiptData d = sample();
    d.remarks = QStringLiteral(" 物业费到期\r  2024年07月15日应缴费50元");
    const QStringList t = texts(ReceiptPage::build(d));
    const int cash = indexOfPrefix(t, QStringLiteral("  实缴现金:"));
    QCOMPARE(t[cash + 1], QStringLiteral("  ") + d.remarks);  // as passed
    QCOMPARE(t[cash + 2], QStringLiteral(" "));
    QCOMPARE(t[cash + 3], QStringLiteral("  请按时缴费"));
}

void TestReceipt::fontsAndSizes()
{
    ReceiptData d = sample();
    d.metered = {metered(QStringLiteral("水费"), 10, 20, 2, 20)};
    const ReceiptPage p = ReceiptPage::build(d);
    const int n = int(p.lines.size());
    for (const ReceiptLine& l : p.lines)
        QCOMPARE(l.font, QStringLiteral("宋体"));
    QCOMPARE(p.lines[2].size, 10.0);
    for (int i = 3; i <= 8; ++i)
        QCOMPARE(p.lines[i].size, 8.0);
    const ReceiptLine& credit = p.lines[n - 4];
    QVERIFY(credit.italic);
    QCOMPARE(credit.size, 8.0);
    QCOMPARE(p.lines[n - 3].text, QStringLiteral("  ") + ReceiptPage::ruler());
    QVERIFY(!p.lines[n - 3].italic);
    QCOMPARE(p.lines[n - 3].size, 8.0);
    QCOMPARE(p.lines[n - 2].text, QStringLiteral(" "));
    QCOMPARE(p.lines[n - 1].text, QStringLiteral("  经办人:") + sp(15) + "收款人:" + sp(25) + "收款单位盖章");
    QCOMPARE(p.lines[n - 1].size, 10.0);
    for (int i = 1; i < n; ++i)
        QCOMPARE(p.lines[i].x, 0);
}

void TestReceipt::wholeReceiptMatchesGolden()
{
    ReceiptData d = sample();
    d.receiptName = QStringLiteral("幸福小区收据");
    d.remarks = QStringLiteral("物业费至2024年12月");
    d.charge = 1234.5;
    d.balance = 5.5;
    d.cash = 1240.0;
    d.metered = {metered(QStringLiteral("水费"), 120, 135, 2.8, 42), metered(QStringLiteral("电费"), 3400, 3620.5, 0.56, 123.48),
                 metered(QStringLiteral("热水(按面积)"), 0, 85.5, 0.3, 25.65)};
    d.fixed = {{QStringLiteral("物业费(按面积)"), 85.5 * 10}, {QStringLiteral("卫生费"), 20.0},
               {QStringLiteral("电梯费"), 30.0}, {QStringLiteral("车位费"), 138.37}};
    QStringList lines = ReceiptPage::build(d).dump();
    const QString date = shortDate(QDate(2024, 7, 15));
    for (QString& l : lines)
        l.replace(date, QStringLiteral("{缴费日期}"));

    const QString path = QStringLiteral(FENWARY_GOLDEN_DIR "/receipt.txt");
    if (qEnvironmentVariableIsSet("FENWARY_UPDATE_GOLDEN")) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    QFile in(path);
    QVERIFY2(in.open(QIODevice::ReadOnly), qPrintable(path));
    QStringList golden = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
    if (!golden.isEmpty() && golden.last().isEmpty())
        golden.removeLast();
    for (int i = 0; i < std::min(golden.size(), lines.size()); ++i)
        QCOMPARE(lines[i], golden[i]);
    QCOMPARE(lines.size(), golden.size());
}

void TestReceipt::readsCurrentRowsWithoutMovingThem()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 85.5, 20.0);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202406"), 80, true, 0.0, 20.0, QStringLiteral("2024-07-15"));
    e.addFixedLine(QStringLiteral("0101"), QStringLiteral("202406"), QStringLiteral("01"), QStringLiteral("物业费"), 60);
    e.addMeteredLine(QStringLiteral("0101"), QStringLiteral("202406"), QStringLiteral("03"), QStringLiteral("水费"), 10,
                     20, 2, 20);
    e.addMeteredLine(QStringLiteral("0102"), QStringLiteral("202406"), QStringLiteral("03"), QStringLiteral("水费"), 1,
                     2, 2, 2);
    DataEnvironment& env = e.env();
    env.rs档案().moveFirst();
    env.rs缴费历史().setFilter(Criterion::equals(QStringLiteral("门牌号"), QStringLiteral("0101")));
    const Criterion lines =
        Criterion::equals(QStringLiteral("门牌号"), QStringLiteral("0101")).andEquals(QStringLiteral("月份"), QStringLiteral("202406"));
    env.rs收费1().setFilter(lines);
    env.rs收费2().setFilter(lines);

    const auto d = ReceiptData::fromCurrent(env, e.app, true, QStringLiteral("备注"));
    QVERIFY(d);
    QCOMPARE(d->receiptName, QStringLiteral("测试小区"));
    QCOMPARE(d->noticeText, QStringLiteral("请按时缴费"));
    QCOMPARE(d->remarks, QStringLiteral("备注"));
    QCOMPARE(d->name.toString(), QStringLiteral("张三"));
    QCOMPARE(d->area.toDouble(), 85.5);
    QCOMPARE(d->month.toString(), QStringLiteral("202406"));
    QCOMPARE(d->metered.size(), 1);
    QCOMPARE(d->metered[0].current.toDouble(), 20.0);
    QCOMPARE(d->metered[0].previous.toDouble(), 10.0);
    QCOMPARE(d->fixed.size(), 1);
    QCOMPARE(d->fixed[0].amount.toDouble(), 60.0);
    QVERIFY(env.rs收费1().hasCurrent() && env.rs收费2().hasCurrent());  // printing changes nothing
}

void TestReceipt::nothingWithoutCurrentBill()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 85.5, 20.0);
    DataEnvironment& env = e.env();
    env.rs档案().moveFirst();
    QVERIFY(!ReceiptData::fromCurrent(env, e.app, false, QString()));
    e.addBill(QStringLiteral("0101"), QStringLiteral("202406"), 80);
    env.rs缴费历史().requery();
    env.rs档案().moveLast();
    env.rs档案().moveNext();  // no current household
    QVERIFY(!ReceiptData::fromCurrent(env, e.app, false, QString()));
}

void TestReceipt::pdfHasOnePageWithTitleAndCapitals()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext is not installed");
    ReceiptData d = sample();
    d.receiptName = QStringLiteral("幸福小区收据");
    d.charge = 1234.5;
    d.balance = 0.0;
    d.cash = 1234.5;
    d.metered = {metered(QStringLiteral("水费"), 120, 135, 2.8, 42), metered(QStringLiteral("电费"), 3400, 3620.5, 0.56, 123.48),
                 metered(QStringLiteral("热水(按面积)"), 0, 85.5, 0.3, 25.65)};
    d.fixed = {{QStringLiteral("物业费(按面积)"), 855.0}, {QStringLiteral("卫生费"), 20.0},
               {QStringLiteral("电梯费"), 30.0}, {QStringLiteral("车位费"), 138.37}};
    d.remarks = QStringLiteral("物业费至2024年12月\r  2024年07月15日应缴费50元，实收40元，还欠-10元未缴，将合并至下次共同收缴!");

    QString dir = qEnvironmentVariable("FENWARY_SHOTS");
    QTemporaryDir tmp;
    if (dir.isEmpty() || !QDir().mkpath(dir))
        dir = tmp.path();
    const QString pdf = dir + QStringLiteral("/receipt.pdf");
    QString error;
    QVERIFY2(ReceiptPrinter::printToPdf(d, pdf, &error), qPrintable(error));

    QProcess p;
    p.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    // Shared glyphs may come back as Kangxi radicals (⼩ for 小); NFKC folds them.
    const QString text = QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
    QCOMPARE(text.count(QLatin1Char('\f')), 1);  // one page
    QVERIFY2(text.contains(QStringLiteral("幸福小区收据(已缴)")), qPrintable(text));
    // 角 may come back as the radical ⻆, which NFKC does not fold.
    QVERIFY2(text.contains(QStringLiteral("1,234.50")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("壹仟贰佰叁拾肆元伍")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("收款单位盖章")), qPrintable(text));

    QString bad = dir + QStringLiteral("/no-such-folder/receipt.pdf");
    QVERIFY(!ReceiptPrinter::printToPdf(d, bad, &error));
    QVERIFY(error.contains(bad));
}

QTEST_MAIN(TestReceipt)
#include "test_receipt.moc"
