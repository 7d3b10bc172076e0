#include "shell/connectionbar.h"

#include "store/database.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

ConnectionBar::ConnectionBar(Database& db, QWidget* parent) : QWidget(parent), db_(db)
{
    setObjectName(QStringLiteral("ConnectionBar"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xff, 0xeb, 0xee));
    pal.setColor(QPalette::WindowText, QColor(0xb7, 0x1c, 0x1c));
    setPalette(pal);
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("lblConnection"));
    text_->setWordWrap(true);
    button_ = new QPushButton(QStringLiteral("立即重新连接"), this);
    button_->setObjectName(QStringLiteral("cmdReconnect"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->addWidget(text_, 1);
    row->addWidget(button_);
    timer_ = new QTimer(this);
    timer_->setInterval(RetryMs);
    connect(timer_, &QTimer::timeout, this, &ConnectionBar::tryNow);
    connect(button_, &QPushButton::clicked, this, &ConnectionBar::tryNow);
    // The listener only shows the state: statements wait for the event loop.
    listener_ = db_.addConnectionListener([this](bool up) { QTimer::singleShot(0, this, [this, up] { update(up); }); });
    hide();
}

ConnectionBar::~ConnectionBar()
{
    db_.removeConnectionListener(listener_);
}

QString ConnectionBar::lostText(const QString& server, const QDateTime& since, const QDateTime& lastTry)
{
    QString text = QStringLiteral("与数据库服务器 %1 的连接自 %2 起已断开，正在每 %3 秒自动重新连接。"
                                  "已录入但未保存的内容仍保留在窗口中，连上后再保存。")
                       .arg(server, since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                       .arg(RetryMs / 1000);
    if (lastTry.isValid())
        text += QStringLiteral("（%1 的尝试没有连上）").arg(lastTry.toString(QStringLiteral("HH:mm:ss")));
    return text;
}

bool ConnectionBar::tryNow()
{
    if (db_.reconnect()) {
        update(true);
        return true;
    }
    lastTry_ = QDateTime::currentDateTime();
    update(false);
    return false;
}

void ConnectionBar::update(bool up)
{
    up = up && !db_.connectionLost();
    if (up) {
        timer_->stop();
        lastTry_ = QDateTime();
        if (isVisible()) {
            hide();
            emit shownOrHidden(false);
        }
        return;
    }
    text_->setText(lostText(db_.serverName(), db_.lostSince(), lastTry_));
    if (!timer_->isActive())
        timer_->start();
    if (!isVisible()) {
        show();
        emit shownOrHidden(true);
    }
}
