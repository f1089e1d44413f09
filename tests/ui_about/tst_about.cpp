// The About box: the registry stand-in, GetKeyValue, the choice and start of the
// system-information program, the box's texts, layout, links and keys, and its menu entry.
#include "kelbo/version.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "ui/about/aboutinfo.h"
#include "ui/about/frmAbout.h"
#include "ui/about/sysinfo.h"
#include "ui/main/frmMain.h"
#include "ui/widgets/qtservices.h"
#include "scriptedservices.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <stdexcept>

using namespace kelbo;
using namespace kelbo::reg;
using kelbo::test::ScriptedServices;

namespace {

const QString kPathKey = QString::fromLatin1(kMsInfoPathKey);
const QString kFolderKey = QString::fromLatin1(kMsInfoFolderKey);

// A scripted registry: a table of keys and values, with a record of every call made on it.
class ScriptedRegistry final : public Registry {
public:
    struct Open {
        HKEY root;
        QString key;
        DWORD access;
    };
    StaticRegistry table;
    QList<Open> opens;
    QList<DWORD> offeredSizes; // the buffer size of each query that offered a buffer
    bool throwOnOpen = false;

    LONG RegOpenKeyExA(HKEY key, const QString &subKey, DWORD options, DWORD sam,
                       HKEY *result) override
    {
        if (throwOnOpen)
            throw std::runtime_error("registry unreadable");
        opens.append({key, subKey, sam});
        return table.RegOpenKeyExA(key, subKey, options, sam, result);
    }
    LONG RegQueryValueExA(HKEY key, const QString &name, DWORD *reserved, DWORD *type,
                          char *data, DWORD *size) override
    {
        if (data != nullptr && size != nullptr)
            offeredSizes.append(*size);
        return table.RegQueryValueExA(key, name, reserved, type, data, size);
    }
    LONG RegCloseKey(HKEY key) override { return table.RegCloseKey(key); }
};

QByteArray repeated(int count) // "abcd...zabc..." of `count` bytes
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char('a' + i % 26));
    return bytes;
}

void makeExecutable(const QString &path, const QByteArray &content = "#!/bin/sh\nexit 0\n")
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser));
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    // The registry stand-in.
    void registryOpen_data();
    void registryOpen();
    void registryQuery();
    void desktopRegistry();

    // GetKeyValue and StartSysInfo.
    void getKeyValue_data();
    void getKeyValue();
    void startSysInfo_data();
    void startSysInfo();
    void startSysInfoSurvivesFailingRegistry();
    void startedProgramIsNotWaitedFor();

    // The box.
    void windowAndTextsAtLoad();
    void layout();
    void fontsColoursAndTooltips();
    void textsFitTheirBoxes();
    void detailsMessage();
    void realMessageBoxBreaksLinesOnCarriageReturns();
    void links_data();
    void links();
    void sysInfoButton();
    void keysClose_data();
    void keysClose();
    void menuEntryShowsTheBox();

private:
    std::unique_ptr<ScriptedServices> services;
    std::unique_ptr<ScriptedRegistry> registry;
    std::unique_ptr<frmAbout> box;
};

void TestAbout::init()
{
    services = std::make_unique<ScriptedServices>();
    registry = std::make_unique<ScriptedRegistry>();
    box = std::make_unique<frmAbout>(*services, *registry);
}

void TestAbout::cleanup()
{
    box.reset();
    registry.reset();
    services.reset();
}

// --- The registry stand-in -------------------------------------------------------------------

void TestAbout::registryOpen_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("path");
    QTest::addColumn<uint>("access");
    QTest::addColumn<int>("expected");

    const QString key = QStringLiteral("SOFTWARE\\Kelbo\\Test");
    QTest::newRow("read rights on a read-only key") << true << key << uint(KEY_READ) << int(ERROR_SUCCESS);
    QTest::newRow("the 0x2003F mask on a read-only key") << true << key << 0x2003Fu << int(ERROR_ACCESS_DENIED);
    QTest::newRow("set-value right on a read-only key") << true << key << uint(KEY_QUERY_VALUE | KEY_SET_VALUE) << int(ERROR_ACCESS_DENIED);
    QTest::newRow("the 0x2003F mask on a writable key") << false << key << 0x2003Fu << int(ERROR_SUCCESS);
    QTest::newRow("implicit parent, read") << false << QStringLiteral("SOFTWARE\\Kelbo") << uint(KEY_READ) << int(ERROR_SUCCESS);
    QTest::newRow("implicit parent is read-only") << false << QStringLiteral("SOFTWARE\\Kelbo") << 0x2003Fu << int(ERROR_ACCESS_DENIED);
    QTest::newRow("missing key") << false << QStringLiteral("SOFTWARE\\Other") << uint(KEY_READ) << int(ERROR_FILE_NOT_FOUND);
    QTest::newRow("other root") << false << QString() << uint(KEY_READ) << int(ERROR_FILE_NOT_FOUND);
}

void TestAbout::registryOpen()
{
    QFETCH(bool, readOnly);
    QFETCH(QString, path);
    QFETCH(uint, access);
    QFETCH(int, expected);

    StaticRegistry table;
    table.addKey(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Kelbo\\Test"), readOnly);
    const HKEY root = path.isEmpty() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    if (path.isEmpty())
        path = QStringLiteral("SOFTWARE\\Kelbo\\Test");
    HKEY key{};
    QCOMPARE(table.RegOpenKeyExA(root, path, 0, access, &key), expected);
    QCOMPARE(table.openHandles(), expected == ERROR_SUCCESS ? 1 : 0);
    if (expected == ERROR_SUCCESS) {
        QCOMPARE(table.RegCloseKey(key), ERROR_SUCCESS);
        QCOMPARE(table.RegCloseKey(key), ERROR_INVALID_HANDLE);
    }
    QCOMPARE(table.openHandles(), 0);
}

void TestAbout::registryQuery()
{
    StaticRegistry table;
    const QString path = QStringLiteral("SOFTWARE\\Kelbo");
    table.setText(HKEY_LOCAL_MACHINE, path, QStringLiteral("Name"), QStringLiteral("abcd"));
    HKEY key{};
    QCOMPARE(table.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_SUCCESS);

    // Asking for the size only: the terminator counts; names ignore case.
    DWORD type = 0;
    DWORD size = 0;
    QCOMPARE(table.RegQueryValueExA(key, QStringLiteral("name"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    QCOMPARE(type, REG_SZ);
    QCOMPARE(size, 5u);

    // Too small a buffer: more data needed, its size reported, the buffer untouched.
    QByteArray buffer(8, '#');
    size = 4;
    QCOMPARE(table.RegQueryValueExA(key, QStringLiteral("Name"), nullptr, &type, buffer.data(), &size), ERROR_MORE_DATA);
    QCOMPARE(size, 5u);
    QCOMPARE(buffer, QByteArray(8, '#'));
    QCOMPARE(table.RegCloseKey(key), ERROR_SUCCESS);
    QCOMPARE(table.RegQueryValueExA(key, QStringLiteral("Name"), nullptr, &type, buffer.data(), &size), ERROR_INVALID_HANDLE);

    // Without the query-value right the value cannot be read.
    QCOMPARE(table.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ENUMERATE_SUB_KEYS, &key), ERROR_SUCCESS);
    QCOMPARE(table.RegQueryValueExA(key, QStringLiteral("Name"), nullptr, &type, buffer.data(), &size), ERROR_ACCESS_DENIED);
    QCOMPARE(table.RegCloseKey(key), ERROR_SUCCESS);
    QCOMPARE(table.openHandles(), 0);
}

void TestAbout::desktopRegistry()
{
    QTemporaryDir tools;
    QTemporaryDir launcher;
    QVERIFY(tools.isValid() && launcher.isValid());
    QString value;

    // Nothing installed: the program key is absent, the launcher folder is still named.
    DesktopRegistry none({tools.path()}, launcher.path());
    QVERIFY(!GetKeyValue(none, HKEY_LOCAL_MACHINE, kPathKey, QStringLiteral("PATH"), value));
    QVERIFY(GetKeyValue(none, HKEY_LOCAL_MACHINE, kFolderKey, QStringLiteral("MSINFO"), value));
    QCOMPARE(value, launcher.path());
    QCOMPARE(sysInfoProgram(none), std::nullopt);

    // A file that is not executable does not count; of two programs the preferred one wins.
    QFile plain(tools.filePath(QStringLiteral("hardinfo")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    makeExecutable(tools.filePath(QStringLiteral("xfce4-taskmanager")));
    makeExecutable(tools.filePath(QStringLiteral("gnome-system-monitor")));
    DesktopRegistry two({tools.path()}, launcher.path());
    QVERIFY(GetKeyValue(two, HKEY_LOCAL_MACHINE, kPathKey, QStringLiteral("PATH"), value));
    QCOMPARE(value, tools.filePath(QStringLiteral("gnome-system-monitor")));
    QCOMPARE(two.openHandles(), 0);

    // A launcher named MSINFO32.EXE in the launcher folder is found when no tool is installed.
    makeExecutable(launcher.filePath(QStringLiteral("MSINFO32.EXE")));
    DesktopRegistry withLauncher({launcher.path() + QStringLiteral("/empty")}, launcher.path());
    QCOMPARE(sysInfoProgram(withLauncher), launcher.filePath(QStringLiteral("MSINFO32.EXE")));

    // By default the launcher folder is the program's own.
    DesktopRegistry desktop;
    QVERIFY(GetKeyValue(desktop, HKEY_LOCAL_MACHINE, kFolderKey, QStringLiteral("MSINFO"), value));
    QCOMPARE(value, app::path());
}

// --- GetKeyValue and StartSysInfo ------------------------------------------------------------

void TestAbout::getKeyValue_data()
{
    QTest::addColumn<int>("setup"); // 0 value present, 1 value missing, 2 key missing, 3 read-only key
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("keyVal"); // from "keep"

    const QByteArray nul(1, '\0');
    QTest::newRow("1024 characters without terminator: whole") << 0 << uint(REG_SZ) << repeated(1024) << true << QString::fromLatin1(repeated(1024));
    QTest::newRow("1023 characters and terminator") << 0 << uint(REG_SZ) << repeated(1023) + nul << true << QString::fromLatin1(repeated(1023));
    QTest::newRow("short text loses its terminator") << 0 << uint(REG_SZ) << QByteArray("/opt/info") + nul << true << QStringLiteral("/opt/info");
    QTest::newRow("only one terminator dropped") << 0 << uint(REG_SZ) << QByteArray("ab") + nul + nul << true << QStringLiteral("ab") + QChar(0);
    QTest::newRow("empty text") << 0 << uint(REG_SZ) << nul << true << QString();
    QTest::newRow("accented text") << 0 << uint(REG_SZ) << QStringLiteral("/opt/été").toLocal8Bit() + nul << true << QStringLiteral("/opt/été");
    QTest::newRow("1025 characters: missing") << 0 << uint(REG_SZ) << repeated(1025) << false << QString();
    QTest::newRow("1024 characters and terminator: missing") << 0 << uint(REG_SZ) << repeated(1024) + nul << false << QString();
    QTest::newRow("number") << 0 << uint(REG_DWORD) << QByteArray("\xB3\xA2\x01\x00", 4) << true << QStringLiteral("&h1A2B3");
    QTest::newRow("number zero") << 0 << uint(REG_DWORD) << QByteArray(4, '\0') << true << QStringLiteral("&h0");
    QTest::newRow("expandable text left as it was") << 0 << uint(REG_EXPAND_SZ) << QByteArray("/opt/info") + nul << true << QStringLiteral("keep");
    QTest::newRow("binary left as it was") << 0 << uint(REG_BINARY) << QByteArray("\x01\x02", 2) << true << QStringLiteral("keep");
    QTest::newRow("value missing") << 1 << uint(REG_SZ) << QByteArray() << false << QString();
    QTest::newRow("key missing") << 2 << uint(REG_SZ) << QByteArray() << false << QString();
    QTest::newRow("read-only key refuses the open") << 3 << uint(REG_SZ) << QByteArray("/opt/info") + nul << false << QString();
}

void TestAbout::getKeyValue()
{
    QFETCH(int, setup);
    QFETCH(uint, type);
    QFETCH(QByteArray, data);
    QFETCH(bool, ok);
    QFETCH(QString, keyVal);

    const QString path = QStringLiteral("SOFTWARE\\Kelbo\\Tools");
    if (setup == 0 || setup == 3)
        registry->table.setValue(HKEY_LOCAL_MACHINE, path, QStringLiteral("Program"), type, data);
    if (setup == 1)
        registry->table.setValue(HKEY_LOCAL_MACHINE, path, QStringLiteral("Other"), REG_SZ, "x");
    if (setup == 3)
        registry->table.addKey(HKEY_LOCAL_MACHINE, path, true);

    QString value = QStringLiteral("keep");
    QCOMPARE(GetKeyValue(*registry, HKEY_LOCAL_MACHINE, path, QStringLiteral("Program"), value), ok);
    QCOMPARE(value, keyVal);

    QCOMPARE(registry->opens.size(), 1);
    QCOMPARE(registry->opens[0].root, HKEY_LOCAL_MACHINE);
    QCOMPARE(registry->opens[0].key, path);
    QCOMPARE(registry->opens[0].access, 0x2003Fu);
    QCOMPARE(registry->offeredSizes, (setup == 2 || setup == 3) ? QList<DWORD>{} : QList<DWORD>{1024});
    QCOMPARE(registry->table.openHandles(), 0); // closed on every path
}

void TestAbout::startSysInfo_data()
{
    // In values, $DIR is a folder holding MSINFO32.EXE and $BARE one without it.
    QTest::addColumn<uint>("firstType");      // 0: no first key
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<bool>("firstReadOnly");
    QTest::addColumn<QString>("second");       // "-": no second key
    QTest::addColumn<bool>("secondReadOnly");
    QTest::addColumn<bool>("startWorks");
    QTest::addColumn<QString>("started");      // "" when nothing was started
    QTest::addColumn<bool>("message");

    const QByteArray tool("/usr/bin/sysinfo-tool\0", 22);
    const QString exe = QStringLiteral("$DIR/MSINFO32.EXE");
    QTest::newRow("first key names the program") << uint(REG_SZ) << tool << false << QStringLiteral("$DIR") << false << true << QStringLiteral("/usr/bin/sysinfo-tool") << false;
    QTest::newRow("first key, start fails") << uint(REG_SZ) << tool << false << QStringLiteral("$DIR") << false << false << QStringLiteral("/usr/bin/sysinfo-tool") << true;
    QTest::newRow("first with backslashes") << uint(REG_SZ) << QByteArray("\\opt\\info\\tool") << false << QStringLiteral("-") << false << true << QStringLiteral("/opt/info/tool") << false;
    QTest::newRow("second used, MSINFO32.EXE present") << 0u << QByteArray() << false << QStringLiteral("$DIR") << false << true << exe << false;
    QTest::newRow("second, MSINFO32.EXE absent") << 0u << QByteArray() << false << QStringLiteral("$BARE") << false << true << QString() << true;
    QTest::newRow("second empty") << 0u << QByteArray() << false << QString() << false << true << QString() << true;
    QTest::newRow("both missing") << 0u << QByteArray() << false << QStringLiteral("-") << false << true << QString() << true;
    QTest::newRow("first too long counts as missing") << uint(REG_SZ) << repeated(1025) << false << QStringLiteral("$DIR") << false << true << exe << false;
    QTest::newRow("first expandable: empty path") << uint(REG_EXPAND_SZ) << tool << false << QStringLiteral("$DIR") << false << true << QString() << true;
    QTest::newRow("first refused, second used") << uint(REG_SZ) << tool << true << QStringLiteral("$DIR") << false << true << exe << false;
    QTest::newRow("both opens refused") << uint(REG_SZ) << tool << true << QStringLiteral("$DIR") << true << true << QString() << true;
}

void TestAbout::startSysInfo()
{
    QFETCH(uint, firstType);
    QFETCH(QByteArray, first);
    QFETCH(bool, firstReadOnly);
    QFETCH(QString, second);
    QFETCH(bool, secondReadOnly);
    QFETCH(bool, startWorks);
    QFETCH(QString, started);
    QFETCH(bool, message);

    QTemporaryDir dir;
    QTemporaryDir bare;
    QVERIFY(dir.isValid() && bare.isValid());
    makeExecutable(dir.filePath(QStringLiteral("MSINFO32.EXE")));
    makeExecutable(bare.filePath(QStringLiteral("msinfo32.exe"))); // the name is exact
    const auto expand = [&](QString text) {
        return text.replace(QStringLiteral("$DIR"), dir.path()).replace(QStringLiteral("$BARE"), bare.path());
    };

    StaticRegistry &table = registry->table;
    if (firstType != 0) {
        table.setValue(HKEY_LOCAL_MACHINE, kPathKey, QStringLiteral("PATH"), firstType, first);
        table.addKey(HKEY_LOCAL_MACHINE, kPathKey, firstReadOnly);
    }
    if (second != QStringLiteral("-")) {
        table.setText(HKEY_LOCAL_MACHINE, kFolderKey, QStringLiteral("MSINFO"), expand(second));
        table.addKey(HKEY_LOCAL_MACHINE, kFolderKey, secondReadOnly);
    }
    services->startProgramResult = startWorks;

    QCOMPARE(startSystemInformation(*registry, *services), !message);
    QCOMPARE(services->programsStarted, started.isEmpty() ? QStringList() : QStringList{expand(started)});
    QCOMPARE(services->messages.size(), message ? 1 : 0);
    if (message) {
        const MessageRequest &shown = services->messages.first();
        QCOMPARE(shown.text, QStringLiteral("Information Systeme introuvable !"));
        QCOMPARE(shown.title, QStringLiteral("Kelbo"));
        QCOMPARE(shown.icon, MsgIcon::None);
        QCOMPARE(shown.buttons, MsgButtons::Ok);
    }
    QCOMPARE(table.openHandles(), 0);
}

void TestAbout::startSysInfoSurvivesFailingRegistry()
{
    registry->throwOnOpen = true;
    QVERIFY(!startSystemInformation(*registry, *services));
    QCOMPARE(services->messageTexts(), QStringList{QStringLiteral("Information Systeme introuvable !")});
    QVERIFY(services->programsStarted.isEmpty());
}

void TestAbout::startedProgramIsNotWaitedFor()
{
    // The program reports that it runs, then waits until the test lets it end. Were it waited
    // for, StartSysInfo would return only after "done" exists.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString running = dir.filePath(QStringLiteral("running"));
    const QString release = dir.filePath(QStringLiteral("release"));
    const QString done = dir.filePath(QStringLiteral("done"));
    makeExecutable(dir.filePath(QStringLiteral("MSINFO32.EXE")),
                   QStringLiteral("#!/bin/sh\ntouch '%1'\ni=0\n"
                                  "while [ ! -e '%2' ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done\n"
                                  "touch '%3'\n").arg(running, release, done).toLocal8Bit());
    registry->table.setText(HKEY_LOCAL_MACHINE, kFolderKey, QStringLiteral("MSINFO"), dir.path());

    QtServices real;
    QVERIFY(startSystemInformation(*registry, real));
    QVERIFY(!QFile::exists(done));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(running), 10000);
    QVERIFY(!QFile::exists(done));
    QFile releaseFile(release);
    QVERIFY(releaseFile.open(QIODevice::WriteOnly));
    releaseFile.close();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(done), 10000);
}

// --- The box ---------------------------------------------------------------------------------

void TestAbout::windowAndTextsAtLoad()
{
    QCOMPARE(box->objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(box->windowTitle(), QStringLiteral("A propos Kelbo"));
    QCOMPARE(box->lblTitle->text(), QStringLiteral("Kelbo"));
    QCOMPARE(box->lblVersion->text(), QStringLiteral("Version ") + QString::fromLatin1(version::text));
    QVERIFY(box->lblEmail->text().startsWith(QStringLiteral("E-Mail : ")));
    QVERIFY(box->lblWebSite->text().startsWith(QStringLiteral("URL : ")));
    QCOMPARE(box->cmdDetails->text(), QStringLiteral("Détails..."));
    QCOMPARE(box->cmdSysInfo->text(), QStringLiteral("&Système Info..."));
    QVERIFY(box->cmdOK->isDefault());
    QCOMPARE(box->imgIcon->pixmap().size(), QSize(32, 32));
    QVERIFY(box->imgIcon->hasScaledContents());
    const QImage donation = box->imgDonate->pixmap().toImage();
    QCOMPARE(donation.size(), QSize(100, 44));
    QVERIFY(donation.pixelColor(50, 2).alpha() == 255 && donation.pixelColor(0, 0).alpha() < 255);
}

void TestAbout::layout()
{
    // The layout's twips divided by 15.
    const std::pair<QWidget *, QRect> expected[] = {
        {box->imgIcon, {8, 16, 48, 48}},        {box->lblTitle, {72, 8, 259, 16}},
        {box->lblVersion, {70, 32, 259, 15}},  {box->lblDescription, {72, 56, 259, 22}},
        {box->lblNotice, {40, 136, 185, 17}},     {box->lblEmail, {40, 88, 175, 15}},
        {box->lblWebSite, {72, 112, 141, 15}},     {box->imgDonate, {88, 168, 100, 44}},
        {box->cmdOK, {264, 96, 100, 39}},      {box->cmdDetails, {264, 152, 97, 25}},
        {box->cmdSysInfo, {264, 184, 99, 23}}};
    for (const auto &[control, geometry] : expected)
        QCOMPARE(control->geometry(), geometry);
    QCOMPARE(box->size(), QSize(382, 224));
    QCOMPARE(box->minimumSize(), box->maximumSize());
    QVERIFY(!(box->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
}

void TestAbout::fontsColoursAndTooltips()
{
    for (QWidget *w : {static_cast<QWidget *>(box->lblTitle), static_cast<QWidget *>(box->lblWebSite),
                       static_cast<QWidget *>(box->cmdDetails)}) {
        QCOMPARE(QFontInfo(w->font()).family(), QStringLiteral("Comic Neue"));
        QCOMPARE(QFontInfo(w->font()).bold(), w == box->lblTitle);
    }
    // The dots of "1.2.0" almost vanish in Comic Neue at this size: the version line has a
    // plain face of the same size.
    QCOMPARE(QFontInfo(box->lblVersion->font()).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(box->lblVersion->font().pointSizeF(), box->lblWebSite->font().pointSizeF());
    QVERIFY(!box->lblVersion->font().bold());
    QCOMPARE(QFontInfo(box->cmdOK->font()).family(), QStringLiteral("Liberation Sans"));
    QVERIFY(QFontInfo(box->cmdOK->font()).bold());

    for (QLabel *link : {box->lblEmail, box->lblWebSite}) {
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    }
    QCOMPARE(box->imgDonate->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(box->lblEmail->toolTip(), QStringLiteral("Envoyer un courriel"));
    QCOMPARE(box->cmdSysInfo->toolTip(), QStringLiteral("Informations système"));
    QCOMPARE(box->lblWebSite->toolTip(), about::visitTip());
    QCOMPARE(box->imgDonate->toolTip(), about::donateTip());
    QVERIFY(!about::visitTip().isEmpty() && !about::donateTip().isEmpty());
}

void TestAbout::textsFitTheirBoxes()
{
    for (QLabel *l : {box->lblTitle, box->lblVersion, box->lblEmail, box->lblWebSite, box->lblNotice}) {
        const QFontMetrics metrics(l->font());
        QVERIFY2(metrics.horizontalAdvance(l->text()) <= l->width(), qPrintable(l->text()));
        QVERIFY2(metrics.height() <= l->height() + 2, qPrintable(l->text()));
    }
    const QFontMetrics metrics(box->lblDescription->font());
    const QRect needed = metrics.boundingRect(QRect(0, 0, box->lblDescription->width(), 1000),
                                              Qt::TextWordWrap, box->lblDescription->text());
    QVERIFY2(needed.height() <= box->lblDescription->height(), qPrintable(box->lblDescription->text()));
}

void TestAbout::detailsMessage()
{
    QTest::mouseClick(box->cmdDetails, Qt::LeftButton);
    QCOMPARE(services->messages.size(), 1);
    const MessageRequest &shown = services->messages.first();
    QCOMPARE(shown.title, QStringLiteral("A propos"));
    QCOMPARE(shown.icon, MsgIcon::Information);
    QCOMPARE(shown.buttons, MsgButtons::Ok);
    QVERIFY(!shown.text.contains(QLatin1Char('\n')));

    const QStringList lines = shown.text.split(QLatin1Char('\r'));
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0], QStringLiteral("Kelbo version ") + QString::fromLatin1(version::text) + QStringLiteral(" - Création d'animations au format AVI"));
    QCOMPARE(lines[1], QString());
    QCOMPARE(lines[2], about::maker());
    QCOMPARE(lines[3], QStringLiteral("E-Mail : ") + about::email());
    QCOMPARE(lines[4], QStringLiteral("URL : ") + about::webSiteUrl());
    QCOMPARE(lines[5], QString());
    QCOMPARE(lines[6], about::licenceNotice());
    QVERIFY(!lines[2].isEmpty() && !lines[6].isEmpty());
}

void TestAbout::realMessageBoxBreaksLinesOnCarriageReturns()
{
    // The real message box is closed by a timer as soon as it is up.
    QString seen;
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, this, [&seen] {
        if (auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            seen = shown->text();
            shown->button(QMessageBox::Ok)->click();
        }
    });
    closer.start();
    QtServices real;
    real.message(frmAbout::detailsText(), QStringLiteral("A propos"), MsgIcon::Information);
    closer.stop();
    QCOMPARE(seen, QString(frmAbout::detailsText()).replace(QLatin1Char('\r'), QLatin1Char('\n')));
}

void TestAbout::links_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("url");
    QTest::newRow("web site") << QStringLiteral("lblWebSite") << about::webSiteUrl();
    QTest::newRow("donation") << QStringLiteral("imgDonate") << about::donationUrl();
    QTest::newRow("e-mail") << QStringLiteral("lblEmail") << QStringLiteral("mailto:") + about::email();
}

void TestAbout::links()
{
    QFETCH(QString, control);
    QFETCH(QString, url);
    QLabel *target = control == QStringLiteral("lblWebSite") ? box->lblWebSite
                   : control == QStringLiteral("imgDonate") ? box->imgDonate
                                                          : box->lblEmail;
    box->show();
    services->openUrlResult = false; // a failing link shows nothing
    QTest::mouseClick(target, Qt::LeftButton);
    QTest::mouseClick(target, Qt::RightButton);
    QCOMPARE(services->urlsOpened, QStringList{url});
    QVERIFY(services->messages.isEmpty());
    QVERIFY(box->isVisible());
}

void TestAbout::sysInfoButton()
{
    registry->table.setText(HKEY_LOCAL_MACHINE, kPathKey, QStringLiteral("PATH"), QStringLiteral("/opt/tool"));
    QTest::mouseClick(box->cmdSysInfo, Qt::LeftButton);
    QCOMPARE(services->programsStarted, QStringList{QStringLiteral("/opt/tool")});
    QVERIFY(services->messages.isEmpty());

    services->startProgramResult = false;
    QTest::mouseClick(box->cmdSysInfo, Qt::LeftButton);
    QCOMPARE(services->messageTexts(), QStringList{QStringLiteral("Information Systeme introuvable !")});
}

void TestAbout::keysClose_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Escape") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Return);
}

void TestAbout::keysClose()
{
    QFETCH(int, key);
    box->show();
    QVERIFY(QTest::qWaitForWindowActive(box.get()));
    QCOMPARE(QApplication::focusWidget(), box->cmdOK);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QVERIFY(!box->isVisible());
    QCOMPARE(box->result(), int(QDialog::Accepted)); // like "OK"
    QVERIFY(services->messages.isEmpty());
}

void TestAbout::menuEntryShowsTheBox()
{
    frmMain main(*services);
    QPointer<QDialog> shown;
    QString title;
    bool modal = false;
    QWidget *owner = nullptr;
    services->modalScripts.push_back([&](QDialog &dialog) {
        shown = &dialog;
        title = dialog.windowTitle();
        modal = dialog.isModal() && dialog.isVisible();
        owner = dialog.parentWidget();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    main.Mnu_Apropos->trigger();
    QCOMPARE(services->dialogsShown, QStringList{QStringLiteral("frmAbout")});
    QCOMPARE(title, QStringLiteral("A propos Kelbo"));
    QVERIFY(modal);
    QCOMPARE(owner, &main);
    QVERIFY(shown.isNull()); // unloaded once closed
    QVERIFY(services->modalScripts.empty());
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
