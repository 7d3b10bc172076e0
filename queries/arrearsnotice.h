#pragma once

#include "documents/documentpage.h"
#include "queries/arrearsboard.h"

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

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

    // The notice of one household as the file holds it now: its name, balance and
    // unpaid months read together in one transaction. Nothing when the household is
    // gone or owes nothing (ArrearsBoard::owes). Throws StoreError.
    static std::optional<NoticeData> read(Database& db, const QString& door, const QString& receiptName,
                                          const QString& noticeText, const QDate& date);
};

// The notice laid out as lines of text in the receipt's face. Months that do not fit
// on one page continue on the next; the totals, the notice text and the signature
// stand on the last page, and each page of a longer notice names its number. Long
// texts (the name, the notice text) wrap at the page's edge.
struct NoticePage {
    // A page holds this many lines of 10 points (larger type counts for more): A4 or
    // Letter with the printer's margins, with room to spare.
    static constexpr int PageLines = 46;

    static QList<DocumentPage> pages(const NoticeData& data, int pageWidth = DocumentPage::A4WidthTwips,
                                     int pageLines = PageLines);
    static QString title();       // "催缴通知单"
    static QString monthHeader(); // the header of the month list
    static QString monthLine(const ArrearsBoard::Month& m);
    // `text` cut into pieces of at most `cells` half-width cells (two per character
    // outside ASCII), each piece after the first preceded by `indent` blanks.
    static QStringList wrap(const QString& text, int cells, int indent);
};
