#pragma once
// A button made of a picture and a caption label lying over it. Both surfaces behave as one
// button: the left button pressed on either shows the pressed picture and black caption text,
// releasing it shows the up picture and white text, and a release over the button is a click.
// Other mouse buttons change nothing; a disabled button reacts to nothing.

#include <QLabel>
#include <QPixmap>
#include <QWidget>

namespace marlin {

class PictureButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool pressed READ isPressed NOTIFY pressedChanged)

public:
    PictureButton(const QPixmap& upPicture, const QPixmap& pressedPicture, QWidget* parent = nullptr);

    // The caption label; its place is given relative to the picture. A text wider than that
    // place (fonts differ between systems) widens the label about its centre, within the picture,
    // rather than being cut off.
    QLabel* caption() const { return m_caption; }
    void setCaptionGeometry(const QRect& rect);
    void setCaptionText(const QString& text);
    QString captionText() const { return m_caption->text(); }

    bool isPressed() const { return m_pressed; }
    // The picture currently shown (a copy of the up or the pressed picture).
    const QPixmap& currentPicture() const { return m_pressed ? m_pressedPicture : m_upPicture; }
    QColor captionColor() const;

    // Shows the up picture and white text, whatever state the button was left in.
    void showUp();

signals:
    void clicked();
    void pressedChanged(bool pressed);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setPressed(bool pressed);
    void placeCaption();
    void applyCaptionColor();

    QPixmap m_upPicture;
    QPixmap m_pressedPicture;
    QLabel* m_caption;
    QRect m_captionPlace;
    bool m_pressed = false;
};

}  // namespace marlin
