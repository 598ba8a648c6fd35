// 送信用に変換: prepares a memo window's picture for the device, with a live preview of exactly
// what the device will get, at 1:1 and at 4x side by side.
//
//   Size        そのまま (the picture's own size: Send cuts it or asks for a region as before),
//               枠に収める (fit inside the box), 枠を埋める (fill the box and cut the overflow;
//               the picture can be dragged in either preview to choose the part), 指定 (exactly
//               the box); the box is 124 x 121 unless typed otherwise.
//   Turn        回転 (clockwise 90, 180, 270), 左右反転 (mirror, after the turn).
//   Tone        明るさ, コントラスト, ガンマ, 白黒反転.
//   Conversion  白以外は黒 (only exactly white stays white, as Send has always done), しきい値
//               (自動: Otsu's level, the default; or the level of the slider), Floyd–Steinberg,
//               Atkinson, Bayer 8 x 8.
//
// Every change renders the preview again at once: the picture is prepared from a copy reduced
// to what the result needs (TPictureSource), and only the steps after the changed setting are
// redone. OK (Enter) accepts; ｷｬﾝｾﾙ, Escape and the close box change nothing.
#pragma once

#include "prepare/Preparation.h"
#include "prepare/PrepareSettings.h"

#include <QDialog>
#include <QImage>

#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class QSpinBox;
class TPrepPreview;

class TPrepareDialog : public QDialog {
    Q_OBJECT
public:
    explicit TPrepareDialog(QWidget* parent = nullptr);

    // The picture to prepare; the preview shows it at once with the current settings. Null lets
    // go of the last one.
    void SetPicture(std::shared_ptr<TPictureSource> picture);
    // The controls take SETTINGS (brought into their ranges).
    void SetSettings(const TPrepareSettings& settings);
    TPrepareSettings Settings() const;
    // What OK gives: the picture as prepared with the current settings (null when the
    // picture could not be read).
    const QImage& Result() const { return result_; }
    // The level Otsu finds in the current picture.
    int AutoLevel() const;

    TPrepPreview* previewActual;  // 1:1
    TPrepPreview* previewEnlarged;  // 4x
    QScrollArea* scrollActual;
    QScrollArea* scrollEnlarged;
    QButtonGroup* sizeGroup;  // size: ids are TSizeMode
    QSpinBox* boxWidthEdit;        // box width
    QSpinBox* boxHeightEdit;        // box height
    QComboBox* rotationBox;       // turn: item data 0, 90, 180, 270 degrees clockwise
    QCheckBox* mirrorBox;       // mirror
    QSlider* brightnessSlider;         // brightness
    QSlider* contrastSlider;         // contrast
    QDoubleSpinBox* gammaEdit; // gamma
    QCheckBox* invertBox;       // invert
    QButtonGroup* conversionGroup;  // conversion: ids are TConversion (Threshold also for Otsu)
    QCheckBox* automaticLevelBox;       // automatic threshold (Otsu)
    QSlider* levelSlider;         // threshold level
    QLabel* resultLabel;             // what the device gets: size and bytes
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

private:
    void ControlChanged();
    void Render();
    void PictureDragged(QPointF by);
    void UpdateEnabling();

    std::unique_ptr<TPreparation> preparation_;
    TPrepareSettings settings_;
    QImage result_;
    bool loading_ = false;  // the controls are being set from settings
    QLabel* brightnessValue_ = nullptr;
    QLabel* contrastValue_ = nullptr;
    QLabel* levelValue_ = nullptr;
};
