// Screenshots of the month's road on the demo estate for the README walkthrough:
//   fenwary_walkthrough <folder>
// writes <folder>/*.png and receipt.pdf (offscreen).
#include "road.h"

#include "accounts/accountswindows.h"
#include "accounts/reportdocument.h"
#include "backdatawindow.h"
#include "backupprompter.h"
#include "charging/billentrywindow.h"
#include "charging/itemwindow.h"
#include "collection/paymentwindow.h"
#include "collection/receipt.h"
#include "collection/receiptprinter.h"
#include "common/fonts.h"
#include "maintenance/cleanupwindow.h"
#include "queries/querywindow.h"
#include "records/householdwindow.h"
#include "shell/demoestate.h"
#include "store/criterion.h"
#include "store/gridview.h"
#include "store/recordsetmodel.h"

#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QString out;

bool shoot(QWidget* w, const QString& name)
{
    QApplication::processEvents();
    const bool ok = w->grab().save(QDir(out).filePath(name));
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(QDir(out).filePath(name)));
    return ok;
}

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QTest::qWait(20);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("LC_ALL", "C");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installSongFontSubstitution();
    if (argc < 2) {
        std::fprintf(stderr, "usage: fenwary_walkthrough <folder>\n");
        return 2;
    }
    out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir home, reports;
    qputenv("FENWARY_REPORT_DIR", (reports.path() + QStringLiteral("/报表")).toUtf8());
    bool ok = true;
    {
        FirstStartAnswer demo{FirstStartAnswer::Choice::Demo, {}};
        Run run(home.path(), demo);
        if (!run.startup.run())
            return 1;
        ok &= shoot(run.startup.loginWindow(), QStringLiteral("login.png"));
        if (!run.logIn(DemoEstate::adminName(), DemoEstate::password()))
            return 1;
        MainFrame* f = run.frame();
        f->showNormal();
        f->resize(1180, 760);
        f->show();
        settle();

        auto* items = run.open<ItemWindow>(QStringLiteral("frm_项目维护"));
        settle();
        ok &= shoot(items, QStringLiteral("items.png"));
        items->close();

        auto* houses = run.open<HouseholdWindow>(QStringLiteral("frm_档案录入"));
        houses->grid()->selectRow(2);
        settle();
        ok &= shoot(f, QStringLiteral("households.png"));
        houses->close();

        auto* bills = run.open<BillEntryWindow>(QStringLiteral("frm_缴费录入"));
        settle();
        ok &= shoot(f, QStringLiteral("billentry.png"));
        bills->close();

        auto* pay = run.open<PaymentWindow>(QStringLiteral("frm_缴费打印"));
        pay->householdGrid()->selectRow(1);
        pay->billGrid()->selectRow(0);
        settle();
        ok &= shoot(f, QStringLiteral("payment.png"));
        pay->setReceiptSink([&](const ReceiptData& d) {
            ok &= ReceiptPrinter::printToPdf(d, QDir(out).filePath(QStringLiteral("receipt.pdf")));
        });
        pay->findChild<QPushButton*>(QStringLiteral("Command6"))->click();
        pay->close();

        // The ledger: a collection, its reversal and the collection again; the day's
        // takings, the household's statement, both printed.
        {
            Services& sv = *run.startup.services();
            const QList<QVariantList> bill = run.db().query(QStringLiteral(
                "select b.门牌号, b.月份, b.收费金额 from 缴费历史 b where coalesce(b.缴费标志, 0) = 0 "
                "order by b.ID limit 1"));
            if (bill.isEmpty())
                return 1;
            const QString door = bill[0][0].toString(), month = bill[0][1].toString();
            auto* pay2 = run.open<PaymentWindow>(QStringLiteral("frm_缴费打印"));
            pay2->setReceiptSink([](const ReceiptData&) {});
            sv.data.rs档案().find(Criterion::equals(QStringLiteral("门牌号"), door), RecordSet::Direction::Forward,
                                  RecordSet::Start::First);
            sv.data.rs缴费历史().find(Criterion::equals(QStringLiteral("月份"), month), RecordSet::Direction::Forward,
                                      RecordSet::Start::First);
            const QString cash = QString::number(bill[0][2].toDouble() + 20, 'f', 2);
            const auto collect = [&] {
                run.prompter.yes();
                if (run.db().scalar(QStringLiteral("select coalesce(账户余额, 0) from 档案库 where 门牌号 = ?"), {door})
                        .toDouble() > 0.5)
                    run.prompter.no();  // the credit is not used
                run.prompter.type(cash);
                run.prompter.no();
                pay2->collect();
            };
            collect();
            run.prompter.type(QStringLiteral("收款时金额录错"));
            run.prompter.yes();
            pay2->reverse();
            collect();
            pay2->close();

            auto* day = new DayTakingsWindow(sv);
            day->setAttribute(Qt::WA_DeleteOnClose);
            day->resize(960, 360);
            day->show();
            settle();
            ok &= shoot(day, QStringLiteral("daytakings.png"));
            ok &= DocumentPrinter::pagesToPdf(day->pages(), day->documentName(),
                                             QDir(out).filePath(QStringLiteral("daytakings.pdf")));
            day->close();

            auto* st = new StatementWindow(sv);
            st->setAttribute(Qt::WA_DeleteOnClose);
            st->resize(960, 360);
            st->show();
            settle();
            ok &= shoot(st, QStringLiteral("statement.png"));
            st->close();
        }

        auto* q = run.open<QueryWindow>(QStringLiteral("frm_查询"));
        const QStringList months = DemoEstate::months(run.clock.today());
        choose(q->findChild<QComboBox*>(QStringLiteral("DataCombo2")), months.first());
        choose(q->findChild<QComboBox*>(QStringLiteral("DataCombo3")), months.last());
        choose(q->findChild<QComboBox*>(QStringLiteral("DataCombo1")),
               q->findChild<QComboBox*>(QStringLiteral("DataCombo1"))->itemText(0));
        q->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        settle();
        ok &= shoot(f, QStringLiteral("queries.png"));
        q->findChild<QPushButton*>(QStringLiteral("Command6"))->click();
        settle();
        ok &= shoot(f, QStringLiteral("queries_all.png"));
        q->close();

        auto* c = run.open<CleanupWindow>(QStringLiteral("数据清理"));
        choose(c->firstBox(), months.first());
        choose(c->lastBox(), months.first());
        settle();
        ok &= shoot(f, QStringLiteral("cleanup.png"));
        c->close();
    }
    {
        // Brisco, with one backup in the program folder.
        ScriptedBackupPrompter prompter;
        BackDataWindow w(home.path(), prompter);
        w.tool().backUp(home.path(), QStringLiteral("2024年7月"));
        w.setFolder(home.path());
        w.nameBox()->setText(QStringLiteral("2024年7月.备份"));
        w.show();
        settle();
        ok &= shoot(&w, QStringLiteral("backup.png"));
    }
    return ok ? 0 : 1;
}
