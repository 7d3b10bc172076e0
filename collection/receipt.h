#pragma once

#include "documents/documentpage.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

class DataEnvironment;
struct AppContext;

// What one receipt shows: the bill, its household, its lines and the settings.
// Empty (null) values print as nothing.
struct ReceiptData {
    struct Metered {
        QVariant name, current, previous, price, amount;  // 项目名 本月数 上月数 单价 收费金额
    };
    struct Fixed {
        QVariant name, amount;  // 项目名 收费金额
    };
    bool paid = false;
    QString remarks;
    QString receiptName;
    QString noticeText;
    // The bill.
    QVariant month, door, paidOn, charge, balance, cash;  // 月份 门牌号 缴费时间 收费金额 账户余额 实缴金额
    // The household.
    QVariant name, area;  // 户名 面积
    QList<Metered> metered;
    QList<Fixed> fixed;

    // Reads the current bill of rs缴费历史, the current household of rs档案 and the
    // lines of rs收费2 / rs收费1 (without moving them). Nothing without a current
    // bill or household.
    static std::optional<ReceiptData> fromCurrent(DataEnvironment& data, const AppContext& app, bool paid,
                                                  const QString& remarks);
};

// One printed line: every line starts at the left margin except the title.
using ReceiptLine = DocumentLine;

// The receipt laid out as lines of text, columns built with blanks.
struct ReceiptPage : DocumentPage {
    // `pageWidth` is the printer's page width in twips; the title stands at a tenth of it.
    static ReceiptPage build(const ReceiptData& data, int pageWidth = A4WidthTwips);

    static QString ruler();           // 65 × "─"
    static QString columnHeader();    // the 92-character header of the metered lines
    static QString meteredSegment(const ReceiptData::Metered& m);
    static QString fixedSegment(const ReceiptData::Fixed& f);
    // The cash after "实缴现金:": the figure, "  大写:" and its capitals. Whole yuan
    // (after rounding to the fen) as "#,###", other cash as "#,##0.00"; empty cash
    // gives an empty figure and a blank.
    static QString cashLine(const QVariant& cash);
    static QString makerCredit();
};
