#include "app/PrepareDialog.h"

#include "gui/ScreenFit.h"
#include "gui/DialogButtons.h"
#include "gui/KeyboardReach.h"
#include "app/PrepPreview.h"
#include "prepare/Geometry.h"
#include "prepare/PrepareFile.h"
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

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBigZoom = 4;

// A scroll area that holds PREVIEW in the middle and shows a memo of the largest size whole.
QScrollArea* previewBox(const char* name, TPrepPreview* preview, int zoom, QWidget* parent)
{
    auto* box = new QScrollArea(parent);
    box->setObjectName(QLatin1String(name));
    box->setAlignment(Qt::AlignCenter);
    box->setWidget(preview);
    box->setWidgetResizable(false);
    box->setBackgroundRole(QPalette::Dark);
    box->setFocusPolicy(Qt::NoFocus);  // the whole memo shows: nothing to scroll; the preview takes the keys
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

    previewActual = new TPrepPreview(1);
    previewActual->setObjectName(QStringLiteral("Preview1"));
    previewEnlarged = new TPrepPreview(kBigZoom);
    previewEnlarged->setObjectName(QStringLiteral("Preview2"));
    previewActual->setAccessibleName(QStringLiteral("等倍のプレビュー"));
    previewEnlarged->setAccessibleName(QStringLiteral("4倍のプレビュー"));
    scrollActual = previewBox("ScrollBox1", previewActual, 1, this);
    scrollEnlarged = previewBox("ScrollBox2", previewEnlarged, kBigZoom, this);
    connect(previewActual, &TPrepPreview::Dragged, this, &TPrepareDialog::PictureDragged);
    connect(previewEnlarged, &TPrepPreview::Dragged, this, &TPrepareDialog::PictureDragged);

    resultLabel = new QLabel(this);
    resultLabel->setObjectName(QStringLiteral("Label1"));
    resultLabel->setWordWrap(true);

    auto* small = new QVBoxLayout;
    small->addWidget(new QLabel(QStringLiteral("等倍"), this));
    small->addWidget(scrollActual);
    small->addWidget(resultLabel);
    small->addStretch();
    resultLabel->setFixedWidth(scrollActual->width());
    auto* big = new QVBoxLayout;
    big->addWidget(new QLabel(QStringLiteral("4倍"), this));
    big->addWidget(scrollEnlarged);
    big->addStretch();

    // Size.
    auto* sizeBox = new QGroupBox(QStringLiteral("大きさ"), this);
    sizeGroup = new QButtonGroup(this);  // each button's id is its TSizeMode
    auto* sizeGrid = new QGridLayout(sizeBox);
    const std::pair<TSizeMode, QString> sizes[] = {{TSizeMode::Keep, QStringLiteral("そのまま(&K)")},
                                                   {TSizeMode::Fit, QStringLiteral("枠に収める(&F)")},
                                                   {TSizeMode::Fill, QStringLiteral("枠を埋める(&L)")},
                                                   {TSizeMode::Exact, QStringLiteral("大きさを指定(&Z)")}};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(sizes[i].second, sizeBox);
        b->setObjectName(QStringLiteral("RadioGroup1_%1").arg(i));
        sizeGroup->addButton(b, int(sizes[i].first));
        sizeGrid->addWidget(b, i / 2, i % 2);
    }
    auto spin = [&](const char* name) {
        auto* s = new QSpinBox(sizeBox);
        s->setObjectName(QLatin1String(name));
        s->setRange(1, PrepareMaxSide);
        return s;
    };
    boxWidthEdit = spin("SpinEdit1");
    boxHeightEdit = spin("SpinEdit2");
    auto* boxRow = new QHBoxLayout;
    auto* boxWidthLabel = new QLabel(QStringLiteral("枠 幅"), sizeBox);
    auto* boxHeightLabel = new QLabel(QStringLiteral("高さ"), sizeBox);
    boxWidthLabel->setBuddy(boxWidthEdit);  // the labels name the boxes to a screen reader
    boxHeightLabel->setBuddy(boxHeightEdit);
    boxHeightEdit->setAccessibleName(QStringLiteral("枠 高さ"));
    boxRow->addWidget(boxWidthLabel);
    boxRow->addWidget(boxWidthEdit);
    boxRow->addWidget(boxHeightLabel);
    boxRow->addWidget(boxHeightEdit);
    boxRow->addWidget(new QLabel(QStringLiteral("ドット"), sizeBox));
    boxRow->addStretch();
    sizeGrid->addLayout(boxRow, 2, 0, 1, 2);

    // Turn.
    auto* turnBox = new QGroupBox(QStringLiteral("向き"), this);
    rotationBox = new QComboBox(turnBox);
    rotationBox->setObjectName(QStringLiteral("ComboBox1"));
    NameList(rotationBox, QStringLiteral("回転"));
    // Each item carries its turn in degrees clockwise.
    rotationBox->addItem(QStringLiteral("回転しない"), 0);
    rotationBox->addItem(QStringLiteral("右に90°回転"), 90);
    rotationBox->addItem(QStringLiteral("180°回転"), 180);
    rotationBox->addItem(QStringLiteral("左に90°回転"), 270);
    mirrorBox = new QCheckBox(QStringLiteral("左右反転(&M)"), turnBox);
    mirrorBox->setObjectName(QStringLiteral("CheckBox1"));
    auto* turnRow = new QHBoxLayout(turnBox);
    turnRow->addWidget(rotationBox);
    turnRow->addWidget(mirrorBox);
    turnRow->addStretch();

    // Tone.
    auto* toneBox = new QGroupBox(QStringLiteral("明るさと調子"), this);
    auto* toneGrid = new QGridLayout(toneBox);
    brightnessSlider = slider("TrackBar1", -100, 100, toneBox);
    contrastSlider = slider("TrackBar2", -100, 100, toneBox);
    brightnessValue_ = valueLabel(toneBox);
    contrastValue_ = valueLabel(toneBox);
    gammaEdit = new QDoubleSpinBox(toneBox);
    gammaEdit->setObjectName(QStringLiteral("FloatEdit1"));
    gammaEdit->setRange(0.1, 10.0);
    gammaEdit->setDecimals(2);
    gammaEdit->setSingleStep(0.1);
    invertBox = new QCheckBox(QStringLiteral("白黒反転(&I)"), toneBox);
    invertBox->setObjectName(QStringLiteral("CheckBox2"));
    auto label = [&](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, toneBox);
        l->setBuddy(buddy);
        return l;
    };
    toneGrid->addWidget(label(QStringLiteral("明るさ"), brightnessSlider), 0, 0);
    toneGrid->addWidget(brightnessSlider, 0, 1);
    toneGrid->addWidget(brightnessValue_, 0, 2);
    toneGrid->addWidget(label(QStringLiteral("コントラスト"), contrastSlider), 1, 0);
    toneGrid->addWidget(contrastSlider, 1, 1);
    toneGrid->addWidget(contrastValue_, 1, 2);
    toneGrid->addWidget(label(QStringLiteral("ガンマ"), gammaEdit), 2, 0);
    auto* gammaRow = new QHBoxLayout;
    gammaRow->addWidget(gammaEdit);
    gammaRow->addStretch();
    gammaRow->addWidget(invertBox);
    toneGrid->addLayout(gammaRow, 2, 1, 1, 2);

    // Conversion.
    auto* convBox = new QGroupBox(QStringLiteral("白黒への変換"), this);
    auto* convGrid = new QGridLayout(convBox);
    // Each button's id is its TConversion; the threshold button stands for Otsu's level too,
    // which the 自動 box chooses.
    conversionGroup = new QButtonGroup(this);
    const std::pair<TConversion, QString> conversions[] = {
        {TConversion::WhiteOnly, QStringLiteral("白以外はすべて黒(&W)")},
        {TConversion::Threshold, QStringLiteral("しきい値(&T)")},
        {TConversion::FloydSteinberg, QStringLiteral("誤差拡散 Floyd–Steinberg(&S)")},
        {TConversion::Atkinson, QStringLiteral("誤差拡散 Atkinson(&A)")},
        {TConversion::Bayer, QStringLiteral("ディザ Bayer 8×8(&B)")}};
    QRadioButton* conversionButtons[std::size(conversions)];
    for (size_t i = 0; i < std::size(conversions); ++i) {
        auto* b = new QRadioButton(conversions[i].second, convBox);
        b->setObjectName(QStringLiteral("RadioGroup2_%1").arg(i));
        conversionGroup->addButton(b, int(conversions[i].first));
        conversionButtons[i] = b;
    }
    automaticLevelBox = new QCheckBox(QStringLiteral("自動(&U)"), convBox);
    automaticLevelBox->setObjectName(QStringLiteral("CheckBox3"));
    levelSlider = slider("TrackBar3", 1, 255, convBox);
    levelSlider->setAccessibleName(QStringLiteral("しきい値の値"));
    levelValue_ = valueLabel(convBox);
    convGrid->addWidget(conversionButtons[0], 0, 0, 1, 4);
    convGrid->addWidget(conversionButtons[1], 1, 0);
    convGrid->addWidget(automaticLevelBox, 1, 1);
    convGrid->addWidget(levelSlider, 1, 2);
    convGrid->addWidget(levelValue_, 1, 3);
    for (int i = 2; i < int(std::size(conversionButtons)); ++i)
        convGrid->addWidget(conversionButtons[i], i, 0, 1, 4);

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
    connect(sizeGroup, &QButtonGroup::idClicked, this, changed);
    connect(conversionGroup, &QButtonGroup::idClicked, this, changed);
    for (QSpinBox* s : {boxWidthEdit, boxHeightEdit})
        connect(s, &QSpinBox::valueChanged, this, changed);
    connect(rotationBox, &QComboBox::currentIndexChanged, this, changed);
    for (QCheckBox* c : {mirrorBox, invertBox, automaticLevelBox})
        connect(c, &QCheckBox::toggled, this, changed);
    for (QSlider* s : {brightnessSlider, contrastSlider, levelSlider})
        connect(s, &QSlider::valueChanged, this, changed);
    connect(gammaEdit, &QDoubleSpinBox::valueChanged, this, changed);
    TabToCheckedButtons(this);
    // On a narrow screen the 4× preview gives up width first, down to half its own (it scrolls,
    // and the picture can be dragged in it); whatever still does not fit scrolls.
    layout->activate();
    const QSize room = FreeScreenSize(screen());
    if (const int excess = sizeHint().width() - room.width(); excess > 0)
        scrollEnlarged->setFixedWidth(std::max(scrollEnlarged->width() - excess, scrollEnlarged->width() / 2));
    if (const int excess = sizeHint().height() - room.height(); excess > 0)
        scrollEnlarged->setFixedHeight(std::max(scrollEnlarged->height() - excess, scrollEnlarged->height() / 2));
    FitToScreen(this);
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
    sizeGroup->button(int(s.Size))->setChecked(true);
    boxWidthEdit->setValue(s.Box.width());
    boxHeightEdit->setValue(s.Box.height());
    rotationBox->setCurrentIndex(std::max(0, rotationBox->findData(s.Rotation)));
    mirrorBox->setChecked(s.Flip);
    brightnessSlider->setValue(s.Brightness);
    contrastSlider->setValue(s.Contrast);
    gammaEdit->setValue(s.Gamma);
    invertBox->setChecked(s.Invert);
    const TConversion shown = s.Conversion == TConversion::Otsu ? TConversion::Threshold : s.Conversion;
    conversionGroup->button(int(shown))->setChecked(true);
    automaticLevelBox->setChecked(s.Conversion != TConversion::Threshold);
    levelSlider->setValue(s.ThresholdLevel);
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
    s.Size = TSizeMode(std::max(0, sizeGroup->checkedId()));
    s.Box = QSize(boxWidthEdit->value(), boxHeightEdit->value());
    s.Rotation = rotationBox->currentData().toInt();
    s.Flip = mirrorBox->isChecked();
    s.Brightness = brightnessSlider->value();
    s.Contrast = contrastSlider->value();
    s.Gamma = gammaEdit->value();
    s.Invert = invertBox->isChecked();
    s.Conversion = conversionGroup->checkedId() < 0 ? TConversion::WhiteOnly : TConversion(conversionGroup->checkedId());
    if (s.Conversion == TConversion::Threshold && automaticLevelBox->isChecked())
        s.Conversion = TConversion::Otsu;
    // Only a level set by hand is a setting; while it is automatic the slider shows Otsu's
    // level, which a fixed level then starts from.
    if (s.Conversion == TConversion::Threshold)
        s.ThresholdLevel = levelSlider->value();
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
    boxWidthEdit->setEnabled(box);
    boxHeightEdit->setEnabled(box);
    const bool threshold = conversionGroup->checkedId() == int(TConversion::Threshold);
    automaticLevelBox->setEnabled(threshold);
    levelSlider->setEnabled(threshold && !automaticLevelBox->isChecked());
    bool movable = false;
    if (preparation_ && settings_.Size == TSizeMode::Fill) {
        const QSize turned = TurnedSize(preparation_->Nominal(), settings_.Rotation);
        const TResultGeometry g = ResultGeometry(preparation_->Nominal(), settings_);
        movable = turned.width() - g.Source.width() > 0.5 || turned.height() - g.Source.height() > 0.5;
    }
    previewActual->SetMovable(movable);
    previewEnlarged->SetMovable(movable);
}

void TPrepareDialog::Render()
{
    if (loading_)
        return;
    result_ = preparation_ ? preparation_->Render(settings_) : QImage();
    previewActual->SetPicture(result_);
    previewEnlarged->SetPicture(result_);
    if (settings_.Conversion == TConversion::Otsu) {
        const QSignalBlocker quiet(levelSlider);
        levelSlider->setValue(AutoLevel());
    }
    brightnessValue_->setNum(brightnessSlider->value());
    contrastValue_->setNum(contrastSlider->value());
    levelValue_->setNum(levelSlider->value());
    UpdateEnabling();
    OKBtn->setEnabled(!result_.isNull());
    if (result_.isNull()) {
        if (!preparation_)
            resultLabel->setText(QString());
        else if (TooLargeToPrepare(preparation_->Nominal(), settings_))
            resultLabel->setText(QStringLiteral("画像が大きすぎて、この大きさには変換できません\n枠に収めるか枠を埋めるを選んでください"));
        else
            resultLabel->setText(QStringLiteral("画像を読み込めません"));
        return;
    }
    const int w = result_.width(), h = result_.height();
    QString text = QStringLiteral("%1 × %2 ドット").arg(w).arg(h);
    if (w > MaxSendWidth || h > MaxSendHeight)
        text += QStringLiteral("\n124 × 121 を超える分は、送信のときに範囲を選ぶか中央を切り出します");
    else
        text += QStringLiteral("\n%1 バイト").arg(RowByteCount(w) * h);
    resultLabel->setText(text);
    // A screen reader hears what the previews show, as the label under them says it.
    for (TPrepPreview* preview : {previewActual, previewEnlarged})
        preview->setAccessibleDescription(QStringLiteral("送信される画像: %1").arg(QString(text).replace(QLatin1Char('\n'), QStringLiteral("、"))));
}
