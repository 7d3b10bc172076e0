#include "maintenance/windows.h"

#include "maintenance/cleanupwindow.h"
#include "common/windowregistry.h"

void registerMaintenanceWindows(WindowRegistry& registry)
{
    registry.add({QStringLiteral("数据清理"), ShowAs::Child,
                  [](Services& s) -> QWidget* { return new CleanupWindow(s); }});
}
