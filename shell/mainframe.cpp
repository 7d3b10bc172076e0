#include "shell/mainframe.h"

#include "common/prompter.h"
#include "shell/login.h"
#include "common/services.h"
#include "common/windowregistry.h"
#include "store/binder.h"
#include "store/database.h"
#include "shell/connectionbar.h"
#include "store/dataenvironment.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QPainter>
#include <QPainterPath>
#include <QToolBar>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

// The client area's background: a quiet gradient with the product name.
class BackdropArea : public QMdiArea {
public:
    using QMdiArea::QMdiArea;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(viewport());
        p.setRenderHint(QPainter::Antialiasing);
        const QRect r = viewport()->rect();
        QLinearGradient g(r.topLeft(), r.bottomRight());
        g.setColorAt(0, QColor(0x1f, 0x4e, 0x79));
        g.setColorAt(0.55, QColor(0x2e, 0x75, 0x8f));
        g.setColorAt(1, QColor(0x6f, 0xa8, 0x8c));
        p.fillRect(r, g);

        // A few roof lines of an estate along the bottom.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 22));
        const int base = r.bottom() + 1;
        const int w = std::max(r.width(), 1);
        QPainterPath skyline;
        skyline.moveTo(0, base);
        const int heights[] = {120, 180, 150, 220, 140, 200, 160, 110};
        const int n = int(std::size(heights));
        for (int i = 0; i < n; ++i) {
            const int x0 = w * i / n;
            const int x1 = w * (i + 1) / n - 8;
            skyline.lineTo(x0, base - heights[i]);
            skyline.lineTo(x1, base - heights[i]);
            skyline.lineTo(x1, base);
        }
        skyline.lineTo(w, base);
        skyline.closeSubpath();
        p.drawPath(skyline);

        QFont big = font();
        big.setPointSizeF(std::clamp(r.width() / 22.0, 18.0, 54.0));
        big.setBold(true);
        p.setFont(big);
        p.setPen(QColor(255, 255, 255, 215));
        const QRect title(r.left(), r.top() + r.height() / 3 - 40, r.width(), 90);
        p.drawText(title, Qt::AlignCenter, QStringLiteral("Fenwary"));
        QFont small = font();
        small.setPointSizeF(std::clamp(r.width() / 60.0, 10.0, 20.0));
        p.setFont(small);
        p.setPen(QColor(255, 255, 255, 180));
        p.drawText(QRect(r.left(), title.bottom() + 4, r.width(), 40), Qt::AlignCenter,
                   QStringLiteral("小区物业收费管理系统"));
    }
};

// A tool-bar picture: a rounded tile with one character.
QIcon tileIcon(const QString& glyph, const QColor& color)
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 12, 12);
    QFont f = p.font();
    f.setPixelSize(34);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(4, 2, 56, 56), Qt::AlignCenter, glyph);
    p.end();
    return QIcon(pm);
}

}  // namespace

MainFrame::MainFrame(Services& services, const WindowRegistry& registry, QWidget* parent)
    : QMainWindow(parent), services_(services), registry_(registry)
{
    setObjectName(QStringLiteral("frm_main"));
    setWindowTitle(services_.app.appTitle);
    QGuiApplication::setWindowIcon(tileIcon(QStringLiteral("费"), QColor(0x1f, 0x4e, 0x79)));
    quit = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };

    mdi_ = new BackdropArea(this);
    mdi_->setObjectName(QStringLiteral("MDIArea"));
    setCentralWidget(mdi_);

    QMenuBar* bar = menuBar();
    QMenu* m1 = bar->addMenu(QStringLiteral("缴费管理"));
    m1->setObjectName(QStringLiteral("menu_1"));
    m1->menuAction()->setObjectName(QStringLiteral("menu_1"));
    menus_.insert(QStringLiteral("menu_1"), m1->menuAction());
    addEntry(items_, m1->addAction(QStringLiteral("缴费录入")), QStringLiteral("menu_1_1"), QStringLiteral("frm_缴费录入"))
        ->setShortcut(Qt::Key_F2);
    addEntry(items_, m1->addAction(QStringLiteral("缴费打印")), QStringLiteral("menu_1_2"), QStringLiteral("frm_缴费打印"))
        ->setShortcut(Qt::Key_F3);
    addEntry(items_, m1->addAction(QStringLiteral("缴费项目设置")), QStringLiteral("menu_1_3"),
             QStringLiteral("frm_项目维护"));
    addEntry(items_, m1->addAction(QStringLiteral("收款日报")), QStringLiteral("menu_1_4"), QStringLiteral("frm_收款日报"));
    addEntry(items_, m1->addAction(QStringLiteral("账务核对")), QStringLiteral("menu_1_5"), QStringLiteral("frm_账务核对"));
    addEntry(items_, m1->addAction(QStringLiteral("欠费一览")), QStringLiteral("menu_1_6"), QStringLiteral("frm_欠费一览"));
    addEntry(items_, m1->addAction(QStringLiteral("收费汇总")), QStringLiteral("menu_1_7"), QStringLiteral("frm_收费汇总"));
    addEntry(items_, m1->addAction(QStringLiteral("抄表录入")), QStringLiteral("menu_1_8"), QStringLiteral("frm_抄表录入"));
    addEntry(items_, bar->addAction(QStringLiteral("缴费查询")), QStringLiteral("menu_5"), QStringLiteral("frm_查询"))
        ->setShortcut(Qt::Key_F4);
    QMenu* m2 = bar->addMenu(QStringLiteral("档案管理"));
    m2->setObjectName(QStringLiteral("menu_2"));
    m2->menuAction()->setObjectName(QStringLiteral("menu_2"));
    menus_.insert(QStringLiteral("menu_2"), m2->menuAction());
    addEntry(items_, m2->addAction(QStringLiteral("档案录入")), QStringLiteral("menu_2_1"), QStringLiteral("frm_档案录入"))
        ->setShortcut(Qt::Key_F5);
    addEntry(items_, m2->addAction(QStringLiteral("档案清理")), QStringLiteral("menu_2_2"), QStringLiteral("数据清理"));
    addEntry(items_, bar->addAction(QStringLiteral("系统设置")), QStringLiteral("menu_3"), QStringLiteral("FRM_系统设置"));
    addEntry(items_, bar->addAction(QStringLiteral("关于")), QStringLiteral("menu"), QStringLiteral("frmSplash"));
    addEntry(items_, bar->addAction(QStringLiteral("退出系统")), QStringLiteral("menu_4"), QString());

    toolBar_ = addToolBar(QStringLiteral("Toolbar1"));
    toolBar_->setObjectName(QStringLiteral("Toolbar1"));
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolBar_->setIconSize(QSize(32, 32));
    struct Button {
        const char* key;
        QString text;
        QString glyph;
        QColor color;
        QString window;
    };
    const Button buttons[] = {
        {"key4", QStringLiteral("缴费打印"), QStringLiteral("收"), QColor(0x2e, 0x7d, 0x32), QStringLiteral("frm_缴费打印")},
        {"key5", QStringLiteral("缴费查询"), QStringLiteral("查"), QColor(0x15, 0x65, 0xc0), QStringLiteral("frm_查询")},
        {"key3", QStringLiteral("缴费录入"), QStringLiteral("录"), QColor(0xef, 0x6c, 0x00), QStringLiteral("frm_缴费录入")},
        {"key1", QStringLiteral("档案录入"), QStringLiteral("档"), QColor(0x6a, 0x1b, 0x9a), QStringLiteral("frm_档案录入")},
        {"key2", QStringLiteral("退出程序"), QStringLiteral("退"), QColor(0xc6, 0x28, 0x28), QString()},
        {"key6", QStringLiteral("欠费一览"), QStringLiteral("欠"), QColor(0xad, 0x14, 0x57), QStringLiteral("frm_欠费一览")},
    };
    for (const Button& b : buttons) {
        QAction* a = toolBar_->addAction(tileIcon(b.glyph, b.color), b.text);
        const QString key = QString::fromLatin1(b.key);
        a->setProperty("key", key);
        addEntry(keys_, a, key, b.window);
        connect(a, &QAction::triggered, this, [this, a] { dispatchKey(a->property("key").toString()); });
    }

    // On a server: the lost connection, told at the foot of the frame until it is back.
    if (services_.data.db().engine() == Database::Engine::Server) {
        auto* connection = new ConnectionBar(services_.data.db(), this);
        statusBar()->addWidget(connection, 1);
        statusBar()->setSizeGripEnabled(false);
        statusBar()->hide();
        connect(connection, &ConnectionBar::shownOrHidden, statusBar(), &QStatusBar::setVisible);
    }

    services_.openWindow = [this](const QString& name) { openWindow(name); };
    updateEnabled();
}

MainFrame::~MainFrame()
{
    services_.openWindow = [](const QString&) {};
    // The windows are destroyed with the frame; their frames need no closing then.
    for (const QPointer<QWidget>& w : std::as_const(open_))
        if (w)
            disconnect(w, nullptr, this, nullptr);
}

QAction* MainFrame::addEntry(QList<Entry>& list, QAction* action, const QString& name, const QString& window)
{
    action->setObjectName(name);
    list.append({name, window, action});
    if (&list == &items_) {
        connect(action, &QAction::triggered, this, [this, window] {
            if (window.isEmpty())
                end();
            else
                openWindow(window);
        });
    }
    return action;
}

void MainFrame::dispatchKey(const QString& key)
{
    for (const Entry& e : std::as_const(keys_)) {
        if (e.name != key)
            continue;
        if (!e.action->isEnabled())
            return;
        if (e.window.isEmpty())
            end();
        else
            openWindow(e.window);
        return;
    }
}

void MainFrame::end()
{
    // No closing steps and no question, but what the operator typed is kept: the
    // pending edits of every record set go to the file in one transaction first.
    // A number box still holding a text that is not a number stops the end, named.
    if (!Binder::checkAll(this))
        return;
    try {
        services_.data.writeAllPending();
    } catch (const StoreError& e) {
        const QString text = QStringLiteral("退出前保存未存的修改失败:\n%1\n\n这些修改没有写入数据库。仍然退出吗?").arg(e.message());
        if (!services_.prompter.askYesNo(text, services_.app.appTitle))
            return;
    }
    if (quit)
        quit();
}

void MainFrame::applyLevel(const QString& level)
{
    restricted_.clear();
    if (Login::isRestricted(level))
        restricted_ = {QStringLiteral("key3"),   QStringLiteral("key1"),   QStringLiteral("menu_1_1"),
                       QStringLiteral("menu_1_3"), QStringLiteral("menu_2"), QStringLiteral("menu_2_1"),
                       QStringLiteral("menu_2_2"), QStringLiteral("menu_3"),     QStringLiteral("menu_1_5"),
                       QStringLiteral("menu_1_8")};
    updateEnabled();
}

void MainFrame::updateEnabled()
{
    // An item is usable when its window exists in this build and the level allows it.
    for (const QList<Entry>* list : {&items_, &keys_})
        for (const Entry& e : *list)
            e.action->setEnabled(!restricted_.contains(e.name) &&
                                 (e.window.isEmpty() || registry_.find(e.window) != nullptr));
    for (auto it = menus_.cbegin(); it != menus_.cend(); ++it)
        it.value()->setEnabled(!restricted_.contains(it.key()));
}

QAction* MainFrame::item(const QString& name) const
{
    if (QAction* m = menus_.value(name))
        return m;
    for (const Entry& e : items_)
        if (e.name == name)
            return e.action;
    return nullptr;
}

QAction* MainFrame::toolButton(const QString& key) const
{
    for (const Entry& e : keys_)
        if (e.name == key)
            return e.action;
    return nullptr;
}

QStringList MainFrame::itemNames() const
{
    QStringList names = {QStringLiteral("menu_1"), QStringLiteral("menu_2")};
    for (const Entry& e : items_)
        names << e.name;
    return names;
}

QStringList MainFrame::toolKeys() const
{
    QStringList keys;
    for (const Entry& e : keys_)
        keys << e.name;
    return keys;
}

QWidget* MainFrame::openedWindow(const QString& name) const
{
    return open_.value(name).data();
}

QStringList MainFrame::openedWindows() const
{
    QStringList names;
    for (auto it = open_.cbegin(); it != open_.cend(); ++it)
        if (it.value())
            names << it.key();
    names.sort();
    return names;
}

void MainFrame::openWindow(const QString& name)
{
    if (QWidget* w = openedWindow(name)) {
        bringToFront(w);
        return;
    }
    const WindowEntry* entry = registry_.find(name);
    if (!entry || !entry->create)
        return;
    QWidget* w = nullptr;
    try {
        w = entry->create(services_);
    } catch (const StoreError& e) {
        services_.prompter.inform(QStringLiteral("无法打开窗口 %1: %2").arg(name, e.message()), services_.app.appTitle,
                                  Prompter::Icon::Critical);
        return;
    } catch (const std::exception& e) {
        services_.prompter.inform(QStringLiteral("无法打开窗口 %1: %2").arg(name, QString::fromLocal8Bit(e.what())),
                                  services_.app.appTitle, Prompter::Icon::Critical);
        return;
    }
    if (!w)
        return;
    w->setAttribute(Qt::WA_DeleteOnClose);
    open_.insert(name, w);

    if (entry->showAs == ShowAs::Separate) {
        Qt::WindowFlags flags = w->windowFlags();
        if (!(flags & Qt::Window))
            flags |= Qt::Window;
        w->setParent(this, flags);
        w->show();
        w->raise();
        w->activateWindow();
        return;
    }
    // A window that chose its own title-bar buttons keeps them inside the frame.
    const Qt::WindowFlags own = w->windowFlags();
    const QSize wanted = w->testAttribute(Qt::WA_Resized) ? w->size() : w->sizeHint();
    QMdiSubWindow* sub = mdi_->addSubWindow(
        w, (own & Qt::CustomizeWindowHint) ? (own & ~Qt::WindowType_Mask) | Qt::SubWindow : Qt::WindowFlags());
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // The window closed itself (its own close button): the frame around it goes too.
    connect(w, &QObject::destroyed, this, [sub = QPointer<QMdiSubWindow>(sub)] {
        if (sub)
            sub->close();
    });
    if (entry->showAs == ShowAs::ChildMaximized)
        sub->showMaximized();
    else {
        sub->show();
        // The window's own size, plus the frame's border and title bar.
        if (wanted.isValid())
            sub->resize(wanted + (sub->size() - w->size()));
    }
    mdi_->setActiveSubWindow(sub);
}

void MainFrame::bringToFront(QWidget* w)
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) {
        if (sub->isMinimized())
            sub->showNormal();
        mdi_->setActiveSubWindow(sub);
        sub->raise();
        return;
    }
    if (w->isMinimized())
        w->showNormal();
    w->show();
    w->raise();
    w->activateWindow();
}

void MainFrame::closeEvent(QCloseEvent* event)
{
    // Closing the frame closes its windows first, each with its own closing steps.
    for (const QPointer<QWidget>& w : open_.values()) {
        if (!w)
            continue;
        if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget()))
            sub->close();
        else
            w->close();
    }
    for (const QPointer<QWidget>& w : std::as_const(open_)) {
        if (w && w->isVisible()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}
