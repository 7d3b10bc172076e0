#include "charging/readingsheetmodel.h"

#include "charging/readingsheet.h"
#include "common/numbers.h"
#include "store/database.h"

#include <QBrush>
#include <QColor>

namespace {

// A typed reading: empty clears the cell; a text that is no reading is not taken.
bool parseNumber(const QString& text, std::optional<double>* out)
{
    const ReadingText r = readingNumber(text);
    if (r.kind == ReadingText::Kind::Empty)
        *out = std::nullopt;
    else if (r.kind == ReadingText::Kind::Number)
        *out = r.value;
    else
        return false;
    return true;
}

QString checkText(SheetRow::Check c)
{
    switch (c) {
    case SheetRow::Check::Missing: return QStringLiteral("未录");
    case SheetRow::Check::Below: return QStringLiteral("小于上月数，待确认");
    case SheetRow::Check::BelowConfirmed: return QStringLiteral("已确认（换表）");
    case SheetRow::Check::High: return QStringLiteral("用量超过平均三倍");
    case SheetRow::Check::Zero: return QStringLiteral("用量为零");
    case SheetRow::Check::Negative: return QStringLiteral("数量为负，待确认");
    case SheetRow::Check::NegativeConfirmed: return QStringLiteral("已确认（用量为负）");
    case SheetRow::Check::Ok: break;
    }
    return QString();
}

QColor checkColor(SheetRow::Check c)
{
    switch (c) {
    case SheetRow::Check::Missing: return QColor(0xff, 0xf4, 0xc2);
    case SheetRow::Check::Below:
    case SheetRow::Check::Negative: return QColor(0xf8, 0xc4, 0xc4);
    case SheetRow::Check::NegativeConfirmed: return QColor(0xe4, 0xd4, 0xf4);
    case SheetRow::Check::BelowConfirmed: return QColor(0xd4, 0xe6, 0xf8);
    case SheetRow::Check::High:
    case SheetRow::Check::Zero: return QColor(0xfb, 0xdd, 0xb4);
    case SheetRow::Check::Ok: break;
    }
    return QColor();
}

}  // namespace

ReadingSheetModel::ReadingSheetModel(ReadingSheet& sheet, QObject* parent) : QAbstractTableModel(parent), sheet_(sheet) {}

int ReadingSheetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(sheet_.rows().size());
}

int ReadingSheetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ReadingSheetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const names[] = {"门牌号", "户名", "项目", "上月数", "本月数/数量", "用量", "单价", "金额", "确认", "检查"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(names[section]) : QVariant();
}

QVariant ReadingSheetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const SheetRow& r = sheet_.row(index.row());
    const BillItem& item = sheet_.itemOf(index.row());
    const SheetRow::Check check = r.check(item);
    if (role == Qt::BackgroundRole) {
        const QColor c = checkColor(check);
        return c.isValid() ? QVariant(QBrush(c)) : QVariant();
    }
    if (role == Qt::TextAlignmentRole && index.column() >= Previous && index.column() <= Amount)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::CheckStateRole && index.column() == Confirm)
        return r.needsConfirmation(item) ? QVariant(r.confirmed ? Qt::Checked : Qt::Unchecked) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    switch (index.column()) {
    case Door: return r.door;
    case Name: return r.name;
    case Item: return item.name;
    case Previous: return item.metered ? plainNumber(r.usedPrevious()) : QString();
    case Reading: return r.reading ? plainNumber(*r.reading) : QString();
    case Usage: return r.reading ? formatMask(r.usage(item), QStringLiteral("#,##0.00")) : QString();
    case Price: return plainNumber(r.unitPrice(item));
    case Amount: return r.reading ? formatMask(r.amount(item), QStringLiteral("#,##0.00")) : QString();
    case Status: return checkText(check);
    default: return {};
    }
}

Qt::ItemFlags ReadingSheetModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!index.isValid())
        return f;
    const SheetRow& r = sheet_.row(index.row());
    const BillItem& item = sheet_.itemOf(index.row());
    const bool below = item.metered && r.reading && *r.reading < r.previous;
    switch (index.column()) {
    case Reading:
    case Price: return f | Qt::ItemIsEditable;
    case Previous: return below ? f | Qt::ItemIsEditable : f;
    case Confirm: return r.needsConfirmation(item) ? f | Qt::ItemIsUserCheckable : f;
    default: return f;
    }
}

bool ReadingSheetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid())
        return false;
    const int row = index.row();
    const SheetRow& r = sheet_.row(row);
    try {
        if (index.column() == Confirm && role == Qt::CheckStateRole) {
            sheet_.setConfirmed(row, value.toInt() == Qt::Checked, r.newStart);
        } else if (role == Qt::EditRole) {
            std::optional<double> v;
            if (!parseNumber(value.toString(), &v))
                return false;
            switch (index.column()) {
            case Reading: sheet_.setReading(row, v); break;
            case Price: sheet_.setPrice(row, v); break;
            // The new meter's start: the row is confirmed with it; cleared, the found one counts.
            case Previous: sheet_.setConfirmed(row, true, v); break;
            default: return false;
            }
        } else {
            return false;
        }
    } catch (const StoreError& e) {
        emit writeFailed(e.message());
        return false;
    }
    rowsChanged(row, row);
    return true;
}

int ReadingSheetModel::pasteReadings(int row, const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    if (row < 0 || row >= rowCount() || lines.isEmpty())
        return 0;
    QList<std::optional<double>> values;
    QString stop;
    for (QString line : lines) {
        line.remove(QLatin1Char('\r'));
        const QString cell = line.section(QLatin1Char('\t'), 0, 0);
        std::optional<double> v;
        if (!parseNumber(cell, &v)) {
            // A header or a word ends the column.
            stop = QStringLiteral("粘贴的第 %1 行“%2”不是可用的读数，从这一行起没有填入。")
                       .arg(values.size() + 1)
                       .arg(cell.trimmed().left(40));
            break;
        }
        values.append(v);
    }
    const int n = std::min(int(values.size()), rowCount() - row);
    if (stop.isEmpty() && n < values.size())
        stop = QStringLiteral("表格到第 %1 行为止，粘贴的其余 %2 行没有填入。").arg(rowCount()).arg(values.size() - n);
    values = values.mid(0, n);
    if (n > 0) {
        try {
            sheet_.setReadings(row, values);
        } catch (const StoreError& e) {
            emit writeFailed(e.message());
            return 0;
        }
        rowsChanged(row, row + n - 1);
    }
    QString report = n > 0 ? QStringLiteral("已填入 %1 行（第 %2 至第 %3 行）。").arg(n).arg(row + 1).arg(row + n)
                           : QStringLiteral("没有填入任何一行。");
    if (!stop.isEmpty())
        report += QLatin1Char('\n') + stop;
    emit pasted(report);
    return n;
}

void ReadingSheetModel::rowsChanged(int first, int last)
{
    emit dataChanged(index(first, 0), index(last, ColumnCount - 1));
}

QString ReadingSheetModel::statusText() const
{
    const ReadingSheet::Counts c = sheet_.counts();
    QString text = QStringLiteral("共 %1 户 %2 行    未录 %3    小于上月数待确认 %4    已确认换表 %5    用量超过平均三倍 %6    用量为零 %7")
        .arg(sheet_.households().size())
        .arg(sheet_.rows().size())
        .arg(c.missing)
        .arg(c.below)
        .arg(c.confirmed)
        .arg(c.high)
        .arg(c.zero);
    if (c.negative + c.negativeConfirmed > 0)
        text += QStringLiteral("    用量为负 %1（待确认 %2）").arg(c.negative + c.negativeConfirmed).arg(c.negative);
    return text;
}
