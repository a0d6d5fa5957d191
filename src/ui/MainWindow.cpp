// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include "GradientPanel.h"
#include "HelpSystem.h"
#include "QtInteraction.h"
#include "shell/ProgramTexts.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QWindow>

namespace tramazel::ui {

namespace {

const char* const windowCaption = "Exportar e importar datos entre Zelvano y GestIB";
const char* const importTitle = "Transformar datos desde GestIB hacia Zelvano ";
const char* const exportTitle = "Transformar datos desde Zelvano hacia GestIB";
const char* const versionText = "Tramazel para ZN9 V-1.2";
const int mainHelpContext = 1;

const QColor warmTop(0xF9, 0xD3, 0x7D);
const QColor warmMiddle(0xFF, 0xFF, 0xFF);
const QColor warmBottom(0xFF, 0xEE, 0xDD);
const QColor coolTop(0xC2, 0xCD, 0xFE);
const QColor coolMiddle(0xCF, 0xF2, 0xFE);
const QColor coolBottom(0xCC, 0xD8, 0xE6);

// The window's default font. The classic bitmap face is rarely installed outside
// Windows; the style hint then lets the font system pick a plain sans.
QFont windowFont()
{
    QFont font;
    font.setFamilies({ QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
        QStringLiteral("Arial"), QStringLiteral("Liberation Sans") });
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

// The half titles: Arial (or its metric twin), bold, 16 pixels high.
QFont titleFont()
{
    QFont font;
    font.setFamilies({ QStringLiteral("Arial"), QStringLiteral("Liberation Sans") });
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(16);
    font.setBold(true);
    return font;
}

// The check mark of the OK-kind buttons: a green tick with a darker edge.
QIcon checkMarkGlyph()
{
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPolygonF tick({ QPointF(2.5, 9.5), QPointF(7, 14), QPointF(15.5, 3.5) });
    painter.setPen(QPen(QColor(0x00, 0x50, 0x00), 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(tick);
    painter.setPen(QPen(QColor(0x00, 0xB0, 0x00), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(tick);
    return QIcon(pixmap);
}

QLabel* makeLabel(const char* text, const QRect& place, QWidget* parent)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setGeometry(place);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

QPushButton* makeButton(const QString& text, const QRect& place, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setGeometry(place);
    // Enter presses the focused button as Space does, as Windows users expect; the
    // window is no dialog, so no button is ever the default.
    button->setAutoDefault(true);
    return button;
}

} // namespace

MainWindow::MainWindow(shell::MainForm::Settings settings, shell::Interaction* interaction, QWidget* parent)
    : QWidget(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_help { [](QWidget* w) {
                  help::setHelpFile(
                      QString::fromUtf8(shell::kHelpFileName.data(), qsizetype(shell::kHelpFileName.size())));
                  help::showContents(w);
              },
        [](int context, QWidget* w) { help::showContext(context, w); } }
{
    if (!interaction) {
        m_qtInteraction = std::make_unique<QtInteraction>(this);
        // F1 on the course grid and on the lines question: their own help topics.
        m_qtInteraction->setContextHelp([this](int context, QWidget* dialog) {
            if (m_help.showContext)
                m_help.showContext(context, dialog);
        });
        interaction = m_qtInteraction.get();
    }
    m_form = std::make_unique<shell::MainForm>(*interaction, std::move(settings));

    setObjectName(QStringLiteral("MForm"));
    setWindowTitle(QString::fromUtf8(windowCaption));
    setFont(windowFont());
    setFixedSize(clientWidth, clientHeight);
    buildWidgets();

    // F1 anywhere on the window: the window and every control carry the same help
    // context.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, &MainWindow::requestContextHelp);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildWidgets()
{
    Widgets& w = m_widgets;
    w.importPanel = new GradientPanel(warmTop, warmMiddle, warmBottom, this);
    w.importPanel->setObjectName(QStringLiteral("Draw3D2"));
    w.importPanel->setGeometry(0, -1, 315, 169);
    w.importTitle = makeLabel(importTitle, QRect(24, 24, 265, 57), w.importPanel);
    w.importTitle->setObjectName(QStringLiteral("Label3"));
    w.importTitle->setFont(titleFont());

    w.exportPanel = new GradientPanel(warmTop, warmMiddle, warmBottom, this);
    w.exportPanel->setObjectName(QStringLiteral("Draw3D3"));
    w.exportPanel->setGeometry(315, 0, 317, 169);
    w.exportTitle = makeLabel(exportTitle, QRect(8, 24, 305, 57), w.exportPanel);
    w.exportTitle->setObjectName(QStringLiteral("Label4"));
    w.exportTitle->setFont(titleFont());

    w.footerPanel = new GradientPanel(coolTop, coolMiddle, coolBottom, this);
    w.footerPanel->setObjectName(QStringLiteral("Draw3D1"));
    w.footerPanel->setGeometry(0, 168, 633, 97);
    w.versionLabel = makeLabel(versionText, QRect(8, 72, 189, 13), w.footerPanel);
    w.versionLabel->setObjectName(QStringLiteral("Label1"));
    QFont versionFont = font();
    versionFont.setBold(true);
    w.versionLabel->setFont(versionFont);
    QPalette red = w.versionLabel->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    w.versionLabel->setPalette(red);

    const QIcon okGlyph = checkMarkGlyph();
    w.importButton = makeButton(QStringLiteral("Aceptar"), QRect(96, 120, 89, 25), w.importPanel);
    w.importButton->setObjectName(QStringLiteral("BExportar"));
    w.importButton->setIcon(okGlyph);
    w.exportButton = makeButton(QStringLiteral("Aceptar"), QRect(96, 120, 89, 25), w.exportPanel);
    w.exportButton->setObjectName(QStringLiteral("BImportar"));
    w.exportButton->setIcon(okGlyph);
    w.closeButton = makeButton(QStringLiteral("&Salir"), QRect(256, 32, 89, 25), w.footerPanel);
    w.closeButton->setObjectName(QStringLiteral("BClose"));
    w.closeButton->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    w.helpButton = makeButton(QStringLiteral("F1 AYUDA"), QRect(265, 67, 75, 18), w.footerPanel);
    w.helpButton->setObjectName(QStringLiteral("Button1"));

    connect(w.importButton, &QPushButton::clicked, this, [this] { m_form->importCentre(); });
    connect(w.exportButton, &QPushButton::clicked, this, [this] { m_form->exportSolution(); });
    connect(w.closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(w.helpButton, &QPushButton::clicked, this, &MainWindow::showHelpContents);
}

std::optional<std::uint32_t> MainWindow::start(const std::vector<std::string>& params)
{
    return m_form->start(params);
}

bool MainWindow::hostMode() const noexcept
{
    return m_form->hostMode();
}

void MainWindow::setHelpActions(HelpActions actions)
{
    m_help = std::move(actions);
}

void MainWindow::centreOnScreen()
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

QWidget* MainWindow::helpParent()
{
    // Inside a foreign window this window cannot parent other windows.
    const QWindow* handle = windowHandle();
    return handle && handle->parent() ? nullptr : this;
}

void MainWindow::showHelpContents()
{
    if (m_help.showContents)
        m_help.showContents(helpParent());
}

void MainWindow::requestContextHelp()
{
    if (m_help.showContext)
        m_help.showContext(mainHelpContext, helpParent());
}

void MainWindow::hostWindowDestroyed()
{
    m_hostGone = true;
    close();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // The mode word runs once the window has painted, so that its dialogs open
    // over the window rather than over an empty host.
    QTimer::singleShot(0, this, [this] { m_form->runModeWord(); });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A run interrupted by the end of the application may still ask for a close:
    // the result code written at the real close stands.
    if (m_closed) {
        event->accept();
        return;
    }
    if (!m_form->closing() && !m_hostGone) {
        event->ignore();
        return;
    }
    event->accept();
    m_closed = true;
    emit closed();
}

} // namespace tramazel::ui
