#pragma once

#include "common/prompter.h"

#include <QPointer>
#include <QWidget>

// Message and input boxes of the window system. Enter presses the question's
// preset button; Escape answers No / Cancel. An empty title shows the default
// title. The button texts are Qt's own, in the language of the translation that
// installQtTranslation() loaded.
class QtPrompter : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}

    void setParent(QWidget* parent) { parent_ = parent; }
    QWidget* parent() const { return parent_; }
    void setDefaultTitle(const QString& title) { defaultTitle_ = title; }
    QString defaultTitle() const { return defaultTitle_; }

    void inform(const QString& text, const QString& title, Icon icon = Icon::Information) override;
    bool askYesNo(const QString& text, const QString& title, Default preset = Default::Accept,
                  Icon icon = Icon::Question) override;
    bool askOkCancel(const QString& text, const QString& title, Default preset = Default::Accept,
                     Icon icon = Icon::Question) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& offered) override;
    std::optional<QString> secret(const QString& prompt, const QString& title) override;

private:
    QString titleOf(const QString& title) const { return title.isEmpty() ? defaultTitle_ : title; }

    QPointer<QWidget> parent_;
    QString defaultTitle_ = QStringLiteral("Fenwary");
};
