// The reading import's CSV reader on any bytes: lines numbered one after another,
// every line with a cell, no field holding the line end of an unquoted line.
#include "charging/readingimport.h"
#include "common/gbkfile.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<ReadingImport::Line> lines;
    try {
        lines = ReadingImport::readCsv(bytes);
    } catch (const FileError&) {
        return 0;
    }
    int number = 0;
    for (const ReadingImport::Line& l : lines) {
        FUZZ_CHECK(l.number == number + 1, QString::number(l.number));
        FUZZ_CHECK(!l.cells.isEmpty(), QString::number(l.number));
        number = l.number;
    }
    return 0;
}
