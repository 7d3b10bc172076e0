// The log-in window and the about box, driven through their widgets.
#include "estate.h"
#include "shellfixture.h"

#include "shell/aboutbox.h"
#include "shell/login.h"
#include "shell/passwordhash.h"
#include "shell/loginwindow.h"
#include "store/dataenvironment.h"

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

class TestLogin : public QObject {
    Q_OBJECT

private:
    // A log-in window over the estate; the level of a successful log-in lands in `level`.
    struct Session {
        explicit Session(TestEstate& estate) : window(new LoginWindow(estate.services()))
        {
            window->onLoggedIn = [this](const QString& l) {
                level = l;
                ++logins;
            };
            window->quit = [this] { ++quits; };
            window->show();
            window->activateWindow();
            active = QTest::qWaitForWindowActive(window);
        }
        ~Session() { delete window.data(); }
        void choose(const QString& name) { window->operatorBox()->setCurrentIndex(window->operatorBox()->findText(name)); }
        void type(const QString& password)
        {
            window->passwordBox()->clear();
            bool latin = true;
            for (QChar c : password)
                latin = latin && c.unicode() < 0x80;
            if (latin)
                QTest::keyClicks(window->passwordBox(), password);
            else
                window->passwordBox()->insert(password);  // key events carry Latin-1 only
        }
        QPointer<LoginWindow> window;
        QString level;
        int logins = 0;
        int quits = 0;
        bool active = false;
    };

private slots:
    void passwordComparedExactly_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("hashed");  // the password is stored as its hash
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("same") << "Abc123" << false << "Abc123" << true;
        QTest::newRow("letter case") << "Abc123" << false << "abc123" << false;
        QTest::newRow("upper case") << "abc" << false << "ABC" << false;
        QTest::newRow("trailing blank typed") << "abc" << false << "abc " << false;
        QTest::newRow("blank kept in stored") << " abc" << false << " abc" << true;
        QTest::newRow("blank not trimmed") << " abc" << false << "abc" << false;
        QTest::newRow("empty typed") << "abc" << false << "" << false;
        QTest::newRow("empty stored, empty typed") << "" << false << "" << true;
        QTest::newRow("chinese") << "密码1" << false << "密码1" << true;
        QTest::newRow("looks like a hash, kept in clear") << "$argon2id$x" << false << "$argon2id$x" << true;
        QTest::newRow("hash, same") << "Abc123" << true << "Abc123" << true;
        QTest::newRow("hash, letter case") << "Abc123" << true << "abc123" << false;
        QTest::newRow("hash, empty typed") << "abc" << true << "" << false;
        QTest::newRow("hash, chinese") << "密码1" << true << "密码1" << true;
        QTest::newRow("hash typed as the password") << "abc" << true << "<hash>" << false;
    }
    // A password in clear is compared exactly, a hashed one verified; the server
    // keeps an accepted password only as a hash, a file as it was.
    void passwordComparedExactly()
    {
        QFETCH(QString, stored);
        QFETCH(bool, hashed);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        TestEstate estate;
        const QString kept = hashed ? PasswordHash::hash(stored) : stored;
        if (typed == QLatin1String("<hash>"))
            typed = kept;
        estate.addOperator(QStringLiteral("张三"), kept, QStringLiteral("A"));
        Session s(estate);
        s.choose(QStringLiteral("张三"));
        s.type(typed);
        QVERIFY(s.active);
        s.window->enterButton()->setFocus();
        QTest::mouseClick(s.window->enterButton(), Qt::LeftButton);
        QCOMPARE(s.logins, accepted ? 1 : 0);
        const QString after =
            estate.scalar(QStringLiteral("select 密码 from 操作员 where 操作员 = ?"), {QStringLiteral("张三")}).toString();
        if (accepted) {
            QVERIFY(estate.prompter.boxes().isEmpty());
            if (TestEstate::onServer() && !stored.isEmpty()) {
                QVERIFY2(PasswordHash::isHash(after), qPrintable(after));
                QVERIFY(PasswordHash::verify(after, typed));
            } else {
                QCOMPARE(after, kept);
            }
            return;
        }
        QCOMPARE(after, kept);
        QCOMPARE(estate.prompter.boxes().size(), 1);
        QCOMPARE(estate.prompter.boxes()[0].text, QStringLiteral("密码有误!"));
        QCOMPARE(estate.prompter.boxes()[0].title, QStringLiteral("Fenwary"));
        QCOMPARE(estate.prompter.boxes()[0].icon, Prompter::Icon::Information);
        // The window stays, with the operator still chosen and the focus in the password box.
        QVERIFY(s.window && s.window->isVisible());
        QCOMPARE(s.window->operatorBox()->currentText(), QStringLiteral("张三"));
        QCOMPARE(QApplication::focusWidget(), s.window->passwordBox());
    }

    // Each hash has a salt of its own: two operators with one password store two
    // different values, and neither reveals the password.
    void hashesAreSalted()
    {
        const QString a = PasswordHash::hash(QStringLiteral("1234")), b = PasswordHash::hash(QStringLiteral("1234"));
        QVERIFY(a != b);
        QVERIFY(PasswordHash::isHash(a) && PasswordHash::isHash(b));
        QVERIFY(PasswordHash::verify(b, QStringLiteral("1234")));
    }

    void enterInPasswordBoxLogsInAndClosesTheWindow()
    {
        TestEstate estate;
        Session s(estate);
        QCOMPARE(s.window->passwordBox()->echoMode(), QLineEdit::Password);
        s.choose(QStringLiteral("管理员"));
        s.type(QStringLiteral("1234"));
        QTest::keyClick(s.window->passwordBox(), Qt::Key_Return);
        QCOMPARE(s.logins, 1);
        QCOMPARE(s.level, QStringLiteral("A"));
        QTRY_VERIFY(!s.window);  // unloaded, not just hidden
    }

    void wrongThenRightPasswordLogsIn()
    {
        TestEstate estate;
        Session s(estate);
        s.choose(QStringLiteral("管理员"));
        s.type(QStringLiteral("12345"));
        QTest::keyClick(s.window->passwordBox(), Qt::Key_Enter);
        s.type(QStringLiteral("123"));
        QTest::keyClick(s.window->passwordBox(), Qt::Key_Enter);
        QCOMPARE(s.logins, 0);
        s.type(QStringLiteral("1234"));
        QTest::keyClick(s.window->passwordBox(), Qt::Key_Enter);
        QCOMPARE(s.logins, 1);
        QCOMPARE(estate.prompter.texts(), QStringList({QStringLiteral("密码有误!"), QStringLiteral("密码有误!")}));
    }

    void levelComesFromTheChosenOperator_data()
    {
        QTest::addColumn<QString>("level");
        QTest::newRow("A") << "A";
        QTest::newRow("B") << "B";
        QTest::newRow("b") << "b";
        QTest::newRow("empty") << "";
    }
    void levelComesFromTheChosenOperator()
    {
        QFETCH(QString, level);
        TestEstate estate;
        estate.addOperator(QStringLiteral("收费员"), QStringLiteral("x"), level);
        Session s(estate);
        s.choose(QStringLiteral("收费员"));
        s.type(QStringLiteral("x"));
        QTest::keyClick(s.window->passwordBox(), Qt::Key_Return);
        QCOMPARE(s.logins, 1);
        QCOMPARE(s.level, level);
        QCOMPARE(Login::isRestricted(s.level), level == QLatin1String("B"));
    }

    void noOperatorChosenIsRefused()
    {
        // With nothing chosen even an empty password must not log in.
        TestEstate estate;
        estate.addOperator(QStringLiteral("无密码"), QString(), QStringLiteral("A"));
        Session s(estate);
        QCOMPARE(s.window->operatorBox()->currentIndex(), -1);
        QTest::keyClick(s.window->passwordBox(), Qt::Key_Return);
        QCOMPARE(s.logins, 0);
        QCOMPARE(estate.prompter.texts(), QStringList{Login::noOperatorText()});
        QVERIFY(s.window->isVisible());
    }

    void operatorListSortedByNameWithPrompt()
    {
        TestEstate estate;
        estate.addOperator(QStringLiteral("Zed"), QStringLiteral("1"), QStringLiteral("B"));
        estate.addOperator(QStringLiteral("Amy"), QStringLiteral("1"), QStringLiteral("B"));
        estate.addOperator(QStringLiteral("Bob"), QStringLiteral("1"), QStringLiteral("A"));
        Session s(estate);
        QComboBox* box = s.window->operatorBox();
        QStringList shown;
        for (int i = 0; i < box->count(); ++i)
            shown << box->itemText(i);
        QStringList sorted = shown;
        sorted.sort();  // code-point order, as the operator command orders them
        QCOMPARE(shown, sorted);
        QCOMPARE(shown.size(), 4);
        QCOMPARE(box->placeholderText(), QStringLiteral("请选操作员"));
        QCOMPARE(box->currentIndex(), -1);
        QCOMPARE(s.window->windowTitle(), QStringLiteral("Fenwary"));
        QCOMPARE(s.window->objectName(), QStringLiteral("frm_start"));
    }

    void buttons()
    {
        TestEstate estate;
        Session s(estate);
        QCOMPARE(s.window->enterButton()->text(), QStringLiteral("进入"));
        QCOMPARE(s.window->exitButton()->text(), QStringLiteral("退出"));
        QCOMPARE(s.window->upgradeButton()->text(), QStringLiteral("升级数据库"));
        QVERIFY(!s.window->upgradeButton()->isEnabled());
        QTest::mouseClick(s.window->exitButton(), Qt::LeftButton);
        QCOMPARE(s.quits, 1);
        QCOMPARE(s.logins, 0);
        QVERIFY(estate.prompter.boxes().isEmpty());  // no question
    }

    void startupReadsReceiptNameAndNotice_data()
    {
        QTest::addColumn<bool>("row");
        QTest::addColumn<QVariant>("name");
        QTest::addColumn<QVariant>("notice");
        QTest::addColumn<QString>("expectedName");
        QTest::addColumn<QString>("expectedNotice");
        QTest::newRow("values") << true << QVariant(QStringLiteral("阳光小区")) << QVariant(QStringLiteral("按时缴费"))
                                << "阳光小区" << "按时缴费";
        QTest::newRow("null values") << true << QVariant() << QVariant() << "" << "";
        QTest::newRow("empty values") << true << QVariant(QString()) << QVariant(QString()) << "" << "";
        QTest::newRow("no row") << false << QVariant() << QVariant() << "" << "";
    }
    void startupReadsReceiptNameAndNotice()
    {
        QFETCH(bool, row);
        QFETCH(QVariant, name);
        QFETCH(QVariant, notice);
        QFETCH(QString, expectedName);
        QFETCH(QString, expectedNotice);
        TestEstate estate;
        estate.db().exec(QStringLiteral("delete from 广告"));
        if (row)
            estate.db().exec(QStringLiteral("insert into 广告 (收据名称, 广告) values (?, ?)"), {name, notice});
        estate.app.receiptName = QStringLiteral("旧");
        estate.app.noticeText = QStringLiteral("旧");
        estate.app.appTitle = QStringLiteral("other");
        Session s(estate);
        QCOMPARE(estate.app.appTitle, QStringLiteral("Fenwary"));
        QCOMPARE(estate.app.receiptName, expectedName);
        QCOMPARE(estate.app.noticeText, expectedNotice);
    }

    void screenshot()
    {
        TestEstate estate;
        estate.addOperator(QStringLiteral("收费员"), QStringLiteral("1"), QStringLiteral("B"));
        Session s(estate);
        s.type(QStringLiteral("1234"));
        QVERIFY(QTest::qWaitForWindowExposed(s.window));
        saveShot(s.window, QStringLiteral("login.png"));
    }

    // ---- about box --------------------------------------------------------

    void aboutBoxLabels()
    {
        AboutBox box(QStringLiteral("Fenwary"));
        QCOMPARE(box.objectName(), QStringLiteral("frmSplash"));
        QCOMPARE(AboutBox::versionNumber(), QStringLiteral("2016.9.15"));
        QCOMPARE(box.label(QStringLiteral("lblProductName"))->text(), QStringLiteral("系统名称:Fenwary"));
        QCOMPARE(box.label(QStringLiteral("lblVersion"))->text(), QStringLiteral("版本号:2016.9.15"));
        QCOMPARE(box.label(QStringLiteral("lblWarning"))->text(), QStringLiteral("制作:") + AboutBox::makerCredit());
        QCOMPARE(box.label(QStringLiteral("lblCompanyProduct"))->text(), AboutBox::makerName() + QStringLiteral("出品"));
        QCOMPARE(box.label(QStringLiteral("lblCopyright"))->text(),
                 QStringLiteral("版权所有: ") + AboutBox::rightsHolder());
        QVERIFY(!box.label(QStringLiteral("imgLogo"))->pixmap().isNull());
        QVERIFY(!(box.windowFlags() & Qt::WindowCloseButtonHint));
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        saveShot(&box, QStringLiteral("about.png"));
    }

    void aboutBoxClosesOnAnyKey_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("space") << int(Qt::Key_Space);
        QTest::newRow("letter") << int(Qt::Key_A);
        QTest::newRow("escape") << int(Qt::Key_Escape);
        QTest::newRow("return") << int(Qt::Key_Return);
        QTest::newRow("tab") << int(Qt::Key_Tab);
        QTest::newRow("F1") << int(Qt::Key_F1);
    }
    void aboutBoxClosesOnAnyKey()
    {
        QFETCH(int, key);
        auto* box = new AboutBox(QStringLiteral("Fenwary"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<AboutBox> alive(box);
        box->show();
        QVERIFY(QTest::qWaitForWindowActive(box));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box, Qt::Key(key));
        QTRY_VERIFY(!alive);
    }

    void aboutBoxClosesOnFrameClickAndButton_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("frame") << "Frame1";
        QTest::newRow("label in frame") << "lblVersion";
        QTest::newRow("button") << "Command1";
    }
    void aboutBoxClosesOnFrameClickAndButton()
    {
        QFETCH(QString, target);
        auto* box = new AboutBox(QStringLiteral("Fenwary"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<AboutBox> alive(box);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box));
        auto* w = box->findChild<QWidget*>(target);
        QVERIFY(w);
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_VERIFY(!alive);
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
