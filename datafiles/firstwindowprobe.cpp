#include "firstwindowprobe.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {

class FirstWindowProbe : public QObject {
public:
    explicit FirstWindowProbe(QString picture) : picture_(std::move(picture)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && !seen_) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && w->isWindow() && w->windowType() != Qt::ToolTip && w->windowType() != Qt::Popup) {
                seen_ = true;
                QPointer<QWidget> window(w);
                // Let the window lay itself out and paint once.
                QTimer::singleShot(300, this, [this, window] { report(window); });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void report(QWidget* w)
    {
        if (w) {
            std::printf("window=%s\ntitle=%s\n", qPrintable(w->objectName()), qPrintable(w->windowTitle()));
            if (const QVariant folder = w->property("dataFolder"); folder.isValid())
                std::printf("folder=%s\n", qPrintable(folder.toString()));
            for (const QLabel* label : w->findChildren<QLabel*>())
                if (!label->text().isEmpty())
                    std::printf("label=%s\n", qPrintable(label->text().replace(QLatin1Char('\n'), QLatin1Char(' '))));
            if (picture_.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
                std::printf("picture=%s\n", w->grab().save(picture_) ? qPrintable(picture_) : "failed");
        }
        std::fflush(stdout);
        std::_Exit(w ? 0 : 1);
    }

    QString picture_;
    bool seen_ = false;
};

}  // namespace

void installFirstWindowProbe()
{
    if (!qEnvironmentVariableIsSet("FENWARY_FIRST_WINDOW") || !qApp)
        return;
    qApp->installEventFilter(new FirstWindowProbe(qEnvironmentVariable("FENWARY_FIRST_WINDOW")));
}
