#include "queries/windows.h"

#include "queries/arrearswindow.h"
#include "queries/querywindow.h"
#include "queries/summarywindow.h"

void registerQueriesWindows(WindowRegistry& registry)
{
    registry.add({QStringLiteral("frm_查询"), ShowAs::ChildMaximized,
                  [](Services& services) -> QWidget* { return new QueryWindow(services); }});
    registry.add({QStringLiteral("frm_欠费一览"), ShowAs::ChildMaximized,
                  [](Services& services) -> QWidget* { return new ArrearsWindow(services); }});
    registry.add({QStringLiteral("frm_收费汇总"), ShowAs::ChildMaximized,
                  [](Services& services) -> QWidget* { return new SummaryWindow(services); }});
}
