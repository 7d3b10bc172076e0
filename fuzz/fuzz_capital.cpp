// CMoney::CapitalAmount on any number and any text: no crash, only capital numerals
// and their units.
#include "collection/cmoney.h"
#include "fuzzinput.h"

#include <QVariant>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const double v = in.number();
    const QString text = in.rest();
    static const QString allowed = QStringLiteral("零壹贰叁肆伍陆柒捌玖拾佰仟万亿元角分整负 ");
    for (const QString& out : {CMoney::CapitalAmount(v), CMoney::CapitalAmount(QVariant(text))}) {
        for (QChar ch : out)
            FUZZ_CHECK(allowed.contains(ch), out);
    }
    CMoney::CapitalDigit(v);
    return 0;
}
