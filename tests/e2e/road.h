#pragma once
// One run of Tallowmere on a folder, with every subsystem's windows, scripted
// boxes and a fixed clock; and small helpers for driving widgets.

#include "charging/windows.h"
#include "collection/windows.h"
#include "common/dates.h"
#include "common/fileopener.h"
#include "common/prompter.h"
#include "fixtures/login.h"
#include "maintenance/windows.h"
#include "queries/windows.h"
#include "records/windows.h"
#include "shell/firststart.h"
#include "shell/loginwindow.h"
#include "shell/mainframe.h"
#include "common/services.h"
#include "shell/shellwindows.h"
#include "shell/startup.h"
#include "common/windowregistry.h"
#include "store/database.h"
#include "store/dataenvironment.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTest>

inline WindowRegistry allWindows()
{
    WindowRegistry r;
    registerShellWindows(r);
    registerRecordsWindows(r);
    registerChargingWindows(r);
    registerCollectionWindows(r);
    registerQueriesWindows(r);
    registerMaintenanceWindows(r);
    return r;
}

struct Run {
    explicit Run(const QString& folder, FirstStartAnswer answer = {}, QDate today = QDate(2024, 7, 15))
        : registry(allWindows()), clock(today), startup(folder, registry, prompter, app, opener, clock)
    {
        startup.askFirstStart = [answer](const QString&) { return answer; };
        startup.askServerFirstStart = [answer](const QString&, const QString&) { return answer; };
        startup.quit = [this] { ++quits; };
    }
    bool logIn(const QString& name, const QString& password) { return logInThrough(startup, name, password); }
    MainFrame* frame() const { return startup.mainFrame(); }
    Database& db() { return startup.data()->db(); }
    template <typename W>
    W* open(const QString& name)
    {
        frame()->openWindow(name);
        return qobject_cast<W*>(frame()->openedWindow(name));
    }
    // The rows of a statement, each as its values' texts joined by "|".
    QStringList dump(const QString& sql)
    {
        QStringList out;
        for (const QVariantList& row : db().query(sql)) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << v.toString();
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }
    WindowRegistry registry;
    ScriptedPrompter prompter;
    RecordingFileOpener opener;
    FixedClock clock;
    AppContext app;
    Startup startup;
    int quits = 0;
};

// Types any text into a box as key presses (QTest::keyClicks takes ASCII only).
inline void typeText(QWidget* box, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

inline void retype(QLineEdit* box, const QString& text)
{
    box->setFocus();
    box->selectAll();
    typeText(box, text);
}

inline void choose(QComboBox* box, const QString& text)
{
    const int i = box->findText(text);
    box->setCurrentIndex(i);
    if (i < 0)
        box->setEditText(text);
}

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
