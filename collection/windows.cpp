#include "collection/windows.h"

#include "collection/paymentwindow.h"
#include "common/windowregistry.h"

void registerCollectionWindows(WindowRegistry& registry)
{
    registry.add({QStringLiteral("frm_缴费打印"), ShowAs::ChildMaximized,
                  [](Services& s) -> QWidget* { return new PaymentWindow(s); }});
}
