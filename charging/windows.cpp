#include "charging/windows.h"

#include "charging/billentrywindow.h"
#include "charging/itemwindow.h"
#include "charging/readingsheetwindow.h"
#include "common/windowregistry.h"

void registerChargingWindows(WindowRegistry& registry)
{
    registry.add({QStringLiteral("frm_项目维护"), ShowAs::Separate,
                  [](Services& s) -> QWidget* { return new ItemWindow(s); }});
    registry.add({QStringLiteral("frm_缴费录入"), ShowAs::ChildMaximized,
                  [](Services& s) -> QWidget* { return new BillEntryWindow(s); }});
    registry.add({QStringLiteral("frm_抄表录入"), ShowAs::ChildMaximized,
                  [](Services& s) -> QWidget* { return new ReadingSheetWindow(s); }});
}
