#pragma once

#include "shell/firststart.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The first-start dialog: no data.dat in the program folder. The operator makes
// a new estate (first operator, password, receipt name), the demo estate, or ends.
class FirstStartDialog : public QDialog {
    Q_OBJECT
public:
    // `server` names the empty server database of a first start there; empty for
    // a folder without data.dat (then the server is a third choice).
    explicit FirstStartDialog(const QString& folder, const QString& server = QString(), QWidget* parent = nullptr);

    FirstStartAnswer answer() const { return answer_; }

    QLineEdit* operatorBox() const { return operator_; }
    QLineEdit* passwordBox() const { return password_; }
    QLineEdit* receiptNameBox() const { return receiptName_; }
    QPushButton* createButton() const { return create_; }
    QPushButton* demoButton() const { return demo_; }
    QPushButton* declineButton() const { return decline_; }
    QPushButton* serverButton() const { return server_; }
    QLabel* problemLabel() const { return problem_; }

    // Shows the dialog and returns the operator's choice.
    static FirstStartAnswer ask(const QString& folder, const QString& server = QString());

private:
    void chooseCreate();
    void chooseServer();

    FirstStartAnswer answer_;
    QLineEdit* operator_;
    QLineEdit* password_;
    QLineEdit* receiptName_;
    QLabel* problem_;
    QPushButton* create_;
    QPushButton* demo_;
    QPushButton* decline_;
    QPushButton* server_ = nullptr;
};
