// A one-bit picture as text, for comparing with a picture worked out by hand.
#pragma once

#include <QImage>

#include <string>
#include <vector>

// '#' black, '.' white, one string a row.
inline std::vector<std::string> Pattern(const QImage& mono)
{
    std::vector<std::string> rows;
    for (int y = 0; y < mono.height(); ++y) {
        std::string row;
        for (int x = 0; x < mono.width(); ++x)
            row += mono.pixelIndex(x, y) == 1 ? '.' : '#';
        rows.push_back(row);
    }
    return rows;
}
