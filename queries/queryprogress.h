#pragma once

#include <QtGlobal>

// Progress of a long query, and the operator's way to stop it. `total` is 0 when
// the amount of work is not known.
class QueryProgress {
public:
    virtual ~QueryProgress() = default;
    // Returns false when the operator cancelled; the query then gives up.
    virtual bool advance(qint64 done, qint64 total) = 0;
};
