#include "accounts/windows.h"

#include "accounts/accountswindows.h"
#include "common/windowregistry.h"

void registerAccountsWindows(WindowRegistry& registry)
{
    registry.add({QStringLiteral("frm_收款日报"), ShowAs::Child,
                  [](Services& s) -> QWidget* { return new DayTakingsWindow(s); }});
    registry.add({QStringLiteral("frm_对账单"), ShowAs::Child,
                  [](Services& s) -> QWidget* { return new StatementWindow(s); }});
    registry.add({QStringLiteral("frm_账务核对"), ShowAs::Child,
                  [](Services& s) -> QWidget* { return new BooksCheckWindow(s); }});
}
