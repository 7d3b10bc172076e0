#pragma once

#include "store/datafile.h"

#include <QDate>
#include <QString>
#include <memory>

class Database;

// What the operator chose when the program folder held no data.dat.
struct FirstStartAnswer {
    enum class Choice { Decline, Create, Demo, Server };
    Choice choice = Choice::Decline;
    NewEstate estate;  // for Create
    QString conninfo;  // for Server: the database to work on from now on
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

    // The same first start on a server database that holds no table of this system.
    static QString noServerTablesText(const QString& server);
    // Builds the tables in the empty server database `db` as chosen (the demo estate
    // is built in a file of `folder` and moved there). Throws StoreError; the
    // database is left empty when building fails.
    static void buildOn(Database& db, const QString& folder, const FirstStartAnswer& answer, const QDate& today);
    static QString serverDemoText(const QString& server);
};
