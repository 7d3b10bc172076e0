#include "shell/datamoves.h"

#include "accounts/bookscheck.h"
#include "shell/passwordhash.h"
#include "store/database.h"
#include "store/databasechoice.h"
#include "store/datafile.h"
#include "store/datamove.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace DataMoves {

namespace {

// "N 个数据表, 共 M 行" of a database.
QString extent(Database& db)
{
    const QStringList tables = db.tables();
    qint64 rows = 0;
    for (const QString& t : tables)
        rows += db.scalar(QStringLiteral("select count(*) from \"%1\"").arg(t)).toLongLong();
    return QStringLiteral("%1 个数据表, 共 %2 行").arg(tables.size()).arg(rows);
}

}  // namespace

QString toServer(Database& file, Database& server)
{
    DataMove::toServer(file, server, BooksCheck::markTables(),
                       [&server](const QString& table) { PasswordHash::hashOnCopy(server, table); });
    return QStringLiteral("数据已复制到数据库服务器 %1 (%2)。\n各表的行数和金额合计都已核对。")
        .arg(DatabaseChoice::describe(server.conninfo()), extent(server));
}

QString toFile(Database& server, const QString& path)
{
    DataMove::toFile(server, path, BooksCheck::markTables());
    const std::unique_ptr<Database> file = DataFile::openExisting(path);
    return QStringLiteral("数据库服务器上的数据已写入数据文件 %1 (%2)。")
        .arg(QDir::toNativeSeparators(path), extent(*file));
}

QString usage()
{
    return QStringLiteral("Tallowmere --copy-to-server <连接串>   把数据文件夹中的 data.dat 复制到数据库服务器上的空数据库\n"
                          "Tallowmere --copy-to-file <文件>       把数据库服务器上的数据写成一个新的数据文件\n");
}

int runCommandLine(const QStringList& args, const QString& folder, QTextStream& out, QTextStream& err)
{
    const qsizetype toServerAt = args.indexOf(QStringLiteral("--copy-to-server"));
    const qsizetype toFileAt = args.indexOf(QStringLiteral("--copy-to-file"));
    if (toServerAt < 0 && toFileAt < 0)
        return -1;
    const qsizetype at = toServerAt >= 0 ? toServerAt : toFileAt;
    if (at + 1 >= args.size() || args.at(at + 1).trimmed().isEmpty()) {
        err << usage();
        return 2;
    }
    const QString target = args.at(at + 1);
    try {
        if (toServerAt >= 0) {
            // The main program must not be writing data.dat meanwhile.
            DataLock lock(folder);
            if (!lock.tryLock()) {
                err << QStringLiteral("%1 中的 data.dat 正在被另一个 Fenwary 使用,请先关闭那个程序。\n")
                           .arg(QDir::toNativeSeparators(folder));
                return 1;
            }
            const std::unique_ptr<Database> file = DataFile::openExisting(DataFile::path(folder));
            const std::unique_ptr<Database> server = Database::connect(target);
            out << toServer(*file, *server) << '\n'
                << QStringLiteral("要在本机改用数据库服务器,把连接串写入 %1,或设置环境变量 FENWARY_DATABASE。\n")
                       .arg(QDir::toNativeSeparators(QDir(folder).filePath(DatabaseChoice::settingFileName)));
        } else {
            const QString conninfo = DatabaseChoice::server(folder);
            if (conninfo.isEmpty()) {
                err << QStringLiteral("没有选择数据库服务器:请设置环境变量 FENWARY_DATABASE,或在 %1 中写入连接串。\n")
                           .arg(QDir::toNativeSeparators(QDir(folder).filePath(DatabaseChoice::settingFileName)));
                return 1;
            }
            const std::unique_ptr<Database> server = DataFile::openServer(conninfo);
            out << toFile(*server, QFileInfo(target).absoluteFilePath()) << '\n';
        }
    } catch (const StoreError& e) {
        err << e.message() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace DataMoves
