#pragma once

#include "common/services.h"

#include <QList>
#include <QString>
#include <functional>

class QWidget;

// How the main frame shows a window.
enum class ShowAs { ChildMaximized, Child, Separate };

struct WindowEntry {
    QString name;     // "frm_档案录入", "frm_档案查找", ...
    ShowAs showAs = ShowAs::Child;
    std::function<QWidget*(Services&)> create;
};

// The windows the main frame can open, registered by each subsystem.
class WindowRegistry {
public:
    void add(WindowEntry entry) { entries_.append(std::move(entry)); }
    const WindowEntry* find(const QString& name) const
    {
        for (const WindowEntry& s : entries_)
            if (s.name == name)
                return &s;
        return nullptr;
    }
    const QList<WindowEntry>& entries() const { return entries_; }

private:
    QList<WindowEntry> entries_;
};
