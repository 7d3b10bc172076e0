#pragma once

#include <QString>
#include <QStringList>

// Shows a written file to the operator (the desktop's viewer); tests record instead.
class FileOpener {
public:
    virtual ~FileOpener() = default;
    virtual void open(const QString& path) = 0;
};

class RecordingFileOpener : public FileOpener {
public:
    void open(const QString& path) override { paths_.append(path); }
    const QStringList& paths() const { return paths_; }
    void clear() { paths_.clear(); }

private:
    QStringList paths_;
};
