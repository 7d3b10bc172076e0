#include "queries/windowparts.h"

#include "store/dataenvironment.h"

#include <QLineEdit>
#include <QPushButton>

namespace WindowParts {

QPushButton* button(const QString& name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

BuildingBoxes buildingBoxes(QWidget* parent)
{
    auto* separator = new QLineEdit(QStringLiteral("-"), parent);
    separator->setObjectName(QStringLiteral("txt分隔符"));
    separator->setMaximumWidth(50);
    auto* building = new QLineEdit(parent);
    building->setObjectName(QStringLiteral("txt楼号"));
    building->setMaximumWidth(110);
    return {separator, building};
}

QStringList billedMonths(DataEnvironment& data)
{
    QStringList months;
    const ScratchSet set = data.scratch(QStringLiteral("select DISTINCT(月份) from 缴费历史 order by 月份"));
    for (const QVariantList& row : set.rows())
        if (!row.value(0).isNull())
            months << row.value(0).toString();
    return months;
}

}  // namespace WindowParts
