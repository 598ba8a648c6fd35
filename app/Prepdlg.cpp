#include "app/Prepdlg.h"

#include "gui/DialogButtons.h"
#include "app/PrepPreview.h"
#include "prepare/Geometry.h"
#include "transfer/MemoImage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kBigZoom = 4;
constexpr int kTurns[] = {0, 90, 180, 270};

// A scroll area that holds PREVIEW in the middle and shows a memo of the largest size whole.
QScrollArea* previewBox(const char* name, TPrepPreview* preview, int zoom, QWidget* parent)
{
    auto* box = new QScrollArea(parent);
    box->setObjectName(QLatin1String(name));
    box->setAlignment(Qt::AlignCenter);
    box->setWidget(preview);
    box->setWidgetResizable(false);
    box->setBackgroundRole(QPalette::Dark);
    const int frame = 2 * box->frameWidth();
    box->setFixedSize(PrepareBoxWidth * zoom + frame + 4, PrepareBoxHeight * zoom + frame + 4);
    return box;
}

QSlider* slider(const char* name, int from, int to, QWidget* parent)
{
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(from, to);
    s->setMinimumWidth(160);
    return s;
}

QLabel* valueLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setMinimumWidth(32);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

}  // namespace

TPrepareDialog::TPrepareDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PrepareDlg"));
    setWindowTitle(QStringLiteral("送信用に変換"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Preview1 = new TPrepPreview(1);
    Preview1->setObjectName(QStringLiteral("Preview1"));
    Preview2 = new TPrepPreview(kBigZoom);
    Preview2->setObjectName(QStringLiteral("Preview2"));
    ScrollBox1 = previewBox("ScrollBox1", Preview1, 1, this);
    ScrollBox2 = previewBox("ScrollBox2", Preview2, kBigZoom, this);
    connect(Preview1, &TPrepPreview::Dragged, this, &TPrepareDialog::PictureDragged);
    connect(Preview2, &TPrepPreview::Dragged, this, &TPrepareDialog::PictureDragged);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);

    auto* small = new QVBoxLayout;
    small->addWidget(new QLabel(QStringLiteral("等倍"), this));
    small->addWidget(ScrollBox1);
    small->addWidget(Label1);
    small->addStretch();
    Label1->setFixedWidth(ScrollBox1->width());
    auto* big = new QVBoxLayout;
    big->addWidget(new QLabel(QStringLiteral("4倍"), this));
    big->addWidget(ScrollBox2);
    big->addStretch();

    // Size.
    auto* sizeBox = new QGroupBox(QStringLiteral("大きさ"), this);
    RadioGroup1 = new QButtonGroup(this);
    auto* sizeGrid = new QGridLayout(sizeBox);
    const QString sizeNames[] = {QStringLiteral("そのまま(&K)"), QStringLiteral("枠に収める(&F)"),
                                 QStringLiteral("枠を埋める(&L)"), QStringLiteral("大きさを指定(&Z)")};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(sizeNames[i], sizeBox);
        b->setObjectName(QStringLiteral("RadioGroup1_%1").arg(i));
        RadioGroup1->addButton(b, i);
        sizeGrid->addWidget(b, i / 2, i % 2);
    }
    auto spin = [&](const char* name) {
        auto* s = new QSpinBox(sizeBox);
        s->setObjectName(QLatin1String(name));
        s->setRange(1, PrepareMaxSide);
        return s;
    };
    SpinEdit1 = spin("SpinEdit1");
    SpinEdit2 = spin("SpinEdit2");
    auto* boxRow = new QHBoxLayout;
    boxRow->addWidget(new QLabel(QStringLiteral("枠 幅"), sizeBox));
    boxRow->addWidget(SpinEdit1);
    boxRow->addWidget(new QLabel(QStringLiteral("高さ"), sizeBox));
    boxRow->addWidget(SpinEdit2);
    boxRow->addWidget(new QLabel(QStringLiteral("ドット"), sizeBox));
    boxRow->addStretch();
    sizeGrid->addLayout(boxRow, 2, 0, 1, 2);

    // Turn.
    auto* turnBox = new QGroupBox(QStringLiteral("向き"), this);
    ComboBox1 = new QComboBox(turnBox);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("回転しない"), QStringLiteral("右に90°回転"), QStringLiteral("180°回転"),
                         QStringLiteral("左に90°回転")});
    CheckBox1 = new QCheckBox(QStringLiteral("左右反転(&M)"), turnBox);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    auto* turnRow = new QHBoxLayout(turnBox);
    turnRow->addWidget(ComboBox1);
    turnRow->addWidget(CheckBox1);
    turnRow->addStretch();

    // Tone.
    auto* toneBox = new QGroupBox(QStringLiteral("明るさと調子"), this);
    auto* toneGrid = new QGridLayout(toneBox);
    TrackBar1 = slider("TrackBar1", -100, 100, toneBox);
    TrackBar2 = slider("TrackBar2", -100, 100, toneBox);
    brightnessValue_ = valueLabel(toneBox);
    contrastValue_ = valueLabel(toneBox);
    FloatEdit1 = new QDoubleSpinBox(toneBox);
    FloatEdit1->setObjectName(QStringLiteral("FloatEdit1"));
    FloatEdit1->setRange(0.1, 10.0);
    FloatEdit1->setDecimals(2);
    FloatEdit1->setSingleStep(0.1);
    CheckBox2 = new QCheckBox(QStringLiteral("白黒反転(&I)"), toneBox);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    toneGrid->addWidget(new QLabel(QStringLiteral("明るさ"), toneBox), 0, 0);
    toneGrid->addWidget(TrackBar1, 0, 1);
    toneGrid->addWidget(brightnessValue_, 0, 2);
    toneGrid->addWidget(new QLabel(QStringLiteral("コントラスト"), toneBox), 1, 0);
    toneGrid->addWidget(TrackBar2, 1, 1);
    toneGrid->addWidget(contrastValue_, 1, 2);
    toneGrid->addWidget(new QLabel(QStringLiteral("ガンマ"), toneBox), 2, 0);
    auto* gammaRow = new QHBoxLayout;
    gammaRow->addWidget(FloatEdit1);
    gammaRow->addStretch();
    gammaRow->addWidget(CheckBox2);
    toneGrid->addLayout(gammaRow, 2, 1, 1, 2);

    // Conversion.
    auto* convBox = new QGroupBox(QStringLiteral("白黒への変換"), this);
    auto* convGrid = new QGridLayout(convBox);
    RadioGroup2 = new QButtonGroup(this);
    const QString convNames[] = {QStringLiteral("白以外はすべて黒(&W)"), QStringLiteral("しきい値(&T)"),
                                 QStringLiteral("誤差拡散 Floyd–Steinberg(&S)"), QStringLiteral("誤差拡散 Atkinson(&A)"),
                                 QStringLiteral("ディザ Bayer 8×8(&B)")};
    for (int i = 0; i < 5; ++i) {
        auto* b = new QRadioButton(convNames[i], convBox);
        b->setObjectName(QStringLiteral("RadioGroup2_%1").arg(i));
        RadioGroup2->addButton(b, i);
    }
    CheckBox3 = new QCheckBox(QStringLiteral("自動(&U)"), convBox);
    CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
    TrackBar3 = slider("TrackBar3", 1, 255, convBox);
    levelValue_ = valueLabel(convBox);
    convGrid->addWidget(RadioGroup2->button(0), 0, 0, 1, 4);
    convGrid->addWidget(RadioGroup2->button(1), 1, 0);
    convGrid->addWidget(CheckBox3, 1, 1);
    convGrid->addWidget(TrackBar3, 1, 2);
    convGrid->addWidget(levelValue_, 1, 3);
    for (int i = 2; i < 5; ++i)
        convGrid->addWidget(RadioGroup2->button(i), i, 0, 1, 4);

    QHBoxLayout* buttons = MakeOkCancelRow(this, QStringLiteral("OK"), OKBtn, CancelBtn);

    auto* controls = new QVBoxLayout;
    controls->addWidget(sizeBox);
    controls->addWidget(turnBox);
    controls->addWidget(toneBox);
    controls->addWidget(convBox);
    controls->addStretch();
    controls->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(small);
    layout->addLayout(big);
    layout->addLayout(controls);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    SetSettings(settings_);
    auto changed = [this] { ControlChanged(); };
    connect(RadioGroup1, &QButtonGroup::idClicked, this, changed);
    connect(RadioGroup2, &QButtonGroup::idClicked, this, changed);
    for (QSpinBox* s : {SpinEdit1, SpinEdit2})
        connect(s, &QSpinBox::valueChanged, this, changed);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, changed);
    for (QCheckBox* c : {CheckBox1, CheckBox2, CheckBox3})
        connect(c, &QCheckBox::toggled, this, changed);
    for (QSlider* s : {TrackBar1, TrackBar2, TrackBar3})
        connect(s, &QSlider::valueChanged, this, changed);
    connect(FloatEdit1, &QDoubleSpinBox::valueChanged, this, changed);
}

void TPrepareDialog::SetPicture(std::shared_ptr<TPictureSource> picture)
{
    preparation_ = picture ? std::make_unique<TPreparation>(std::move(picture)) : nullptr;
    settings_.CropAt = QPointF(0.5, 0.5);
    Render();
}

void TPrepareDialog::SetSettings(const TPrepareSettings& wanted)
{
    settings_ = Clamped(wanted);
    const TPrepareSettings& s = settings_;
    loading_ = true;
    RadioGroup1->button(int(s.Size))->setChecked(true);
    SpinEdit1->setValue(s.Box.width());
    SpinEdit2->setValue(s.Box.height());
    ComboBox1->setCurrentIndex(s.Rotation / 90);
    CheckBox1->setChecked(s.Flip);
    TrackBar1->setValue(s.Brightness);
    TrackBar2->setValue(s.Contrast);
    FloatEdit1->setValue(s.Gamma);
    CheckBox2->setChecked(s.Invert);
    const bool threshold = s.Conversion == TConversion::Threshold || s.Conversion == TConversion::Otsu;
    const int index = s.Conversion == TConversion::WhiteOnly ? 0
                      : threshold                            ? 1
                      : s.Conversion == TConversion::FloydSteinberg ? 2
                      : s.Conversion == TConversion::Atkinson       ? 3
                                                                    : 4;
    RadioGroup2->button(index)->setChecked(true);
    CheckBox3->setChecked(s.Conversion != TConversion::Threshold);
    TrackBar3->setValue(s.ThresholdLevel);
    loading_ = false;
    Render();
}

TPrepareSettings TPrepareDialog::Settings() const { return settings_; }

int TPrepareDialog::AutoLevel() const { return preparation_ ? preparation_->AutoLevel() : 128; }

void TPrepareDialog::ControlChanged()
{
    if (loading_)
        return;
    TPrepareSettings s = settings_;
    s.Size = TSizeMode(std::max(0, RadioGroup1->checkedId()));
    s.Box = QSize(SpinEdit1->value(), SpinEdit2->value());
    s.Rotation = kTurns[std::clamp(ComboBox1->currentIndex(), 0, 3)];
    s.Flip = CheckBox1->isChecked();
    s.Brightness = TrackBar1->value();
    s.Contrast = TrackBar2->value();
    s.Gamma = FloatEdit1->value();
    s.Invert = CheckBox2->isChecked();
    switch (RadioGroup2->checkedId()) {
    case 1:
        s.Conversion = CheckBox3->isChecked() ? TConversion::Otsu : TConversion::Threshold;
        break;
    case 2:
        s.Conversion = TConversion::FloydSteinberg;
        break;
    case 3:
        s.Conversion = TConversion::Atkinson;
        break;
    case 4:
        s.Conversion = TConversion::Bayer;
        break;
    default:
        s.Conversion = TConversion::WhiteOnly;
        break;
    }
    // Only a level set by hand is a setting; while it is automatic the slider shows Otsu's
    // level, which a fixed level then starts from.
    if (s.Conversion == TConversion::Threshold)
        s.ThresholdLevel = TrackBar3->value();
    settings_ = Clamped(s);
    Render();
}

void TPrepareDialog::PictureDragged(QPointF by)
{
    if (!preparation_ || settings_.Size != TSizeMode::Fill)
        return;
    const QSize turned = TurnedSize(preparation_->Nominal(), settings_.Rotation);
    const TResultGeometry g = ResultGeometry(preparation_->Nominal(), settings_);
    const double spareX = turned.width() - g.Source.width();
    const double spareY = turned.height() - g.Source.height();
    QPointF at = settings_.CropAt;
    // Dragging the picture right brings its left part into the frame.
    if (spareX > 0.5)
        at.rx() -= by.x() * g.Source.width() / g.Size.width() / spareX;
    if (spareY > 0.5)
        at.ry() -= by.y() * g.Source.height() / g.Size.height() / spareY;
    settings_ = Clamped([&] {
        TPrepareSettings s = settings_;
        s.CropAt = at;
        return s;
    }());
    Render();
}

void TPrepareDialog::UpdateEnabling()
{
    const bool box = settings_.Size != TSizeMode::Keep;
    SpinEdit1->setEnabled(box);
    SpinEdit2->setEnabled(box);
    const bool threshold = RadioGroup2->checkedId() == 1;
    CheckBox3->setEnabled(threshold);
    TrackBar3->setEnabled(threshold && !CheckBox3->isChecked());
    bool movable = false;
    if (preparation_ && settings_.Size == TSizeMode::Fill) {
        const QSize turned = TurnedSize(preparation_->Nominal(), settings_.Rotation);
        const TResultGeometry g = ResultGeometry(preparation_->Nominal(), settings_);
        movable = turned.width() - g.Source.width() > 0.5 || turned.height() - g.Source.height() > 0.5;
    }
    Preview1->SetMovable(movable);
    Preview2->SetMovable(movable);
}

void TPrepareDialog::Render()
{
    if (loading_)
        return;
    result_ = preparation_ ? preparation_->Render(settings_) : QImage();
    Preview1->SetPicture(result_);
    Preview2->SetPicture(result_);
    if (settings_.Conversion == TConversion::Otsu) {
        const QSignalBlocker quiet(TrackBar3);
        TrackBar3->setValue(AutoLevel());
    }
    brightnessValue_->setNum(TrackBar1->value());
    contrastValue_->setNum(TrackBar2->value());
    levelValue_->setNum(TrackBar3->value());
    UpdateEnabling();
    OKBtn->setEnabled(!result_.isNull());
    if (result_.isNull()) {
        Label1->setText(preparation_ ? QStringLiteral("画像を読み込めません") : QString());
        return;
    }
    const int w = result_.width(), h = result_.height();
    QString text = QStringLiteral("%1 × %2 ドット").arg(w).arg(h);
    if (w > MaxSendWidth || h > MaxSendHeight)
        text += QStringLiteral("\n124 × 121 を超える分は、送信のときに範囲を選ぶか中央を切り出します");
    else
        text += QStringLiteral("\n%1 バイト").arg(RowByteCount(w) * h);
    Label1->setText(text);
}
