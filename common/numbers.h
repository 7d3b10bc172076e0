#pragma once

#include <QString>
#include <QVariant>
#include <optional>

// Reading numbers typed by the operator and showing numbers as text.

// The leading numeric value of an answer, read the way VB's Val reads it:
// blanks, tabs, line feeds and carriage returns are skipped wherever they stand;
// an optional sign, digits, one ".", and an exponent ("e"/"E"/"d"/"D", optional
// sign, digits) make the number; the first character that cannot continue it ends
// it ("1,200" reads 1, "12abc" reads 12, "--5" reads 0, "1e3" reads 1000).
// Nothing readable gives 0. The result is always finite and never -0: a value too
// large for a double gives the largest finite double of its sign, a value too small
// gives 0.
double typedNumber(const QString& answer);
// std::nullopt (the input box was cancelled) gives 0.
double typedNumber(const std::optional<QString>& answer);
// A number as stored in a column: empty counts 0, text is read as a typed number.
double storedNumber(const QVariant& v);

// A number through a display mask: "#,##0.00", "#,##0", "###0", "#,###",
// "#,###.00", "#,##0.000", "#,##0.0000", "#,##0.00000" and their relatives,
// optionally with quoted literal text around them, as in "\"￥\"#,##0.00".
// "," in the integer part groups thousands; each "0" is a digit always shown,
// each "#" a digit shown only when significant. The number is rounded half away
// from zero on its 15-significant-digit decimal form (2.675 -> "2.68").
// A negative number gets a leading "-" in front of everything, unless it rounds to
// zero. A non-finite number gives an empty text.
QString formatMask(double v, const QString& mask);
// Null gives an empty text; a text that is not a number is shown as it stands.
QString formatMask(const QVariant& v, const QString& mask);

// A number without a mask, first rounded to nine decimals (2.54999999999993 -> "2.55"):
// no grouping, "." as decimal point, a leading "-" when negative, no trailing zeros,
// at most 15 significant digits, never an exponent (0.1 + 0.2 -> "0.3", 1e20 ->
// "100000000000000000000", 1e-7 -> "0.0000001"). A non-finite number gives "".
QString plainNumber(double v);
// Null (an empty amount column) counts as 0 and gives "0"; a text is read as a
// typed number.
QString plainNumber(const QVariant& v);

// Full-width digits, point, plus and minus (typed with a Chinese input method) and
// the ideographic blank in their plain forms; everything else stays as it is.
QString narrowDigits(const QString& text);
// A number typed into a box or grid cell bound to a number column: blanks around it
// are dropped, full-width forms read as plain ones, and what is left must be one
// whole decimal number. std::nullopt for anything else ("80平米", "1,2,3", "1e999").
// An empty text is not a number either; callers store it as an empty column.
std::optional<double> boxNumber(const QString& text);
// The refusal of such a text, naming the box.
QString notANumberText(const QString& caption, const QString& text);
