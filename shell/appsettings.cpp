#include "shell/appsettings.h"

#include "common/services.h"
#include "store/dataenvironment.h"

namespace ShellSettings {

void read(DataEnvironment& data, AppContext& app)
{
    RecordSet& rs = data.rs广告();
    rs.open();
    const int row = rs.hasCurrent() ? rs.position() : 0;
    app.receiptName = rs.valueAt(row, QStringLiteral("收据名称")).toString();
    app.noticeText = rs.valueAt(row, QStringLiteral("广告")).toString();
}

}  // namespace ShellSettings
