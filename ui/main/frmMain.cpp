#include "ui/main/frmMain.h"

#include "platform/system.h"
#include "ui/widgets/appicon.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <utility>

namespace kelbo {

namespace {

const QColor kLightGreen(192, 255, 192);
const QColor kLightCyan(192, 255, 255);
const QColor kLightYellow(255, 255, 192);

// The classic faces are replaced by their metric-compatible Liberation faces, so that texts
// fit the boxes they were laid out for; the symbol captions are Unicode symbols.
QFont uiFont(const QString &family, qreal points, bool bold = false)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The classic 8-point face is narrower than Liberation Sans at the same height: a slight
// horizontal condensing keeps the labels inside the boxes they were laid out for.
QFont sansFont(qreal points = 8.25, bool bold = false)
{
    QFont font = uiFont(QStringLiteral("Liberation Sans"), points, bold);
    if (points < 10)
        font.setStretch(90);
    return font;
}

QFont symbolFont(qreal points)
{
    return uiFont(QStringLiteral("DejaVu Sans"), points);
}

void setBackground(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, color);
    palette.setColor(QPalette::Button, color);
    widget->setPalette(palette);
}

// A frame drawn the classic way: the title stands on the top line, which runs at the
// title's middle height and breaks for it, so that a control 16 pixels from the top keeps
// clear of both. The styles' own group boxes draw the frame below a title line of its own,
// through such a control. Etched: a shadow line with a light line inside it.
class ClassicFrame final : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect titleRect(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
        const QRect frame = rect().adjusted(0, metrics.height() / 2, -2, -2);
        painter.setClipRegion(QRegion(rect()) - titleRect);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(frame);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(frame.translated(1, 1));
        painter.setClipping(false);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        painter.drawText(titleRect, Qt::AlignCenter | Qt::TextSingleLine, title());
    }
};

template <typename W>
W *place(W *widget, int left, int top, int width, int height)
{
    widget->setGeometry(left, top, width, height);
    return widget;
}

QPushButton *button(QWidget *parent, const QString &caption, const QString &tip, int left,
                    int top, int width, int height)
{
    auto *b = place(new QPushButton(caption, parent), left, top, width, height);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

QLabel *label(QWidget *parent, const QString &caption, int left, int top, int width, int height,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop)
{
    auto *l = place(new QLabel(caption, parent), left, top, width, height);
    l->setAlignment(align);
    return l;
}

QLineEdit *numberBox(QWidget *parent, const QString &text, const QString &tip, int maxLength,
                     int left, int top, int width, int height)
{
    auto *edit = place(new QLineEdit(parent), left, top, width, height);
    setTypingLimit(*edit, maxLength);
    edit->setText(text);
    edit->setToolTip(tip);
    edit->setAlignment(Qt::AlignCenter);
    edit->setFrame(true);
    edit->setTextMargins(0, 0, 0, 0);
    setBackground(edit, kLightGreen);
    return edit;
}

} // namespace

frmMain::frmMain(Services &services, QWidget *parent)
    : QMainWindow(parent), m_services(services)
{
    setWindowTitle(QStringLiteral("Kelbo v") + app::versionText());
    setWindowIcon(appIcon());
    setFont(sansFont());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    buildLayout();
    nameControls();
    buildMenus();
    connectHandlers();
    // Fixed size: the client area plus the menu bar.
    setFixedSize(client->width(), client->height() + menuBar()->sizeHint().height());
    Form_Load();
}

frmMain::~frmMain()
{
    // Destroying the window moves the focus; by then it is no frmMain to tell any more.
    disconnect(qApp, &QApplication::focusChanged, this, &frmMain::focusMoved);
}

void frmMain::nameControls()
{
    const std::pair<QWidget *, const char *> names[] = {
        {tabMain, "tabMain"},   {pagePreview, "pic(1)"}, {pageFiles, "pic(2)"},
        {picPre, "picPre"},     {slPre, "slPre"},        {cmdFirst, "cmdFirst"},
        {cmdBack, "cmdBack"},   {cmdNext, "cmdNext"},    {cmdLast, "cmdLast"},
        {cmdPlay, "cmdPlay"},   {cmdStop, "cmdStop"},    {fraPre, "fraPre"},
        {lblCount, "lbl(0)"},   {lblRate, "lbl(1)"},     {lblPerSecond, "lbl(2)"},
        {lblWidth, "lbl(3)"},   {lblHeight, "lbl(4)"},   {lblCaption, "lbl(5)"},
        {lblAlign, "lbl(6)"},   {txtFPS, "txtFPS"},      {txtWidth, "txtWidth"},
        {txtHeight, "txtHeight"}, {txtCap, "txtCap"},    {cmbAlign, "cmbAlign"},
        {lvwFiles, "lvwFiles"}, {cmdUp, "cmdUp"},        {cmdDown, "cmdDown"},
        {cmdRem, "cmdRem"},     {cmdClear, "cmdClear"},  {picMini, "picMini"},
        {cmdAdd, "cmdAdd"},     {cmdAddM, "cmdAddM"},    {picSave, "picSave"},
        {picTemp, "picTemp"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QLatin1String(name));
}

void frmMain::buildLayout()
{
    client = new QWidget(this);
    client->setFixedSize(393, 290);
    setCentralWidget(client);

    tabMain = place(new QTabWidget(client), 8, 0, 377, 281);
    tabMain->addTab(new QWidget, QStringLiteral("Aperçu"));
    tabMain->addTab(new QWidget, QStringLiteral("Fichiers"));
    tabMain->setCurrentIndex(0);

    // Page "Aperçu"
    pagePreview = place(new QWidget(client), 16, 24, 361, 249);
    QWidget *p1 = pagePreview;
    picPre = place(new SurfaceWidget(QSize(237, 181), 2, palette().color(QPalette::Button), p1),
                   0, 8, 241, 185);
    Surface &pre = picPre->surface();
    pre.foreColor = QColor(255, 255, 255);
    pre.font = sansFont(12, true);

    slPre = place(new QScrollBar(Qt::Horizontal, p1), 0, 196, 233, 17);
    slPre->setRange(1, 1);
    slPre->setValue(1);
    slPre->setSingleStep(1);
    slPre->setPageStep(1);
    slPre->setTracking(false); // dragging draws nothing until the thumb is released

    cmdFirst = button(p1, QStringLiteral("| <<"), QStringLiteral("Première image"), 0, 216, 33, 25);
    cmdBack = button(p1, QStringLiteral("<<"), QStringLiteral("Image précédente"), 40, 216, 33, 25);
    cmdNext = button(p1, QStringLiteral(">>"), QStringLiteral("Image suivante"), 80, 216, 33, 25);
    cmdLast = button(p1, QStringLiteral(">> |"), QStringLiteral("Dernière image"), 120, 216, 33, 25);
    cmdPlay = button(p1, QStringLiteral("|>"), QStringLiteral("Play"), 160, 216, 33, 25);
    cmdStop = button(p1, QStringLiteral("\u25A0"), QStringLiteral("Stop"), 200, 216, 33, 25);
    cmdStop->setFont(symbolFont(8.25));

    fraPre = place(new ClassicFrame(QStringLiteral("Options"), p1), 240, 0, 121, 241);
    QWidget *f = fraPre;
    // The counter's box is wider than its first text so that "Images : 120" and longer
    // counts stay whole; nothing else stands on that line of the frame.
    lblCount = label(f, QStringLiteral("Images : 00"), 8, 16, 105, 13);
    lblRate = label(f, QStringLiteral("Image : "), 8, 43, 38, 13);
    txtFPS = numberBox(f, QStringLiteral("30"), QStringLiteral("Nombre d'images par seconde"),
                       ruleFor(NumericField::Fps).typingLimit, 48, 40, 25, 19);
    lblPerSecond = label(f, QStringLiteral("/sec"), 80, 43, 22, 13);
    lblWidth = label(f, QStringLiteral("Largeur : "), 5, 67, 45, 13, Qt::AlignRight | Qt::AlignTop);
    txtWidth = numberBox(f, QStringLiteral("320"), QStringLiteral("Largeur du fichier AVI en pixels"),
                         ruleFor(NumericField::Width).typingLimit, 56, 64, 49, 19);
    lblHeight = label(f, QStringLiteral("Hauteur : "), 5, 91, 47, 13, Qt::AlignRight | Qt::AlignTop);
    txtHeight = numberBox(f, QStringLiteral("240"), QStringLiteral("Hauteur du fichier AVI en pixels"),
                          ruleFor(NumericField::Height).typingLimit, 56, 88, 49, 19);
    lblCaption = label(f, QStringLiteral("Titre :"), 8, 128, 27, 13);
    txtCap = place(new QPlainTextEdit(f), 8, 144, 105, 43);
    txtCap->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtCap->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtCap->setTabChangesFocus(true);
    setBackground(txtCap, kLightCyan);
    lblAlign = label(f, QStringLiteral("Alignement du titre :"), 8, 192, 93, 13);
    cmbAlign = place(new QComboBox(f), 8, 208, 105, 21);
    cmbAlign->setEditable(false);
    cmbAlign->addItems(captionAlignmentLabels());
    setBackground(cmbAlign, kLightCyan);

    // Page "Fichiers"
    pageFiles = place(new QWidget(client), 16, 24, 353, 249);
    QWidget *p2 = pageFiles;
    lvwFiles = place(new QTreeWidget(p2), 0, 8, 321, 193);
    lvwFiles->setColumnCount(1);
    lvwFiles->setHeaderLabels({QStringLiteral("Fichiers")});
    lvwFiles->setRootIsDecorated(false);
    lvwFiles->setUniformRowHeights(true);
    lvwFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwFiles->header()->setStretchLastSection(false);
    setBackground(lvwFiles, kLightYellow);

    cmdUp = button(p2, QStringLiteral("\u2191"), QStringLiteral("Déplacer vers le haut"), 328, 8, 25, 25);
    cmdUp->setFont(symbolFont(9.75));
    cmdDown = button(p2, QStringLiteral("\u2193"), QStringLiteral("Déplacer vers le bas"), 328, 32, 25, 25);
    cmdDown->setFont(symbolFont(9.75));
    cmdRem = button(p2, QStringLiteral("\u2717"), QStringLiteral("Supprimer"), 328, 72, 25, 25);
    cmdRem->setFont(symbolFont(14.25));
    cmdClear = button(p2, QStringLiteral("\u2612"), QStringLiteral("Effacer la liste"), 328, 112, 25, 25);
    cmdClear->setFont(symbolFont(14.25));
    picMini = place(new SurfaceWidget(QSize(41, 41), 0, palette().color(QPalette::Button), p2),
                    8, 208, 41, 41);
    cmdAdd = button(p2, QStringLiteral("Ajouter un seul fichier"), QString(), 64, 216, 121, 25);
    cmdAddM = button(p2, QStringLiteral("Ajouter plusieurs fichiers"), QString(), 192, 216, 153, 25);
    pageFiles->hide();

    // Hidden work surfaces, below the client area.
    picSave = place(new SurfaceWidget(QSize(96, 72), 0, QColor(Qt::white), client), 120, 296, 96, 72);
    picSave->hide();
    picTemp = place(new SurfaceWidget(QSize(89, 73), 0, palette().color(QPalette::Button), client),
                    8, 296, 89, 73);
    picTemp->hide();

    m_fps = std::make_unique<LineEditField>(*txtFPS);
    m_width = std::make_unique<LineEditField>(*txtWidth);
    m_height = std::make_unique<LineEditField>(*txtHeight);
    m_files = std::make_unique<TreeListEntries>(*lvwFiles);
}

void frmMain::buildMenus()
{
    QMenu *mnuFile = menuBar()->addMenu(QStringLiteral("Fichier"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileSaveAvi = mnuFile->addAction(QStringLiteral("Enregistrer au format AVI"));
    mnuFileSaveAvi->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuFile->addSeparator(); // mnuLine1
    mnuFileNPrj = mnuFile->addAction(QStringLiteral("Nouveau Projet"));
    mnuFileNPrj->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuFileSavePrj = mnuFile->addAction(QStringLiteral("Enregistrer le Projet"));
    mnuFileSavePrj->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    mnuFileOPrj = mnuFile->addAction(QStringLiteral("Ouvrir un Projet"));
    mnuFileOPrj->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuFile->addSeparator(); // mnuLine33
    mnuFileExit = mnuFile->addAction(QStringLiteral("Quitter"));
    mnuFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    buildPictureMenus();

    QMenu *mnuHlp = menuBar()->addMenu(QStringLiteral("?"));
    mnuHlp->setObjectName(QStringLiteral("Mnu_Hlp"));
    Mnu_Apropos = mnuHlp->addAction(QStringLiteral("A propos"));

    // Menus are windows of their own and do not take the window's face by themselves.
    for (QAction *entry : menuBar()->actions())
        if (QMenu *menu = entry->menu())
            menu->setFont(font());

    // The shortcuts work whichever control has the focus.
    for (QAction *action : {mnuFileSaveAvi, mnuFileNPrj, mnuFileSavePrj, mnuFileOPrj, mnuFileExit})
        action->setShortcutContext(Qt::WindowShortcut);
}

void frmMain::connectHandlers()
{
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(tabMain, &QTabWidget::currentChanged, this, &frmMain::tabMain_Click);

    connect(txtFPS, &QLineEdit::textChanged, this, &frmMain::txtFPS_Change);
    connect(txtWidth, &QLineEdit::textChanged, this, &frmMain::txtWidth_Change);
    connect(txtHeight, &QLineEdit::textChanged, this, &frmMain::txtHeight_Change);
    // Leaving a numeric field runs its range rule (see focusMoved).
    connect(qApp, &QApplication::focusChanged, this, &frmMain::focusMoved);

    connectProjectCommands();
    connectListEditing();
    connectPreview();
    connectExport();
    connectAbout();
    connectPictures();
}

void frmMain::Form_Load()
{
    lvwFiles->setColumnWidth(0, lvwFiles->width() - 30);
    cmbAlign->setCurrentIndex(0);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    mStop = true; // a playback in progress is cut off
    Q_EMIT programEnded();
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::tabMain_Click()
{
    pagePreview->hide();
    pageFiles->hide();
    const int selected = tabMain->currentIndex() + 1;
    if (m_files->count() > 0 && selected == 1) {
        slPre->setEnabled(true);
        updateSliderMaximum();
        {
            // Position 1 without the change notification: the preview is drawn just below,
            // once, whether or not the position moved.
            const QSignalBlocker blocker(slPre);
            slPre->setValue(1);
        }
        slPre_Change();
    }
    (selected == 1 ? pagePreview : pageFiles)->show();
}

void frmMain::selectTab(int index)
{
    {
        const QSignalBlocker blocker(tabMain);
        tabMain->setCurrentIndex(index - 1);
    }
    tabMain_Click();
}

void frmMain::runPerChangeRule(NumericField field, QLineEdit *edit)
{
    const QString text = edit->text();
    const QString corrected = perChangeText(field, text);
    if (corrected != text)
        edit->setText(corrected);
}

void frmMain::txtFPS_Change() { runPerChangeRule(NumericField::Fps, txtFPS); }
void frmMain::txtWidth_Change() { runPerChangeRule(NumericField::Width, txtWidth); }
void frmMain::txtHeight_Change() { runPerChangeRule(NumericField::Height, txtHeight); }

void frmMain::txtFPS_LostFocus() { applyRangeRule(NumericField::Fps, *m_fps, m_services); }
void frmMain::txtWidth_LostFocus() { applyRangeRule(NumericField::Width, *m_width, m_services); }
void frmMain::txtHeight_LostFocus() { applyRangeRule(NumericField::Height, *m_height, m_services); }

void frmMain::focusMoved(QWidget *old, QWidget *now)
{
    if (old == txtFPS || old == txtWidth || old == txtHeight)
        m_leftField = static_cast<QLineEdit *>(old);
    if (!m_leftField || !now)
        return; // the window lost the activation: the field is not left yet
    if (now == m_leftField) {
        m_leftField = nullptr; // back in the field without having visited another control
        return;
    }
    // Only a control of this window counts. The menu bar takes the focus for keyboard
    // navigation (Alt alone, a menu closed with Escape) and hands it back; it accepts no focus
    // of its own (NoFocus), as the window itself. Menus, message boxes and other windows are
    // not controls of this window.
    if (now->window() != this || now->focusPolicy() == Qt::NoFocus)
        return;
    QLineEdit *left = std::exchange(m_leftField, nullptr);
    // Runs once the focus has moved, like a lost-focus notification: the message box of the
    // range rule then opens over a window whose focus change is complete.
    QTimer::singleShot(0, this, [this, left] {
        if (left == txtFPS)
            txtFPS_LostFocus();
        else if (left == txtWidth)
            txtWidth_LostFocus();
        else
            txtHeight_LostFocus();
    });
}

} // namespace kelbo
