#include "records/searchwindow.h"

#include "common/prompter.h"
#include "records/householdsearch.h"
#include "common/services.h"
#include "store/database.h"
#include "store/dataenvironment.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>

SearchWindow::SearchWindow(Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      services_(services)
{
    setObjectName(QStringLiteral("frm_档案查找"));
    setWindowTitle(QStringLiteral("档案查找"));

    auto* label = new QLabel(QStringLiteral("查找内容:"), this);
    text_ = new QLineEdit(this);
    text_->setObjectName(QStringLiteral("txt门牌号"));
    auto button = [this](const QString& name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    start_ = button(QStringLiteral("Command4"), QStringLiteral("开始查找"));
    previous_ = button(QStringLiteral("Command3"), QStringLiteral("上一个"));
    next_ = button(QStringLiteral("Command2"), QStringLiteral("下一个"));
    close_ = button(QStringLiteral("Command1"), QStringLiteral("关闭"));

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(text_, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {start_, previous_, next_, close_})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    // 5200 x 2000 twips at 96 dots per inch.
    resize(347, 133);

    connect(text_, &QLineEdit::returnPressed, this, &SearchWindow::startSearch);
    connect(start_, &QPushButton::clicked, this, &SearchWindow::startSearch);
    connect(next_, &QPushButton::clicked, this, &SearchWindow::findNext);
    connect(previous_, &QPushButton::clicked, this, &SearchWindow::findPrevious);
    connect(close_, &QPushButton::clicked, this, [this] {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->close();
        else
            close();
    });
}

template <typename Step>
void SearchWindow::run(Step step)
{
    try {
        HouseholdSearch search(services_.data.rs档案());
        const QString message = step(search, text_->text());
        if (!message.isEmpty())
            services_.prompter.inform(message, services_.app.appTitle);
    } catch (const StoreError& e) {
        services_.prompter.inform(QStringLiteral("当前档案未能保存，查找没有进行：") + e.message(),
                                  services_.app.appTitle, Prompter::Icon::Exclamation);
    }
}

void SearchWindow::startSearch()
{
    run([](HouseholdSearch& s, const QString& t) { return s.start(t); });
}

void SearchWindow::findNext()
{
    run([](HouseholdSearch& s, const QString& t) { return s.next(t); });
}

void SearchWindow::findPrevious()
{
    run([](HouseholdSearch& s, const QString& t) { return s.previous(t); });
}
