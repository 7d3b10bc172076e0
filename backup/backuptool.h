#pragma once

#include "safecopier.h"

#include <QString>
#include <QStringList>

class BackupPrompter;

// The two actions of the backup tool, from the operator's name box to the
// closing message. P is the program folder holding data.dat; F is the folder
// shown in the file list.
class BackupTool {
public:
    enum class Outcome {
        Done,     // copied and checked; the closing message was shown
        Stopped,  // empty name or Cancel
        Refused,  // the database is in use, unfinished or the source is no database
        Failed,   // a copy failed; the files it would have replaced are whole
    };

    static inline const QString title = QStringLiteral("Brisco");
    static inline const QString extension = QStringLiteral(".备份");
    static inline const QString safetyCopyName = QStringLiteral("data_bf.备份");

    static inline const QString askName = QStringLiteral("请输入备份文件名");
    static inline const QString askOverwrite = QStringLiteral("是否覆盖此数据库？");
    static inline const QString backupDone = QStringLiteral("备份完成");
    static inline const QString backupInUse = QStringLiteral("数据库已经被打开，不能备份，请关闭程序后重新打开。");
    static inline const QString askRestoreName = QStringLiteral("请选要恢复的数据库");
    static inline const QString askRestore =
        QStringLiteral("恢复数据将覆盖目前的所有数据，请慎重，是否恢复数据库？");
    static inline const QString restoreDone = QStringLiteral("数据还原完毕，原数据库备份为data_bf.备份");
    static inline const QString restoreDoneWithoutSafetyCopy = QStringLiteral("数据还原完毕");
    static inline const QString restoreInUse =
        QStringLiteral("数据库已经被打开，不能恢复，请关闭程序后重新打开。");

    // P: the data folder both programs choose (DataFolder::current()).
    static QString defaultProgramFolder();
    // The names of the "*.备份" files in folder, sorted.
    static QStringList backupFiles(const QString& folder);

    BackupTool(const QString& programFolder, BackupPrompter& prompter);

    QString programFolder() const { return folder_; }
    QString databasePath() const;
    QString safetyCopyPath() const;
    SafeCopier& copier() { return copier_; }
    BackupPrompter& prompter() { return prompter_; }

    // Copies data.dat to folder/name.备份; nameText is the name box as typed.
    Outcome backUp(const QString& folder, const QString& nameText);
    // Copies folder/fileText over data.dat after saving data.dat as data_bf.备份.
    Outcome restore(const QString& folder, const QString& fileText);

private:
    // Folds a data.dat-wal left by Tallowmere into data.dat; false (the operator told
    // why) when the file cannot be made whole.
    bool settle(const QString& database, const QString& action);
    bool refuseName(const QString& name);
    // Every message of the tool carries the information icon.
    void inform(const QString& text);

    QString folder_;
    BackupPrompter& prompter_;
    SafeCopier copier_;
};
