// The reading import's XLSX reader on any shared strings and sheet (the parts' XML,
// split at the first NUL byte): lines or a FileError naming the file, rows placed by
// their numbers, no row wider than the last column.
#include "charging/readingimport.h"
#include "common/gbkfile.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArray shared = nul < 0 ? QByteArray() : bytes.left(nul);
    const QByteArray sheet = nul < 0 ? bytes : bytes.mid(nul + 1);
    const QString path = QStringLiteral("读数.xlsx");
    try {
        for (const ReadingImport::Line& l : ReadingImport::readSheetXml(sheet, shared, path)) {
            FUZZ_CHECK(l.number >= 1, QString::number(l.number));
            FUZZ_CHECK(l.cells.size() <= 16384, QString::number(l.cells.size()));
        }
    } catch (const FileError& e) {
        FUZZ_CHECK(e.message().startsWith(path), e.message());
    }
    return 0;
}
