// Brisco: copies data.dat to and from "*.备份" backup files.
// The program folder holding data.dat is the folder of this executable, or
// FENWARY_HOME when that environment variable is set.
#include "backdatawindow.h"
#include "common/qttranslation.h"
#include "qtbackupprompter.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(BackupTool::title);
    installQtTranslation(app);
    QtBackupPrompter prompter;
    BackDataWindow window(BackupTool::defaultProgramFolder(), prompter);
    prompter.setParent(&window);
    window.show();
    return app.exec();
}
