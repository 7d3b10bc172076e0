// typedNumber on any answer: always finite and never -0.
#include "common/numbers.h"
#include "fuzzinput.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const QString answer = in.rest();
    const double v = typedNumber(answer);
    FUZZ_CHECK(std::isfinite(v), answer);
    FUZZ_CHECK(!(v == 0 && std::signbit(v)), answer);
    // Blanks are skipped wherever they stand.
    const double spaced = typedNumber(QStringLiteral(" ") + answer);
    FUZZ_CHECK(spaced == v, answer);
    return 0;
}
