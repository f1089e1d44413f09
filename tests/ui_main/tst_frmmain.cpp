// The main window: layout, start-up state, menus, tabs and the settings rules in the fields.
#include "kelbo/version.h"
#include "ui/main/frmMain.h"
#include "scriptedservices.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace kelbo;
using kelbo::test::ScriptedServices;

class TestFrmMain : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void windowProperties();
    void layout_data();
    void layout();
    void captionsAndTooltips();
    void colours();
    void startState();
    void menus();
    void menusUseTheWindowFace();
    void optionsTitleOnItsLine();
    void tabsWithEmptyList();
    void tabToPreviewWithImages();
    void perChangeRuleInFields();
    void typingLimits();
    void pasteIntoFields_data();
    void pasteIntoFields();
    void rangeRuleOnLeavingFields_data();
    void rangeRuleOnLeavingFields();
    void rangeRuleInCLocale();
    void realFocusChangeRunsRangeRule();
    void menuKeysDoNotLeaveField();
    void quitEndsProgram();
    void closeBoxEndsProgram();

private:
    std::unique_ptr<ScriptedServices> services;
    std::unique_ptr<frmMain> w;
};

void TestFrmMain::init()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    services = std::make_unique<ScriptedServices>();
    w = std::make_unique<frmMain>(*services);
}

void TestFrmMain::cleanup()
{
    w.reset();
    services.reset();
    QLocale::setDefault(QLocale::system());
}

void TestFrmMain::windowProperties()
{
    QCOMPARE(w->windowTitle(), QStringLiteral("Kelbo v") + QString::fromLatin1(version::text));
    QCOMPARE(w->client->size(), QSize(393, 290));
    QCOMPARE(w->minimumSize(), w->maximumSize()); // fixed size
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!w->windowIcon().isNull());
}

void TestFrmMain::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("parent");
    QTest::newRow("tabMain") << "tabMain" << QRect(8, 0, 377, 281) << "client";
    QTest::newRow("pic(1)") << "pic(1)" << QRect(16, 24, 361, 249) << "client";
    QTest::newRow("picPre") << "picPre" << QRect(0, 8, 241, 185) << "pic(1)";
    QTest::newRow("slPre") << "slPre" << QRect(0, 196, 233, 17) << "pic(1)";
    QTest::newRow("cmdFirst") << "cmdFirst" << QRect(0, 216, 33, 25) << "pic(1)";
    QTest::newRow("cmdBack") << "cmdBack" << QRect(40, 216, 33, 25) << "pic(1)";
    QTest::newRow("cmdNext") << "cmdNext" << QRect(80, 216, 33, 25) << "pic(1)";
    QTest::newRow("cmdLast") << "cmdLast" << QRect(120, 216, 33, 25) << "pic(1)";
    QTest::newRow("cmdPlay") << "cmdPlay" << QRect(160, 216, 33, 25) << "pic(1)";
    QTest::newRow("cmdStop") << "cmdStop" << QRect(200, 216, 33, 25) << "pic(1)";
    QTest::newRow("fraPre") << "fraPre" << QRect(240, 0, 121, 241) << "pic(1)";
    QTest::newRow("lbl(0)") << "lbl(0)" << QRect(8, 16, 105, 13) << "fraPre";
    QTest::newRow("lbl(1)") << "lbl(1)" << QRect(8, 43, 38, 13) << "fraPre";
    QTest::newRow("txtFPS") << "txtFPS" << QRect(48, 40, 25, 19) << "fraPre";
    QTest::newRow("lbl(2)") << "lbl(2)" << QRect(80, 43, 22, 13) << "fraPre";
    QTest::newRow("lbl(3)") << "lbl(3)" << QRect(5, 67, 45, 13) << "fraPre";
    QTest::newRow("txtWidth") << "txtWidth" << QRect(56, 64, 49, 19) << "fraPre";
    QTest::newRow("lbl(4)") << "lbl(4)" << QRect(5, 91, 47, 13) << "fraPre";
    QTest::newRow("txtHeight") << "txtHeight" << QRect(56, 88, 49, 19) << "fraPre";
    QTest::newRow("lbl(5)") << "lbl(5)" << QRect(8, 128, 27, 13) << "fraPre";
    QTest::newRow("txtCap") << "txtCap" << QRect(8, 144, 105, 43) << "fraPre";
    QTest::newRow("lbl(6)") << "lbl(6)" << QRect(8, 192, 93, 13) << "fraPre";
    QTest::newRow("cmbAlign") << "cmbAlign" << QRect(8, 208, 105, 21) << "fraPre";
    QTest::newRow("pic(2)") << "pic(2)" << QRect(16, 24, 353, 249) << "client";
    QTest::newRow("lvwFiles") << "lvwFiles" << QRect(0, 8, 321, 193) << "pic(2)";
    QTest::newRow("cmdUp") << "cmdUp" << QRect(328, 8, 25, 25) << "pic(2)";
    QTest::newRow("cmdDown") << "cmdDown" << QRect(328, 32, 25, 25) << "pic(2)";
    QTest::newRow("cmdRem") << "cmdRem" << QRect(328, 72, 25, 25) << "pic(2)";
    QTest::newRow("cmdClear") << "cmdClear" << QRect(328, 112, 25, 25) << "pic(2)";
    QTest::newRow("picMini") << "picMini" << QRect(8, 208, 41, 41) << "pic(2)";
    QTest::newRow("cmdAdd") << "cmdAdd" << QRect(64, 216, 121, 25) << "pic(2)";
    QTest::newRow("cmdAddM") << "cmdAddM" << QRect(192, 216, 153, 25) << "pic(2)";
    QTest::newRow("picSave") << "picSave" << QRect(120, 296, 96, 72) << "client";
    QTest::newRow("picTemp") << "picTemp" << QRect(8, 296, 89, 73) << "client";
}

namespace {
// A control by the name of the layout, which it keeps as its objectName.
QWidget *control(frmMain &w, const QString &name)
{
    if (name == QStringLiteral("client"))
        return w.client;
    return w.findChild<QWidget *>(name);
}
} // namespace

void TestFrmMain::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, parent);
    QWidget *widget = control(*w, name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->parentWidget(), control(*w, parent));
}

void TestFrmMain::captionsAndTooltips()
{
    QCOMPARE(w->tabMain->count(), 2);
    QCOMPARE(w->tabMain->tabText(0), QStringLiteral("Aperçu"));
    QCOMPARE(w->tabMain->tabText(1), QStringLiteral("Fichiers"));
    const QList<std::tuple<QPushButton *, QString, QString>> buttons{
        {w->cmdFirst, QStringLiteral("| <<"), QStringLiteral("Première image")},
        {w->cmdBack, QStringLiteral("<<"), QStringLiteral("Image précédente")},
        {w->cmdNext, QStringLiteral(">>"), QStringLiteral("Image suivante")},
        {w->cmdLast, QStringLiteral(">> |"), QStringLiteral("Dernière image")},
        {w->cmdPlay, QStringLiteral("|>"), QStringLiteral("Play")},
        {w->cmdStop, QStringLiteral("\u25A0"), QStringLiteral("Stop")},
        {w->cmdUp, QStringLiteral("\u2191"), QStringLiteral("Déplacer vers le haut")},
        {w->cmdDown, QStringLiteral("\u2193"), QStringLiteral("Déplacer vers le bas")},
        {w->cmdRem, QStringLiteral("\u2717"), QStringLiteral("Supprimer")},
        {w->cmdClear, QStringLiteral("\u2612"), QStringLiteral("Effacer la liste")},
        {w->cmdAdd, QStringLiteral("Ajouter un seul fichier"), QString()},
        {w->cmdAddM, QStringLiteral("Ajouter plusieurs fichiers"), QString()},
    };
    for (const auto &[b, text, tip] : buttons) {
        QCOMPARE(b->text(), text);
        QCOMPARE(b->toolTip(), tip);
    }
    const QStringList labels{QStringLiteral("Images : 00"), QStringLiteral("Image : "),
                             QStringLiteral("/sec"), QStringLiteral("Largeur : "),
                             QStringLiteral("Hauteur : "), QStringLiteral("Titre :"),
                             QStringLiteral("Alignement du titre :")};
    for (int i = 0; i < 7; ++i)
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("lbl(%1)").arg(i))->text(), labels.at(i));
    QVERIFY(w->lblWidth->alignment() & Qt::AlignRight);
    QVERIFY(w->lblHeight->alignment() & Qt::AlignRight);
    QCOMPARE(w->fraPre->title(), QStringLiteral("Options"));
    QCOMPARE(w->txtFPS->toolTip(), QStringLiteral("Nombre d'images par seconde"));
    QCOMPARE(w->txtWidth->toolTip(), QStringLiteral("Largeur du fichier AVI en pixels"));
    QCOMPARE(w->txtHeight->toolTip(), QStringLiteral("Hauteur du fichier AVI en pixels"));
    for (QLineEdit *e : {w->txtFPS, w->txtWidth, w->txtHeight})
        QVERIFY(e->alignment() & Qt::AlignHCenter);
    QCOMPARE(w->lvwFiles->headerItem()->text(0), QStringLiteral("Fichiers"));
    QCOMPARE(w->lvwFiles->columnCount(), 1);
    QCOMPARE(w->cmbAlign->count(), 9);
    QCOMPARE(w->cmbAlign->itemText(8), QStringLiteral("Bas Droite"));
    QVERIFY(!w->cmbAlign->isEditable());
    QCOMPARE(w->txtCap->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // Fonts: the classic faces by their metric twins, the preview's caption font bold 12 pt.
    QCOMPARE(w->font().family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(w->font().pointSizeF(), 8.25);
    QCOMPARE(w->picPre->surface().font.pointSizeF(), 12.0);
    QVERIFY(w->picPre->surface().font.bold());
    QCOMPARE(w->cmdRem->font().pointSizeF(), 14.25);
    QCOMPARE(w->cmdUp->font().pointSizeF(), 9.75);
}

void TestFrmMain::colours()
{
    const QColor green(192, 255, 192), cyan(192, 255, 255), yellow(255, 255, 192);
    QCOMPARE(w->txtFPS->palette().color(QPalette::Base), green);
    QCOMPARE(w->txtWidth->palette().color(QPalette::Base), green);
    QCOMPARE(w->txtHeight->palette().color(QPalette::Base), green);
    QCOMPARE(w->txtCap->palette().color(QPalette::Base), cyan);
    QCOMPARE(w->cmbAlign->palette().color(QPalette::Button), cyan);
    QCOMPARE(w->lvwFiles->palette().color(QPalette::Base), yellow);
    QCOMPARE(w->picPre->surface().foreColor, QColor(255, 255, 255));
    // Drawing areas: the preview inside its 2-pixel sunken border, the thumbnail borderless.
    QCOMPARE(w->picPre->surface().scaleWidth(), 237);
    QCOMPARE(w->picPre->surface().scaleHeight(), 181);
    QCOMPARE(w->picPre->contentsRect().size(), QSize(237, 181));
    QCOMPARE(w->picMini->surface().scaleWidth(), 41);
    QCOMPARE(w->picMini->surface().width(), 41);
}

void TestFrmMain::startState()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QCOMPARE(w->tabMain->currentIndex(), 0);
    QVERIFY(w->pagePreview->isVisible());
    QVERIFY(!w->pageFiles->isVisible());
    QVERIFY(!w->picSave->isVisible());
    QVERIFY(!w->picTemp->isVisible());
    QCOMPARE(w->cmbAlign->currentIndex(), 0);
    QCOMPARE(w->cmbAlign->currentText(), QStringLiteral("Centre"));
    QCOMPARE(w->txtFPS->text(), QStringLiteral("30"));
    QCOMPARE(w->txtWidth->text(), QStringLiteral("320"));
    QCOMPARE(w->txtHeight->text(), QStringLiteral("240"));
    QCOMPARE(w->txtCap->toPlainText(), QString());
    QCOMPARE(w->lblCount->text(), QStringLiteral("Images : 00"));
    QCOMPARE(w->lvwFiles->topLevelItemCount(), 0);
    QCOMPARE(w->lvwFiles->columnWidth(0), 291);
    QCOMPARE(w->slPre->minimum(), 1);
    QCOMPARE(w->slPre->maximum(), 1);
    QCOMPARE(w->slPre->value(), 1);
    QVERIFY(w->slPre->isEnabled());
    QVERIFY(!w->slPre->hasTracking());
    QVERIFY(!w->mStop);
    QVERIFY(services->messages.isEmpty());
    // The right edge of the window is the client area's: nothing sticks out.
    QCOMPARE(w->width(), 393);
}

void TestFrmMain::menus()
{
    const QList<QAction *> top = w->menuBar()->actions();
    QCOMPARE(top.size(), 4);
    QCOMPARE(top.at(0)->text(), QStringLiteral("Fichier"));
    QCOMPARE(top.at(1)->text(), QStringLiteral("Cadrage"));
    QCOMPARE(top.at(2)->text(), QStringLiteral("Liste"));
    QCOMPARE(top.at(3)->text(), QStringLiteral("?"));
    QStringList entries;
    for (QAction *a : top.at(0)->menu()->actions())
        entries << (a->isSeparator() ? QStringLiteral("-") : a->text() + QLatin1Char('|') + a->shortcut().toString(QKeySequence::PortableText));
    QCOMPARE(entries, (QStringList{QStringLiteral("Enregistrer au format AVI|Ctrl+S"), QStringLiteral("-"),
                                   QStringLiteral("Nouveau Projet|Ctrl+N"),
                                   QStringLiteral("Enregistrer le Projet|Ctrl+P"),
                                   QStringLiteral("Ouvrir un Projet|Ctrl+O"), QStringLiteral("-"),
                                   QStringLiteral("Quitter|Ctrl+Q")}));
    const QList<QAction *> help = top.at(3)->menu()->actions();
    QCOMPARE(help.size(), 1);
    QCOMPARE(help.at(0)->text(), QStringLiteral("A propos"));
    for (QAction *a : top.at(0)->menu()->actions() + help)
        QVERIFY(a->isEnabled());
}

void TestFrmMain::menusUseTheWindowFace()
{
    const QList<QAction *> top = w->menuBar()->actions();
    QCOMPARE(top.size(), 4);
    for (const QAction *entry : top) {
        const QMenu *menu = entry->menu();
        QCOMPARE(QFontInfo(menu->font()).family(), QFontInfo(w->font()).family());
        QCOMPARE(menu->font().pointSizeF(), w->font().pointSizeF());
    }
}

// The title of "Options" stands on the frame's top line, which runs at the title's middle
// height, and the image counter below keeps clear of both. Read from the drawn frame.
void TestFrmMain::optionsTitleOnItsLine()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    const QImage image = w->fraPre->grab().toImage();
    const int column = w->fraPre->width() - 5; // right of every control of the frame
    const int background = qGray(image.pixel(column, 0));
    const auto ink = [&](int x, int y) { return qAbs(qGray(image.pixel(x, y)) - background) > 15; };
    const int counter = w->lblCount->y();
    QCOMPARE(counter, 16);
    int line = -1;
    for (int y = 0; y < counter + w->lblCount->height() && line < 0; ++y) {
        if (ink(column, y))
            line = y;
    }
    // The title's ink above the counter, between the frame's left edge and the end of "Options".
    int top = -1, bottom = -1;
    for (int y = 0; y < counter; ++y) {
        for (int x = 6; x < 50; ++x) {
            if (y != line && ink(x, y)) {
                if (top < 0)
                    top = y;
                bottom = y;
                break;
            }
        }
    }
    const QByteArray found = QStringLiteral("line %1, title %2..%3").arg(line).arg(top).arg(bottom).toLatin1();
    QVERIFY2(line >= 0 && top >= 0 && top < line && line < bottom, found.constData());
    QVERIFY2(qAbs((top + bottom) / 2 - line) <= 2, found.constData());
    QVERIFY2(bottom < counter - 1, found.constData()); // a free row between title and counter
}

void TestFrmMain::tabsWithEmptyList()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->slPre->setMaximum(4);
    w->slPre->setValue(3);
    w->slPre->setEnabled(false);
    w->tabMain->setCurrentIndex(1);
    QVERIFY(!w->pagePreview->isVisible());
    QVERIFY(w->pageFiles->isVisible());
    w->tabMain->setCurrentIndex(0);
    QVERIFY(w->pagePreview->isVisible());
    QVERIFY(!w->pageFiles->isVisible());
    // The slider is left alone with an empty list.
    QCOMPARE(w->slPre->maximum(), 4);
    QCOMPARE(w->slPre->value(), 3);
    QVERIFY(!w->slPre->isEnabled());
    w->selectTab(1); // selecting the selected tab still runs the tab change
    QVERIFY(w->pagePreview->isVisible());
    QCOMPARE(w->slPre->value(), 3);
}

void TestFrmMain::tabToPreviewWithImages()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    for (int i = 1; i <= 5; ++i)
        w->files().add(QStringLiteral("/nowhere/%1.bmp").arg(i));
    w->slPre->setEnabled(false);
    w->selectTab(2);
    QVERIFY(w->pageFiles->isVisible());
    QCOMPARE(w->slPre->maximum(), 1); // "Fichiers" changes nothing else
    w->selectTab(1);
    QVERIFY(w->slPre->isEnabled());
    QCOMPARE(w->slPre->minimum(), 1);
    QCOMPARE(w->slPre->maximum(), 5);
    QCOMPARE(w->slPre->value(), 1);
    QVERIFY(w->pagePreview->isVisible());
    QVERIFY(!w->pageFiles->isVisible());
}

void TestFrmMain::perChangeRuleInFields()
{
    w->txtFPS->clear();
    QCOMPARE(w->txtFPS->text(), QString()); // empty while editing
    QTest::keyClicks(w->txtFPS, QStringLiteral("a"));
    QCOMPARE(w->txtFPS->text(), QStringLiteral("30"));
    w->txtWidth->setText(QStringLiteral("-"));
    QCOMPARE(w->txtWidth->text(), QStringLiteral("320"));
    w->txtHeight->setText(QStringLiteral("abc"));
    QCOMPARE(w->txtHeight->text(), QStringLiteral("240"));
    w->txtWidth->setText(QStringLiteral("96,"));
    QCOMPARE(w->txtWidth->text(), QStringLiteral("96,"));
    w->txtFPS->setText(QStringLiteral("50")); // out of range, but a number: kept, no message
    QCOMPARE(w->txtFPS->text(), QStringLiteral("50"));
    QVERIFY(services->messages.isEmpty());
}

void TestFrmMain::typingLimits()
{
    w->txtWidth->clear();
    QTest::keyClicks(w->txtWidth, QStringLiteral("1234"));
    QCOMPARE(w->txtWidth->text(), QStringLiteral("123"));
    w->txtHeight->clear();
    QTest::keyClicks(w->txtHeight, QStringLiteral("6400"));
    QCOMPARE(w->txtHeight->text(), QStringLiteral("640"));
    w->txtFPS->clear();
    QTest::keyClicks(w->txtFPS, QStringLiteral("255"));
    QCOMPARE(w->txtFPS->text(), QStringLiteral("25"));
    // Text set by the program (an opened project) is kept whole, so that "120" is not read
    // as 12; the range rule corrects it when the user leaves the field.
    w->txtFPS->setText(QStringLiteral("120"));
    QCOMPARE(w->txtFPS->text(), QStringLiteral("120"));
    QTest::keyClicks(w->txtFPS, QStringLiteral("5"));
    QCOMPARE(w->txtFPS->text(), QStringLiteral("120"));
    QTest::keyClick(w->txtFPS, Qt::Key_Backspace);
    QCOMPARE(w->txtFPS->text(), QStringLiteral("12"));
    // Replacing a long program-set text by typing over a selection still keeps to the limit.
    w->txtFPS->setText(QStringLiteral("12345"));
    w->txtFPS->selectAll();
    w->txtFPS->insert(QStringLiteral("678"));
    QCOMPARE(w->txtFPS->text(), QStringLiteral("67"));
    w->txtFPS->setText(QStringLiteral("12345"));
    w->txtFPS->setSelection(1, 2); // "23"
    QTest::keyClick(w->txtFPS, Qt::Key_Delete);
    QCOMPARE(w->txtFPS->text(), QStringLiteral("145"));
}

void TestFrmMain::pasteIntoFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("result");
    QTest::newRow("fps abc") << "fps" << "" << false << "abc" << "30";
    QTest::newRow("fps 1a over selection") << "fps" << "12" << true << "1a" << "30";
    QTest::newRow("width xyz1") << "width" << "" << false << "xyz1" << "320";
    QTest::newRow("height 12ab") << "height" << "" << false << "12ab" << "240";
    QTest::newRow("fps 255 cut") << "fps" << "" << false << "255" << "25";
    QTest::newRow("width 6400 cut") << "width" << "" << false << "6400" << "640";
    QTest::newRow("height 4567 over selection") << "height" << "240" << true << "4567" << "456";
    QTest::newRow("width after 1") << "width" << "1" << false << "2345" << "123";
    QTest::newRow("fps full field") << "fps" << "30" << false << "5" << "30";
}

void TestFrmMain::pasteIntoFields()
{
    QFETCH(QString, field);
    QFETCH(QString, before);
    QFETCH(bool, selectAll);
    QFETCH(QString, pasted);
    QFETCH(QString, result);
    QLineEdit *edit = field == QLatin1String("fps") ? w->txtFPS
                      : field == QLatin1String("width") ? w->txtWidth : w->txtHeight;
    edit->setText(before);
    edit->end(false);
    if (selectAll)
        edit->selectAll();
    QGuiApplication::clipboard()->setText(pasted);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), result);
    QVERIFY(services->messages.isEmpty());
}

void TestFrmMain::rangeRuleOnLeavingFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("result");
    const QString fpsSmall = QStringLiteral("Le nombre d'images par seconde doit être supérieur à 0.");
    const QString fpsLarge = QStringLiteral("Le nombre d'images par seconde ne peut dépasser 30.");
    const QString large = QStringLiteral("La taille ne peut dépasser 640 Pixels.");
    const QString small = QStringLiteral("La taille doit être supérieure à 96 Pixels.");
    QTest::newRow("fps cleared") << "fps" << "" << QStringList() << "30";
    QTest::newRow("width cleared") << "width" << "" << QStringList() << "320";
    QTest::newRow("height cleared") << "height" << "" << QStringList() << "240";
    QTest::newRow("fps 0") << "fps" << "0" << QStringList{fpsSmall} << "1";
    QTest::newRow("fps 31") << "fps" << "31" << QStringList{fpsLarge} << "30";
    QTest::newRow("fps ,5") << "fps" << ",5" << QStringList{fpsSmall} << "1";
    QTest::newRow("width 999") << "width" << "999" << QStringList{large} << "640";
    QTest::newRow("width 95") << "width" << "95" << QStringList{small} << "96";
    QTest::newRow("width 96") << "width" << "96" << QStringList() << "96";
    QTest::newRow("width 640") << "width" << "640" << QStringList() << "640";
    QTest::newRow("width 1e3") << "width" << "1e3" << QStringList{large} << "640";
    QTest::newRow("width 9,5") << "width" << "9,5" << QStringList{small} << "96";
    QTest::newRow("width 9e9") << "width" << "9e9" << QStringList{large} << "640";
    QTest::newRow("height 95") << "height" << "95" << QStringList{small} << "96";
}

void TestFrmMain::rangeRuleOnLeavingFields()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QStringList, messages);
    QFETCH(QString, result);
    QLineEdit *edit = field == QLatin1String("fps") ? w->txtFPS
                      : field == QLatin1String("width") ? w->txtWidth : w->txtHeight;
    edit->setText(text);
    QCOMPARE(edit->text(), text);
    if (edit == w->txtFPS)
        w->txtFPS_LostFocus();
    else if (edit == w->txtWidth)
        w->txtWidth_LostFocus();
    else
        w->txtHeight_LostFocus();
    QCOMPARE(services->messageTexts(), messages);
    for (const MessageRequest &m : services->messages) {
        QCOMPARE(m.title, QStringLiteral("Kelbo"));
        QCOMPARE(m.icon, MsgIcon::Information);
    }
    QCOMPARE(edit->text(), result);
}

void TestFrmMain::rangeRuleInCLocale()
{
    QLocale::setDefault(QLocale::c());
    w->txtFPS->setText(QStringLiteral(",5")); // not a number with a decimal point
    QCOMPARE(w->txtFPS->text(), QStringLiteral("30"));
    w->txtFPS->setText(QStringLiteral(".5"));
    QCOMPARE(w->txtFPS->text(), QStringLiteral(".5"));
    w->txtFPS_LostFocus();
    QCOMPARE(w->txtFPS->text(), QStringLiteral("1"));
    w->txtWidth->setText(QStringLiteral("9.5"));
    w->txtWidth_LostFocus();
    QCOMPARE(w->txtWidth->text(), QStringLiteral("96"));
    QCOMPARE(services->messageTexts(),
             (QStringList{QStringLiteral("Le nombre d'images par seconde doit être supérieur à 0."),
                          QStringLiteral("La taille doit être supérieure à 96 Pixels.")}));
}

void TestFrmMain::realFocusChangeRunsRangeRule()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    w->txtWidth->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(w->txtWidth->hasFocus());
    w->txtWidth->setText(QStringLiteral("95"));
    w->txtHeight->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(w->txtWidth->text(), QStringLiteral("96"));
    QCOMPARE(services->messageTexts(), QStringList{QStringLiteral("La taille doit être supérieure à 96 Pixels.")});
    // Leaving a field in range shows nothing.
    w->txtFPS->setFocus(Qt::TabFocusReason);
    QTest::qWait(20);
    QCOMPARE(services->messages.size(), 1);
}

// Alt alone puts the focus on the menu bar, and a menu opened and closed with the keyboard
// gives it back: the caret never left the field, so the range rule does not run. A real move
// to another control does run it.
void TestFrmMain::menuKeysDoNotLeaveField()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    w->txtFPS->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(w->txtFPS->hasFocus());
    w->txtFPS->setText(QStringLiteral("0"));

    QTest::keyPress(w->txtFPS, Qt::Key_Alt, Qt::AltModifier);
    QTest::keyRelease(w->txtFPS, Qt::Key_Alt, Qt::AltModifier);
    QTRY_VERIFY(w->menuBar()->hasFocus());
    QTest::keyClick(w->menuBar(), Qt::Key_Down); // opens "Fichier"
    QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    QTest::keyClick(w->menuBar(), Qt::Key_Escape);
    QTest::qWait(20);
    QCOMPARE(services->messages.size(), 0);
    QCOMPARE(w->txtFPS->text(), QStringLiteral("0"));

    // The headless platform leaves the closed menu the active window: activate ours again.
    w->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), w.get());
    QCOMPARE(QApplication::focusWidget(), w->txtFPS);
    QCOMPARE(services->messages.size(), 0);
    w->txtWidth->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(w->txtFPS->text(), QStringLiteral("1"));
    QCOMPARE(services->messageTexts(),
             QStringList{QStringLiteral("Le nombre d'images par seconde doit être supérieur à 0.")});
}

void TestFrmMain::quitEndsProgram()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QSignalSpy ended(w.get(), &frmMain::programEnded);
    w->mnuFileExit->trigger();
    QCOMPARE(ended.count(), 1);
    QVERIFY(!w->isVisible());
    QVERIFY(w->mStop);
    QVERIFY(services->messages.isEmpty()); // nothing asked
}

void TestFrmMain::closeBoxEndsProgram()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QSignalSpy ended(w.get(), &frmMain::programEnded);
    QVERIFY(w->close());
    QCOMPARE(ended.count(), 1);
    QVERIFY(services->messages.isEmpty());
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
