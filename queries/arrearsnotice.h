#pragma once

#include "documents/documentpage.h"
#include "queries/arrearsboard.h"

#include <QDate>
#include <QList>
#include <QString>

class Database;

// What one arrears notice shows.
struct NoticeData {
    QString receiptName;
    QString noticeText;
    QDate date;
    QString door;
    QString name;
    QList<ArrearsBoard::Month> months;
    double balance = 0;
    double unpaid() const;
    double owed() const { return unpaid() - balance; }

    // The notice of one household of the board, with its unpaid months read from the
    // database. Throws StoreError.
    static NoticeData forRow(Database& db, const ArrearsRow& row, const QString& receiptName,
                             const QString& noticeText, const QDate& date);
};

// The notice laid out as lines of text in the receipt's face, one page per household.
struct NoticePage {
    static DocumentPage build(const NoticeData& data, int pageWidth = DocumentPage::A4WidthTwips);
    static QString title();       // "催缴通知单"
    static QString monthHeader(); // the header of the month list
    static QString monthLine(const ArrearsBoard::Month& m);
};
