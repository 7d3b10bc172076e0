#pragma once

#include "shell/services.h"

#include <QList>
#include <QString>
#include <functional>

class QWidget;

// How the main frame shows a window.
enum class ShowAs { ChildMaximized, Child, Separate };

struct WindowSpec {
    QString name;     // "frm_档案录入", "frm_档案查找", ...
    ShowAs showAs = ShowAs::Child;
    std::function<QWidget*(Services&)> create;
};

// The windows the main frame can open, registered by each subsystem.
class WindowRegistry {
public:
    void add(WindowSpec spec) { specs_.append(std::move(spec)); }
    const WindowSpec* find(const QString& name) const
    {
        for (const WindowSpec& s : specs_)
            if (s.name == name)
                return &s;
        return nullptr;
    }
    const QList<WindowSpec>& specs() const { return specs_; }

private:
    QList<WindowSpec> specs_;
};
