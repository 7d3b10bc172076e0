#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>

// A file could not be written (or a folder not created); the message is meant for
// the operator and names the path.
class FileError : public std::runtime_error {
public:
    explicit FileError(const QString& message);
    QString message() const { return message_; }

private:
    QString message_;
};

// The text in GBK (the ANSI code page of a Chinese Windows). *ok becomes false when
// some character has no GBK form; such characters come out as "?".
QByteArray toGbk(const QString& text, bool* ok = nullptr);

// Writes every line followed by CR LF, in GBK, replacing the file as a whole
// (the old file stays untouched when anything fails; FileError names the path).
// A character without a GBK form is written as "?", as the code-page conversion
// of the system writes it; the result holds the 0-based indexes of the lines
// that held such a character.
QList<int> writeGbkLines(const QString& path, const QStringList& lines);
// The same, for lines made one at a time: `next` sets the next line and returns
// false after the last, so that the whole text is never held at once.
QList<int> writeGbkLinesFrom(const QString& path, const std::function<bool(QString&)>& next);

// The lines an export adds to its finishing message when some entries held
// characters written as "?": `subject` ("下列住户") and the entries, at most ten
// of them named. Empty when `entries` is empty.
QString questionMarkNote(const QString& subject, const QStringList& entries);

// VB's Space$, Left$ and Right$ on characters: a count below zero gives "",
// a count beyond the length gives the whole text.
QString spaces(int n);
QString leftChars(const QString& text, int n);
QString rightChars(const QString& text, int n);
