#pragma once

#include "charging/singleentry.h"

#include <QString>

struct AppContext;
class Prompter;
class RecordSet;

// Single entry for the current household, then household after household in the
// order of the household set, each after the question "是否继续录入 …的收费内容?".
class ContinuousEntry {
public:
    enum class Outcome {
        LastHousehold,  // the last household was billed (or the set stood after it)
        Declined,       // an answer other than Yes; the household asked about is current
        Reminded,       // a household's charge note brought the reminder
        Failed,         // single entry failed on the database; `error` names it
    };
    struct Result {
        Outcome outcome = Outcome::LastHousehold;
        int runs = 0;  // single entries started
        QString error;
    };

    ContinuousEntry(SingleEntry& single, Prompter& prompter, AppContext& app);

    Result run(RecordSet& households, const QString& door, const QString& month);

private:
    bool noteCheck(RecordSet& households, const QString& month);

    SingleEntry& single_;
    Prompter& prompter_;
    AppContext& app_;
};
