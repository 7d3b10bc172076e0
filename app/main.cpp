// Tallowmere: the main program. The folder holding data.dat is chosen by
// DataFolder::current(), the same way as in Brisco.
#include "common/dates.h"
#include "common/desktopfileopener.h"
#include "common/fonts.h"
#include "common/qtprompter.h"
#include "datafiles/firstwindowprobe.h"
#include "common/qttranslation.h"
#include "common/services.h"
#include "shell/datamoves.h"
#include "shell/shellwindows.h"
#include "shell/startup.h"
#include "common/windowregistry.h"

#ifdef FENWARY_HAVE_ACCOUNTS
#include "accounts/windows.h"
#endif
#ifdef FENWARY_HAVE_RECORDS
#include "records/windows.h"
#endif
#ifdef FENWARY_HAVE_CHARGING
#include "charging/windows.h"
#endif
#ifdef FENWARY_HAVE_COLLECTION
#include "collection/windows.h"
#endif
#ifdef FENWARY_HAVE_QUERIES
#include "queries/windows.h"
#endif
#ifdef FENWARY_HAVE_MAINTENANCE
#include "maintenance/windows.h"
#endif

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    // An administrator's copy between the data file and a server: no window.
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--copy-to-server") == 0 || qstrcmp(argv[i], "--copy-to-file") == 0) {
            QCoreApplication command(argc, argv);
            QTextStream out(stdout), err(stderr);
            return DataMoves::runCommandLine(QCoreApplication::arguments(), Startup::programFolder(), out, err);
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallowmere"));
    installSongFontSubstitution();
    installFirstWindowProbe();
    installQtTranslation(application);

    WindowRegistry registry;
    registerShellWindows(registry);
#ifdef FENWARY_HAVE_RECORDS
    registerRecordsWindows(registry);
#endif
#ifdef FENWARY_HAVE_CHARGING
    registerChargingWindows(registry);
#endif
#ifdef FENWARY_HAVE_COLLECTION
    registerCollectionWindows(registry);
#endif
#ifdef FENWARY_HAVE_QUERIES
    registerQueriesWindows(registry);
#endif
#ifdef FENWARY_HAVE_MAINTENANCE
    registerMaintenanceWindows(registry);
#endif
#ifdef FENWARY_HAVE_ACCOUNTS
    registerAccountsWindows(registry);
#endif

    AppContext app;
    QtPrompter prompter;
    prompter.setDefaultTitle(app.appTitle);
    DesktopFileOpener opener;
    SystemClock clock;

    Startup startup(Startup::programFolder(), registry, prompter, app, opener, clock);
    if (!startup.run())
        return 1;
    return application.exec();
}
