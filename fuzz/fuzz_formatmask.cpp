// formatMask and plainNumber on any number and mask: no crash; a plain number has no
// exponent, and reads back as the number rounded to nine decimals and 15 significant
// digits; a finite number through a mask gives a text.
#include "common/numbers.h"
#include "fuzzinput.h"

#include <algorithm>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const double v = in.number();
    const QString mask = in.rest();
    const QString masked = formatMask(v, mask);
    if (!std::isfinite(v))
        FUZZ_CHECK(masked.isEmpty(), masked);
    formatMask(QVariant(mask), mask);
    formatMask(QVariant(v), QStringLiteral("#,##0.00"));

    const QString plain = plainNumber(v);
    if (!std::isfinite(v)) {
        FUZZ_CHECK(plain.isEmpty(), plain);
        return 0;
    }
    FUZZ_CHECK(!plain.contains(QLatin1Char('e')) && !plain.contains(QLatin1Char('E')), plain);
    FUZZ_CHECK(plain != QLatin1String("-0"), plain);
    bool ok = false;
    const double back = plain.toDouble(&ok);
    // Rounded to 15 digits, the largest doubles round up past the largest double.
    if (std::abs(v) > 1.79769313486231e308)
        return 0;
    FUZZ_CHECK(ok, plain);
    if (v != 0)
        FUZZ_CHECK(std::abs(back - v) <= std::max(std::abs(v) * 1e-14, 5.1e-10), plain);
    return 0;
}
