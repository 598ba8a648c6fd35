// A prepared picture shown at a whole zoom, every pixel a sharp square. Where the picture can be
// moved under its frame (Fill cuts it), dragging it reports how far it went, in its own pixels;
// it then takes the focus too, and the arrow keys move it as a drag does (one pixel, ten with
// Shift).
#pragma once

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QWidget>

class TPrepPreview : public QWidget {
    Q_OBJECT
public:
    TPrepPreview(int zoom, QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }
    int zoom() const { return zoom_; }
    // Whether a drag moves the picture (the open hand shows over it).
    void SetMovable(bool movable);

    QSize sizeHint() const override;

signals:
    // The picture was dragged by BY pixels of the picture (not of the screen).
    void Dragged(QPointF by);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int zoom_;
    QImage picture_;
    bool movable_ = false;
    bool dragging_ = false;
    QPoint last_;
};
