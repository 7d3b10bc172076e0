#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

// Date texts of the program. An invalid date gives an empty text.
QString chineseDate(const QDate& d);   // "2024年07月05日", for dates written into texts
QString monthKey(const QDate& d);      // "202407"
QString isoDate(const QDate& d);       // "2024-07-05", in grids and as stored
QString shortDate(const QDate& d);     // the system's short date form

// A month text is exactly six ASCII digits yyyymm with a four-digit year
// 1000..9999 and a month 01..12 ("202406" passes; "202413", "abcdef", "20246",
// " 202406" and "2024061" do not).
bool isValidMonthText(const QString& text);

// Reads a stored date: "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss" (or with "T"), or a
// QDate / QDateTime value. Anything else, and null, gives an invalid QDate.
QDate parseStoredDate(const QVariant& v);

// Source of "today", so that tests can fix the date.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDate today() const = 0;
    // Today with the time of day (movements of the ledger are stamped with it).
    virtual QDateTime now() const { return QDateTime(today(), QTime::currentTime()); }
};

class SystemClock : public Clock {
public:
    QDate today() const override { return QDate::currentDate(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class FixedClock : public Clock {
public:
    explicit FixedClock(QDate day) : day_(day) {}
    QDate today() const override { return day_; }
    // The time of day is fixed too (09:00), so that runs write the same rows.
    QDateTime now() const override { return QDateTime(day_, time_); }
    void set(QDate day) { day_ = day; }
    void setTime(QTime time) { time_ = time; }

private:
    QDate day_;
    QTime time_{9, 0};
};
