#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The about box (frmSplash): name, version, maker and rights. Any key, a click on
// its frame or "关闭" closes it.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(const QString& appTitle, QWidget* parent = nullptr);

    // "2016.9.15": the program's version numbers, each as a plain decimal.
    static QString versionNumber();
    static QString makerCredit();
    static QString makerName();
    static QString rightsHolder();

    QLabel* label(const QString& name) const;
    QFrame* frame() const { return frame_; }
    QPushButton* closeButton() const { return close_; }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QFrame* frame_;
    QPushButton* close_;
};
