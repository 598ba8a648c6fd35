// The image area of a memo window: shows its picture at natural size, reports clicks and
// mouse movement in image coordinates. With auto-size on it takes the size of a picture put
// into it; with fill-client on it follows the window's client size instead.
//
// The rubber band of a region selection is drawn over the picture as shown, never into it:
// its one-pixel outline inverts what lies under it and its inside is left as it is.
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

    const QImage& picture() const { return picture_; }
    QImage& picture() { return picture_; }
    // Replaces the picture; with auto-size on (and not filling the client) the area takes its size.
    void setPicture(const QImage& picture);

    bool autoSize() const { return autoSize_; }
    void setAutoSize(bool on) { autoSize_ = on; }
    bool fillsClient() const { return fillsClient_; }
    void setFillsClient(bool on);

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
    QImage picture_;
    bool autoSize_ = true;
    bool fillsClient_ = true;
    bool pressed_ = false;
    std::optional<QRect> band_;
};
