#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

// Names a server database: host, port, database and user. The password is not
// asked here: the program asks for it when it connects, or libpq takes it from
// ~/.pgpass or a service file.
class ServerDialog : public QDialog {
    Q_OBJECT
public:
    explicit ServerDialog(QWidget* parent = nullptr);

    // The libpq connection string of the entries (after accept()).
    QString conninfo() const { return conninfo_; }

    QLineEdit* hostBox() const { return host_; }
    QLineEdit* portBox() const { return port_; }
    QLineEdit* databaseBox() const { return database_; }
    QLineEdit* userBox() const { return user_; }
    QLabel* problemLabel() const { return problem_; }
    void choose();

private:
    QLineEdit* host_;
    QLineEdit* port_;
    QLineEdit* database_;
    QLineEdit* user_;
    QLabel* problem_;
    QString conninfo_;
};
