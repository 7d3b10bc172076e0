#pragma once

#include <QString>
#include <functional>

struct AppContext;
class Clock;
class DataEnvironment;
class Prompter;
class RecordSet;
struct Services;

// One household's bill for one month: the bill row in 缴费历史, one charge line per
// item in 收费1 or 收费2, and the bill total. Every row is saved at its own step;
// a run left in the middle keeps what it has saved.
class SingleEntry {
public:
    enum class Outcome {
        Done,      // every item visited, the total saved
        Stopped,   // a paid bill and the operator did not confirm: nothing written
        NotFound,  // no household with that door number: nothing written
        Failed,    // the database refused a write or read; `error` names it
    };
    struct Result {
        Outcome outcome = Outcome::Done;
        bool reminded = false;  // the charge-note reminder was shown
        QString error;
    };

    SingleEntry(DataEnvironment& data, Prompter& prompter, AppContext& app, Clock& clock);
    explicit SingleEntry(Services& services);

    // Called after a run that reached the items (Done or Failed), so the window can
    // show the bill again.
    void setShowBill(std::function<void()> showBill) { showBill_ = std::move(showBill); }

    // `households` is the caller's own set over 档案库; the household found becomes
    // its current row. `door` finds it whatever its letter case, and every later
    // step uses the household's stored door number; `month` is used as typed.
    Result run(RecordSet& households, const QString& door, const QString& month);

    // The charge-note reminder: the eight characters around the note's first "年"
    // (four before it) compared as text with the month written as yyyy年mm月.
    // A note with fewer than four characters before its first "年" holds no date
    // that can be cut out, and never reminds.
    static bool noteReminds(const QString& note, const QString& month);
    static QString reminderText(const QString& note);
    // Said when a paid bill changed between the question and the refund.
    static QString staleText();

    static QString areaSuffix() { return QStringLiteral("(按面积)"); }

private:
    void enter(RecordSet& households, const QString& typedDoor, const QString& month, Result& result);

    DataEnvironment& data_;
    Prompter& prompter_;
    AppContext& app_;
    Clock& clock_;
    std::function<void()> showBill_;
};
