#pragma once

#include <QString>
#include <functional>

class Clock;
class DataEnvironment;
class FileOpener;
class Prompter;

// The process-wide values; the shell fills them at log-in.
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
    // Call before an operation that deletes or rewrites much, with its name ("数据清理",
    // "批量收费"): writes a safety copy of data.dat into 自动备份. True when the operation
    // may start: the copy is made, or it failed and the operator chose to go on anyway.
    std::function<bool(const QString& why)> takeSafetyCopy = [](const QString&) { return true; };
};
