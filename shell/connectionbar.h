#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>

class Database;
class QLabel;
class QPushButton;
class QTimer;

// Shown while the connection to the database server is lost: which server, since
// when, and a button to try at once; it tries by itself every few seconds and hides
// when the connection is back (the database then has every window read again).
class ConnectionBar : public QWidget {
    Q_OBJECT
public:
    explicit ConnectionBar(Database& db, QWidget* parent = nullptr);
    ~ConnectionBar() override;

    static constexpr int RetryMs = 5000;
    static QString lostText(const QString& server, const QDateTime& since, const QDateTime& lastTry);

    // One attempt to reconnect; true when the connection is up.
    bool tryNow();

signals:
    void shownOrHidden(bool lost);

private:
    void update(bool up);

    Database& db_;
    QLabel* text_;
    QPushButton* button_;
    QTimer* timer_;
    QDateTime lastTry_;
    int listener_ = 0;
};
