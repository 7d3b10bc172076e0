#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The message boxes of the backup tool. The tool keeps its own small interface
// because it shares no code with the main program.
class BackupPrompter {
public:
    // The button that Enter presses in a question: Accept is OK / Yes, Decline is
    // Cancel / No. A question before overwriting a file declines.
    enum class Default { Accept, Decline };

    virtual ~BackupPrompter() = default;
    // A modal notice with OK and the information icon.
    virtual void inform(const QString& text, const QString& title) = 0;
    // OK / Cancel question; true for OK.
    virtual bool askOkCancel(const QString& text, const QString& title, Default preset = Default::Accept) = 0;
    // Yes / No question; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& title, Default preset = Default::Accept) = 0;
};

// Answers from a queue and records every box shown; a box without a scripted
// answer is answered Cancel / No.
class ScriptedBackupPrompter : public BackupPrompter {
public:
    enum class Kind { Inform, OkCancel, YesNo };
    struct Box {
        Kind kind;
        QString text;
        QString title;
        Default preset = Default::Accept;  // questions only
    };

    void ok() { answers_.append(true); }
    void cancel() { answers_.append(false); }
    void yes() { answers_.append(true); }
    void no() { answers_.append(false); }

    void inform(const QString& text, const QString& title) override;
    bool askOkCancel(const QString& text, const QString& title, Default preset = Default::Accept) override;
    bool askYesNo(const QString& text, const QString& title, Default preset = Default::Accept) override;

    const QList<Box>& boxes() const { return boxes_; }
    QStringList texts() const;
    int pending() const { return int(answers_.size()); }
    int unanswered() const { return unanswered_; }
    void clear() { boxes_.clear(); answers_.clear(); unanswered_ = 0; }

private:
    bool next();
    QList<Box> boxes_;
    QList<bool> answers_;
    int unanswered_ = 0;
};
