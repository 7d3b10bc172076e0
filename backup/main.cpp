// Brisco: copies data.dat to and from "*.备份" backup files.
// The folder holding data.dat is the one Tallowmere uses (DataFolder::current()).
#include "backdatawindow.h"
#include "firstwindowprobe.h"
#include "common/qttranslation.h"
#include "qtbackupprompter.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(BackupTool::title);
    installFirstWindowProbe();
    installQtTranslation(app);
    QtBackupPrompter prompter;
    BackDataWindow window(BackupTool::defaultProgramFolder(), prompter);
    prompter.setParent(&window);
    window.show();
    return app.exec();
}
