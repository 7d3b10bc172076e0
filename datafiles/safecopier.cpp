#include "safecopier.h"

#include "privatefiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#endif

namespace {

std::filesystem::path fsPath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

bool syncFile(QFile& file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#elif defined(Q_OS_WIN)
    return ::_commit(file.handle()) == 0;
#else
    return true;
#endif
}

// Makes a rename in folder durable.
void syncFolder(const QString& folder)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// A copy to `target` is written to a hidden ".<name>.XXXXXX" beside it first.
QString temporaryPrefix(const QFileInfo& target)
{
    return QLatin1Char('.') + target.fileName() + QLatin1Char('.');
}

// The temporary copies that a run killed in the middle of a copy left beside
// `target`. Only one tool runs on a folder at a time (the lock), so none of them is
// being written.
void removeLeftovers(const QFileInfo& target)
{
    QDir dir = target.dir();
    const QStringList found =
        dir.entryList({temporaryPrefix(target) + QStringLiteral("??????")}, QDir::Files | QDir::Hidden);
    for (const QString& name : found)
        dir.remove(name);
}

}  // namespace

SafeCopier::Staged::Staged() = default;
SafeCopier::Staged::~Staged() = default;
SafeCopier::Staged::Staged(Staged&&) noexcept = default;
SafeCopier::Staged& SafeCopier::Staged::operator=(Staged&&) noexcept = default;

QString SafeCopier::Staged::temporaryPath() const
{
    return file_ ? file_->fileName() : QString();
}

bool SafeCopier::Staged::retarget(const QString& target)
{
    if (QFileInfo(target).absolutePath() != QFileInfo(target_).absolutePath())
        return false;
    target_ = target;
    return true;
}

bool SafeCopier::digest(const QString& path, QByteArray* hash, qint64* size, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("无法读取 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    QCryptographicHash sha(QCryptographicHash::Sha256);
    if (!sha.addData(&file)) {
        setError(error, QStringLiteral("无法读取 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    if (hash)
        *hash = sha.result();
    if (size)
        *size = file.size();
    return true;
}

bool SafeCopier::stage(const QString& source, const QString& target, Staged& out, QString* error) const
{
    out = Staged();
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("无法读取 %1：%2").arg(QDir::toNativeSeparators(source), in.errorString()));
        return false;
    }

    const QFileInfo targetInfo(target);
    removeLeftovers(targetInfo);
    auto tmp = std::make_unique<QTemporaryFile>(
        targetInfo.dir().filePath(temporaryPrefix(targetInfo) + QStringLiteral("XXXXXX")));
    tmp->setAutoRemove(true);
    if (!tmp->open()) {
        setError(error, QStringLiteral("无法在 %1 建立临时文件：%2")
                            .arg(QDir::toNativeSeparators(targetInfo.absolutePath()), tmp->errorString()));
        return false;
    }
    // A copy of the office's data is its owner's alone, as the original is.
    PrivateFiles::restrict(tmp->fileName());
    const auto writeFailed = [&target](const QString& why) {
        return QStringLiteral("写入 %1 失败：%2").arg(QDir::toNativeSeparators(target), why);
    };

    QCryptographicHash sha(QCryptographicHash::Sha256);
    qint64 written = 0;
    while (true) {
        const QByteArray block = in.read(blockSize_);
        if (block.isEmpty()) {
            if (in.error() != QFileDevice::NoError) {
                setError(error, QStringLiteral("无法读取 %1：%2").arg(QDir::toNativeSeparators(source), in.errorString()));
                return false;
            }
            break;
        }
        sha.addData(block);
        if (tmp->write(block) != block.size()) {
            setError(error, writeFailed(tmp->errorString()));
            return false;
        }
        written += block.size();
        if (hook_ && !hook_(target, written)) {
            setError(error, writeFailed(QStringLiteral("写入中断")));
            return false;
        }
    }
    if (!syncFile(*tmp)) {
        setError(error, writeFailed(tmp->errorString()));
        return false;
    }
    tmp->close();

    QByteArray copyHash;
    qint64 copySize = 0;
    if (!digest(tmp->fileName(), &copyHash, &copySize, error))
        return false;
    out.hash_ = sha.result();
    out.size_ = written;
    if (copySize != written || copyHash != out.hash_ || written != in.size()) {
        setError(error, QStringLiteral("%1 的副本与原文件不一致").arg(QDir::toNativeSeparators(source)));
        out = Staged();
        return false;
    }
    out.file_ = std::move(tmp);
    out.target_ = target;
    return true;
}

bool SafeCopier::commit(Staged& staged, QString* error) const
{
    if (!staged.isValid()) {
        setError(error, QStringLiteral("没有待写入的副本"));
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(fsPath(staged.file_->fileName()), fsPath(staged.target_), ec);
    if (ec) {
        setError(error, QStringLiteral("无法写入 %1：%2")
                            .arg(QDir::toNativeSeparators(staged.target_), QString::fromStdString(ec.message())));
        return false;
    }
    staged.file_->setAutoRemove(false);
    staged.file_.reset();
    syncFolder(QFileInfo(staged.target_).absolutePath());

    QByteArray hash;
    qint64 size = 0;
    if (!digest(staged.target_, &hash, &size, error))
        return false;
    if (size != staged.size_ || hash != staged.hash_) {
        setError(error, QStringLiteral("%1 与原文件不一致").arg(QDir::toNativeSeparators(staged.target_)));
        return false;
    }
    return true;
}

bool SafeCopier::copy(const QString& source, const QString& target, QString* error) const
{
    Staged staged;
    return stage(source, target, staged, error) && commit(staged, error);
}
