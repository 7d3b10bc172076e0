#include "common/fileopener.h"
#include "common/prompter.h"
#include "common/qtprompter.h"
#include "common/qttranslation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QRegularExpression>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>

class TestPrompter : public QObject {
    Q_OBJECT

private slots:
    void scriptedAnswersInQueueOrder();
    void scriptedCancelDiffersFromEmpty();
    void scriptedRecordsEveryBox();
    void scriptedUnansweredBoxesSayNo();
    void recordingFileOpener();

    void qtYesNoDefaultsToYes();
    void qtYesNoEscapeIsNo();
    void qtOkCancelEscapeIsCancel();
    void qtInputReturnsTypedText();
    void qtInputEmptyIsNotCancel();
    void qtInputEscapeIsCancel();
    void qtEmptyTitleShowsDefault();
    void scriptedRecordsPresetAndIcon();
    void qtEnterPressesThePreset_data();
    void qtEnterPressesThePreset();
    void qtBoxWithoutIcon();
    void qtStandardButtonsSpeakChinese();

private:
    // Runs `act` on the modal box once it is shown.
    void whenShown(std::function<void(QWidget*)> act);
    QString shownTitle_;
};

void TestPrompter::scriptedAnswersInQueueOrder()
{
    ScriptedPrompter p;
    p.yes();
    p.type(QStringLiteral("50"));
    p.no();
    p.ok();
    QVERIFY(p.askYesNo(QStringLiteral("q1"), QStringLiteral("t")));
    QCOMPARE(p.input(QStringLiteral("p"), QStringLiteral("t"), QStringLiteral("81")), std::optional<QString>(QStringLiteral("50")));
    QVERIFY(!p.askYesNo(QStringLiteral("q2"), QStringLiteral("t")));
    p.inform(QStringLiteral("notice"), QStringLiteral("t"));  // takes no answer
    QVERIFY(p.askOkCancel(QStringLiteral("q3"), QStringLiteral("t")));
    QCOMPARE(p.pending(), 0);
    QCOMPARE(p.unanswered(), 0);
}

void TestPrompter::scriptedCancelDiffersFromEmpty()
{
    ScriptedPrompter p;
    p.type(QString());
    p.cancel();
    p.ok();  // accepted without scripted text: an empty answer
    const auto empty = p.input(QStringLiteral("a"), QStringLiteral("t"), QStringLiteral("x"));
    QVERIFY(empty.has_value());
    QCOMPARE(*empty, QString());
    QCOMPARE(p.input(QStringLiteral("b"), QStringLiteral("t"), QStringLiteral("x")), std::nullopt);
    const auto accepted = p.input(QStringLiteral("c"), QStringLiteral("t"), QStringLiteral("x"));
    QVERIFY(accepted.has_value());
}

void TestPrompter::scriptedRecordsEveryBox()
{
    ScriptedPrompter p;
    p.yes();
    p.type(QStringLiteral("1"));
    p.inform(QStringLiteral("已缴"), QStringLiteral("Fenwary"), Prompter::Icon::Exclamation);
    p.askYesNo(QStringLiteral("确认?"), QStringLiteral("标题"));
    p.input(QStringLiteral("金额"), QStringLiteral("收费"), QStringLiteral("81"));
    p.askOkCancel(QStringLiteral("继续?"), QStringLiteral("t"));

    const auto& boxes = p.boxes();
    QCOMPARE(boxes.size(), 4);
    QCOMPARE(boxes[0].kind, ScriptedPrompter::Kind::Inform);
    QCOMPARE(boxes[0].text, QStringLiteral("已缴"));
    QCOMPARE(boxes[0].title, QStringLiteral("Fenwary"));
    QCOMPARE(boxes[0].icon, Prompter::Icon::Exclamation);
    QCOMPARE(boxes[1].kind, ScriptedPrompter::Kind::YesNo);
    QCOMPARE(boxes[1].title, QStringLiteral("标题"));
    QCOMPARE(boxes[2].kind, ScriptedPrompter::Kind::Input);
    QCOMPARE(boxes[2].offered, QStringLiteral("81"));
    QCOMPARE(boxes[3].kind, ScriptedPrompter::Kind::OkCancel);
    QCOMPARE(p.texts(), QStringList({QStringLiteral("已缴"), QStringLiteral("确认?"),
                                     QStringLiteral("金额"), QStringLiteral("继续?")}));
    p.clear();
    QVERIFY(p.boxes().isEmpty());
}

void TestPrompter::scriptedUnansweredBoxesSayNo()
{
    ScriptedPrompter p;
    QVERIFY(!p.askYesNo(QStringLiteral("q"), QString()));
    QCOMPARE(p.input(QStringLiteral("p"), QString(), QString()), std::nullopt);
    QCOMPARE(p.unanswered(), 2);
}

void TestPrompter::recordingFileOpener()
{
    RecordingFileOpener opener;
    FileOpener& any = opener;
    any.open(QStringLiteral("/tmp/报表/查询明细.txt"));
    QCOMPARE(opener.paths(), QStringList{QStringLiteral("/tmp/报表/查询明细.txt")});
}

void TestPrompter::whenShown(std::function<void(QWidget*)> act)
{
    shownTitle_.clear();
    auto* timer = new QTimer(this);
    timer->setInterval(10);
    connect(timer, &QTimer::timeout, this, [this, timer, act] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        shownTitle_ = w->windowTitle();
        act(w);
    });
    timer->start();
}

static void press(QWidget* w, Qt::Key key)
{
    QWidget* target = w->focusWidget() ? w->focusWidget() : w;
    QTest::keyClick(target, key);
}

void TestPrompter::qtYesNoDefaultsToYes()
{
    QtPrompter p;
    whenShown([](QWidget* w) { press(w, Qt::Key_Return); });
    QVERIFY(p.askYesNo(QStringLiteral("确认?"), QStringLiteral("收费")));
    QCOMPARE(shownTitle_, QStringLiteral("收费"));
}

void TestPrompter::qtYesNoEscapeIsNo()
{
    QtPrompter p;
    whenShown([](QWidget* w) { press(w, Qt::Key_Escape); });
    QVERIFY(!p.askYesNo(QStringLiteral("确认?"), QStringLiteral("收费")));
}

void TestPrompter::qtOkCancelEscapeIsCancel()
{
    QtPrompter p;
    whenShown([](QWidget* w) { press(w, Qt::Key_Escape); });
    QVERIFY(!p.askOkCancel(QStringLiteral("继续?"), QStringLiteral("t")));
    whenShown([](QWidget* w) { press(w, Qt::Key_Return); });
    QVERIFY(p.askOkCancel(QStringLiteral("继续?"), QStringLiteral("t")));
}

void TestPrompter::qtInputReturnsTypedText()
{
    QtPrompter p;
    whenShown([](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>();
        QCOMPARE(edit->text(), QStringLiteral("81"));
        edit->setText(QStringLiteral("100"));
        press(w, Qt::Key_Return);
    });
    QCOMPARE(p.input(QStringLiteral("实收"), QStringLiteral("收费"), QStringLiteral("81")),
             std::optional<QString>(QStringLiteral("100")));
}

void TestPrompter::qtInputEmptyIsNotCancel()
{
    QtPrompter p;
    whenShown([](QWidget* w) {
        w->findChild<QLineEdit*>()->clear();
        press(w, Qt::Key_Return);
    });
    const auto got = p.input(QStringLiteral("实收"), QStringLiteral("收费"), QStringLiteral("81"));
    QVERIFY(got.has_value());
    QVERIFY(got->isEmpty());
}

void TestPrompter::qtInputEscapeIsCancel()
{
    QtPrompter p;
    whenShown([](QWidget* w) { press(w, Qt::Key_Escape); });
    QCOMPARE(p.input(QStringLiteral("实收"), QStringLiteral("收费"), QStringLiteral("81")), std::nullopt);
}

void TestPrompter::qtEmptyTitleShowsDefault()
{
    QtPrompter p;
    whenShown([](QWidget* w) { press(w, Qt::Key_Return); });
    p.inform(QStringLiteral("完成"), QString());
    QCOMPARE(shownTitle_, QStringLiteral("Fenwary"));
}

void TestPrompter::scriptedRecordsPresetAndIcon()
{
    ScriptedPrompter p;
    p.askYesNo(QStringLiteral("删除?"), QStringLiteral("t"), Prompter::Default::Decline, Prompter::Icon::None);
    p.askOkCancel(QStringLiteral("覆盖?"), QStringLiteral("t"), Prompter::Default::Decline);
    p.askYesNo(QStringLiteral("继续?"), QStringLiteral("t"));
    QCOMPARE(p.boxes()[0].preset, Prompter::Default::Decline);
    QCOMPARE(p.boxes()[0].icon, Prompter::Icon::None);
    QCOMPARE(p.boxes()[1].preset, Prompter::Default::Decline);
    QCOMPARE(p.boxes()[1].icon, Prompter::Icon::Question);
    QCOMPARE(p.boxes()[2].preset, Prompter::Default::Accept);
}

void TestPrompter::qtEnterPressesThePreset_data()
{
    QTest::addColumn<bool>("yesNo");
    QTest::addColumn<bool>("declines");
    QTest::newRow("Yes/No, preset Yes") << true << false;
    QTest::newRow("Yes/No, preset No") << true << true;
    QTest::newRow("OK/Cancel, preset OK") << false << false;
    QTest::newRow("OK/Cancel, preset Cancel") << false << true;
}

void TestPrompter::qtEnterPressesThePreset()
{
    QFETCH(bool, yesNo);
    QFETCH(bool, declines);
    QtPrompter p;
    const Prompter::Default preset = declines ? Prompter::Default::Decline : Prompter::Default::Accept;
    whenShown([](QWidget* w) { press(w, Qt::Key_Return); });
    const bool answer = yesNo ? p.askYesNo(QStringLiteral("删除?"), QStringLiteral("t"), preset)
                              : p.askOkCancel(QStringLiteral("覆盖?"), QStringLiteral("t"), preset);
    QCOMPARE(answer, !declines);
}

void TestPrompter::qtBoxWithoutIcon()
{
    QtPrompter p;
    QMessageBox::Icon shown = QMessageBox::Information;
    whenShown([&shown](QWidget* w) {
        shown = qobject_cast<QMessageBox*>(w)->icon();
        press(w, Qt::Key_Escape);
    });
    p.askYesNo(QStringLiteral("警告"), QStringLiteral("t"), Prompter::Default::Decline, Prompter::Icon::None);
    QCOMPARE(shown, QMessageBox::NoIcon);
    whenShown([&shown](QWidget* w) {
        shown = qobject_cast<QMessageBox*>(w)->icon();
        press(w, Qt::Key_Return);
    });
    p.inform(QStringLiteral("请注意"), QString(), Prompter::Icon::None);
    QCOMPARE(shown, QMessageBox::NoIcon);
}

// The texts of a box's standard buttons, mnemonics ("(&Y)") taken off, in their order.
static QStringList buttonTexts(QWidget* box)
{
    QStringList out;
    const auto* buttons = box->findChild<QDialogButtonBox*>();
    for (QAbstractButton* b : buttons->buttons())
        out << b->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    out.sort();
    return out;
}

void TestPrompter::qtStandardButtonsSpeakChinese()
{
    QVERIFY(installQtTranslation(*qApp));
    QVERIFY(installQtTranslation(*qApp));  // a second call changes nothing
    QtPrompter p;
    QStringList shown;
    auto record = [&shown](QWidget* w) {
        shown = buttonTexts(w);
        press(w, Qt::Key_Escape);
    };
    whenShown(record);
    p.askYesNo(QStringLiteral("删除?"), QStringLiteral("t"));
    QCOMPARE(shown, (QStringList{QStringLiteral("否"), QStringLiteral("是")}));
    whenShown(record);
    p.askOkCancel(QStringLiteral("覆盖?"), QStringLiteral("t"));
    QCOMPARE(shown, (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
    whenShown(record);
    p.input(QStringLiteral("实收"), QStringLiteral("t"), QStringLiteral("81"));
    QCOMPARE(shown, (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
    whenShown(record);
    p.inform(QStringLiteral("完成"), QString());
    QCOMPARE(shown, QStringList{QStringLiteral("确定")});
}

QTEST_MAIN(TestPrompter)
#include "test_prompter.moc"
