#pragma once

// Maps the Song face "宋体" (also named "SimSun") to Noto Serif CJK SC where it is
// not installed. Call once after the application object exists.
void installSongFontSubstitution();
