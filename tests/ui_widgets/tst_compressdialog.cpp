// The video compression dialog, alone and through QtServices.
#include "ui/widgets/compressdialog.h"
#include "avi/compressors.h"
#include "ui/widgets/qtservices.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

using namespace kelbo;

namespace {

constexpr std::uint32_t kBoth = ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE;

int indexOf(const CompressionDialog &d, FOURCC code)
{
    for (int i = 0; i < d.cmbCompressor->count(); ++i)
        if (d.cmbCompressor->itemData(i).toUInt() == code)
            return i;
    return -1;
}

AVISTREAMINFOA streamOf(int width, int height)
{
    AVISTREAMINFOA info;
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 30;
    SetRect(&info.rcFrame, 0, 0, width, height);
    return info;
}

// Runs `action` on the compression dialog as soon as it is shown.
void whenShown(std::function<void(CompressionDialog &)> action)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<CompressionDialog *>(w);
            if (dialog && dialog->isVisible()) {
                timer->stop();
                timer->deleteLater();
                action(*dialog);
                return;
            }
        }
    });
    timer->start();
}

} // namespace

class TestCompressDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void textsInFrench();
    void compressorsForTheFrameSize_data();
    void compressorsForTheFrameSize();
    void settingsFollowTheCompressor();
    void flagsChooseTheSettingsShown();
    void optionsRecord();
    void validRecordGivesTheFirstChoice();
    void qtServicesConfirmWithoutOwner();
    void qtServicesCancelWithOwner();
};

void TestCompressDialog::textsInFrench()
{
    CompressionDialog d(kBoth, QSize(320, 240), AVICOMPRESSOPTIONS{});
    QCOMPARE(d.windowTitle(), QStringLiteral("Compression vidéo"));
    QCOMPARE(d.parentWidget(), nullptr);
    QCOMPARE(d.lblCompressor->text(), QStringLiteral("Compresseur :"));
    QCOMPARE(d.lblQuality->text(), QStringLiteral("Qualité de la compression :"));
    QCOMPARE(d.chkKeyFrames->text(), QStringLiteral("Image clé toutes les"));
    QCOMPARE(d.lblKeyFramesUnit->text(), QStringLiteral("images"));
    QCOMPARE(d.chkDataRate->text(), QStringLiteral("Débit de données"));
    QCOMPARE(d.lblDataRateUnit->text(), QStringLiteral("Ko/s"));
    QCOMPARE(d.cmdOK->text(), QStringLiteral("OK"));
    QCOMPARE(d.cmdCancel->text(), QStringLiteral("Annuler"));
    QCOMPARE(d.cmbCompressor->itemText(0), QStringLiteral("Images complètes (non compressées)"));
    QCOMPARE(d.cmbCompressor->currentIndex(), 0);
}

void TestCompressDialog::compressorsForTheFrameSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("96 x 96") << QSize(96, 96);
    QTest::newRow("97 x 101") << QSize(97, 101);
    QTest::newRow("320 x 240") << QSize(320, 240);
    QTest::newRow("640 x 639") << QSize(640, 639);
}

void TestCompressDialog::compressorsForTheFrameSize()
{
    QFETCH(QSize, size);
    CompressionDialog d(kBoth, size, AVICOMPRESSOPTIONS{});
    QStringList shown, expected;
    for (int i = 0; i < d.cmbCompressor->count(); ++i)
        shown << d.cmbCompressor->itemText(i);
    for (const Compressor &c : availableCompressors())
        if (compressorAccepts(c, size.width(), size.height()))
            expected << c.name;
    QCOMPARE(shown, expected);
    // Every compressor takes every size, odd ones included.
    QCOMPARE(d.cmbCompressor->count(), int(availableCompressors().size()));
    if (findCompressor(mmioFOURCC('H', '2', '6', '4')))
        QVERIFY(indexOf(d, mmioFOURCC('H', '2', '6', '4')) >= 0);
}

void TestCompressDialog::settingsFollowTheCompressor()
{
    CompressionDialog d(kBoth, QSize(320, 240), AVICOMPRESSOPTIONS{});
    // Full frames: nothing to set.
    QVERIFY(!d.sldQuality->isEnabled());
    QVERIFY(!d.chkKeyFrames->isEnabled());
    QVERIFY(!d.chkDataRate->isEnabled());
    for (const Compressor &c : availableCompressors()) {
        const int index = indexOf(d, c.fourcc);
        QVERIFY(index >= 0);
        d.cmbCompressor->setCurrentIndex(index);
        QCOMPARE(d.sldQuality->isEnabled(), c.hasQuality);
        QCOMPARE(d.chkKeyFrames->isEnabled(), c.hasKeyFrames);
        QCOMPARE(d.chkDataRate->isEnabled(), c.hasDataRate);
        if (c.hasQuality) {
            QCOMPARE(d.sldQuality->value(), c.defaultQuality);
            QCOMPARE(d.lblQualityValue->text(), QString::number(c.defaultQuality));
        }
    }
}

void TestCompressDialog::flagsChooseTheSettingsShown()
{
    CompressionDialog none(0, QSize(320, 240), AVICOMPRESSOPTIONS{});
    QVERIFY(none.chkKeyFrames->isHidden());
    QVERIFY(none.spnDataRate->isHidden());
    QVERIFY(!none.sldQuality->isHidden());
    CompressionDialog keys(ICMF_CHOOSE_KEYFRAME, QSize(320, 240), AVICOMPRESSOPTIONS{});
    QVERIFY(!keys.chkKeyFrames->isHidden());
    QVERIFY(keys.chkDataRate->isHidden());
    // A setting that is not shown is not reported.
    const int h264 = indexOf(none, mmioFOURCC('H', '2', '6', '4'));
    if (h264 < 0)
        QSKIP("no H.264 encoder on this machine");
    none.cmbCompressor->setCurrentIndex(h264);
    none.chkKeyFrames->setChecked(true);
    none.chkDataRate->setChecked(true);
    QCOMPARE(none.options().dwFlags, AVICOMPRESSF_VALID);
}

void TestCompressDialog::optionsRecord()
{
    CompressionDialog d(kBoth, QSize(320, 240), AVICOMPRESSOPTIONS{});
    AVICOMPRESSOPTIONS o = d.options();
    QCOMPARE(o.fccType, streamtypeVIDEO);
    QCOMPARE(o.fccHandler, comptypeDIB);
    QCOMPARE(o.dwFlags, AVICOMPRESSF_VALID);

    const FOURCC fmp4 = mmioFOURCC('F', 'M', 'P', '4');
    QVERIFY(indexOf(d, fmp4) >= 0);
    d.cmbCompressor->setCurrentIndex(indexOf(d, fmp4));
    d.sldQuality->setValue(50);
    QCOMPARE(d.lblQualityValue->text(), QStringLiteral("50"));
    d.chkKeyFrames->setChecked(true);
    d.spnKeyFrames->setValue(10);
    d.chkDataRate->setChecked(true);
    d.spnDataRate->setValue(200);
    o = d.options();
    QCOMPARE(o.fccType, streamtypeVIDEO);
    QCOMPARE(o.fccHandler, fmp4);
    QCOMPARE(o.dwQuality, 5000u);
    QCOMPARE(o.dwKeyFrameEvery, 10u);
    QCOMPARE(o.dwBytesPerSecond, 200u * 1024u);
    QCOMPARE(o.dwFlags, AVICOMPRESSF_VALID | AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_DATARATE);

    // A compressor without key frames or data rate reports neither.
    const FOURCC ffv1 = mmioFOURCC('F', 'F', 'V', '1');
    QVERIFY(indexOf(d, ffv1) >= 0);
    d.cmbCompressor->setCurrentIndex(indexOf(d, ffv1));
    o = d.options();
    QCOMPARE(o.fccHandler, ffv1);
    QCOMPARE(o.dwFlags, AVICOMPRESSF_VALID);
}

void TestCompressDialog::validRecordGivesTheFirstChoice()
{
    AVICOMPRESSOPTIONS initial;
    initial.fccHandler = mmioFOURCC('M', 'J', 'P', 'G');
    initial.dwQuality = 4000;
    initial.dwFlags = AVICOMPRESSF_VALID | AVICOMPRESSF_DATARATE;
    initial.dwBytesPerSecond = 50 * 1024;
    CompressionDialog d(kBoth, QSize(320, 240), initial);
    QCOMPARE(d.cmbCompressor->currentText(), QStringLiteral("Motion JPEG"));
    QCOMPARE(d.sldQuality->value(), 40);
    QVERIFY(d.chkDataRate->isChecked());
    QCOMPARE(d.spnDataRate->value(), 50);

    initial.dwFlags = 0; // not valid: ignored
    CompressionDialog ignored(kBoth, QSize(320, 240), initial);
    QCOMPARE(ignored.cmbCompressor->currentIndex(), 0);
}

void TestCompressDialog::qtServicesConfirmWithoutOwner()
{
    QWidget mainWindow;
    mainWindow.show();
    QtServices services;
    bool otherWindowsUsable = false;
    whenShown([&](CompressionDialog &d) {
        // No owner: nothing is modal, the other windows take input.
        otherWindowsUsable = QApplication::activeModalWidget() == nullptr && mainWindow.isEnabled();
        d.cmbCompressor->setCurrentIndex(indexOf(d, mmioFOURCC('M', 'J', 'P', 'G')));
        d.sldQuality->setValue(60);
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    });
    AVICOMPRESSOPTIONS options;
    QCOMPARE(services.chooseCompression(nullptr, kBoth, streamOf(320, 240), options), 1L);
    QVERIFY(otherWindowsUsable);
    QCOMPARE(options.fccHandler, mmioFOURCC('M', 'J', 'P', 'G'));
    QCOMPARE(options.dwQuality, 6000u);
    QCOMPARE(options.dwFlags & AVICOMPRESSF_VALID, AVICOMPRESSF_VALID);
}

void TestCompressDialog::qtServicesCancelWithOwner()
{
    QWidget owner;
    owner.show();
    QtServices services;
    bool modal = false;
    QStringList offered;
    whenShown([&](CompressionDialog &d) {
        modal = QApplication::activeModalWidget() == &d;
        for (int i = 0; i < d.cmbCompressor->count(); ++i)
            offered << d.cmbCompressor->itemText(i);
        d.cmbCompressor->setCurrentIndex(d.cmbCompressor->count() - 1);
        QTest::mouseClick(d.cmdCancel, Qt::LeftButton);
    });
    AVICOMPRESSOPTIONS options;
    options.dwQuality = 1234;
    QCOMPARE(services.chooseCompression(&owner, 0, streamOf(97, 101), options), 0L);
    QVERIFY(modal);
    QCOMPARE(options.dwQuality, 1234u); // untouched
    QCOMPARE(offered.size(), int(compressorsFor(97, 101).size()));
}

QTEST_MAIN(TestCompressDialog)
#include "tst_compressdialog.moc"
