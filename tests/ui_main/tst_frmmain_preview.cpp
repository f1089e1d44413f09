// The preview of the main window: drawing the frame at the slider position, the navigation
// buttons, and playback with its waits, run on a scripted clock.
#include "ui/main/frmMain.h"
#include "picturefiles.h"
#include "scriptedservices.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

using namespace kelbo;
using kelbo::test::ScriptedServices;
using kelbo::test::solidImage;
using kelbo::test::writePicture;

namespace {

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0), kMagenta = qRgb(255, 0, 255);
const QRgb kBlack = qRgb(0, 0, 0);

QRgb centre(const Surface &surface)
{
    return surface.image().pixel(surface.scaleWidth() / 2, surface.scaleHeight() / 2);
}

// A clock that moves only when playback idles; each idle records what the preview showed.
struct PlaybackScript {
    struct Wait {
        double seconds;
        int position;
        QRgb shown;
    };
    frmMain *window = nullptr;
    double now = 0;
    std::vector<Wait> waits;
    std::function<void(int)> onIdle; // runs inside the idle, with its number (1-based)

    WaitHooks hooks()
    {
        return {[this] { return now; }, [] {},
                [this](double seconds) {
                    waits.push_back({seconds, window->slPre->value(), centre(window->picPre->surface())});
                    const int number = int(waits.size());
                    if (onIdle)
                        onIdle(number);
                    now += seconds;
                }};
    }
    std::vector<int> positions() const
    {
        std::vector<int> list;
        for (const Wait &w : waits)
            list.push_back(w.position);
        return list;
    }
    std::vector<QRgb> shown() const
    {
        std::vector<QRgb> list;
        for (const Wait &w : waits)
            list.push_back(w.shown);
        return list;
    }
};

} // namespace

class TestFrmMainPreview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void drawsFrameWithCaption();
    void noCaption();
    void entryThatCannotBeShown_data();
    void entryThatCannotBeShown();
    void previewTabShowsFrameOne();
    void navigation_data();
    void navigation();
    void navigationOnEmptyList();
    void nextPastStaleMaximum();
    void delays_data();
    void delays();
    void playDoesNotRedrawFrameOne();
    void missingFileInTheMiddle();
    void stopDuringPlayback();
    void stopWhileIdle();
    void playEmptyList();
    void nestedPlayback();
    void stopEndsEveryPlayback();
    void rateNotValidDuringPlayback();
    void listShrinksDuringPlayback();
    void listGrowsPastMaximum();
    void closingStopsPlayback();
    void realClockPlayback();
    void realClockStop();

private:
    QString picture(const char *name) const { return m_tmp.path() + QLatin1Char('/') + QLatin1String(name); }
    void fill(std::initializer_list<const char *> names);
    void blankPreview() { w->picPre->surface().image().fill(Qt::black); }

    QTemporaryDir m_tmp;
    std::unique_ptr<ScriptedServices> services;
    std::unique_ptr<frmMain> w;
    PlaybackScript script;
};

void TestFrmMainPreview::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    QVERIFY(writePicture(picture("rouge.bmp"), solidImage({20, 10}, Qt::red)));
    QVERIFY(writePicture(picture("vert.gif"), solidImage({8, 8}, Qt::green)));
    QVERIFY(writePicture(picture("magenta.bmp"), solidImage({300, 300}, Qt::magenta)));
    QFile broken(picture("casse.gif"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("GIF89a but nothing more");
}

void TestFrmMainPreview::init()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    services = std::make_unique<ScriptedServices>();
    w = std::make_unique<frmMain>(*services);
    script = PlaybackScript{};
    script.window = w.get();
    w->waitHooks = script.hooks();
}

void TestFrmMainPreview::cleanup()
{
    w.reset();
    services.reset();
    QLocale::setDefault(QLocale::system());
}

void TestFrmMainPreview::fill(std::initializer_list<const char *> names)
{
    for (const char *name : names)
        w->files().add(picture(name));
}

void TestFrmMainPreview::drawsFrameWithCaption()
{
    fill({"rouge.bmp", "vert.gif", "magenta.bmp"});
    w->txtCap->setPlainText(QStringLiteral("WWW\nWWW"));
    w->cmbAlign->setCurrentIndex(4); // top left
    w->selectTab(1);
    const Surface &pre = w->picPre->surface();
    // The persistent picture is the stretched frame alone; the caption is drawn over it.
    QCOMPARE(pre.picture(), solidImage({237, 181}, Qt::red));
    int white = 0, changedElsewhere = 0;
    for (int y = 0; y < pre.scaleHeight(); ++y) {
        for (int x = 0; x < pre.scaleWidth(); ++x) {
            const QRgb p = pre.image().pixel(x, y);
            if (p == qRgb(255, 255, 255))
                ++white;
            if (p != kRed && (x > 80 || y > 50))
                ++changedElsewhere;
        }
    }
    QVERIFY2(white > 30, qPrintable(QString::number(white)));
    QCOMPARE(changedElsewhere, 0);
    QCOMPARE(w->lblCount->text(), QStringLiteral("Images : 3"));
    QCOMPARE(w->files().selected(), 1);

    w->slPre->setValue(2);
    QCOMPARE(pre.picture(), solidImage({237, 181}, Qt::green));
    QCOMPARE(w->files().selected(), 2);
    QCOMPARE(w->lblCount->text(), QStringLiteral("Images : 3")); // the count, not the position
}

void TestFrmMainPreview::noCaption()
{
    fill({"magenta.bmp"});
    w->selectTab(1);
    QCOMPARE(w->picPre->surface().image(), solidImage({237, 181}, Qt::magenta));
    QCOMPARE(w->picPre->surface().picture(), w->picPre->surface().image());
}

void TestFrmMainPreview::entryThatCannotBeShown_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "absent.bmp";
    QTest::newRow("not a picture") << "casse.gif";
}

void TestFrmMainPreview::entryThatCannotBeShown()
{
    QFETCH(QString, name);
    fill({"rouge.bmp"});
    w->files().add(m_tmp.path() + QLatin1Char('/') + name);
    w->selectTab(1);
    w->lblCount->setText(QStringLiteral("avant"));
    w->slPre->setValue(2);
    QCOMPARE(centre(w->picPre->surface()), kRed);
    QCOMPARE(w->lblCount->text(), QStringLiteral("avant"));
    QCOMPARE(w->files().selected(), 1);
}

void TestFrmMainPreview::previewTabShowsFrameOne()
{
    fill({"rouge.bmp", "vert.gif"});
    w->selectTab(1);
    w->slPre->setValue(2);
    QCOMPARE(centre(w->picPre->surface()), kGreen);
    w->selectTab(2);
    blankPreview();
    w->selectTab(1);
    QCOMPARE(w->slPre->value(), 1);
    QCOMPARE(centre(w->picPre->surface()), kRed);
    blankPreview();
    w->selectTab(1); // drawn again even though the position stayed 1
    QCOMPARE(centre(w->picPre->surface()), kRed);
}

void TestFrmMainPreview::navigation_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QRgb>("shown"); // black: nothing drawn
    QTest::newRow("first from 3") << "first" << 3 << 1 << kRed;
    QTest::newRow("first at 1") << "first" << 1 << 1 << kBlack;
    QTest::newRow("back from 3") << "back" << 3 << 2 << kGreen;
    QTest::newRow("back at 1") << "back" << 1 << 1 << kBlack;
    QTest::newRow("next from 1") << "next" << 1 << 2 << kGreen;
    QTest::newRow("next at 3") << "next" << 3 << 3 << kBlack;
    QTest::newRow("last from 1") << "last" << 1 << 3 << kMagenta;
    QTest::newRow("last at 3") << "last" << 3 << 3 << kBlack;
}

void TestFrmMainPreview::navigation()
{
    QFETCH(QString, button);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QRgb, shown);
    fill({"rouge.bmp", "vert.gif", "magenta.bmp"});
    w->selectTab(1);
    w->slPre->setValue(from);
    blankPreview();
    QPushButton *b = button == QLatin1String("first") ? w->cmdFirst
        : button == QLatin1String("back")             ? w->cmdBack
        : button == QLatin1String("next")             ? w->cmdNext
                                                      : w->cmdLast;
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(w->slPre->value(), to);
    QCOMPARE(centre(w->picPre->surface()), shown);
}

void TestFrmMainPreview::navigationOnEmptyList()
{
    fill({"rouge.bmp", "vert.gif"});
    w->selectTab(1);
    w->slPre->setValue(2);
    w->files().clear();
    blankPreview();
    for (QPushButton *b : {w->cmdFirst, w->cmdBack, w->cmdNext, w->cmdLast}) {
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(w->slPre->value(), 2);
    }
    QCOMPARE(centre(w->picPre->surface()), kBlack);
}

void TestFrmMainPreview::nextPastStaleMaximum()
{
    fill({"rouge.bmp"});
    w->selectTab(1);
    fill({"vert.gif", "magenta.bmp"}); // appended without the maximum following
    QCOMPARE(w->slPre->maximum(), 1);
    QTest::mouseClick(w->cmdNext, Qt::LeftButton);
    QCOMPARE(w->slPre->maximum(), 3);
    QCOMPARE(w->slPre->value(), 2);
    QCOMPARE(centre(w->picPre->surface()), kGreen);
    QCOMPARE(w->lblCount->text(), QStringLiteral("Images : 3"));
    QTest::mouseClick(w->cmdLast, Qt::LeftButton);
    QCOMPARE(w->slPre->value(), 3);
}

void TestFrmMainPreview::delays_data()
{
    QTest::addColumn<QString>("fps");
    QTest::addColumn<float>("seconds");
    QTest::newRow("25") << "25" << float(1.0 / 25.0);
    QTest::newRow("26") << "26" << 0.01f;
    QTest::newRow("30") << "30" << 0.01f;
    QTest::newRow("1") << "1" << 1.0f;
    QTest::newRow("12") << "12" << float(1.0 / 12.0);
}

void TestFrmMainPreview::delays()
{
    QFETCH(QString, fps);
    QFETCH(float, seconds);
    fill({"rouge.bmp", "vert.gif"});
    w->txtFPS->setText(fps);
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(script.waits.size(), std::size_t(2));
    for (const PlaybackScript::Wait &wait : script.waits)
        QCOMPARE(wait.seconds, double(seconds));
    QCOMPARE(script.now, 2 * double(seconds));
}

void TestFrmMainPreview::playDoesNotRedrawFrameOne()
{
    fill({"rouge.bmp", "vert.gif", "magenta.bmp"});
    w->selectTab(1);
    blankPreview();
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(script.positions(), (std::vector<int>{1, 2, 3}));
    QCOMPARE(script.shown(), (std::vector<QRgb>{kBlack, kGreen, kMagenta}));
    QCOMPARE(w->slPre->value(), 3); // no rewind
    QCOMPARE(w->files().selected(), 3);
    QVERIFY(!w->mStop);

    // Play again starts from frame 1.
    script.waits.clear();
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(script.positions(), (std::vector<int>{1, 2, 3}));
    QCOMPARE(script.shown(), (std::vector<QRgb>{kRed, kGreen, kMagenta}));
}

void TestFrmMainPreview::missingFileInTheMiddle()
{
    fill({"rouge.bmp", "absent.bmp", "magenta.bmp"});
    w->selectTab(1);
    w->txtFPS->setText(QStringLiteral("5"));
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    // Frame 1 stays on screen for the time of frame 2 as well.
    QCOMPARE(script.shown(), (std::vector<QRgb>{kRed, kRed, kMagenta}));
    QCOMPARE(script.positions(), (std::vector<int>{1, 2, 3}));
    for (const PlaybackScript::Wait &wait : script.waits)
        QCOMPARE(wait.seconds, double(0.2f));
}

void TestFrmMainPreview::stopDuringPlayback()
{
    fill({"rouge.bmp", "vert.gif", "magenta.bmp"});
    script.onIdle = [this](int n) {
        if (n == 2)
            QTest::mouseClick(w->cmdStop, Qt::LeftButton);
    };
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(script.positions(), (std::vector<int>{1, 2}));
    QCOMPARE(w->slPre->value(), 2);
    QVERIFY(w->mStop);

    // The stop has no lasting effect.
    script.onIdle = {};
    script.waits.clear();
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(script.positions(), (std::vector<int>{1, 2, 3}));
}

void TestFrmMainPreview::stopWhileIdle()
{
    fill({"rouge.bmp", "vert.gif"});
    QTest::mouseClick(w->cmdStop, Qt::LeftButton);
    QVERIFY(w->mStop);
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(script.positions(), (std::vector<int>{1, 2}));
    QVERIFY(!w->mStop);
}

void TestFrmMainPreview::playEmptyList()
{
    w->mStop = true;
    blankPreview();
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QVERIFY(!w->mStop);
    QVERIFY(script.waits.empty());
    QCOMPARE(w->slPre->value(), 1);
    QCOMPARE(centre(w->picPre->surface()), kBlack);
}

void TestFrmMainPreview::nestedPlayback()
{
    fill({"rouge.bmp", "vert.gif", "magenta.bmp"});
    script.onIdle = [this](int n) {
        if (n == 1)
            QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    };
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    // The second playback runs whole inside the first wait, then the first goes on.
    QCOMPARE(script.positions(), (std::vector<int>{1, 1, 2, 3, 2, 3}));
    QCOMPARE(w->slPre->value(), 3);
}

void TestFrmMainPreview::stopEndsEveryPlayback()
{
    fill({"rouge.bmp", "vert.gif", "magenta.bmp"});
    script.onIdle = [this](int n) {
        if (n == 1)
            QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
        if (n == 3)
            QTest::mouseClick(w->cmdStop, Qt::LeftButton);
    };
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(script.positions(), (std::vector<int>{1, 1, 2}));
    QCOMPARE(w->slPre->value(), 2);
}

void TestFrmMainPreview::rateNotValidDuringPlayback()
{
    fill({"rouge.bmp", "rouge.bmp", "rouge.bmp", "rouge.bmp", "rouge.bmp"});
    w->txtFPS->setText(QStringLiteral("4"));
    script.onIdle = [this](int n) {
        // The user edits the rate box while the animation runs.
        const char *texts[] = {"", "0", "10", "-"};
        if (n <= 4)
            w->txtFPS->setText(QLatin1String(texts[n - 1]));
    };
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    std::vector<double> seconds;
    for (const PlaybackScript::Wait &wait : script.waits)
        seconds.push_back(wait.seconds);
    // "" and "0" keep the last valid rate; "-" is corrected to "30" as it is typed.
    QCOMPARE(seconds, (std::vector<double>{0.25, 0.25, 0.25, double(0.1f), double(0.01f)}));

    // With no valid rate at all, the default rate's delay.
    script.onIdle = {};
    script.waits.clear();
    w->txtFPS->setText(QString());
    fill({});
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(script.waits.size(), std::size_t(5));
    QCOMPARE(script.waits.front().seconds, double(0.01f));
}

void TestFrmMainPreview::listShrinksDuringPlayback()
{
    fill({"rouge.bmp", "vert.gif", "magenta.bmp"});
    script.onIdle = [this](int n) {
        if (n == 1) {
            w->files().select(3);
            QTest::mouseClick(w->cmdRem, Qt::LeftButton);
        }
    };
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    // Playback ends at the last entry that still exists.
    QCOMPARE(script.positions(), (std::vector<int>{1, 2}));
    QCOMPARE(w->slPre->value(), 2);
    QCOMPARE(w->slPre->maximum(), 2);

    script.onIdle = [this](int n) {
        if (n == 1)
            QTest::mouseClick(w->cmdClear, Qt::LeftButton);
    };
    script.waits.clear();
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(script.positions(), std::vector<int>{1});
    QCOMPARE(w->slPre->value(), 1);
}

void TestFrmMainPreview::listGrowsPastMaximum()
{
    fill({"rouge.bmp"});
    w->selectTab(1);
    fill({"vert.gif", "magenta.bmp"});
    QCOMPARE(w->slPre->maximum(), 1);
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(script.positions(), (std::vector<int>{1, 2, 3}));
    QCOMPARE(script.shown(), (std::vector<QRgb>{kRed, kGreen, kMagenta}));
    QCOMPARE(w->slPre->maximum(), 3);
}

void TestFrmMainPreview::closingStopsPlayback()
{
    fill({"rouge.bmp", "vert.gif", "magenta.bmp"});
    QSignalSpy ended(w.get(), &frmMain::programEnded);
    script.onIdle = [this](int n) {
        if (n == 1)
            w->close();
    };
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(script.positions(), std::vector<int>{1});
}

void TestFrmMainPreview::realClockPlayback()
{
    w->waitHooks = qtWaitHooks();
    fill({"rouge.bmp", "vert.gif", "magenta.bmp"});
    w->txtFPS->setText(QStringLiteral("25"));
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    QVERIFY(timer.nsecsElapsed() >= 3 * 40'000'000LL);
    QCOMPARE(w->slPre->value(), 3);
}

void TestFrmMainPreview::realClockStop()
{
    w->waitHooks = qtWaitHooks();
    fill({"rouge.bmp", "vert.gif", "magenta.bmp"});
    w->txtFPS->setText(QStringLiteral("1"));
    QTimer::singleShot(50, w->cmdStop, [this] { QTest::mouseClick(w->cmdStop, Qt::LeftButton); });
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(w->cmdPlay, Qt::LeftButton);
    // Three frames would take three seconds; the click is seen during the first wait.
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(w->slPre->value(), 1);
}

QTEST_MAIN(TestFrmMainPreview)
#include "tst_frmmain_preview.moc"
