#include "PictureButton.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace marlin {

PictureButton::PictureButton(const QPixmap& upPicture, const QPixmap& pressedPicture, QWidget* parent)
    : QWidget(parent), m_upPicture(upPicture), m_pressedPicture(pressedPicture), m_caption(new QLabel(this)) {
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setAttribute(Qt::WA_TranslucentBackground);
    // The label hands its mouse events to the picture, so pressing on the text and pressing on
    // the picture around it are the same thing.
    m_caption->installEventFilter(this);
    applyCaptionColor();
}

void PictureButton::setCaptionGeometry(const QRect& rect) {
    m_captionPlace = rect;
    placeCaption();
}

void PictureButton::setCaptionText(const QString& text) {
    m_caption->setText(text);
    placeCaption();
}

void PictureButton::placeCaption() {
    QRect place = m_captionPlace;
    const int needed = m_caption->fontMetrics().horizontalAdvance(m_caption->text()) + 2;
    if (needed > place.width()) {
        const int width = std::min(needed, std::max(place.width(), this->width()));
        place = QRect(place.center().x() - width / 2, place.y(), width, place.height());
        if (place.right() > this->width() - 1) place.moveRight(this->width() - 1);
        if (place.left() < 0) place.moveLeft(0);
    }
    m_caption->setGeometry(place);
}

QColor PictureButton::captionColor() const {
    return m_caption->palette().color(QPalette::Active, QPalette::WindowText);
}

void PictureButton::showUp() {
    setPressed(false);
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), currentPicture());
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setPressed(true);
    event->accept();
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const bool wasPressed = m_pressed;
    setPressed(false);
    event->accept();
    // Like any button: a release outside is the user changing their mind.
    if (wasPressed && rect().contains(event->position().toPoint())) emit clicked();
}

void PictureButton::changeEvent(QEvent* event) {
    // A button disabled while held down must not stay pressed.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) setPressed(false);
    QWidget::changeEvent(event);
}

bool PictureButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_caption) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            if (!isEnabled()) return true;
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPointF local = m_caption->mapTo(this, mouse->position().toPoint());
            QMouseEvent forwarded(event->type() == QEvent::MouseButtonRelease ? QEvent::MouseButtonRelease
                                                                              : QEvent::MouseButtonPress,
                                  local, mapToGlobal(local), mouse->button(), mouse->buttons(),
                                  mouse->modifiers());
            if (forwarded.type() == QEvent::MouseButtonPress)
                mousePressEvent(&forwarded);
            else
                mouseReleaseEvent(&forwarded);
            return true;
        }
        default:
            return false;
    }
}

void PictureButton::setPressed(bool pressed) {
    if (m_pressed == pressed) return;
    m_pressed = pressed;
    applyCaptionColor();
    update();
    emit pressedChanged(pressed);
}

void PictureButton::applyCaptionColor() {
    QPalette palette = m_caption->palette();
    const QColor text = m_pressed ? QColor(Qt::black) : QColor(Qt::white);
    palette.setColor(QPalette::Active, QPalette::WindowText, text);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, text);
    m_caption->setPalette(palette);
}

}  // namespace marlin
