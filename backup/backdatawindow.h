#pragma once

#include "backuptool.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The tool's one window: drive list, folder list, name box, the "*.备份" files
// of the shown folder, and the buttons. The copies are BackupTool's.
class BackDataWindow : public QWidget {
    Q_OBJECT
public:
    BackDataWindow(const QString& programFolder, BackupPrompter& prompter, QWidget* parent = nullptr);

    BackupTool& tool() { return tool_; }
    // F, the folder shown in the file list.
    QString folder() const { return folder_; }
    // Shows folder in the folder list and its backups in the file list, and empties the name box.
    void setFolder(const QString& folder);

    QComboBox* driveList() const { return drive1_; }
    QListWidget* folderList() const { return dir1_; }
    QLineEdit* nameBox() const { return text1_; }
    QListWidget* fileList() const { return file1_; }
    QPushButton* backupButton() const { return command1_; }
    QPushButton* restoreButton() const { return command2_; }
    QPushButton* closeButton() const { return command3_; }
    QPushButton* compactButton() const { return command4_; }
    QPushButton* safetyCopiesButton() const { return command5_; }
    // The folder of the main program's automatic safety copies.
    QString safetyCopyFolder() const;

private:
    void fillDrives();
    void fillFolders();
    void refreshFiles();
    void driveChanged(int index);
    void folderActivated(QListWidgetItem* item);
    void fileClicked(QListWidgetItem* item);
    void backUp();
    void restore();
    void showSafetyCopies();

    BackupTool tool_;
    QString folder_;
    QLabel* label1_;
    QComboBox* drive1_;
    QListWidget* dir1_;
    QLineEdit* text1_;
    QListWidget* file1_;
    QPushButton* command1_;
    QPushButton* command2_;
    QPushButton* command3_;
    QPushButton* command4_;
    QPushButton* command5_;
};
