#pragma once

#include <QString>
#include <QVariant>

// Amounts of money in Chinese capital numerals (大写), as the receipt writes them.
namespace CMoney {

// "零" … "玖" for a value equal to 0 … 9; any other value (10, 1.5, -1) gives "".
QString CapitalDigit(double digit);

// The capital text of an amount: 123.45 -> "壹佰贰拾叁元肆角伍分", 0 -> " ",
// -3.5 -> "负叁元伍角". Only the first two decimals count; the rest are cut off.
// Amounts of 100 000 000 and above use "亿" (100000001 -> "壹亿零壹元").
// A non-finite amount gives "".
QString CapitalAmount(double amount);
// Null and an empty (or blank) text count as 0; another text is read as a typed number.
QString CapitalAmount(const QVariant& amount);

} // namespace CMoney
