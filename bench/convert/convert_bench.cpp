// 送信用に変換 on a 6000 x 4000 photo (a JPEG the benchmark makes: a smooth scene with fine
// detail and noise, as a camera gives). It prints
//   - the median time Qt needs just to read the photo at the reduced size the preparation asks
//     for (QImageReader::setScaledSize),
//   - the median time from opening the photo to the first preview painted in the dialog, and
//     the ratio of the two (target <= 1.2),
//   - the median time from a change of a control to the preview painted again, over 100 changes
//     of every kind (target <= 1/60 s).
//
//   convert_bench [ROUNDS]      (runs offscreen unless QT_QPA_PLATFORM says otherwise)
#include "gui/Fonts.h"
#include "app/PrepPreview.h"
#include "app/PrepareDialog.h"
#include "prepare/Geometry.h"
#include "prepare/PrepareConfig.h"
#include "prepare/PrepareFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTemporaryDir>
#include <QButtonGroup>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// A photo-like picture: a sky-to-ground gradient, soft shapes, thin lines and sensor noise.
bool makePhoto(const QString& path)
{
    QImage photo(6000, 4000, QImage::Format_RGB32);
    QPainter p(&photo);
    QLinearGradient sky(0, 0, 0, 4000);
    sky.setColorAt(0, QColor(120, 170, 230));
    sky.setColorAt(0.55, QColor(235, 235, 220));
    sky.setColorAt(1, QColor(70, 110, 50));
    p.fillRect(photo.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator rng(21);
    for (int i = 0; i < 120; ++i) {
        p.setBrush(QColor(rng.bounded(256), rng.bounded(256), rng.bounded(256), 140));
        p.setPen(QPen(QColor(20, 20, 20), 1 + rng.bounded(6)));
        p.drawEllipse(QPointF(rng.bounded(6000), rng.bounded(4000)), 50 + rng.bounded(600), 50 + rng.bounded(400));
    }
    p.setPen(QPen(Qt::black, 2));
    for (int x = 200; x < 6000; x += 97)
        p.drawLine(x, 2600, x + 300, 3900);
    p.end();
    for (int y = 0; y < photo.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x) {
            const int n = int(rng.bounded(17)) - 8;
            const QRgb c = row[x];
            row[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255),
                          std::clamp(qBlue(c) + n, 0, 255));
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    return writer.write(photo);
}

// Paints the dialog's previews now, as the screen would show them.
void paintPreviews(TPrepareDialog& dialog)
{
    dialog.previewActual->repaint();
    dialog.previewEnlarged->repaint();
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    if (!dir.isValid() || !makePhoto(path)) {
        std::fprintf(stderr, "convert_bench: cannot write the photo\n");
        return 1;
    }
    const TPrepareSettings settings = DialogDefaults();  // fit into 124 x 121, Otsu
    const QSize full(6000, 4000);
    const int reduction = ReductionFor(full, settings);
    const QSize reduced(full.width() / reduction, full.height() / reduction);

    // The dialog exists before the photo is opened, as it does once the program has shown it.
    TPrepareDialog dialog;
    dialog.SetSettings(settings);
    dialog.show();
    app.processEvents();

    std::vector<double> qtRead, firstPreview;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer t;
        t.start();
        QImageReader reader(path);
        reader.setScaledSize(reduced);
        const QImage image = reader.read();
        qtRead.push_back(t.nsecsElapsed() / 1e6);
        if (image.size() != reduced) {
            std::fprintf(stderr, "convert_bench: Qt read %dx%d\n", image.width(), image.height());
            return 1;
        }

        t.restart();
        QString why;
        std::shared_ptr<TPictureSource> source = OpenPictureForPreparation(path, &why);
        if (!source) {
            std::fprintf(stderr, "convert_bench: %s\n", qPrintable(why));
            return 1;
        }
        dialog.SetPicture(source);
        paintPreviews(dialog);
        firstPreview.push_back(t.nsecsElapsed() / 1e6);
        if (dialog.Result().size() != QSize(124, 83)) {
            std::fprintf(stderr, "convert_bench: preview of %dx%d\n", dialog.Result().width(), dialog.Result().height());
            return 1;
        }
    }

    // One change of each kind in turn, as a user moves through the dialog.
    const std::vector<std::function<void(int)>> changes{
        [&](int i) { dialog.brightnessSlider->setValue((i * 7) % 60 - 30); },
        [&](int i) { dialog.contrastSlider->setValue((i * 11) % 80 - 40); },
        [&](int i) { dialog.gammaEdit->setValue(0.6 + (i % 10) * 0.1); },
        [&](int i) { dialog.conversionGroup->buttons().at(i % 5)->click(); },
        [&](int) { dialog.invertBox->click(); },
        [&](int i) { dialog.rotationBox->setCurrentIndex(i % 4); },
        [&](int) { dialog.mirrorBox->click(); },
        [&](int i) { dialog.sizeGroup->button(1 + i % 3)->click(); },
        [&](int i) { dialog.boxWidthEdit->setValue(100 + i % 24); },
        [&](int i) {
            dialog.sizeGroup->button(2)->click();
            emit dialog.previewEnlarged->Dragged(QPointF(i % 2 ? 6 : -6, 3));
        },
    };
    std::vector<double> change;
    for (int i = 0; i < 100; ++i) {
        QElapsedTimer t;
        t.start();
        changes[size_t(i) % changes.size()](i);
        paintPreviews(dialog);
        change.push_back(t.nsecsElapsed() / 1e6);
    }

    const double qt = median(qtRead), ours = median(firstPreview);
    std::printf("photo 6000x4000 JPEG, reduced to %dx%d (1/%d), %d rounds\n", reduced.width(), reduced.height(), reduction, rounds);
    std::printf("Qt reads it at the reduced size:     %8.1f ms\n", qt);
    std::printf("open and first preview painted:      %8.1f ms   ratio %.2f (target <= 1.2)\n", ours, ours / qt);
    std::printf("a control changed, preview painted:  %8.2f ms   median of %zu (target <= %.2f ms)\n", median(change),
                change.size(), 1000.0 / 60);
    return 0;
}
