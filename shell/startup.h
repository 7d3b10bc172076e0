#pragma once

#include "shell/firststart.h"
#include "common/services.h"

#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class Clock;
class Database;
class DataEnvironment;
class DataLock;
class FileOpener;
class LoginWindow;
class MainFrame;
class Prompter;
class SafetyCopies;
class WindowRegistry;

// One run of the main program: takes the lock beside data.dat, opens the file
// (or makes one on the first start), builds the data environment and shows the
// log-in window, which hands over to the main frame.
class Startup {
public:
    Startup(const QString& folder, const WindowRegistry& registry, Prompter& prompter, AppContext& app,
            FileOpener& opener, Clock& clock);
    ~Startup();
    Startup(const Startup&) = delete;
    Startup& operator=(const Startup&) = delete;

    // The data folder both programs choose (DataFolder::current()).
    static QString programFolder();

    // False when the program must end (the reason has been shown).
    bool run();

    // Asked when the folder holds no data.dat; the default shows FirstStartDialog.
    std::function<FirstStartAnswer(const QString& folder)> askFirstStart;
    // Asked when the server database holds no table of this system (`server` names
    // it); the default shows FirstStartDialog without the server choice.
    std::function<FirstStartAnswer(const QString& folder, const QString& server)> askServerFirstStart;
    // Ends the program at once; the default releases the lock and exits.
    std::function<void()> quit;
    // Releases the lock and ends the process without any closing steps.
    void endNow();

    QString folder() const { return folder_; }
    DataEnvironment* data() const { return data_.get(); }
    Services* services() const { return services_.get(); }
    LoginWindow* loginWindow() const;
    MainFrame* mainFrame() const;
    bool holdsLock() const;
    SafetyCopies* safetyCopies() const { return safety_.get(); }
    // The reason named in the daily copy taken at the first log-in of a day.
    static QString loginCopyReason() { return QStringLiteral("登录"); }

    static QString lockedText(const QString& folder);
    static QString openFailedText(const QString& path, const QString& reason);
    static QString serverFailedText(const QString& server, const QString& reason);

private:
    bool openData();
    // Connects to the server database (asking for its password when needed) and
    // makes its tables on a first start; null when the program must end.
    std::unique_ptr<Database> openServer(const QString& conninfo);
    void showMainFrame(const QString& level);
    void checkBooks(const QString& level);
    void tell(const QString& text, bool critical = false);

    QString folder_;
    const WindowRegistry& registry_;
    Prompter& prompter_;
    AppContext& app_;
    FileOpener& opener_;
    Clock& clock_;
    std::unique_ptr<DataLock> lock_;
    std::unique_ptr<DataEnvironment> data_;
    std::unique_ptr<Services> services_;
    std::unique_ptr<SafetyCopies> safety_;
    QPointer<LoginWindow> login_;
    QPointer<MainFrame> frame_;
};
