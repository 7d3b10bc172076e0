#pragma once

class QCoreApplication;

// Loads Qt's own Simplified Chinese translation (qtbase_zh_CN from the folder of
// Qt's translations) into the application, so that the standard buttons of
// message and input boxes, the print dialog, the print preview and the file
// dialogs speak Chinese. Call once after the application object exists; a second
// call does nothing. False when the translation is not installed.
bool installQtTranslation(QCoreApplication& app);
