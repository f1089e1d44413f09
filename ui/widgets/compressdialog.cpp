#include "ui/widgets/compressdialog.h"

#include "avi/compressors.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace kelbo {

namespace {
constexpr int kDefaultKeyFrameEvery = 15;
constexpr int kDefaultDataRate = 300; // Ko/s
} // namespace

CompressionDialog::CompressionDialog(std::uint32_t flags, QSize frameSize,
                                     const AVICOMPRESSOPTIONS &initial, QWidget *parent)
    : QDialog(parent), m_flags(flags),
      m_offered(compressorsFor(frameSize.width(), frameSize.height()))
{
    setObjectName(QStringLiteral("CompressionDialog"));
    setWindowTitle(QStringLiteral("Compression vidéo"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    lblCompressor = new QLabel(QStringLiteral("Compresseur :"), this);
    cmbCompressor = new QComboBox(this);
    for (const Compressor *c : m_offered)
        cmbCompressor->addItem(c->name, QVariant::fromValue(quint32(c->fourcc)));
    lblCompressor->setBuddy(cmbCompressor);

    lblQuality = new QLabel(QStringLiteral("Qualité de la compression :"), this);
    sldQuality = new QSlider(Qt::Horizontal, this);
    sldQuality->setRange(0, 100);
    sldQuality->setPageStep(10);
    lblQualityValue = new QLabel(this);
    lblQualityValue->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("100")));
    connect(sldQuality, &QSlider::valueChanged, this,
            [this](int value) { lblQualityValue->setNum(value); });

    chkKeyFrames = new QCheckBox(QStringLiteral("Image clé toutes les"), this);
    spnKeyFrames = new QSpinBox(this);
    spnKeyFrames->setRange(1, 9999);
    spnKeyFrames->setValue(kDefaultKeyFrameEvery);
    lblKeyFramesUnit = new QLabel(QStringLiteral("images"), this);
    chkKeyFrames->setChecked(true);

    chkDataRate = new QCheckBox(QStringLiteral("Débit de données"), this);
    spnDataRate = new QSpinBox(this);
    spnDataRate->setRange(1, 999999);
    spnDataRate->setValue(kDefaultDataRate);
    lblDataRateUnit = new QLabel(QStringLiteral("Ko/s"), this);
    chkDataRate->setChecked(false);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Annuler"), this);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *grid = new QGridLayout;
    grid->addWidget(lblCompressor, 0, 0);
    grid->addWidget(cmbCompressor, 0, 1, 1, 3);
    grid->addWidget(lblQuality, 1, 0);
    grid->addWidget(sldQuality, 1, 1, 1, 2);
    grid->addWidget(lblQualityValue, 1, 3);
    grid->addWidget(chkKeyFrames, 2, 0);
    grid->addWidget(spnKeyFrames, 2, 1);
    grid->addWidget(lblKeyFramesUnit, 2, 2, 1, 2);
    grid->addWidget(chkDataRate, 3, 0);
    grid->addWidget(spnDataRate, 3, 1);
    grid->addWidget(lblDataRateUnit, 3, 2, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    // Only the settings the caller asks for are shown.
    const bool keyFrames = flags & ICMF_CHOOSE_KEYFRAME;
    const bool dataRate = flags & ICMF_CHOOSE_DATARATE;
    chkKeyFrames->setVisible(keyFrames);
    spnKeyFrames->setVisible(keyFrames);
    lblKeyFramesUnit->setVisible(keyFrames);
    chkDataRate->setVisible(dataRate);
    spnDataRate->setVisible(dataRate);
    lblDataRateUnit->setVisible(dataRate);

    connect(cmbCompressor, &QComboBox::currentIndexChanged, this,
            &CompressionDialog::compressorChanged);
    connect(chkKeyFrames, &QCheckBox::toggled, this, &CompressionDialog::updateEnabled);
    connect(chkDataRate, &QCheckBox::toggled, this, &CompressionDialog::updateEnabled);

    int first = 0;
    if (initial.dwFlags & AVICOMPRESSF_VALID) {
        const Compressor *wanted = findCompressor(initial.fccHandler);
        for (std::size_t i = 0; i < m_offered.size(); ++i)
            if (m_offered[i] == wanted)
                first = int(i);
    }
    {
        const QSignalBlocker blocker(cmbCompressor);
        cmbCompressor->setCurrentIndex(first);
    }
    compressorChanged();
    if (initial.dwFlags & AVICOMPRESSF_VALID) {
        if (initial.dwQuality != ICQUALITY_DEFAULT && sldQuality->isEnabled())
            sldQuality->setValue(int(std::min<std::uint32_t>(initial.dwQuality, 10000) / 100));
        chkKeyFrames->setChecked(initial.dwFlags & AVICOMPRESSF_KEYFRAMES);
        if (initial.dwKeyFrameEvery > 0)
            spnKeyFrames->setValue(int(std::min<std::uint32_t>(initial.dwKeyFrameEvery, 9999)));
        chkDataRate->setChecked(initial.dwFlags & AVICOMPRESSF_DATARATE);
        if (initial.dwBytesPerSecond > 0)
            spnDataRate->setValue(int(std::clamp<std::uint32_t>(initial.dwBytesPerSecond / 1024, 1, 999999)));
    }
    updateEnabled();
}

const Compressor *CompressionDialog::current() const
{
    const int index = cmbCompressor->currentIndex();
    return index >= 0 && std::size_t(index) < m_offered.size() ? m_offered[std::size_t(index)]
                                                               : nullptr;
}

void CompressionDialog::compressorChanged()
{
    // Each compressor starts from its own default quality.
    const Compressor *c = current();
    const int quality = c && c->hasQuality ? c->defaultQuality : 100;
    sldQuality->setValue(quality);
    lblQualityValue->setNum(quality);
    updateEnabled();
}

void CompressionDialog::updateEnabled()
{
    const Compressor *c = current();
    const bool quality = c && c->hasQuality;
    sldQuality->setEnabled(quality);
    lblQuality->setEnabled(quality);
    lblQualityValue->setEnabled(quality);
    const bool keyFrames = c && c->hasKeyFrames;
    chkKeyFrames->setEnabled(keyFrames);
    spnKeyFrames->setEnabled(keyFrames && chkKeyFrames->isChecked());
    lblKeyFramesUnit->setEnabled(keyFrames);
    const bool dataRate = c && c->hasDataRate;
    chkDataRate->setEnabled(dataRate);
    spnDataRate->setEnabled(dataRate && chkDataRate->isChecked());
    lblDataRateUnit->setEnabled(dataRate);
    cmdOK->setEnabled(c != nullptr);
}

AVICOMPRESSOPTIONS CompressionDialog::options() const
{
    AVICOMPRESSOPTIONS o;
    const Compressor *c = current();
    o.fccType = streamtypeVIDEO;
    o.fccHandler = c ? c->fourcc : comptypeDIB;
    o.dwQuality = std::uint32_t(sldQuality->value()) * 100;
    o.dwFlags = AVICOMPRESSF_VALID;
    // A setting counts when it is offered, applies to the compressor and is ticked.
    if ((m_flags & ICMF_CHOOSE_KEYFRAME) && chkKeyFrames->isEnabled() && chkKeyFrames->isChecked()) {
        o.dwFlags |= AVICOMPRESSF_KEYFRAMES;
        o.dwKeyFrameEvery = std::uint32_t(spnKeyFrames->value());
    }
    if ((m_flags & ICMF_CHOOSE_DATARATE) && chkDataRate->isEnabled() && chkDataRate->isChecked()) {
        o.dwFlags |= AVICOMPRESSF_DATARATE;
        o.dwBytesPerSecond = std::uint32_t(spnDataRate->value()) * 1024;
    }
    return o;
}

} // namespace kelbo
