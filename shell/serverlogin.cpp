#include "shell/serverlogin.h"

#include "common/prompter.h"
#include "store/database.h"
#include "store/databasechoice.h"

namespace ServerLogin {

std::unique_ptr<Database> connect(const QString& conninfo, Prompter& prompter, const QString& title)
{
    QString password;
    for (int asked = 0;; ++asked) {
        try {
            return Database::connect(conninfo, password);
        } catch (const StoreError& e) {
            if (e.sqlState() != QLatin1String("28P01") || asked == 3)
                throw;
            const QString prompt =
                asked == 0 ? QStringLiteral("数据库服务器 %1 要求输入密码。\n密码:").arg(DatabaseChoice::describe(conninfo))
                           : QStringLiteral("%1\n\n请重新输入密码:").arg(e.message());
            const std::optional<QString> typed = prompter.secret(prompt, title);
            if (!typed)
                return nullptr;
            password = *typed;
        }
    }
}

}  // namespace ServerLogin
