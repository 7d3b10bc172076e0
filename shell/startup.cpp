#include "shell/startup.h"

#include "accounts/accounts.h"
#include "accounts/bookscheck.h"
#include "common/dates.h"
#include "common/numbers.h"
#include "common/prompter.h"
#include "datafiles/datafolder.h"
#include "shell/firststartdialog.h"
#include "shell/loginwindow.h"
#include "shell/mainframe.h"
#include "shell/safetycopies.h"
#include "shell/serverlogin.h"
#include "common/windowregistry.h"
#include "store/dataenvironment.h"
#include "store/databasechoice.h"
#include "store/datafile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

Startup::Startup(const QString& folder, const WindowRegistry& registry, Prompter& prompter, AppContext& app,
                 FileOpener& opener, Clock& clock)
    : folder_(QDir::cleanPath(QDir(folder).absolutePath())),
      registry_(registry),
      prompter_(prompter),
      app_(app),
      opener_(opener),
      clock_(clock)
{
    askFirstStart = [](const QString& f) { return FirstStartDialog::ask(f); };
    askServerFirstStart = [](const QString& f, const QString& server) { return FirstStartDialog::ask(f, server); };
    quit = [this] { endNow(); };
}

Startup::~Startup()
{
    // Windows first: they hold the data environment's record sets.
    delete frame_.data();
    delete login_.data();
    services_.reset();
    safety_.reset();
    data_.reset();
    lock_.reset();
}

QString Startup::programFolder()
{
    return DataFolder::current();
}

QString Startup::lockedText(const QString& folder)
{
    return QStringLiteral("数据库已经被打开!\n%1 中的 data.dat 正在被另一个 Fenwary 使用,请先关闭那个程序。")
        .arg(QDir::toNativeSeparators(folder));
}

QString Startup::openFailedText(const QString& path, const QString& reason)
{
    return QStringLiteral("无法打开数据库 %1:\n%2\n\n数据库文件没有被改动,程序将退出。")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString Startup::serverFailedText(const QString& server, const QString& reason)
{
    return QStringLiteral("无法使用数据库服务器上的数据库 %1:\n%2\n\n程序将退出。").arg(server, reason);
}

LoginWindow* Startup::loginWindow() const
{
    return login_.data();
}

MainFrame* Startup::mainFrame() const
{
    return frame_.data();
}

bool Startup::holdsLock() const
{
    return lock_ && lock_->isLocked();
}

void Startup::tell(const QString& text, bool critical)
{
    prompter_.inform(text, app_.appTitle, critical ? Prompter::Icon::Critical : Prompter::Icon::Information);
}

void Startup::endNow()
{
    if (lock_)
        lock_->unlock();
    std::fflush(nullptr);
    std::_Exit(0);
}

bool Startup::run()
{
    if (!QFileInfo(folder_).isDir()) {
        tell(QStringLiteral("程序文件夹 %1 不存在,程序将退出。").arg(QDir::toNativeSeparators(folder_)), true);
        return false;
    }
    lock_ = std::make_unique<DataLock>(folder_);
    if (!lock_->tryLock()) {
        if (QFileInfo::exists(DataLock::lockPath(folder_)))
            tell(lockedText(folder_));
        else
            tell(QStringLiteral("无法在 %1 中建立锁文件 data.dat.lock (文件夹不可写?),程序将退出。")
                     .arg(QDir::toNativeSeparators(folder_)),
                 true);
        lock_.reset();
        return false;
    }
    if (!openData()) {
        lock_.reset();
        return false;
    }
    services_.reset(new Services{*data_, prompter_, app_, opener_, clock_});
    safety_ = std::make_unique<SafetyCopies>(data_->db(), folder_);
    services_->takeSafetyCopy = [this](const QString& why) {
        return takeSafetyCopyOrAsk(*safety_, prompter_, app_.appTitle, why,
                                   QDateTime(clock_.today(), QTime::currentTime()));
    };

    LoginWindow* login = nullptr;
    try {
        login = new LoginWindow(*services_);
    } catch (const StoreError& e) {
        tell(openFailedText(DataFile::path(folder_), e.message()), true);
        return false;
    }
    login_ = login;
    login->setProperty("dataFolder", QDir::toNativeSeparators(folder_));
    login->quit = [this] { quit(); };
    login->onLoggedIn = [this](const QString& level) { showMainFrame(level); };
    login->show();
    return true;
}

std::unique_ptr<Database> Startup::openServer(const QString& conninfo)
{
    const QString server = DatabaseChoice::describe(conninfo);
    try {
        std::unique_ptr<Database> db = ServerLogin::connect(conninfo, prompter_, app_.appTitle);
        if (!db)
            return nullptr;
        if (DataFile::holdsNoTable(*db)) {
            const FirstStartAnswer answer = askServerFirstStart(folder_, server);
            if (answer.choice != FirstStartAnswer::Choice::Create && answer.choice != FirstStartAnswer::Choice::Demo)
                return nullptr;
            FirstStart::buildOn(*db, folder_, answer, clock_.today());
            if (answer.choice == FirstStartAnswer::Choice::Demo)
                tell(FirstStart::serverDemoText(server));
        }
        DataFile::checkServer(*db);
        return db;
    } catch (const StoreError& e) {
        tell(serverFailedText(server, e.message()), true);
        return nullptr;
    }
}

bool Startup::openData()
{
    const QString chosen = DatabaseChoice::server(folder_);
    const QString path = chosen.isEmpty() ? DataFile::path(folder_) : DatabaseChoice::describe(chosen);
    std::unique_ptr<Database> db;
    if (!chosen.isEmpty()) {
        db = openServer(chosen);
        if (!db)
            return false;
    } else if (QFileInfo::exists(path)) {
        try {
            db = DataFile::openExisting(path);
        } catch (const StoreError& e) {
            tell(openFailedText(path, e.message()), true);
            return false;
        }
    } else {
        const FirstStartAnswer answer = askFirstStart(folder_);
        if (answer.choice == FirstStartAnswer::Choice::Decline)
            return false;
        if (answer.choice == FirstStartAnswer::Choice::Server) {
            db = openServer(answer.conninfo);
            if (!db)
                return false;
            // From now on this folder's program works on the server.
            QString problem;
            if (!DatabaseChoice::save(folder_, answer.conninfo, &problem))
                tell(QStringLiteral("数据库服务器的设置没有保存 (%1),下次启动时需要重新选择。").arg(problem));
        } else {
            try {
                db = FirstStart::build(folder_, answer, clock_.today());
            } catch (const StoreError& e) {
                tell(QStringLiteral("无法建立数据库 %1:\n%2\n程序将退出。").arg(QDir::toNativeSeparators(path), e.message()),
                     true);
                return false;
            }
            if (answer.choice == FirstStartAnswer::Choice::Demo)
                tell(FirstStart::demoText(folder_));
        }
    }
    data_ = std::make_unique<DataEnvironment>(std::move(db), folder_);
    try {
        Accounts::install(*data_, app_, clock_);
    } catch (const StoreError& e) {
        const bool server = data_->db().engine() == Database::Engine::Server;
        data_.reset();
        tell(server ? serverFailedText(path, e.message()) : openFailedText(path, e.message()), true);
        return false;
    }
    return true;
}

void Startup::showMainFrame(const QString& level)
{
    // The first log-in of a day copies data.dat before any work starts.
    if (!safety_->hasCopy(clock_.today(), loginCopyReason()) && !services_->takeSafetyCopy(loginCopyReason())) {
        quit();
        return;
    }
    auto* frame = new MainFrame(*services_, registry_);
    frame_ = frame;
    frame->quit = [this] { quit(); };
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->applyLevel(level);
    frame->showMaximized();
    checkBooks(level);
}

// After every log-in: the books are checked and what does not agree is listed;
// nothing is corrected.
void Startup::checkBooks(const QString& level)
{
    QList<BooksCheck::Mismatch> found;
    QString markProblem;
    try {
        found = BooksCheck::atLogIn(data_->db(), nullptr, &markProblem);
    } catch (const StoreError& e) {
        tell(QStringLiteral("账务核对无法进行: %1").arg(e.message()), true);
        return;
    }
    if (!markProblem.isEmpty() && found.isEmpty())
        tell(BooksCheck::markFailureText(markProblem), true);
    if (found.isEmpty())
        return;
    if (level == QLatin1String("A") && registry_.find(QStringLiteral("frm_账务核对")) && frame_) {
        frame_->openWindow(QStringLiteral("frm_账务核对"));
        return;
    }
    QStringList lines;
    for (const BooksCheck::Mismatch& m : std::as_const(found).mid(0, 10))
        lines << QStringLiteral("%1 %2 账户余额 %3 流水合计 %4 差额 %5")
                     .arg(m.door, m.month.isEmpty() ? m.note : m.month + QLatin1Char(' ') + m.note,
                          formatMask(m.stored, QStringLiteral("#,##0.00")),
                          formatMask(m.ledger, QStringLiteral("#,##0.00")),
                          formatMask(m.difference(), QStringLiteral("#,##0.00")));
    if (found.size() > 10)
        lines << QStringLiteral("……");
    tell(QStringLiteral("账务核对发现 %1 处不符，请通知管理员核查（程序不会自动更正）：\n%2")
             .arg(found.size())
             .arg(lines.join(QLatin1Char('\n'))));
}
