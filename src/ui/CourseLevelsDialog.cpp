// SPDX-License-Identifier: GPL-3.0-or-later
#include "CourseLevelsDialog.h"

#include "QtLayout.h"
#include "centre_import/CourseLevelGrid.h"
#include "shell/WindowLayouts.h"

#include <QAbstractTableModel>
#include <QFocusFrame>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

namespace tramazel::ui {

namespace {

using centre_import::CourseLevelGrid;
namespace layout = shell::course_levels_window;

} // namespace

/// The grid's lines as Qt's views want them. A value set in a cell goes through
/// CourseLevelGrid (cut, posted to CURSOST) and is shown as the table then holds it.
class CourseGridModel : public QAbstractTableModel {
public:
    using FailureHandler = std::function<void(std::exception_ptr)>;

    CourseGridModel(CourseLevelGrid& grid, FailureHandler onFailure, QObject* parent)
        : QAbstractTableModel(parent)
        , m_grid(grid)
        , m_onFailure(std::move(onFailure))
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : m_grid.rowCount();
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : CourseLevelGrid::kColumnCount;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        return toQString(m_grid.text(index.row(), index.column()));
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= CourseLevelGrid::kColumnCount)
            return {};
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        if (role != Qt::DisplayRole)
            return {};
        return toQString(CourseLevelGrid::column(section).title);
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (CourseLevelGrid::isEditable(index.column()) && !m_grid.failed())
            flags |= Qt::ItemIsEditable;
        return flags;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (!index.isValid() || role != Qt::EditRole || !CourseLevelGrid::isEditable(index.column())
            || m_grid.failed())
            return false;
        try {
            m_grid.set(index.row(), index.column(), value.toString().toStdString());
        } catch (...) {
            // Nothing may escape into Qt's event loop: the dialog closes and rethrows.
            m_onFailure(std::current_exception());
            return false;
        }
        emit dataChanged(index, index, { Qt::DisplayRole, Qt::EditRole });
        return true;
    }

    CourseLevelGrid& grid() const { return m_grid; }

private:
    CourseLevelGrid& m_grid;
    FailureHandler m_onFailure;
};

namespace {

/// Line editors limited to the field's width; Enter leaves the cell like Tab does.
class CourseGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(
        QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        editor->setMaxLength(CourseLevelGrid::column(index.column()).maxLength);
        return editor;
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                auto* editor = qobject_cast<QWidget*>(object);
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::EditNextItem);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }
};

} // namespace

/// The grid: Tab, Shift+Tab and Enter move through the editable cells only (level,
/// then course number, line by line); past the last one the focus goes on to
/// "Continuar".
class CourseGrid : public QTableView {
public:
    using QTableView::QTableView;

    /// Posts the value of any cell still being edited and closes its editor. The
    /// editor need not be on the current cell (an edit opened by a double click
    /// elsewhere), so every editable cell is looked at: a few dozen lines.
    void commitOpenEditors()
    {
        if (state() != EditingState || !model())
            return;
        for (int row = 0; row < model()->rowCount(); ++row) {
            for (int column : { CourseLevelGrid::Level, CourseLevelGrid::CourseNumber }) {
                if (QWidget* editor = indexWidget(model()->index(row, column))) {
                    commitData(editor);
                    closeEditor(editor, QAbstractItemDelegate::NoHint);
                }
            }
        }
    }

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        if (action != MoveNext && action != MovePrevious)
            return QTableView::moveCursor(action, modifiers);
        auto* lines = static_cast<CourseGridModel*>(model());
        if (!lines || lines->rowCount() == 0)
            return {};
        const QModelIndex current = currentIndex();
        // Before the first line, Tab goes to the first editable cell.
        const CourseLevelGrid::Cell from = current.isValid()
            ? CourseLevelGrid::Cell { current.row(), current.column() }
            : CourseLevelGrid::Cell { 0, CourseLevelGrid::Description };
        const auto target = lines->grid().step(from, action == MoveNext);
        return target ? lines->index(target->row, target->column) : QModelIndex();
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        const bool tab = event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
        if (enter || tab) {
            const QModelIndex next = moveCursor(MoveNext, event->modifiers());
            if (next.isValid())
                setCurrentIndex(next);
            else
                leaveForward();
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }

    // Enter or Tab in the editor of the last cell: the value is posted and the focus
    // goes on to "Continuar" at once.
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override
    {
        const bool pastLast
            = hint == QAbstractItemDelegate::EditNextItem && !moveCursor(MoveNext, Qt::NoModifier).isValid();
        QTableView::closeEditor(editor, pastLast ? QAbstractItemDelegate::NoHint : hint);
        if (pastLast)
            leaveForward();
    }

private:
    // On to the next control, shown as a keyboard move (the style then draws the
    // focus on it).
    void leaveForward()
    {
        window()->setAttribute(Qt::WA_KeyboardFocusChange);
        // The plain widget's move: the view's own would send this grid a Tab again.
        QWidget::focusNextPrevChild(true);
    }
};

CourseLevelsDialog::CourseLevelsDialog(centre_import::CourseLevelGrid& grid, QWidget* parent)
    : QDialog(parent,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
            | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(toQString(layout::kName));
    setWindowTitle(toQString(layout::kCaption));
    setFixedSize(toQSize(layout::kClientSize));
    setSizeGripEnabled(false);

    m_label = new QLabel(toQString(layout::kNotice.text), this);
    m_label->setObjectName(toQString(layout::kNotice.name));
    m_label->setGeometry(toQRect(layout::kNotice.place));
    const shell::FontSpec noticeFont = shell::fontFor(layout::kNotice.font);
    QFont labelFont = m_label->font();
    labelFont.setPixelSize(noticeFont.pixels);
    labelFont.setBold(noticeFont.bold);
    // The sentence was laid out for a narrow Windows font: where the system's font is
    // wider, a smaller size keeps all of it inside the label's place.
    while (labelFont.pixelSize() > 9
        && QFontMetrics(labelFont).horizontalAdvance(m_label->text()) > m_label->width())
        labelFont.setPixelSize(labelFont.pixelSize() - 1);
    m_label->setFont(labelFont);
    QPalette labelPalette = m_label->palette();
    labelPalette.setColor(QPalette::WindowText, toQColor(layout::kNotice.colour));
    m_label->setPalette(labelPalette);

    m_model = new CourseGridModel(
        grid, [this](std::exception_ptr failure) { fail(std::move(failure)); }, this);

    m_grid = new CourseGrid(this);
    m_grid->setObjectName(toQString(layout::kGridName));
    m_grid->setGeometry(toQRect(layout::kGridPlace));
    m_grid->setModel(m_model);
    m_grid->setItemDelegate(new CourseGridDelegate(m_grid));
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The last column takes what is left of the grid's width: no empty strip.
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->horizontalHeader()->setSectionsMovable(false);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
        | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_grid->setTabKeyNavigation(true);
    m_grid->setWordWrap(false);
    // Each column as wide as what it shows (the longest description, the header), and
    // at least its display width in characters: description 56, level 8, course 6.
    // The average character of a proportional font is narrower than most text, so
    // the content decides for the description.
    const int charWidth = m_grid->fontMetrics().averageCharWidth();
    m_grid->resizeColumnsToContents();
    for (int column = 0; column < CourseLevelGrid::kColumnCount; ++column)
        m_grid->setColumnWidth(column,
            std::max(
                m_grid->columnWidth(column), CourseLevelGrid::column(column).displayWidth * charWidth + 8));
    if (const auto first = grid.firstCell())
        m_grid->setCurrentIndex(m_model->index(first->row, first->column));

    // The current cell keeps its colour only while the grid has the focus: once the
    // focus has gone on to "Continuar", the grid no longer looks as if typing would
    // reach it.
    QPalette gridPalette = m_grid->palette();
    gridPalette.setColor(
        QPalette::Inactive, QPalette::Highlight, gridPalette.color(QPalette::Inactive, QPalette::Button));
    gridPalette.setColor(
        QPalette::Inactive, QPalette::HighlightedText, gridPalette.color(QPalette::Inactive, QPalette::Text));
    m_grid->setPalette(gridPalette);

    m_continue = new QPushButton(toQString(layout::kContinueButton.caption), this);
    m_continue->setObjectName(toQString(layout::kContinueButton.name));
    m_continue->setGeometry(toQRect(layout::kContinueButton.place));
    connect(m_continue, &QPushButton::clicked, this, &QDialog::accept);
    // The button is the dialog's default from the start, which the style draws like
    // the focus: a frame around it shows when the focus is really there.
    m_focusFrame = new QFocusFrame(this);
    m_focusFrame->setObjectName(QStringLiteral("continueFocus"));
    m_focusFrame->hide();
    m_continue->installEventFilter(this);

    setTabOrder(m_grid, m_continue);
    m_grid->setFocus();

    // Centred on the screen, not over the owner; a caller may still move it.
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

CourseLevelsDialog::~CourseLevelsDialog() = default;

bool CourseLevelsDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_continue && event->type() == QEvent::FocusIn)
        m_focusFrame->setWidget(m_continue);
    if (watched == m_continue && event->type() == QEvent::FocusOut)
        m_focusFrame->setWidget(nullptr);
    return QDialog::eventFilter(watched, event);
}

int CourseLevelsDialog::exec()
{
    const int result = QDialog::exec();
    if (m_failure)
        std::rethrow_exception(m_failure);
    return result;
}

void CourseLevelsDialog::done(int result)
{
    // "Continuar", the close box and Escape all end here: the value being typed
    // counts as typed.
    m_grid->commitOpenEditors();
    QDialog::done(result);
}

void CourseLevelsDialog::fail(std::exception_ptr failure)
{
    if (!m_failure)
        m_failure = std::move(failure);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isVisible())
                reject();
        },
        Qt::QueuedConnection);
}

} // namespace tramazel::ui
