#pragma once

#include <QList>
#include <QTimer>
#include <QWidget>

class KXprogressBar;
class QCheckBox;
class QGridLayout;
class QSlider;

// Every style, user style, border and appearance of the bar side by side, with a value that moves
// on its own or follows a slider.
class GalleryWindow : public QWidget {
    Q_OBJECT

public:
    explicit GalleryWindow(QWidget* parent = nullptr);

    // Adds one more bar, e.g. one created from a stored property set.
    void addBar(const QString& caption, KXprogressBar* bar);
    void setValue(int value);
    void setMoving(bool moving);

private:
    void step();
    KXprogressBar* addSample(const QString& caption);

    QGridLayout* grid_ = nullptr;
    QSlider* slider_ = nullptr;
    QCheckBox* moving_ = nullptr;
    QTimer timer_;
    QList<KXprogressBar*> bars_;
    int rows_ = 0;
};
