#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>

class QAction;
class QMdiArea;
class QMenu;
class QToolBar;
class WindowRegistry;
struct Services;

// The main frame (frm_main): menus, tool bar and the working windows, each opened
// once through the window registry and brought to the front when opened again.
class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    MainFrame(Services& services, const WindowRegistry& registry, QWidget* parent = nullptr);
    ~MainFrame() override;

    // Switches off the items an operator of this level may not use ("B" only).
    void applyLevel(const QString& level);

    // Opens the window, or brings the open one to the front.
    void openWindow(const QString& name);
    // The open window of that name, or nullptr.
    QWidget* openedWindow(const QString& name) const;
    QStringList openedWindows() const;

    // A menu or menu item by its name (menu_1, menu_1_1, ...); for a menu with
    // items, the action that stands for it in the menu bar.
    QAction* item(const QString& name) const;
    // A tool-bar button by its key (key1 ... key5).
    QAction* toolButton(const QString& key) const;
    QStringList itemNames() const;
    QStringList toolKeys() const;
    QToolBar* toolBar() const { return toolBar_; }
    QMdiArea* mdiArea() const { return mdi_; }

    // The action of a tool-bar button, by its key.
    void dispatchKey(const QString& key);

    // Ends the program at once, without the windows' closing steps.
    std::function<void()> quit;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Entry {
        QString name;     // menu item name or tool-bar key
        QString window;   // the window it opens; empty for the exits
        QAction* action;
    };
    QAction* addEntry(QList<Entry>& list, QAction* action, const QString& name, const QString& window);
    void updateEnabled();
    void bringToFront(QWidget* w);
    void end();

    Services& services_;
    const WindowRegistry& registry_;
    QMdiArea* mdi_;
    QToolBar* toolBar_;
    QList<Entry> items_;
    QList<Entry> keys_;
    QHash<QString, QAction*> menus_;  // menu_1, menu_2 -> menu actions
    QStringList restricted_;
    QHash<QString, QPointer<QWidget>> open_;
};
