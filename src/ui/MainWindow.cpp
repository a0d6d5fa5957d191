// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include "GradientPanel.h"
#include "HelpSystem.h"
#include "QtInteraction.h"
#include "QtLayout.h"
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

namespace layout = shell::main_window;

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

GradientPanel* makePanel(const shell::PanelSpec& spec, QWidget* parent)
{
    const shell::Gradient& g = spec.gradient;
    auto* panel = new GradientPanel(toQColor(g.top), toQColor(g.middle), toQColor(g.bottom), parent);
    panel->setObjectName(toQString(spec.name));
    panel->setGeometry(toQRect(spec.place));
    return panel;
}

QLabel* makeLabel(const shell::LabelSpec& spec, QWidget* parent)
{
    auto* label = new QLabel(toQString(spec.text), parent);
    label->setObjectName(toQString(spec.name));
    label->setGeometry(toQRect(spec.place));
    label->setWordWrap(spec.wordWrap);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setFont(toQFont(spec.font));
    // The colour is the layout's whatever the desktop's theme: the panels under the
    // labels paint their own light gradient.
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, toQColor(spec.colour));
    label->setPalette(palette);
    return label;
}

QPushButton* makeButton(const shell::ButtonSpec& spec, QWidget* parent)
{
    auto* button = new QPushButton(toQString(spec.caption), parent);
    button->setObjectName(toQString(spec.name));
    button->setGeometry(toQRect(spec.place));
    switch (spec.glyph) {
    case shell::ButtonGlyph::CheckMark:
        button->setIcon(checkMarkGlyph());
        break;
    case shell::ButtonGlyph::Close:
        button->setIcon(button->style()->standardIcon(QStyle::SP_DialogCloseButton));
        break;
    case shell::ButtonGlyph::None:
        break;
    }
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
    , m_help { [this](QWidget* w) {
                  help::setHelpFile(
                      QString::fromUtf8(shell::kHelpFileName.data(), qsizetype(shell::kHelpFileName.size())));
                  reportHelpProblem(help::showContents(w));
              },
        [this](int context, QWidget* w) { reportHelpProblem(help::showContext(context, w)); } }
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
    m_interaction = interaction;
    m_form = std::make_unique<shell::MainForm>(*interaction, std::move(settings));

    setObjectName(toQString(layout::kName));
    setWindowTitle(toQString(layout::kCaption));
    setFont(toQFont(shell::FontRole::Window));
    setFixedSize(toQSize(layout::kClientSize));
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
    w.importPanel = makePanel(layout::kImportPanel, this);
    w.importTitle = makeLabel(layout::kImportTitle, w.importPanel);
    w.importButton = makeButton(layout::kImportButton, w.importPanel);

    w.exportPanel = makePanel(layout::kExportPanel, this);
    w.exportTitle = makeLabel(layout::kExportTitle, w.exportPanel);
    w.exportButton = makeButton(layout::kExportButton, w.exportPanel);

    w.footerPanel = makePanel(layout::kFooterPanel, this);
    w.versionLabel = makeLabel(layout::kVersionLabel, w.footerPanel);
    w.closeButton = makeButton(layout::kCloseButton, w.footerPanel);
    w.helpButton = makeButton(layout::kHelpButton, w.footerPanel);

    connect(w.importButton, &QPushButton::clicked, this,
        [this] { runAction([this] { m_form->importCentre(); }); });
    connect(w.exportButton, &QPushButton::clicked, this,
        [this] { runAction([this] { m_form->exportSolution(); }); });
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
    // Help windows are nobody's children; the window only tells where to put them,
    // even inside a foreign window (the help system finds its place on the screen).
    return this;
}

void MainWindow::showHelpContents()
{
    if (m_help.showContents)
        m_help.showContents(helpParent());
}

void MainWindow::requestContextHelp()
{
    if (m_help.showContext)
        m_help.showContext(layout::kHelpContext, helpParent());
}

void MainWindow::reportHelpProblem(const QString& problem)
{
    // Help that cannot be shown says why, in the program's error box.
    if (!problem.isEmpty() && m_interaction)
        m_interaction->showError(problem.toStdString());
}

void MainWindow::hostWindowDestroyed()
{
    m_hostGone = true;
    // With a dialog open a run is under way: its prompt ends it as cancelled (the
    // tables stay as they were), and the window closes once the run has returned.
    if (m_qtInteraction && m_qtInteraction->cancelPrompts() && m_runDepth > 0)
        return;
    close();
}

void MainWindow::runAction(const std::function<void()>& action)
{
    ++m_runDepth;
    action();
    --m_runDepth;
    if (m_hostGone && m_runDepth == 0)
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
    QTimer::singleShot(0, this, [this] { runAction([this] { m_form->runModeWord(); }); });
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
