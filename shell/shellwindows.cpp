#include "shell/shellwindows.h"

#include "shell/aboutbox.h"
#include "shell/settingswindow.h"
#include "common/windowregistry.h"

void registerShellWindows(WindowRegistry& registry)
{
    registry.add({QStringLiteral("FRM_系统设置"), ShowAs::Child,
                  [](Services& s) -> QWidget* { return new SettingsWindow(s); }});
    registry.add({QStringLiteral("frmSplash"), ShowAs::Separate,
                  [](Services& s) -> QWidget* { return new AboutBox(s.app.appTitle); }});
}
