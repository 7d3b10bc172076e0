// The backup tool's boxes as the operator sees them: Qt's Chinese button texts,
// the information icon on every message, Enter on a preset Cancel.
#include "common/qttranslation.h"
#include "qtbackupprompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>
#include <functional>

class QtBackupPrompterTest : public QObject {
    Q_OBJECT

    struct Shown {
        QStringList buttons;  // sorted, mnemonics taken off
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
    };

    // Notes the box once it is shown and answers it with `key`.
    void whenShown(Shown& shown, Qt::Key key)
    {
        auto* timer = new QTimer(this);
        timer->setInterval(10);
        connect(timer, &QTimer::timeout, this, [timer, &shown, key] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            shown.buttons.clear();
            for (QAbstractButton* b : box->findChild<QDialogButtonBox*>()->buttons())
                shown.buttons << b->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
            shown.buttons.sort();
            shown.icon = box->icon();
            shown.title = box->windowTitle();
            QWidget* target = box->focusWidget() ? box->focusWidget() : box;
            QTest::keyClick(target, key);
        });
        timer->start();
    }

private slots:
    void initTestCase() { QVERIFY(installQtTranslation(*qApp)); }

    void messagesCarryTheInformationIcon()
    {
        QtBackupPrompter p;
        Shown shown;
        whenShown(shown, Qt::Key_Return);
        p.inform(QStringLiteral("数据库已经被打开，不能恢复，请关闭程序后重新打开。"), QStringLiteral("Brisco"));
        QCOMPARE(shown.icon, QMessageBox::Information);
        QCOMPARE(shown.buttons, QStringList{QStringLiteral("确定")});
        QCOMPARE(shown.title, QStringLiteral("Brisco"));
    }

    void questions_data()
    {
        QTest::addColumn<bool>("okCancel");
        QTest::addColumn<bool>("declines");
        QTest::addColumn<QStringList>("buttons");
        const QStringList okCancel{QStringLiteral("取消"), QStringLiteral("确定")};
        const QStringList yesNo{QStringLiteral("否"), QStringLiteral("是")};
        QTest::newRow("OK/Cancel, preset Cancel") << true << true << okCancel;
        QTest::newRow("OK/Cancel, preset OK") << true << false << okCancel;
        QTest::newRow("Yes/No, preset No") << false << true << yesNo;
        QTest::newRow("Yes/No, preset Yes") << false << false << yesNo;
    }

    void questions()
    {
        QFETCH(bool, okCancel);
        QFETCH(bool, declines);
        QFETCH(QStringList, buttons);
        QtBackupPrompter p;
        const auto preset = declines ? BackupPrompter::Default::Decline : BackupPrompter::Default::Accept;
        Shown shown;
        whenShown(shown, Qt::Key_Return);
        const bool answer = okCancel ? p.askOkCancel(QStringLiteral("是否覆盖此数据库？"), QStringLiteral("Brisco"), preset)
                                     : p.askYesNo(QStringLiteral("是否继续？"), QStringLiteral("Brisco"), preset);
        QCOMPARE(answer, !declines);
        QCOMPARE(shown.buttons, buttons);
    }
};

QTEST_MAIN(QtBackupPrompterTest)
#include "tst_qtbackupprompter.moc"
