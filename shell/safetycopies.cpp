#include "shell/safetycopies.h"

#include "common/prompter.h"
#include "store/database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// "yyyyMMdd-HHmmss-<why>[-n].备份"
const QRegularExpression& copyName()
{
    static const QRegularExpression re(QStringLiteral("^(\\d{8})-(\\d{6})-(.+)\\.备份$"));
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

}  // namespace

SafetyCopies::SafetyCopies(Database& db, const QString& dataFolder) : db_(db), dataFolder_(dataFolder) {}

QString SafetyCopies::folder() const
{
    return QDir(dataFolder_).filePath(folderName);
}

QStringList SafetyCopies::copies() const
{
    QStringList out;
    const QStringList names = QDir(folder()).entryList({QLatin1Char('*') + extension}, QDir::Files, QDir::Name);
    for (const QString& n : names)
        if (copyName().match(n).hasMatch())
            out << n;
    // Names start with the date and time, so name order is time order.
    return out;
}

bool SafetyCopies::hasCopy(const QDate& day, const QString& why) const
{
    const QString date = day.toString(QStringLiteral("yyyyMMdd"));
    const QString reason = namePart(why);
    for (const QString& n : copies()) {
        const QRegularExpressionMatch m = copyName().match(n);
        if (m.captured(1) == date && (m.captured(3) == reason || m.captured(3).startsWith(reason + QLatin1Char('-'))))
            return true;
    }
    return false;
}

SafetyCopies::Result SafetyCopies::take(const QString& why, const QDateTime& when)
{
    Result r;
    const QString source = db_.path();
    // Outside a transaction, with no journal beside it, the file on disk holds every
    // commit whole (synchronous FULL) and nothing else.
    if (db_.inTransaction()) {
        r.error = QStringLiteral("数据库正在写入,不能复制");
        return r;
    }
    if (QFileInfo::exists(source + QStringLiteral("-journal"))) {
        r.error = QStringLiteral("数据库旁有未完成的写入 (data.dat-journal)");
        return r;
    }
    const QDir dir(folder());
    if (!QDir().mkpath(dir.path())) {
        r.error = QStringLiteral("无法建立文件夹 %1").arg(QDir::toNativeSeparators(dir.path()));
        return r;
    }
    // A run killed in the middle of a copy leaves its hidden temporary file; only
    // one program holds the data folder at a time, so none is being written now.
    static const QRegularExpression leftover(QStringLiteral("^\\..+\\.备份\\.[A-Za-z0-9]{6}$"));
    for (const QString& n : dir.entryList(QDir::Files | QDir::Hidden))
        if (leftover.match(n).hasMatch())
            QFile::remove(dir.filePath(n));

    const QString stem = when.toString(QStringLiteral("yyyyMMdd-HHmmss-")) + namePart(why);
    QString target = dir.filePath(stem + extension);
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = dir.filePath(stem + QLatin1Char('-') + QString::number(n) + extension);

    SafeCopier::Staged staged;
    if (!copier_.stage(source, target, staged, &r.error))
        return r;
    try {
        // Opening reads the header and the schema with the key; nothing is written.
        auto copy = Database::open(staged.temporaryPath(), Database::Mode::OpenExisting);
        if (copy->scalar(QStringLiteral("select count(*) from sqlite_master")).toInt() <= 0)
            throw StoreError(0, QStringLiteral("副本中没有数据表"));
    } catch (const StoreError& e) {
        r.error = QStringLiteral("副本无法打开: %1").arg(e.message());
        return r;
    }
    if (!copier_.commit(staged, &r.error))
        return r;
    r.ok = true;
    r.path = target;

    // Only now that the new copy is in place and checked do the oldest go.
    QStringList all = copies();
    while (all.size() > keep) {
        const QString oldest = all.takeFirst();
        if (QFile::remove(dir.filePath(oldest)))
            r.removed << oldest;
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
