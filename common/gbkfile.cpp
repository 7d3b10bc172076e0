#include "common/gbkfile.h"

#include <QDir>
#include <QSaveFile>
#include <QStringEncoder>

FileError::FileError(const QString& message)
    : std::runtime_error(message.toStdString()), message_(message)
{
}

namespace {

// A lone surrogate is no character; the encoder would drop one that ends the text
// without a word. As U+FFFD it has no GBK form like any other such character.
QString withoutLoneSurrogates(const QString& text)
{
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i].isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate())
            ++i;
        else if (out[i].isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

}  // namespace

QByteArray toGbk(const QString& text, bool* ok)
{
    QStringEncoder encoder("GBK");
    QByteArray bytes = encoder.encode(withoutLoneSurrogates(text));
    if (ok)
        *ok = !encoder.hasError();
    return bytes;
}

QList<int> writeGbkLines(const QString& path, const QStringList& lines)
{
    qsizetype n = 0;
    return writeGbkLinesFrom(path, [&](QString& line) {
        if (n == lines.size())
            return false;
        line = lines[n++];
        return true;
    });
}

QList<int> writeGbkLinesFrom(const QString& path, const std::function<bool(QString&)>& next)
{
    const QString shown = QDir::toNativeSeparators(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("无法创建文件 %1：%2").arg(shown, file.errorString()));
    const auto failed = [&] {
        const QString why = file.errorString();
        file.cancelWriting();
        throw FileError(QStringLiteral("无法写入文件 %1：%2").arg(shown, why));
    };
    QList<int> replaced;
    QByteArray bytes;
    QString line;
    for (int n = 0; next(line); ++n) {
        bool ok = true;
        bytes += toGbk(line, &ok);
        if (!ok)
            replaced << n;
        bytes += "\r\n";
        if (bytes.size() >= (1 << 16)) {
            if (file.write(bytes) != bytes.size())
                failed();
            bytes.clear();
        }
    }
    if (file.write(bytes) != bytes.size())
        failed();
    if (!file.commit())
        throw FileError(QStringLiteral("无法保存文件 %1：%2").arg(shown, file.errorString()));
    return replaced;
}

QString questionMarkNote(const QString& subject, const QStringList& entries)
{
    if (entries.isEmpty())
        return QString();
    constexpr int named = 10;
    QString list = entries.mid(0, named).join(QStringLiteral("、"));
    if (entries.size() > named)
        list += QStringLiteral(" 等共 %1 处").arg(entries.size());
    return subject + QStringLiteral("含有 GBK 无法表示的字符，文件中已写成“?”：") + list;
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
