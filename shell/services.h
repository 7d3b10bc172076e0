#pragma once

#include <QString>
#include <functional>

class Clock;
class DataEnvironment;
class FileOpener;
class Prompter;

// The process-wide values, owned by the shell.
struct AppContext {
    QString appTitle = QStringLiteral("Fenwary");
    QString receiptName;
    QString noticeText;
    // The operator logged in for this run and the level ("A" or "B").
    QString operatorName;
    QString operatorLevel;
};

// What every window is handed when the main frame opens it. No globals: app/
// creates one of each per run, tests create their own.
struct Services {
    DataEnvironment& data;
    Prompter& prompter;
    AppContext& app;
    FileOpener& opener;
    Clock& clock;
    // Opens (or brings to the front) a window by its name, e.g. "frm_档案查找".
    std::function<void(const QString& windowName)> openWindow = [](const QString&) {};
};
