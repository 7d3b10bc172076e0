#include "shell/safetycopies.h"

#include "common/prompter.h"
#include "datafiles/privatefiles.h"
#include "store/database.h"
#include "store/datafile.h"
#include "store/datamove.h"
#include "store/sqlite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

namespace {

// "yyyyMMdd-HHmmss-<why>[-损坏][-n].备份"; a reason holds no "-" (see namePart).
const QRegularExpression& copyName()
{
    static const QRegularExpression re(QStringLiteral("^(\\d{8})-(\\d{6})-([^-]+)(-损坏)?(?:-(\\d+))?\\.备份$"));
    return re;
}

// A reason as a piece of a file name.
QString namePart(const QString& why)
{
    QString out;
    for (const QChar c : why.trimmed())
        out += (c.isLetterOrNumber() || c == QLatin1Char('_')) ? c : QLatin1Char('_');
    return out.isEmpty() ? QStringLiteral("自动") : out;
}

// Copies the order file does not list go by the date and time in their names, and
// within one second by their number ("…-登录.备份" is the first, "…-登录-2.备份" the second).
bool namedEarlier(const QRegularExpressionMatch& a, const QRegularExpressionMatch& b)
{
    const QString ta = a.captured(1) + a.captured(2);
    const QString tb = b.captured(1) + b.captured(2);
    if (ta != tb)
        return ta < tb;
    const int na = a.captured(5).isEmpty() ? 1 : a.captured(5).toInt();
    const int nb = b.captured(5).isEmpty() ? 1 : b.captured(5).toInt();
    if (na != nb)
        return na < nb;
    return a.captured(0) < b.captured(0);
}

bool isDamageCode(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

}  // namespace

SafetyCopies::SafetyCopies(Database& db, const QString& dataFolder) : db_(db), dataFolder_(dataFolder) {}

QString SafetyCopies::folder() const
{
    return QDir(dataFolder_).filePath(folderName);
}

QStringList SafetyCopies::readOrder() const
{
    QFile f(QDir(dataFolder_).filePath(orderFileName));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList out;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        const QString name = line.trimmed();
        if (!name.isEmpty() && !out.contains(name))
            out << name;
    }
    return out;
}

bool SafetyCopies::writeOrder(const QStringList& names, QString* error) const
{
    const QString path = QDir(dataFolder_).filePath(orderFileName);
    QSaveFile f(path);
    QByteArray text;
    for (const QString& n : names)
        text += n.toUtf8() + '\n';
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit()) {
        if (error)
            *error = QStringLiteral("无法写入 %1: %2").arg(QDir::toNativeSeparators(path), f.errorString());
        return false;
    }
    PrivateFiles::restrict(path);
    return true;
}

QList<SafetyCopies::Entry> SafetyCopies::ordered() const
{
    QList<QRegularExpressionMatch> unlisted;
    QHash<QString, bool> damaged;  // name -> damaged, of the copies in the folder
    for (const QString& n : QDir(folder()).entryList({QLatin1Char('*') + extension}, QDir::Files)) {
        const QRegularExpressionMatch m = copyName().match(n);
        if (m.hasMatch()) {
            damaged.insert(n, !m.captured(4).isEmpty());
            unlisted << m;
        }
    }
    QList<Entry> listed;
    for (const QString& n : readOrder()) {
        if (!damaged.contains(n))
            continue;  // removed, or never renamed into place
        listed.append({n, damaged.value(n)});
        unlisted.removeIf([&n](const QRegularExpressionMatch& m) { return m.captured(0) == n; });
    }
    std::sort(unlisted.begin(), unlisted.end(), namedEarlier);
    QList<Entry> out;
    for (const QRegularExpressionMatch& m : unlisted)
        out.append({m.captured(0), damaged.value(m.captured(0))});
    return out + listed;
}

QStringList SafetyCopies::copies() const
{
    QStringList out;
    for (const Entry& e : ordered())
        if (!e.damaged)
            out << e.name;
    return out;
}

QStringList SafetyCopies::damagedCopies() const
{
    QStringList out;
    for (const Entry& e : ordered())
        if (e.damaged)
            out << e.name;
    return out;
}

bool SafetyCopies::hasCopy(const QDate& day, const QString& why) const
{
    const QString date = day.toString(QStringLiteral("yyyyMMdd"));
    const QString reason = namePart(why);
    for (const QString& n : copies()) {
        const QRegularExpressionMatch m = copyName().match(n);
        if (m.captured(1) == date && m.captured(3) == reason)
            return true;
    }
    return false;
}

SafetyCopies::Result SafetyCopies::take(const QString& why, const QDateTime& when)
{
    Result r;
    const bool server = db_.engine() == Database::Engine::Server;
    if (db_.inTransaction()) {
        r.error = QStringLiteral("数据库正在写入,不能复制");
        return r;
    }
    // Outside a transaction, with the commits of data.dat-wal written back, the file
    // on disk holds every commit whole and nothing else.
    if (!server) {
        try {
            db_.checkpoint();
        } catch (const StoreError& e) {
            r.error = QStringLiteral("数据库日志无法写回 data.dat (%1)").arg(e.message());
            return r;
        }
        if (QFileInfo::exists(db_.path() + QStringLiteral("-journal"))) {
            r.error = QStringLiteral("数据库旁有未完成的写入 (data.dat-journal)");
            return r;
        }
    }
    const QDir dir(folder());
    if (!PrivateFiles::makeFolder(dir.path())) {
        r.error = QStringLiteral("无法建立文件夹 %1").arg(QDir::toNativeSeparators(dir.path()));
        return r;
    }
    // A run killed in the middle of a copy leaves its hidden temporary file; only
    // one program holds the data folder at a time, so none is being written now.
    static const QRegularExpression leftover(QStringLiteral("^\\..+\\.备份\\.[A-Za-z0-9]{6}$"));
    for (const QString& n : dir.entryList(QDir::Files | QDir::Hidden))
        if (leftover.match(n).hasMatch())
            QFile::remove(dir.filePath(n));

    // On the server the copy is a data file written from one snapshot of the
    // database, then copied and checked as data.dat is.
    const QString snapshot = dir.filePath(QStringLiteral(".快照.dat"));
    struct Removed {
        QString path;
        ~Removed()
        {
            if (!path.isEmpty()) {
                DataFile::removeWithLogs(path);
                DataFile::removeWithLogs(path + QStringLiteral(".new"));
            }
        }
    } snapshotGone{server ? snapshot : QString()};
    QString source = db_.path();
    if (server) {
        try {
            DataFile::removeWithLogs(snapshot);
            DataMove::toFile(db_, snapshot);
        } catch (const StoreError& e) {
            r.error = QStringLiteral("数据库服务器上的数据无法写成副本 (%1)").arg(e.message());
            return r;
        }
        source = snapshot;
    }

    const QString stem = when.toString(QStringLiteral("yyyyMMdd-HHmmss-")) + namePart(why);
    const auto freeName = [&dir](const QString& base) {
        QString target = dir.filePath(base + extension);
        for (int n = 2; QFileInfo::exists(target); ++n)
            target = dir.filePath(base + QLatin1Char('-') + QString::number(n) + extension);
        return target;
    };

    SafeCopier::Staged staged;
    if (!copier_.stage(source, freeName(stem), staged, &r.error))
        return r;
    // Opening reads the header and the schema with the key; the check reads every
    // page. Nothing is written.
    QString damage;
    try {
        auto copy = Database::open(staged.temporaryPath(), Database::Mode::OpenExisting);
        if (copy->scalar(QStringLiteral("select count(*) from sqlite_master")).toInt() <= 0)
            throw StoreError(0, QStringLiteral("副本中没有数据表"));
        QStringList answer;
        for (const QVariantList& row : copy->query(QStringLiteral("PRAGMA integrity_check(5)")))
            answer << row.value(0).toString();
        if (answer != QStringList{QStringLiteral("ok")})
            damage = answer.join(QStringLiteral("; "));
    } catch (const StoreError& e) {
        if (!isDamageCode(e.code())) {
            r.error = QStringLiteral("副本无法打开: %1").arg(e.message());
            return r;
        }
        damage = e.message();
    }
    if (!damage.isEmpty() && !staged.retarget(freeName(stem + QLatin1Char('-') + damagedMark))) {
        r.error = QStringLiteral("副本无法改名");
        return r;
    }

    // The order is written first: a copy in place is always in it.
    const QString name = QFileInfo(staged.target()).fileName();
    QStringList order;
    for (const Entry& e : ordered())
        order << e.name;
    order << name;
    if (!writeOrder(order, &r.error) || !copier_.commit(staged, &r.error))
        return r;

    const QList<Entry> all = ordered();
    QList<Entry> good, bad;
    for (const Entry& e : all)
        (e.damaged ? bad : good).append(e);
    QStringList gone;
    if (!damage.isEmpty()) {
        r.damaged = dir.filePath(name);
        r.error = QStringLiteral("data.dat 没有通过完整性检查 (%1)。这份副本保存为 %2,不算作自动备份。")
                      .arg(damage, name);
        // Only older copies of a damaged file make room; a good copy never goes for one.
        for (int i = 0; i + keepDamaged < bad.size(); ++i)
            gone << bad.at(i).name;
    } else {
        r.ok = true;
        r.path = dir.filePath(name);
        // Only now that the new copy is in place and checked do the oldest go.
        for (int i = 0; i + keep_ < good.size(); ++i)
            gone << good.at(i).name;
    }
    for (const QString& n : gone)
        if (n != name && QFile::remove(dir.filePath(n)))
            r.removed << n;
    if (!r.removed.isEmpty()) {
        QStringList left;
        for (const Entry& e : all)
            if (!r.removed.contains(e.name))
                left << e.name;
        QString ignored;  // a name left in the order file for a removed copy is skipped
        writeOrder(left, &ignored);
    }
    return r;
}

bool takeSafetyCopyOrAsk(SafetyCopies& copies, Prompter& prompter, const QString& title, const QString& why,
                         const QDateTime& when)
{
    const SafetyCopies::Result r = copies.take(why, when);
    if (r.ok)
        return true;
    return prompter.askYesNo(QStringLiteral("%1前的自动备份没有做成:\n%2\n\n数据库没有改动。不备份也继续%1吗?")
                                 .arg(why, r.error),
                             title);
}
