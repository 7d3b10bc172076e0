#include "common/qtprompter.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon boxIcon(Prompter::Icon icon)
{
    switch (icon) {
    case Prompter::Icon::Information: return QMessageBox::Information;
    case Prompter::Icon::Exclamation: return QMessageBox::Warning;
    case Prompter::Icon::Critical: return QMessageBox::Critical;
    case Prompter::Icon::Question: return QMessageBox::Question;
    case Prompter::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

// A two-button question; the button texts come from Qt's translation.
bool ask(QWidget* parent, const QString& text, const QString& title, Prompter::Default preset,
         Prompter::Icon icon, QMessageBox::StandardButton accept, QMessageBox::StandardButton decline)
{
    QMessageBox box(boxIcon(icon), title, text, accept | decline, parent);
    box.setDefaultButton(preset == Prompter::Default::Accept ? accept : decline);
    box.setEscapeButton(decline);
    return box.exec() == accept;
}

} // namespace

void QtPrompter::inform(const QString& text, const QString& title, Icon icon)
{
    QMessageBox box(boxIcon(icon), titleOf(title), text, QMessageBox::Ok, parent_);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

bool QtPrompter::askYesNo(const QString& text, const QString& title, Default preset, Icon icon)
{
    return ask(parent_, text, titleOf(title), preset, icon, QMessageBox::Yes, QMessageBox::No);
}

bool QtPrompter::askOkCancel(const QString& text, const QString& title, Default preset, Icon icon)
{
    return ask(parent_, text, titleOf(title), preset, icon, QMessageBox::Ok, QMessageBox::Cancel);
}

std::optional<QString> QtPrompter::input(const QString& prompt, const QString& title,
                                         const QString& offered)
{
    QInputDialog dialog(parent_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(titleOf(title));
    dialog.setLabelText(prompt);
    dialog.setTextValue(offered);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> QtPrompter::secret(const QString& prompt, const QString& title)
{
    QInputDialog dialog(parent_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setWindowTitle(titleOf(title));
    dialog.setLabelText(prompt);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}
