#pragma once

#include <QString>

// The folder that receives the text exports: the environment variable
// FENWARY_REPORT_DIR when set and not empty, otherwise "c:\报表" on Windows and
// "~/报表" elsewhere. Returned with "/" separators and no trailing separator.
QString reportFolder();

// Creates the report folder when missing and returns it; FileError when it cannot
// be created (or a file of that name stands in the way). A folder made here is
// readable by its owner only.
QString ensureReportFolder();

// The folder as messages show it: native separators and a trailing separator
// ("c:\报表\", "/home/x/报表/").
QString reportFolderForMessage();
