#include "common/gbkfile.h"

#include <QDir>
#include <QSaveFile>
#include <QStringEncoder>

FileError::FileError(const QString& message)
    : std::runtime_error(message.toStdString()), message_(message)
{
}

QByteArray toGbk(const QString& text, bool* ok)
{
    QStringEncoder encoder("GBK");
    QByteArray bytes = encoder.encode(text);
    if (ok)
        *ok = !encoder.hasError();
    return bytes;
}

namespace {

// The first character (a whole surrogate pair counts as one) that GBK cannot hold.
QString firstUnencodable(const QString& line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        const qsizetype len = (line[i].isHighSurrogate() && i + 1 < line.size()) ? 2 : 1;
        const QString ch = line.mid(i, len);
        bool ok = true;
        toGbk(ch, &ok);
        if (!ok)
            return ch;
        i += len - 1;
    }
    return QString();
}

} // namespace

void writeGbkLines(const QString& path, const QStringList& lines)
{
    const QString shown = QDir::toNativeSeparators(path);
    QByteArray bytes;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        bool ok = true;
        bytes += toGbk(lines[n], &ok);
        if (!ok) {
            throw FileError(QStringLiteral("文件 %1 未写入：第 %2 行的字符“%3”无法用 GBK 编码保存。")
                                .arg(shown)
                                .arg(n + 1)
                                .arg(firstUnencodable(lines[n])));
        }
        bytes += "\r\n";
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("无法创建文件 %1：%2").arg(shown, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        throw FileError(QStringLiteral("无法写入文件 %1：%2").arg(shown, why));
    }
    if (!file.commit())
        throw FileError(QStringLiteral("无法保存文件 %1：%2").arg(shown, file.errorString()));
}

QString spaces(int n)
{
    return n > 0 ? QString(n, u' ') : QString();
}

QString leftChars(const QString& text, int n)
{
    return n > 0 ? text.left(n) : QString();
}

QString rightChars(const QString& text, int n)
{
    return n > 0 ? text.right(n) : QString();
}
