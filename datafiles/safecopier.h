#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QTemporaryFile;

// Copies a file so that its target is never seen half written: the bytes go to a
// temporary file in the target's folder, are flushed to disk and checked against
// the source (size and SHA-256), and only then is the temporary file renamed over
// the target, which is checked once more. The copy is readable by its owner
// only (0600).
class SafeCopier {
public:
    // Called after each block written to a temporary file with the final target
    // and the bytes written so far; returning false makes that write fail.
    using WriteHook = std::function<bool(const QString& target, qint64 written)>;

    // A verified copy waiting in its temporary file.
    class Staged {
    public:
        Staged();
        ~Staged();
        Staged(Staged&&) noexcept;
        Staged& operator=(Staged&&) noexcept;
        bool isValid() const { return bool(file_); }
        QString target() const { return target_; }
        QString temporaryPath() const;
        // Gives the copy another target in the same folder; false for another folder.
        bool retarget(const QString& target);

    private:
        friend class SafeCopier;
        std::unique_ptr<QTemporaryFile> file_;
        QString target_;
        QByteArray hash_;
        qint64 size_ = 0;
    };

    void setWriteHook(WriteHook hook) { hook_ = std::move(hook); }
    void setBlockSize(qint64 bytes) { blockSize_ = bytes; }

    // Copies source into a temporary file beside target; the target is not touched.
    bool stage(const QString& source, const QString& target, Staged& out, QString* error) const;
    // Renames a staged copy over its target and checks the target against it.
    bool commit(Staged& staged, QString* error) const;
    // stage + commit.
    bool copy(const QString& source, const QString& target, QString* error) const;

    // SHA-256 and size of a file.
    static bool digest(const QString& path, QByteArray* hash, qint64* size, QString* error);

private:
    WriteHook hook_;
    qint64 blockSize_ = 1 << 20;
};
