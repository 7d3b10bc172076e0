#pragma once

#include <QList>
#include <QString>
#include <optional>

// Every message box and input box of the program goes through a Prompter, so that
// windows and rules can be driven by a script in tests.
class Prompter {
public:
    enum class Icon { Information, Exclamation, Critical, Question, None };
    // The button that Enter presses in a question: Accept is Yes / OK, Decline is
    // No / Cancel. A question before something that cannot be undone declines.
    enum class Default { Accept, Decline };

    virtual ~Prompter() = default;
    // A modal notice with OK.
    virtual void inform(const QString& text, const QString& title, Icon icon = Icon::Information) = 0;
    // Yes / No question; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& title, Default preset = Default::Accept,
                          Icon icon = Icon::Question) = 0;
    // OK / Cancel question; true for OK.
    virtual bool askOkCancel(const QString& text, const QString& title, Default preset = Default::Accept,
                             Icon icon = Icon::Question) = 0;
    // Input box with an offered default; std::nullopt for Cancel, distinct from an empty answer.
    virtual std::optional<QString> input(const QString& prompt, const QString& title,
                                         const QString& offered) = 0;
    // Input box whose text is not shown (a password); std::nullopt for Cancel.
    virtual std::optional<QString> secret(const QString& prompt, const QString& title)
    {
        return input(prompt, title, QString());
    }
};

// Answers from a queue and records every box shown.
class ScriptedPrompter : public Prompter {
public:
    enum class Kind { Inform, YesNo, OkCancel, Input };
    struct Box {
        Kind kind;
        QString text;
        QString title;
        QString offered;  // input boxes only
        Icon icon = Icon::Information;
        Default preset = Default::Accept;  // questions only
    };
    struct Answer {
        bool accept = true;              // Yes / OK; false for No / Cancel
        std::optional<QString> text;     // for input boxes
    };

    void yes() { answers_.append({true, std::nullopt}); }
    void no() { answers_.append({false, std::nullopt}); }
    void ok() { answers_.append({true, std::nullopt}); }
    void cancel() { answers_.append({false, std::nullopt}); }
    void type(const QString& text) { answers_.append({true, text}); }

    void inform(const QString& text, const QString& title, Icon icon = Icon::Information) override;
    bool askYesNo(const QString& text, const QString& title, Default preset = Default::Accept,
                  Icon icon = Icon::Question) override;
    bool askOkCancel(const QString& text, const QString& title, Default preset = Default::Accept,
                     Icon icon = Icon::Question) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& offered) override;

    const QList<Box>& boxes() const { return boxes_; }
    QStringList texts() const;
    int pending() const { return int(answers_.size()); }
    // Boxes that found no scripted answer (answered No / Cancel).
    int unanswered() const { return unanswered_; }
    void clear() { boxes_.clear(); answers_.clear(); unanswered_ = 0; }

private:
    Answer next();
    QList<Box> boxes_;
    QList<Answer> answers_;
    int unanswered_ = 0;
};
