#include "tools/qm10sim/Samples.h"

#include "tools/qm10sim/Bitmap.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <random>

namespace qm10sim {

namespace {

// A pen that wobbles a little, so that text and strokes look written, not typeset.
class Hand {
public:
    Hand(QPainter& p, unsigned seed) : p_(p), rng_(seed)
    {
        p_.setRenderHint(QPainter::Antialiasing, false);
        p_.setRenderHint(QPainter::TextAntialiasing, false);
        p_.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }

    // Writes text from (x, baseline) one character at a time, each slightly turned and lifted.
    void write(const QString& text, int x, int baseline, int pixelSize)
    {
        QFont font(QStringLiteral("IPAGothic"));
        font.setPixelSize(pixelSize);
        font.setStyleStrategy(QFont::NoAntialias);
        p_.setFont(font);
        const QFontMetrics fm(font);
        for (const QChar ch : text) {
            p_.save();
            p_.translate(x, baseline + jitter(1));
            p_.rotate(jitter(6));
            p_.drawText(0, 0, QString(ch));
            p_.restore();
            x += fm.horizontalAdvance(ch) + jitter(1);
        }
    }

    // A stroke through the points, each moved by up to a pixel.
    void stroke(const QList<QPointF>& points)
    {
        QPainterPath path(wobble(points.first()));
        for (qsizetype i = 1; i < points.size(); ++i) {
            const QPointF a = wobble(points[i - 1]), b = wobble(points[i]);
            path.quadTo((a + b) / 2 + QPointF(jitter(1), jitter(1)), b);
        }
        p_.drawPath(path);
    }

    void pen(int width) { p_.setPen(QPen(Qt::black, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)); }

private:
    double jitter(int amount) { return std::uniform_real_distribution<double>(-amount, amount)(rng_); }
    QPointF wobble(QPointF p) { return p + QPointF(jitter(1), jitter(1)); }

    QPainter& p_;
    std::mt19937 rng_;
};

QImage paper(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

QImage shoppingList()
{
    QImage img = paper(124, 121);
    QPainter p(&img);
    Hand hand(p, 7);
    hand.write(QStringLiteral("かいもの"), 6, 20, 18);
    hand.stroke({{4, 25}, {40, 27}, {80, 24}});
    const QString items[] = {QStringLiteral("牛乳"), QStringLiteral("たまご"), QStringLiteral("パン 2こ")};
    for (int i = 0; i < 3; ++i) {
        const double top = 36 + i * 27;
        hand.pen(1);
        hand.stroke({{8, top}, {20, top}, {20, top + 12}, {8, top + 12}, {8, top}});
        hand.write(items[i], 28, static_cast<int>(top) + 13, 17);
    }
    hand.pen(2);
    hand.stroke({{9, 42}, {13, 48}, {23, 33}});  // the milk is ticked off
    return img;
}

QImage meeting()
{
    QImage img = paper(96, 64);  // a width that is a multiple of 8
    QPainter p(&img);
    Hand hand(p, 11);
    hand.write(QStringLiteral("会議"), 4, 20, 18);
    hand.write(QStringLiteral("15:00"), 46, 20, 15);
    hand.pen(1);
    p.drawEllipse(QRectF(41, 4, 50, 22));  // the time, circled
    hand.write(QStringLiteral("第2会議室"), 4, 48, 16);
    hand.pen(2);
    hand.stroke({{6, 55}, {50, 58}, {88, 54}});
    return img;
}

QImage map()
{
    QImage img = paper(100, 80);
    QPainter p(&img);
    Hand hand(p, 23);
    hand.pen(2);
    hand.stroke({{2, 40}, {40, 42}, {98, 38}});   // the main road
    hand.stroke({{60, 2}, {62, 40}, {58, 78}});   // the side street
    hand.pen(1);
    hand.stroke({{8, 12}, {34, 12}, {34, 32}, {8, 32}, {8, 12}});
    hand.write(QStringLiteral("駅"), 13, 29, 16);
    hand.pen(2);
    hand.stroke({{74, 52}, {86, 64}});
    hand.stroke({{86, 52}, {74, 64}});            // X marks the spot
    hand.write(QStringLiteral("ここ"), 66, 78, 13);
    hand.pen(1);
    hand.stroke({{38, 56}, {52, 58}, {68, 58}});
    hand.stroke({{63, 54}, {68, 58}, {63, 62}});  // the arrow's head
    return img;
}

}  // namespace

std::vector<Memo> sampleMemos()
{
    return {
        {QStringLiteral("買い物メモ"), QStringLiteral("ｶｲﾓﾉﾒﾓ"), toMemoImage(shoppingList())},
        {QStringLiteral("会議 15時"), QStringLiteral("ｶｲｷﾞ 15ｼﾞ"), toMemoImage(meeting())},
        {QStringLiteral("地図"), QStringLiteral("ﾁｽﾞ"), toMemoImage(map())},
    };
}

}  // namespace qm10sim
