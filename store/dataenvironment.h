#pragma once

#include "store/database.h"
#include "store/recordset.h"

#include <QString>
#include <QVariant>
#include <map>
#include <memory>

// Rows of one read-only statement, read at once and then walked.
class ScratchSet {
public:
    ScratchSet(Database& db, const QString& sql, const QVariantList& binds = {});
    bool eof() const { return pos_ >= rows_.size(); }
    int count() const { return int(rows_.size()); }
    void moveNext() { ++pos_; }
    QVariant value(int column) const;
    QVariant value(const QString& column) const;
    const QList<QVariantList>& rows() const { return rows_; }

private:
    QStringList names_;
    QList<QVariantList> rows_;
    int pos_ = 0;
};

// The one connection to data.dat and the seven shared record sets, each opened on
// first use. One object per run, handed to every window.
class DataEnvironment {
public:
    static QString fileName() { return QStringLiteral("data.dat"); }

    // Takes an open database (see Database::open).
    explicit DataEnvironment(std::unique_ptr<Database> db, const QString& folder = QString());
    ~DataEnvironment();

    Database& db() { return *db_; }
    QString folder() const { return folder_; }
    // The connection text naming the file and its password.
    QString connectString() const;

    RecordSet& rs操作员();
    RecordSet& rs档案();
    RecordSet& rs缴费历史();
    RecordSet& rs项目();
    RecordSet& rs收费1();
    RecordSet& rs收费2();
    RecordSet& rs广告();

    // A record set of the command's name ("档案", "项目", ...).
    RecordSet& command(const QString& name);

    // Writes the pending changes of every record set on the connection (shared or
    // owned by a window) in one transaction. Throws StoreError; nothing is written then.
    void writeAllPending();

    ScratchSet scratch(const QString& sql, const QVariantList& binds = {}) { return ScratchSet(*db_, sql, binds); }
    QVariant scratchValue(const QString& sql, const QVariantList& binds = {}) { return db_->scalar(sql, binds); }

private:
    std::unique_ptr<Database> db_;
    QString folder_;
    std::map<QString, std::unique_ptr<RecordSet>> sets_;
};
