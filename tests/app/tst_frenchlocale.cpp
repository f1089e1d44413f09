// Qt's own dialogs speak French, with French sizes and dates, whatever the system's language,
// while numbers keep the system's decimal separator. The same test runs under several
// environments (tests/app/CMakeLists.txt); KELBO_EXPECT_DECIMAL gives the separator expected.
#include "platform/numbers.h"
#include "platform/system.h"
#include "project/settings.h"

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <map>

using namespace kelbo;

namespace {

const char *const kLocaleVariables[] = {"LC_ALL", "LC_NUMERIC", "LC_TIME", "LC_MESSAGES", "LANGUAGE", "LANG"};

// The environment as the program received it, before useFrenchSystemLocale().
std::map<QByteArray, std::pair<bool, QByteArray>> &environmentAtStart()
{
    static std::map<QByteArray, std::pair<bool, QByteArray>> values;
    return values;
}

QChar expectedDecimal()
{
    const QByteArray value = qgetenv("KELBO_EXPECT_DECIMAL");
    return QChar::fromLatin1(value.isEmpty() ? '?' : value.at(0));
}

// Runs `check` on the first visible modal dialog once it is shown, then closes it.
void whenDialogShown(std::function<void(QDialog &)> check)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, check] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        check(*dialog);
        dialog->reject();
    });
    timer->start();
}

} // namespace

class TestFrenchLocale : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void environmentGivenBack();
    void numbersKeepSystemSeparator();
    void fileDialogInFrench();
    void messageBoxButtonsInFrench();
};

void TestFrenchLocale::environmentGivenBack()
{
    for (const char *name : kLocaleVariables) {
        const auto &[wasSet, value] = environmentAtStart().at(name);
        QCOMPARE(qEnvironmentVariableIsSet(name), wasSet);
        QCOMPARE(qgetenv(name), value);
    }
}

void TestFrenchLocale::numbersKeepSystemSeparator()
{
    QCOMPARE(QLocale().decimalPoint(), QString(expectedDecimal()));
    QCOMPARE(QLocale().language(), QLocale::French);
    const bool comma = expectedDecimal() == QLatin1Char(',');
    QCOMPARE(isNumeric(QStringLiteral("2,5")), comma);
    QCOMPARE(isNumeric(QStringLiteral("2.5")), !comma);
    // The settings rules read numbers the same way: a text that is no number becomes the default.
    QCOMPARE(perChangeText(NumericField::Fps, QStringLiteral("2,5")),
             comma ? QStringLiteral("2,5") : ruleFor(NumericField::Fps).defaultText);
    QCOMPARE(toInt16(comma ? QStringLiteral("2,5") : QStringLiteral("2.5")), std::optional<std::int16_t>(2));
}

void TestFrenchLocale::fileDialogInFrench()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("image.bmp")));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QCOMPARE(file.write(QByteArray(2048, 'x')), qint64(2048));
    const QDateTime modified(QDate(2024, 3, 5), QTime(14, 7));
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();

    QFileDialog dialog(nullptr, QStringLiteral("Choisir"), dir.path());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList seen;
    whenDialogShown([&](QDialog &shown) {
        for (const char *name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
            seen << shown.findChild<QLabel *>(QLatin1String(name))->text();
        auto *buttons = shown.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        seen << buttons->button(QDialogButtonBox::Open)->text()
             << buttons->button(QDialogButtonBox::Cancel)->text();
        auto *view = shown.findChild<QTreeView *>(QStringLiteral("treeView"));
        auto *model = qobject_cast<QFileSystemModel *>(view->model());
        // The folder is read in the background: wait for the file's row.
        QModelIndex row;
        QTRY_VERIFY((row = model->index(file.fileName())).isValid() && !model->data(row.siblingAtColumn(1)).toString().isEmpty());
        for (int column = 1; column <= 3; column += 2) {
            seen << model->headerData(column, Qt::Horizontal).toString()
                 << model->data(row.siblingAtColumn(column)).toString();
        }
    });
    dialog.exec();
    QCOMPARE(seen, (QStringList{
                       QStringLiteral("Voir dans :"), QStringLiteral("&Nom de fichier :"),
                       QStringLiteral("Fichiers de type :"), QStringLiteral("&Ouvrir"), QStringLiteral("Annuler"),
                       QStringLiteral("Taille"), QStringLiteral("2") + expectedDecimal() + QStringLiteral("00 Kio"),
                       QStringLiteral("Dernière modification"), QStringLiteral("05/03/2024 14:07")}));
}

void TestFrenchLocale::messageBoxButtonsInFrench()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Kelbo"), QStringLiteral("Continuer ?"),
                    QMessageBox::Yes | QMessageBox::No);
    QStringList seen;
    whenDialogShown([&](QDialog &) {
        seen << box.button(QMessageBox::Yes)->text() << box.button(QMessageBox::No)->text();
    });
    box.exec();
    QCOMPARE(seen, (QStringList{QStringLiteral("&Oui"), QStringLiteral("&Non")}));
}

int main(int argc, char *argv[])
{
    for (const char *name : kLocaleVariables)
        environmentAtStart()[name] = {qEnvironmentVariableIsSet(name), qgetenv(name)};
    // As the program starts: the locale before the application object, the translations after.
    useFrenchSystemLocale();
    QApplication application(argc, argv);
    if (!installFrenchTranslations()) {
        std::fputs("Les traductions françaises de Qt manquent (qt6-translations-l10n).\n", stderr);
        return 1;
    }
    TestFrenchLocale test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_frenchlocale.moc"
