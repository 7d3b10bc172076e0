#include "shell/firststart.h"

#include "shell/demoestate.h"
#include "shell/passwordhash.h"
#include "store/database.h"

#include <QDir>

QString FirstStart::noDatabaseText(const QString& folder)
{
    return QStringLiteral("文件夹 %1 中没有数据库文件 data.dat。\n"
                          "可以在这里建立一个新的数据库,或者建立一个演示小区先试用本系统。")
        .arg(QDir::toNativeSeparators(folder));
}

QString FirstStart::check(const NewEstate& estate)
{
    if (estate.operatorName.trimmed().isEmpty())
        return QStringLiteral("请输入第一个操作员的名字。");
    if (estate.password.isEmpty())
        return QStringLiteral("请输入操作员的密码。");
    if (estate.password.trimmed().isEmpty())
        return QStringLiteral("密码不能只有空格。");
    return QString();
}

namespace {

// The entries of a new estate, checked and trimmed.
NewEstate checked(const NewEstate& estate)
{
    const QString problem = FirstStart::check(estate);
    if (!problem.isEmpty())
        throw StoreError(0, problem);
    NewEstate e = estate;
    e.operatorName = e.operatorName.trimmed();
    e.receiptName = e.receiptName.trimmed();
    return e;
}

}  // namespace

std::unique_ptr<Database> FirstStart::build(const QString& folder, const FirstStartAnswer& answer, const QDate& today)
{
    const QString path = DataFile::path(folder);
    switch (answer.choice) {
    case FirstStartAnswer::Choice::Create:
        return DataFile::create(path, checked(answer.estate));
    case FirstStartAnswer::Choice::Demo:
        return DemoEstate::create(path, today);
    case FirstStartAnswer::Choice::Decline:
    case FirstStartAnswer::Choice::Server:
        break;
    }
    return nullptr;
}

void FirstStart::buildOn(Database& db, const QString& folder, const FirstStartAnswer& answer, const QDate& today)
{
    switch (answer.choice) {
    case FirstStartAnswer::Choice::Create: {
        NewEstate e = checked(answer.estate);
        e.password = PasswordHash::hash(e.password);  // a server keeps no password in clear
        DataFile::createOn(db, [&e](Database& d) { DataFile::fillNew(d, e); });
        break;
    }
    case FirstStartAnswer::Choice::Demo:
        DemoEstate::createOn(db, folder, today);
        break;
    case FirstStartAnswer::Choice::Decline:
    case FirstStartAnswer::Choice::Server:
        break;
    }
}

QString FirstStart::noServerTablesText(const QString& server)
{
    return QStringLiteral("数据库服务器上的数据库 %1 中还没有本系统的数据表。\n"
                          "可以在这里建立一个新的数据库,或者建立一个演示小区先试用本系统。")
        .arg(server);
}

QString FirstStart::serverDemoText(const QString& server)
{
    return QStringLiteral("演示小区已经建立在数据库服务器上的数据库 %1 中,其中的住户和账单都是演示数据。\n"
                          "登录时可以选:\n"
                          "  %2  密码 %3 (全部功能)\n"
                          "  %4  密码 %5 (只能收费和查询)\n"
                          "试用后请管理员清空这个数据库 (删除其中的数据表),再次启动时即可建立正式的数据库。")
        .arg(server, DemoEstate::adminName(), DemoEstate::password(), DemoEstate::clerkName(), DemoEstate::password());
}

QString FirstStart::demoText(const QString& folder)
{
    return QStringLiteral("演示小区已经建立,其中的住户和账单都是演示数据。\n"
                          "登录时可以选:\n"
                          "  %1  密码 %2 (全部功能)\n"
                          "  %3  密码 %4 (只能收费和查询)\n"
                          "试用后删除文件夹 %5 中的 data.dat,再次启动时即可建立正式的数据库。")
        .arg(DemoEstate::adminName(), DemoEstate::password(), DemoEstate::clerkName(), DemoEstate::password(),
             QDir::toNativeSeparators(folder));
}
