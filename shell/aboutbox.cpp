#include "shell/aboutbox.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPixmap logo()
{
    QPixmap pm(96, 96);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 96, 96);
    g.setColorAt(0, QColor(0x1f, 0x4e, 0x79));
    g.setColorAt(1, QColor(0x6f, 0xa8, 0x8c));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(4, 4, 88, 88), 18, 18);
    // A house with a coin window.
    p.setBrush(Qt::white);
    QPolygonF roof;
    roof << QPointF(48, 18) << QPointF(80, 46) << QPointF(16, 46);
    p.drawPolygon(roof);
    p.drawRect(QRectF(24, 46, 48, 32));
    p.setBrush(QColor(0xf2, 0xb1, 0x34));
    p.drawEllipse(QPointF(48, 61), 10, 10);
    return pm;
}

}  // namespace

QString AboutBox::versionNumber()
{
    return QStringLiteral("%1.%2.%3").arg(FENWARY_VERSION_MAJOR).arg(FENWARY_VERSION_MINOR).arg(FENWARY_VERSION_PATCH);
}

QString AboutBox::makerCredit()
{
    return QStringLiteral("Fenwary 开发组");
}

QString AboutBox::makerName()
{
    return QStringLiteral("Fenwary 开发组");
}

QString AboutBox::rightsHolder()
{
    return QStringLiteral("Fenwary 开发组");
}

AboutBox::AboutBox(const QString& appTitle, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("关于 %1").arg(appTitle));
    setFocusPolicy(Qt::StrongFocus);

    frame_ = new QFrame(this);
    frame_->setObjectName(QStringLiteral("Frame1"));
    frame_->setFrameShape(QFrame::StyledPanel);
    frame_->installEventFilter(this);

    auto* img = new QLabel(frame_);
    img->setObjectName(QStringLiteral("imgLogo"));
    img->setPixmap(logo());
    img->setAlignment(Qt::AlignTop);

    const auto make = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, frame_);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    QLabel* product = make("lblProductName", QStringLiteral("系统名称:") + appTitle);
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    product->setFont(big);
    QLabel* version = make("lblVersion", QStringLiteral("版本号:") + versionNumber());
    QLabel* credit = make("lblWarning", QStringLiteral("制作:") + makerCredit());
    QLabel* company = make("lblCompanyProduct", makerName() + QStringLiteral("出品"));
    QLabel* rights = make("lblCopyright", QStringLiteral("版权所有: ") + rightsHolder());

    auto* texts = new QVBoxLayout;
    texts->setSpacing(8);
    texts->addWidget(product);
    texts->addWidget(version);
    texts->addSpacing(6);
    texts->addWidget(credit);
    texts->addWidget(company);
    texts->addWidget(rights);
    texts->addStretch(1);

    auto* inner = new QHBoxLayout(frame_);
    inner->setContentsMargins(18, 18, 24, 18);
    inner->setSpacing(20);
    inner->addWidget(img);
    inner->addLayout(texts, 1);

    close_ = new QPushButton(QStringLiteral("关闭"), this);
    close_->setObjectName(QStringLiteral("Command1"));
    close_->setFocusPolicy(Qt::NoFocus);  // every key belongs to the box
    connect(close_, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close_);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(frame_);
    lay->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(420, 0)));
}

QLabel* AboutBox::label(const QString& name) const
{
    return findChild<QLabel*>(name);
}

bool AboutBox::event(QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        close();
        return true;
    }
    return QDialog::event(e);
}

bool AboutBox::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == frame_ && e->type() == QEvent::MouseButtonPress) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, e);
}
