#include "records/windows.h"

#include "records/householdwindow.h"
#include "records/searchwindow.h"
#include "common/windowregistry.h"

void registerRecordsWindows(WindowRegistry& registry)
{
    registry.add({QStringLiteral("frm_档案录入"), ShowAs::ChildMaximized,
                  [](Services& s) -> QWidget* { return new HouseholdWindow(s); }});
    registry.add({QStringLiteral("frm_档案查找"), ShowAs::Separate,
                  [](Services& s) -> QWidget* { return new SearchWindow(s); }});
}
