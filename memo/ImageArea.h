// The image area of a memo window: shows its picture at a whole zoom (1 natural size; every
// image pixel a sharp square of ZOOM x ZOOM screen pixels), reports clicks and mouse movement
// in image coordinates (a point inside a square is that image pixel). With auto-size on it
// takes the size of a picture put into it, times the zoom; with fill-client on it follows the
// window's client size instead, but not below the zoomed picture (the window's scroll area
// scrolls then).
//
// The rubber band of a region selection is drawn over the picture as shown, never into it:
// its outline, one image pixel wide, inverts what lies under it and its inside is left as it is.
#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>
#include <QWidget>

#include <optional>

class TImageArea : public QWidget {
    Q_OBJECT
public:
    explicit TImageArea(QWidget* parent = nullptr);

    // The size the area is laid out with, which a new memo window takes.
    static constexpr QSize DesignSize{542, 173};

    const QImage& picture() const { return picture_; }
    QImage& picture() { return picture_; }
    // Replaces the picture; with auto-size on (and not filling the client) the area takes its size.
    void setPicture(const QImage& picture);

    bool autoSize() const { return autoSize_; }
    void setAutoSize(bool on) { autoSize_ = on; }
    bool fillsClient() const { return fillsClient_; }
    void setFillsClient(bool on);

    int zoom() const { return zoom_; }
    void setZoom(int zoom);
    // The picture's size on the screen.
    QSize shownSize() const { return picture_.size() * zoom_; }

    // Draws the part of PICTURE at ZOOM that lies in EXPOSED (widget pixels), only those pixels:
    // a large picture at a large zoom is never scaled whole.
    static void drawZoomed(QPainter& painter, const QImage& picture, int zoom, const QRect& exposed);

    // Shows the band BAND, its right and bottom edges included (no band: nullopt). Only the
    // outlines of the old and the new band are repainted.
    void setBand(const std::optional<QRect>& band);
    const std::optional<QRect>& band() const { return band_; }
    // The pixels the outline of BAND covers.
    static QRegion bandOutline(const QRect& band);

signals:
    void clicked();
    void mousePressed(Qt::MouseButton button, int x, int y);
    void mouseMoved(int x, int y);
    void mouseReleased(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void updateSize();
    // The image pixel under widget point P.
    QPoint imagePoint(QPointF p) const;

    QImage picture_;
    bool autoSize_ = true;
    bool fillsClient_ = true;
    int zoom_ = 1;
    bool pressed_ = false;
    std::optional<QRect> band_;
};
