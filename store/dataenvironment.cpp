#include "store/dataenvironment.h"

#include <QDir>
#include <QFileInfo>

ScratchSet::ScratchSet(Database& db, const QString& sql, const QVariantList& binds)
{
    Statement st = db.prepare(sql);
    st.bindAll(binds);
    for (int i = 0; i < st.columnCount(); ++i)
        names_ << st.columnName(i).toLower();
    while (st.step())
        rows_.append(st.row());
}

QVariant ScratchSet::value(int column) const
{
    if (eof())
        return QVariant();
    return rows_[pos_].value(column);
}

QVariant ScratchSet::value(const QString& column) const
{
    return value(int(names_.indexOf(column.toLower())));
}

DataEnvironment::DataEnvironment(std::unique_ptr<Database> db, const QString& folder)
    : db_(std::move(db)), folder_(folder)
{
    if (folder_.isEmpty())
        folder_ = QFileInfo(db_->path()).absolutePath();
}

DataEnvironment::~DataEnvironment() = default;

QString DataEnvironment::connectString() const
{
    QString f = QDir::toNativeSeparators(folder_);
    while (f.size() > 1 && (f.endsWith(QLatin1Char('/')) || f.endsWith(QLatin1Char('\\'))))
        f.chop(1);
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source= ") + f + QDir::separator() +
           QStringLiteral("data.dat;Jet OLEDB:Database password=%1;Persist Security Info=false")
               .arg(QString::fromLatin1(Database::Password));
}

RecordSet& DataEnvironment::command(const QString& name)
{
    auto it = sets_.find(name);
    if (it != sets_.end())
        return *it->second;
    struct Def {
        const char* name;
        const char* table;
        const char* order;
    };
    static const Def defs[] = {
        {"操作员", "操作员", "操作员"},
        {"档案", "档案库", "ID"},
        {"缴费历史", "缴费历史", "ID, 月份 DESC"},
        {"项目", "项目", "项目号"},
        {"收费1", "收费1", "ID,项目号"},
        {"收费2", "收费2", "ID,项目号"},
        {"广告", "广告", ""},
    };
    for (const Def& d : defs) {
        if (name == QString::fromUtf8(d.name)) {
            auto rs = std::make_unique<RecordSet>(*db_, QString::fromUtf8(d.table), QString::fromUtf8(d.order));
            rs->open();
            RecordSet& ref = *rs;
            sets_.emplace(name, std::move(rs));
            return ref;
        }
    }
    throw StoreError(0, QStringLiteral("没有这个命令: %1").arg(name));
}

RecordSet& DataEnvironment::rs操作员() { return command(QStringLiteral("操作员")); }
RecordSet& DataEnvironment::rs档案() { return command(QStringLiteral("档案")); }
RecordSet& DataEnvironment::rs缴费历史() { return command(QStringLiteral("缴费历史")); }
RecordSet& DataEnvironment::rs项目() { return command(QStringLiteral("项目")); }
RecordSet& DataEnvironment::rs收费1() { return command(QStringLiteral("收费1")); }
RecordSet& DataEnvironment::rs收费2() { return command(QStringLiteral("收费2")); }
RecordSet& DataEnvironment::rs广告() { return command(QStringLiteral("广告")); }

void DataEnvironment::writeAllPending()
{
    QList<QPair<RecordSet*, RecordSet::Written>> written;
    RecordSet* writing = nullptr;
    try {
        Transaction t(*db_);
        const QList<RecordSet*> sets = db_->recordSets();
        for (RecordSet* rs : sets) {
            if (!rs->hasPendingChanges())
                continue;
            writing = rs;
            written.append({rs, rs->writePending()});
        }
        t.commit();
    } catch (const RowConflict& e) {
        if (writing)
            writing->reread(e.rowid());
        throw;
    }
    for (const auto& [rs, w] : written)
        rs->acceptWritten(w);
}
