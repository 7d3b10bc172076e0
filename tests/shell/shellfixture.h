#pragma once

#include "shell/shellwindows.h"
#include "common/windowregistry.h"

#include <QCloseEvent>
#include <QDir>
#include <QHash>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

// Stand-ins for the subsystems' windows: they count how often they were made and
// how often their closing steps ran.
struct WindowLog {
    QHash<QString, int> created;
    QHash<QString, int> closed;
};

class StandInWindow : public QWidget {
public:
    StandInWindow(const QString& name, WindowLog& log) : name_(name), log_(log)
    {
        setObjectName(name);
        setWindowTitle(name);
        auto* lay = new QVBoxLayout(this);
        lay->addWidget(new QLabel(name, this));
        ++log_.created[name];
    }

protected:
    void closeEvent(QCloseEvent* e) override
    {
        ++log_.closed[name_];
        e->accept();
    }

private:
    QString name_;
    WindowLog& log_;
};

// Every window the main frame opens: the shell's own and stand-ins for the rest.
inline WindowRegistry fullRegistry(WindowLog& log)
{
    WindowRegistry r;
    registerShellWindows(r);
    const QList<QPair<QString, ShowAs>> others = {
        {QStringLiteral("frm_档案录入"), ShowAs::ChildMaximized}, {QStringLiteral("frm_缴费录入"), ShowAs::ChildMaximized},
        {QStringLiteral("frm_缴费打印"), ShowAs::ChildMaximized}, {QStringLiteral("frm_查询"), ShowAs::ChildMaximized},
        {QStringLiteral("frm_项目维护"), ShowAs::Separate},      {QStringLiteral("数据清理"), ShowAs::Child},
        {QStringLiteral("frm_欠费一览"), ShowAs::ChildMaximized}, {QStringLiteral("frm_收费汇总"), ShowAs::ChildMaximized},
        {QStringLiteral("frm_收款日报"), ShowAs::ChildMaximized}, {QStringLiteral("frm_账务核对"), ShowAs::ChildMaximized},
        {QStringLiteral("frm_抄表录入"), ShowAs::ChildMaximized},
    };
    for (const auto& [name, how] : others)
        r.add({name, how, [&log, name = name](Services&) -> QWidget* { return new StandInWindow(name, log); }});
    return r;
}

inline void saveShot(QWidget* w, const QString& file)
{
    const QString dir = qEnvironmentVariable("FENWARY_SHOTS");
    if (dir.isEmpty() || !w)
        return;
    QDir().mkpath(dir);
    w->grab().save(QDir(dir).filePath(file));
}
