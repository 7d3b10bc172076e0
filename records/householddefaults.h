#pragma once

#include <QDate>
#include <QString>
#include <QVariant>

class DataEnvironment;
class RecordSet;

// The values a new household starts with.
class HouseholdDefaults {
public:
    // The town name given to 单位 and 籍贯 of every new household.
    static QString townName();
    static QString name() { return QStringLiteral("户名"); }
    static QString otherInfo();
    // "您的物业费到期日为" + the date as "yyyy年mm月dd日" + "请及时缴纳!".
    static QString chargeNote(const QDate& today);

    // "0001" when there is no greatest door number (empty table), otherwise its
    // first 10 characters + "(新)".
    static QString placeholderDoor(const QVariant& greatestDoor);
    // The placeholder from the greatest door number stored in 档案库.
    static QString placeholderDoor(DataEnvironment& env);

    // Sets every default on the current (new) row of the household record set,
    // 收费说明 last.
    static void fill(RecordSet& households, const QString& door, const QDate& today);

    // Adds a household with the placeholder door number and the defaults to the
    // shared household record set, which stands on it, and saves the record set.
    // Throws StoreError; when the save fails (a duplicate door number) the new row
    // stays current and unsaved, so the operator can correct it.
    static void addHousehold(DataEnvironment& env, const QDate& today);
};
