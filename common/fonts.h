#pragma once

#include <QString>

// The face that stands in for the Song face "宋体" (also named "SimSun") where it is
// not installed: Noto Sans Mono CJK SC, in which a Chinese character is exactly as
// wide as two Latin ones, as in SimSun, so that columns built with blanks line up.
QString songSubstitute();

// Maps "宋体" and "SimSun" to songSubstitute(). Call once after the application
// object exists.
void installSongFontSubstitution();
