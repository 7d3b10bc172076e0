#pragma once

#include "store/datafile.h"

#include <QDate>
#include <QString>
#include <memory>

class Database;

// What the operator chose when the program folder held no data.dat.
struct FirstStartAnswer {
    enum class Choice { Decline, Create, Demo };
    Choice choice = Choice::Decline;
    NewEstate estate;  // for Create
};

// The first start in a folder without data.dat: a new empty estate with its
// first operator, or the demo estate.
class FirstStart {
public:
    static QString noDatabaseText(const QString& folder);
    // Empty when the entries can make an estate, else the reason.
    static QString check(const NewEstate& estate);
    // Builds data.dat in `folder` as chosen. Throws StoreError; nothing is left
    // behind when building fails.
    static std::unique_ptr<Database> build(const QString& folder, const FirstStartAnswer& answer,
                                           const QDate& today);
    // Tells the operator how to log in to the demo estate built in `folder`.
    static QString demoText(const QString& folder);
};
