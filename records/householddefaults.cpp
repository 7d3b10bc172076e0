#include "records/householddefaults.h"

#include "common/dates.h"
#include "store/dataenvironment.h"
#include "store/recordset.h"

namespace {
const char* const kTownName = "城关镇";
}

QString HouseholdDefaults::townName()
{
    return QString::fromUtf8(kTownName);
}

QString HouseholdDefaults::otherInfo()
{
    return QStringLiteral("家庭主要成员：配偶:   年龄:      联系方式:     籍贯:");
}

QString HouseholdDefaults::chargeNote(const QDate& today)
{
    return QStringLiteral("您的物业费到期日为") + chineseDate(today) + QStringLiteral("请及时缴纳!");
}

QString HouseholdDefaults::placeholderDoor(const QVariant& greatestDoor)
{
    if (greatestDoor.isNull() || !greatestDoor.isValid())
        return QStringLiteral("0001");
    return greatestDoor.toString().left(10) + QStringLiteral("(新)");
}

QString HouseholdDefaults::placeholderDoor(DataEnvironment& env)
{
    return placeholderDoor(env.scratchValue(QStringLiteral("select max(门牌号) from 档案库")));
}

void HouseholdDefaults::fill(RecordSet& households, const QString& door, const QDate& today)
{
    households.setValue(QStringLiteral("门牌号"), door);
    households.setValue(QStringLiteral("户名"), name());
    households.setValue(QStringLiteral("其他信息"), otherInfo());
    households.setValue(QStringLiteral("账户余额"), 0.0);
    households.setValue(QStringLiteral("单位"), townName());
    households.setValue(QStringLiteral("籍贯"), townName());
    households.setValue(QStringLiteral("收费说明"), chargeNote(today));
}

void HouseholdDefaults::addHousehold(DataEnvironment& env, const QDate& today)
{
    const QString door = placeholderDoor(env);
    RecordSet& households = env.rs档案();
    households.addNew();
    fill(households, door, today);
    households.updateBatch();
}
