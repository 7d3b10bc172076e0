#include "queries/windows.h"

#include "queries/querywindow.h"

void registerQueriesWindows(WindowRegistry& registry)
{
    registry.add({QStringLiteral("frm_查询"), ShowAs::ChildMaximized,
                  [](Services& services) -> QWidget* { return new QueryWindow(services); }});
}
