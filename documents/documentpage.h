#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One printed line: the face, its size in points, italic, the left position in twips
// from the printable area, and the text. A text with line breaks prints as several lines.
struct DocumentLine {
    QString font = QStringLiteral("宋体");
    double size = 10;
    bool italic = false;
    int x = 0;
    QString text;

    bool operator==(const DocumentLine&) const = default;
};

// A printed page as lines from the top, columns built with blanks on a grid of
// half-width cells. Receipts, notices and reports are lists of these, painted by
// DocumentPrinter.
struct DocumentPage {
    static constexpr int A4WidthTwips = 11906;

    QList<DocumentLine> lines;

    // One text per line: "font|size|italic|x|text" (for golden files).
    QStringList dump() const;
    // The half-width cells a character takes on the printed page: two outside ASCII.
    static int cells(QChar c);
    static int cells(const QString& text);
};
