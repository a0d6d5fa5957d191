// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtInteraction.h"

#include "CourseLevelsDialog.h"
#include "QtLayout.h"

#include "Error.h"
#include "shell/ProgramTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSpacerItem>
#include <QTreeView>
#include <QWidget>

namespace tramazel::ui {

const QString QtInteraction::applicationTitle = toQString(shell::kApplicationTitle);

const QString QtInteraction::namedGroupsOnlySetting = toQString(shell::subject_lines_question::kSettingsGroup)
    + QLatin1Char('/') + toQString(shell::subject_lines_question::kSettingsKey);

namespace {

// The user's own settings of the program: on Windows the registry under the
// program's key, elsewhere a file in the user's configuration folder. The program
// names no organisation, so its own name serves as one.
struct UserSettings {
    QSettings settings { QCoreApplication::organizationName().isEmpty()
            ? QCoreApplication::applicationName()
            : QCoreApplication::organizationName(),
        QCoreApplication::organizationName().isEmpty() ? QString() : QCoreApplication::applicationName() };
};

QString settingsKey(std::string_view group, std::string_view key)
{
    return toQString(group) + QLatin1Char('/') + toQString(key);
}

QString fromPath(const std::filesystem::path& path)
{
    return QString::fromStdU16String(path.generic_u16string());
}

std::filesystem::path toPath(const QString& file)
{
    return std::filesystem::path(file.toStdU16String());
}

// A short text would make a box narrower than its caption, which the title bar then
// cuts ("Tra…"): the box is kept wide enough to show the caption whole, with room
// for the title bar's buttons.
void keepCaptionVisible(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    const int titleBarButtons = 120;
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + titleBarButtons;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
        grid->columnCount());
}

// The file list of Qt's own dialog: the name takes the room left, the size, type
// and date columns are as wide as what they show.
void sizeFileColumns(QFileDialog& dialog)
{
    const int fileDialogWidth = 760;
    const int fileDialogHeight = 440;
    dialog.resize(fileDialogWidth, fileDialogHeight);
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!list)
        return;
    QHeaderView* header = list->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

// Calls `onF1` for every F1 key press that reaches the object it filters.
class F1Filter : public QObject {
public:
    F1Filter(QObject* parent, std::function<void()> onF1)
        : QObject(parent)
        , m_onF1(std::move(onF1))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
            m_onF1();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onF1;
};

} // namespace

QtInteraction::QtInteraction(QWidget* mainWindow)
    : m_mainWindow(mainWindow)
{
}

QtInteraction::~QtInteraction()
{
    setBusy(false);
}

void QtInteraction::setDialogPlacer(std::function<void(QWidget&)> placer)
{
    m_placer = std::move(placer);
}

QWidget* QtInteraction::dialogParent() const
{
    return m_placer ? nullptr : m_mainWindow.data();
}

void QtInteraction::setContextHelp(std::function<void(int, QWidget*)> help)
{
    m_contextHelp = std::move(help);
}

int QtInteraction::runModal(QDialog& dialog, Modal kind)
{
    auto throwIfCancelled = [this, kind] {
        if (m_cancelled && kind == Modal::Prompt)
            throw Error(ErrorCode::Cancelled, "La ventana que abrió el programa se ha cerrado.");
    };
    throwIfCancelled();
    if (m_cancelled)
        return QDialog::Rejected;
    if (m_placer)
        m_placer(dialog);
    // Modal to the main window alone: a help window, a top-level window of its own,
    // keeps answering while the dialog is open.
    if (dialog.parentWidget() || m_placer)
        dialog.setWindowModality(Qt::WindowModal);
    // The shell asks one thing at a time; the one open is what a cancellation closes.
    const QPointer<QDialog> outer = m_openDialog;
    m_openDialog = &dialog;
    const int result = dialog.exec();
    m_openDialog = outer;
    throwIfCancelled();
    return result;
}

bool QtInteraction::cancelPrompts()
{
    m_cancelled = true;
    if (!m_openDialog)
        return false;
    // The answer no longer matters: runModal throws once exec() returns.
    m_openDialog->reject();
    return true;
}

void QtInteraction::addContextHelp(QDialog& dialog, int context)
{
    // F1 wherever the focus is in the dialog: no control takes the key, so it
    // travels up to the dialog, where this filter answers it.
    dialog.installEventFilter(new F1Filter(&dialog, [this, context, &dialog] {
        if (m_contextHelp)
            m_contextHelp(context, &dialog);
    }));
}

std::optional<std::filesystem::path> QtInteraction::chooseFile(const shell::FileDialogOptions& options)
{
    QFileDialog dialog(dialogParent(), toQString(options.title));
    // Qt's own dialog everywhere: a desktop's native one could not be placed over a
    // host window, and it behaves the same on every machine.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name that does not exist is accepted, as the open dialog always did;
    // the handlers answer it with "No existe archivo".
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(toQString(options.filter));
    dialog.setDefaultSuffix(toQString(options.defaultExtension));
    if (!options.initialDir.empty())
        dialog.setDirectory(fromPath(options.initialDir));
    sizeFileColumns(dialog);
    if (options.helpContext != 0) {
        // The file dialog's own widgets take the keys they do not know before the
        // dialog sees them; a shortcut of the dialog's window comes first.
        auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), &dialog);
        f1->setContext(Qt::WindowShortcut);
        QObject::connect(f1, &QShortcut::activated, &dialog, [this, &dialog, context = options.helpContext] {
            if (m_contextHelp)
                m_contextHelp(context, &dialog);
        });
    }
    if (runModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return toPath(QDir::toNativeSeparators(files.first()));
}

void QtInteraction::showInformation(std::string_view text)
{
    // The constructor, not QMessageBox::information(): the static helpers always
    // add an icon, and this box has none.
    QMessageBox box(QMessageBox::NoIcon, applicationTitle, toQString(text), QMessageBox::Ok, dialogParent());
    keepCaptionVisible(box);
    runModal(box, Modal::Notice);
}

void QtInteraction::showError(std::string_view text)
{
    QMessageBox box(
        QMessageBox::Critical, applicationTitle, toQString(text), QMessageBox::Ok, dialogParent());
    keepCaptionVisible(box);
    runModal(box, Modal::Notice);
}

bool QtInteraction::confirmDestructive(std::string_view text)
{
    QMessageBox box(QMessageBox::Warning, applicationTitle, toQString(text),
        QMessageBox::Ok | QMessageBox::Cancel, dialogParent());
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    keepCaptionVisible(box);
    return runModal(box) == QMessageBox::Ok;
}

void QtInteraction::showReport(const shell::Report& report)
{
    QMessageBox box(
        QMessageBox::Information, applicationTitle, toQString(report.text), QMessageBox::Ok, dialogParent());
    if (!report.details.empty())
        box.setDetailedText(toQString(report.details));
    keepCaptionVisible(box);
    runModal(box, Modal::Notice);
}

shell::ChoiceAnswer QtInteraction::choose(const shell::Choice& choice)
{
    QMessageBox box(QMessageBox::Warning, applicationTitle, toQString(choice.text), QMessageBox::NoButton,
        dialogParent());
    QPushButton* accept = box.addButton(toQString(choice.acceptCaption), QMessageBox::AcceptRole);
    QPushButton* reject = box.addButton(toQString(choice.rejectCaption), QMessageBox::RejectRole);
    box.setDefaultButton(choice.acceptIsDefault ? accept : reject);
    box.setEscapeButton(reject);
    if (!choice.details.empty())
        box.setDetailedText(toQString(choice.details));
    QCheckBox* dontAskAgain = nullptr;
    if (!choice.dontAskAgainCaption.empty()) {
        dontAskAgain = new QCheckBox(toQString(choice.dontAskAgainCaption), &box);
        box.setCheckBox(dontAskAgain);
    }
    keepCaptionVisible(box);
    runModal(box);
    const bool accepted = box.clickedButton() == accept;
    return { accepted, dontAskAgain && dontAskAgain->isChecked() };
}

bool QtInteraction::userFlag(std::string_view group, std::string_view key)
{
    UserSettings user;
    return user.settings.value(settingsKey(group, key), false).toBool();
}

void QtInteraction::setUserFlag(std::string_view group, std::string_view key, bool value)
{
    UserSettings user;
    user.settings.setValue(settingsKey(group, key), value);
}

// The import's question box: warning icon, OK the default, Escape means Cancel. It
// asks only about the subject lines, so F1 shows their help.
void QtInteraction::prepareQuestion(QMessageBox& box)
{
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    keepCaptionVisible(box);
    addContextHelp(box, shell::subject_lines_question::kHelpContext);
}

bool QtInteraction::askQuestion(std::string_view caption, std::string_view text)
{
    QMessageBox box(QMessageBox::Warning, toQString(caption), toQString(text),
        QMessageBox::Ok | QMessageBox::Cancel, dialogParent());
    prepareQuestion(box);
    return runModal(box) == QMessageBox::Ok;
}

centre_import::SubjectLines QtInteraction::askSubjectLines(std::string_view caption, std::string_view text)
{
    QMessageBox box(QMessageBox::Warning, toQString(caption), toQString(text),
        QMessageBox::Ok | QMessageBox::Cancel, dialogParent());
    auto* namedGroupsOnly
        = new QCheckBox(toQString(shell::subject_lines_question::kNamedGroupsCaption), &box);
    UserSettings user;
    namedGroupsOnly->setChecked(user.settings.value(namedGroupsOnlySetting, false).toBool());
    box.setCheckBox(namedGroupsOnly);
    prepareQuestion(box);
    const bool ok = runModal(box) == QMessageBox::Ok;
    user.settings.setValue(namedGroupsOnlySetting, namedGroupsOnly->isChecked());
    if (!ok)
        return centre_import::SubjectLines::None;
    return namedGroupsOnly->isChecked() ? centre_import::SubjectLines::NamedGroups
                                        : centre_import::SubjectLines::All;
}

void QtInteraction::editCourseLevels(centre_import::CourseLevelGrid& grid)
{
    CourseLevelsDialog dialog(grid, dialogParent());
    addContextHelp(dialog, shell::course_levels_window::kHelpContext);
    runModal(dialog);
}

void QtInteraction::setBusy(bool busy)
{
    // Override cursors form a stack: one push for this object at most, and a pop only
    // of its own, never of someone else's cursor.
    if (busy == m_busy)
        return;
    if (busy)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::restoreOverrideCursor();
    m_busy = busy;
}

void QtInteraction::closeMainWindow()
{
    if (m_mainWindow)
        m_mainWindow->close();
}

} // namespace tramazel::ui
