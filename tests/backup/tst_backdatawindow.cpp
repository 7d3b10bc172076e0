#include "backdatawindow.h"
#include "backupfixture.h"
#include "backupprompter.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class BackDataWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;
    QString p_;
    QByteArray db_;

    static QStringList items(const QListWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text().trimmed();
        return out;
    }
    static QListWidgetItem* find(const QListWidget* list, const QString& text)
    {
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().trimmed() == text)
                return list->item(i);
        return nullptr;
    }
    static void click(QListWidget* list, QListWidgetItem* item, bool twice = false)
    {
        const QPoint at = list->visualItemRect(item).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        if (twice)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home_.isValid());
        p_ = home_.path() + "/收费";
        QVERIFY(QDir().mkpath(p_ + "/备份"));
        db_ = fakeDatabase(21);
        QVERIFY(writeFile(p_ + "/data.dat", db_));
        QVERIFY(writeFile(p_ + "/2024年1月.备份", fakeDatabase(22)));
        QVERIFY(writeFile(p_ + "/说明.txt", "x"));
    }

    void startsAtProgramFolder()
    {
        ScriptedBackupPrompter prompter;
        BackDataWindow w(p_, prompter);
        QCOMPARE(w.objectName(), QString("back_data"));
        QCOMPARE(w.windowTitle(), QString("Brisco"));
        QCOMPARE(w.size(), QSize(460, 450));
        QCOMPARE(w.findChild<QLabel*>("Label1")->text(), QString("将数据库备份至："));
        QCOMPARE(w.backupButton()->text(), QString("备份--->"));
        QCOMPARE(w.restoreButton()->text(), QString("<--- 恢复"));
        QCOMPARE(w.closeButton()->text(), QString("关闭"));
        QCOMPARE(w.compactButton()->text(), QString("压缩数据"));
        QVERIFY(!w.compactButton()->isEnabled());
        QVERIFY(!(w.windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(w.folder(), p_);
        QCOMPARE(w.folderList()->currentItem()->text().trimmed(), QString("收费"));
        QVERIFY(find(w.folderList(), "备份"));
        QVERIFY(w.nameBox()->text().isEmpty());
        QCOMPARE(items(w.fileList()), QStringList{"2024年1月.备份"});
        QVERIFY(w.driveList()->count() > 0);
    }

    void clicksFillAndFolderChangeEmptiesNameBox()
    {
        ScriptedBackupPrompter prompter;
        BackDataWindow w(p_, prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        click(w.fileList(), w.fileList()->item(0));
        QCOMPARE(w.nameBox()->text(), QString("2024年1月.备份"));

        click(w.folderList(), find(w.folderList(), "备份"), true);
        QCOMPARE(w.folder(), p_ + "/备份");
        QVERIFY(w.nameBox()->text().isEmpty());
        QCOMPARE(w.fileList()->count(), 0);

        w.nameBox()->setText("x");
        click(w.folderList(), find(w.folderList(), "收费"), true);
        QCOMPARE(w.folder(), p_);
        QVERIFY(w.nameBox()->text().isEmpty());

        const int root = w.driveList()->findData(QString("/"));
        QVERIFY(root >= 0);
        emit w.driveList()->activated(root);
        QCOMPARE(w.folder(), QString("/"));
        QCOMPARE(prompter.boxes().size(), 0);
    }

    void backupIsListed()
    {
        ScriptedBackupPrompter prompter;
        BackDataWindow w(p_, prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.setFolder(p_ + "/备份");
        QTest::keyClicks(w.nameBox(), "2024");
        w.nameBox()->insert("年2月");  // keyClicks types Latin-1 only
        QTest::mouseClick(w.backupButton(), Qt::LeftButton);
        QCOMPARE(prompter.texts(), QStringList{"备份完成"});
        QCOMPARE(items(w.fileList()), QStringList{"2024年2月.备份"});
        QCOMPARE(readFile(p_ + "/备份/2024年2月.备份"), db_);

        // A listed file clicked and backed up again gets the extension twice.
        prompter.clear();
        click(w.fileList(), w.fileList()->item(0));
        QTest::mouseClick(w.backupButton(), Qt::LeftButton);
        QCOMPARE(prompter.texts(), QStringList{"备份完成"});
        QCOMPARE(items(w.fileList()), QStringList({"2024年2月.备份", "2024年2月.备份.备份"}));
    }

    void restoreFromClickedFile()
    {
        ScriptedBackupPrompter prompter;
        BackDataWindow w(p_, prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        click(w.fileList(), find(w.fileList(), "2024年1月.备份"));
        prompter.ok();
        QTest::mouseClick(w.restoreButton(), Qt::LeftButton);
        QCOMPARE(prompter.texts().last(), QString("数据还原完毕，原数据库备份为data_bf.备份"));
        QCOMPARE(readFile(p_ + "/data.dat"), fakeDatabase(22));
        QCOMPARE(readFile(p_ + "/data_bf.备份"), db_);
        QCOMPARE(items(w.fileList()), QStringList({"2024年1月.备份", "data_bf.备份"}));
    }

    // "自动备份" comes after the other buttons and shows the main program's safety
    // copies, from which a restore then works as from any backup.
    void safetyCopiesButtonShowsTheirFolder()
    {
        QTemporaryDir home;
        const QString p = home.path();
        QVERIFY(writeFile(p + "/data.dat", fakeDatabase(31)));
        ScriptedBackupPrompter prompter;
        BackDataWindow w(p, prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.safetyCopiesButton()->text(), QString("自动备份"));
        QVERIFY(w.safetyCopiesButton()->x() > w.compactButton()->x());
        QVERIFY(w.safetyCopiesButton()->x() < w.closeButton()->x());

        // None taken yet: said so, and the shown folder stays.
        QTest::mouseClick(w.safetyCopiesButton(), Qt::LeftButton);
        QCOMPARE(prompter.texts().size(), 1);
        QVERIFY(prompter.texts().first().startsWith("还没有自动备份"));
        QCOMPARE(w.folder(), p);

        QVERIFY(QDir().mkpath(p + "/自动备份"));
        QVERIFY(writeFile(p + "/自动备份/20240715-083000-登录.备份", fakeDatabase(32)));
        QVERIFY(writeFile(p + "/自动备份/20240716-090000-登录.备份", fakeDatabase(33)));
        prompter.clear();
        QTest::mouseClick(w.safetyCopiesButton(), Qt::LeftButton);
        QCOMPARE(prompter.boxes().size(), 0);
        QCOMPARE(w.folder(), p + "/自动备份");
        QCOMPARE(items(w.fileList()), QStringList({"20240715-083000-登录.备份", "20240716-090000-登录.备份"}));

        click(w.fileList(), w.fileList()->item(1));
        prompter.ok();
        QTest::mouseClick(w.restoreButton(), Qt::LeftButton);
        QCOMPARE(prompter.texts().last(), QString("数据还原完毕，原数据库备份为data_bf.备份"));
        QCOMPARE(readFile(p + "/data.dat"), fakeDatabase(33));
        QCOMPARE(readFile(p + "/data_bf.备份"), fakeDatabase(31));
    }

    void screenshot()
    {
        ScriptedBackupPrompter prompter;
        BackDataWindow w(p_, prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        click(w.fileList(), w.fileList()->item(0));
        QString dir = qEnvironmentVariable("FENWARY_SHOTS");
        if (dir.isEmpty())
            dir = QCoreApplication::applicationDirPath();
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(w.grab().save(dir + "/backup.png"));
    }
};

QTEST_MAIN(BackDataWindowTest)
#include "tst_backdatawindow.moc"
