#pragma once
// The video compression dialog: the compressors that can encode the stream's frame size,
// full frames first; the compression quality; a key frame every N frames and a data rate in
// Ko/s when the caller asks for them. Settings a compressor does not have are disabled.

#include "avi/avifile.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

namespace kelbo {

struct Compressor;

class CompressionDialog : public QDialog {
    Q_OBJECT
public:
    // `flags`: ICMF_CHOOSE_KEYFRAME and ICMF_CHOOSE_DATARATE show those settings. `initial`
    // gives the first choice when its dwFlags has AVICOMPRESSF_VALID.
    CompressionDialog(std::uint32_t flags, QSize frameSize, const AVICOMPRESSOPTIONS &initial,
                      QWidget *parent = nullptr);

    // The record for the current choice: fccType "vids", the compressor's code, the quality
    // (0..10000), and the key-frame and data-rate settings with their flags.
    AVICOMPRESSOPTIONS options() const;

    QLabel *lblCompressor = nullptr;
    QComboBox *cmbCompressor = nullptr;
    QLabel *lblQuality = nullptr;
    QSlider *sldQuality = nullptr;
    QLabel *lblQualityValue = nullptr;
    QCheckBox *chkKeyFrames = nullptr;
    QSpinBox *spnKeyFrames = nullptr;
    QLabel *lblKeyFramesUnit = nullptr;
    QCheckBox *chkDataRate = nullptr;
    QSpinBox *spnDataRate = nullptr;
    QLabel *lblDataRateUnit = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

private:
    void compressorChanged();
    void updateEnabled();
    const Compressor *current() const;

    std::uint32_t m_flags;
    std::vector<const Compressor *> m_offered;
};

} // namespace kelbo
