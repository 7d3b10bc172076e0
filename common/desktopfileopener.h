#pragma once

#include "common/fileopener.h"

// Opens the file with the desktop's viewer and returns at once.
class DesktopFileOpener : public FileOpener {
public:
    void open(const QString& path) override;
};
