#pragma once

class DataEnvironment;

// Deletes the current household of the shared household record set together with
// its bills and both kinds of charge lines.
class HouseholdDeletion {
public:
    enum class Result { Deleted, NoCurrent };

    explicit HouseholdDeletion(DataEnvironment& env) : env_(env) {}

    // The household's bills, fixed lines, metered lines, ledger movements and its own row go in one
    // transaction, found by the door number the file holds for it (not by an
    // unsaved edit of the box). A new row that was never saved is only dropped.
    // Afterwards the shared bill and line record sets are re-read and the
    // household record set stands on the next household, or on the first when the
    // last one was deleted (on none when no household is left).
    // Throws StoreError; nothing is deleted then.
    Result deleteCurrent();

private:
    DataEnvironment& env_;
};
