// The program's style: the platform's own style, except that the small "more" arrows of the
// menu bar and tool bar are drawn in code. Qt's pictures for them are PNG files whose reading
// asks every image-format plugin whether it handles PNG, loading them all at start-up for an
// arrow that shows only when the frame is too narrow for its menus.
#pragma once

#include <QProxyStyle>

class TProgramStyle : public QProxyStyle {
public:
    // Wraps the style named KEY (the one the user or the platform chose).
    explicit TProgramStyle(const QString& key) : QProxyStyle(key) {}

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
