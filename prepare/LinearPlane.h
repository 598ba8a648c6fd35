// A picture as grey in linear light, the form in which it is scaled: averaging light, not the
// numbers of an sRGB file, keeps a thin dark line as dark as the light it takes away.
#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

// Grey in linear light, rows from the top. 1.0 means the pixel (or every pixel it stands for)
// is exactly white; anything else is below 1.0, however light.
struct TLinearPlane {
    int Width = 0;
    int Height = 0;
    std::vector<float> Values;

    float At(int x, int y) const { return Values[size_t(y) * size_t(Width) + size_t(x)]; }
};

// Grey, 8 bits in sRGB coding: 255 only where every pixel the grey stands for was exactly white.
struct TGreyImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Values;

    uint8_t At(int x, int y) const { return Values[size_t(y) * size_t(Width) + size_t(x)]; }
};

// The light of sRGB level V (0 ... 255).
float LinearFromSrgb(int v);

// The sRGB level of linear light L (0 ... 1): the level whose light is nearest on the sRGB
// scale. 1.0 alone gives 255; anything below it gives at most 254.
uint8_t SrgbFromLinear(float l);

// The luminance of each pixel in linear light (Rec. 709 weights). Alpha is ignored: the
// loader lays translucent pixels onto white first.
TLinearPlane ToLinearPlane(const QImage& image);

// The light of COUNT pixels into OUT, each as ToLinearPlane gives it.
void ToLinearRow(const QRgb* pixels, int count, float* out);

// Each FACTOR x FACTOR block becomes the average of its light (blocks at the right and bottom
// edges may be smaller); the result is ceil(W / FACTOR) x ceil(H / FACTOR).
TLinearPlane ReducePlane(const TLinearPlane& plane, int factor);
