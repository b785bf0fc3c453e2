#include "app/startup/BMLoginPanel.h"

#include "platform/ui/SheetFrame.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

BMPortStepper::BMPortStepper(QLineEdit* field, QWidget* parent)
    : QWidget(parent), mField(field), mUp(new QToolButton(this)), mDown(new QToolButton(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* b : {mUp, mDown}) {
        b->setAutoRepeat(true);
        b->setFixedSize(18, 12);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
    }
    mUp->setArrowType(Qt::UpArrow);
    mDown->setArrowType(Qt::DownArrow);
    connect(mUp, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(mDown, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void BMPortStepper::stepBy(int steps)
{
    bool ok = false;
    int port = mField->text().trimmed().toInt(&ok);
    if (!ok)
        port = 3306;
    else
        port += steps;
    mField->setText(QString::number(std::clamp(port, 1, 65535)));
}

BMLoginPanel::BMLoginPanel(QWidget* parent) : QWidget(parent, Qt::Dialog)
{
    setObjectName(QStringLiteral("mConnectionWindow"));
    setWindowTitle(tr("Tolvanex Enterprise"));

    m_tolvanImage = new QLabel(this);
    m_tolvanImage->setPixmap(tolvanImage(96));
    m_tolvanImage->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_ipAddressField = new QLineEdit(this);
    m_ipAddressField->setPlaceholderText(QStringLiteral("127.0.0.1"));
    m_loginUserName = new QLineEdit(this);
    m_userPassword = new QLineEdit(this);
    m_userPassword->setEchoMode(QLineEdit::Password);
    m_masterPassword = new QLineEdit(this);
    m_masterPassword->setEchoMode(QLineEdit::Password);
    m_portNumberField = new QLineEdit(this);
    m_portNumberField->setValidator(new QIntValidator(0, 65535, m_portNumberField));
    m_portNumberField->setPlaceholderText(QStringLiteral("3306"));
    m_portNumberField->setMaximumWidth(90);
    m_portStepper = new BMPortStepper(m_portNumberField, this);
    m_loginUserNameLabel = new QLabel(tr("Tolvanex Username:"), this);
    m_loginUserPassword = new QLabel(tr("Tolvanex User Password:"), this);

    layOutFields();

    setTabOrder(m_ipAddressField, m_portNumberField);
    setTabOrder(m_portNumberField, m_loginUserName);
    setTabOrder(m_loginUserName, m_userPassword);
    setTabOrder(m_userPassword, m_masterPassword);
    setTabOrder(m_masterPassword, m_connectToServer);
    setMinimumWidth(520);
}

// The picture on the left; the heading, the form and the Connect row on the right.
void BMLoginPanel::layOutFields()
{
    auto* heading = new QLabel(tr("Connect to the Tolvanex Enterprise server"), this);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.15);
    heading->setFont(headingFont);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight);
    form->setHorizontalSpacing(10);
    form->setVerticalSpacing(8);
    form->addRow(tr("Server Host Name:"), m_ipAddressField);
    auto* portRow = new QHBoxLayout;
    portRow->setSpacing(2);
    portRow->addWidget(m_portNumberField);
    portRow->addWidget(m_portStepper);
    portRow->addStretch();
    form->addRow(tr("Port:"), portRow);
    form->addRow(m_loginUserNameLabel, m_loginUserName);
    form->addRow(m_loginUserPassword, m_userPassword);
    form->addRow(tr("Master Password:"), m_masterPassword);

    m_connectToServerView = new QWidget(this);
    auto* strip = new QHBoxLayout(m_connectToServerView);
    strip->setContentsMargins(0, 0, 0, 0);
    m_connectToServerIndicator = new QProgressBar(m_connectToServerView);
    m_connectToServerIndicator->setRange(0, 1);
    m_connectToServerIndicator->setTextVisible(false);
    m_connectToServerIndicator->setMaximumHeight(10);
    strip->addWidget(m_connectToServerIndicator);

    m_connectToServer = new QPushButton(tr("Connect"), this);
    m_connectToServer->setDefault(true);
    m_connectToServer->setAutoDefault(true);
    connect(m_connectToServer, &QPushButton::clicked, this, &BMLoginPanel::connectRequested);
    for (QLineEdit* field : {m_ipAddressField, m_portNumberField, m_loginUserName, m_userPassword, m_masterPassword})
        connect(field, &QLineEdit::returnPressed, m_connectToServer, &QPushButton::click);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_connectToServerView, 1);
    buttons->addSpacing(12);
    buttons->addWidget(m_connectToServer);

    auto* right = new QVBoxLayout;
    right->setSpacing(12);
    right->addWidget(heading);
    right->addLayout(form);
    right->addStretch();
    right->addLayout(buttons);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(platform::kSheetMargins);
    outer->setSpacing(20);
    outer->addWidget(m_tolvanImage);
    outer->addLayout(right, 1);
}

void BMLoginPanel::closeEvent(QCloseEvent* event)
{
    emit windowWillClose();
    QWidget::closeEvent(event);
}

QPixmap BMLoginPanel::tolvanImage(int size)
{
    QPixmap picture(":/images/appctl_TolvanImage.png");
    if (!picture.isNull())
        return picture.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // Drawn here when the application carries no picture of its own: a shield with a keyhole.
    QPixmap drawn(size, size);
    drawn.fill(Qt::transparent);
    QPainter p(&drawn);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    QPainterPath shield;
    shield.moveTo(s * 0.5, s * 0.05);
    shield.lineTo(s * 0.88, s * 0.18);
    shield.cubicTo(s * 0.88, s * 0.62, s * 0.72, s * 0.82, s * 0.5, s * 0.96);
    shield.cubicTo(s * 0.28, s * 0.82, s * 0.12, s * 0.62, s * 0.12, s * 0.18);
    shield.closeSubpath();
    QLinearGradient fill(0, 0, 0, s);
    fill.setColorAt(0, QColor(0x3b, 0x7d, 0xd8));
    fill.setColorAt(1, QColor(0x1c, 0x3f, 0x7a));
    p.setPen(QPen(QColor(0x14, 0x2c, 0x55), s * 0.03));
    p.setBrush(fill);
    p.drawPath(shield);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf4, 0xf6, 0xfa));
    p.drawEllipse(QPointF(s * 0.5, s * 0.42), s * 0.09, s * 0.09);
    QPainterPath slot;
    slot.moveTo(s * 0.46, s * 0.45);
    slot.lineTo(s * 0.54, s * 0.45);
    slot.lineTo(s * 0.57, s * 0.68);
    slot.lineTo(s * 0.43, s * 0.68);
    slot.closeSubpath();
    p.drawPath(slot);
    return drawn;
}
