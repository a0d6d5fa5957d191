// SPDX-License-Identifier: GPL-3.0-or-later
#include "CourseLevelsDialog.h"

#include "Error.h"
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"

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

namespace t = zelvano::cursost;

constexpr int kDescripcion = 0;
constexpr int kNivel = 1;
constexpr int kCurso = 2;
constexpr int kColumns = 3;

QString fromCp1252(std::string_view cp1252)
{
    return QString::fromStdString(text::cp1252ToUtf8(cp1252));
}

/// The characters a cell accepts: its field's width (cp1252 has one byte per character).
int maxLength(int column)
{
    return column == kNivel ? t::kNivelWidth : column == kCurso ? t::kCursoWidth : 0;
}

bool isEditable(int column)
{
    return column == kNivel || column == kCurso;
}

} // namespace

/// CURSOST in record order, as the grid shows it. A value set in a cell is posted to
/// the table at once (edit, set, post) and shown as the table then holds it.
class CourseGridModel : public QAbstractTableModel {
public:
    using FailureHandler = std::function<void(std::exception_ptr)>;

    CourseGridModel(dbf::DbfTable& table, FailureHandler onFailure, QObject* parent)
        : QAbstractTableModel(parent)
        , m_table(table)
        , m_onFailure(std::move(onFailure))
        , m_fields { table.fieldIndex(t::kDescripcio), table.fieldIndex(t::kNivel),
            table.fieldIndex(t::kCurso) }
    {
        for (m_table.first(); !m_table.eof(); m_table.next()) {
            std::array<QString, kColumns> row;
            for (int column = 0; column < kColumns; ++column)
                row[static_cast<std::size_t>(column)] = fromCp1252(m_table.text(field(column)));
            m_rows.push_back(std::move(row));
            m_records.push_back(m_table.recordNumber());
        }
        m_table.first();
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kColumns; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        return cell(index.row(), index.column());
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal)
            return {};
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        if (role != Qt::DisplayRole)
            return {};
        switch (section) {
        case kDescripcion:
            return QStringLiteral("Descripción");
        case kNivel:
            return QStringLiteral("Nivel");
        case kCurso:
            return QStringLiteral("Curso");
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (isEditable(index.column()) && !m_failed)
            flags |= Qt::ItemIsEditable;
        return flags;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (!index.isValid() || role != Qt::EditRole || !isEditable(index.column()) || m_failed)
            return false;
        const int row = index.row();
        const int column = index.column();
        const QString typed = value.toString().left(maxLength(column));
        if (typed == cell(row, column))
            return true;
        try {
            seek(row);
            m_table.edit();
            m_table.setText(field(column), text::utf8ToCp1252(typed.toStdString()));
            m_table.post();
            cell(row, column) = fromCp1252(m_table.text(field(column)));
        } catch (...) {
            // Nothing may escape into Qt's event loop: the dialog closes and rethrows.
            m_failed = true;
            m_onFailure(std::current_exception());
            return false;
        }
        emit dataChanged(index, index, { Qt::DisplayRole, Qt::EditRole });
        return true;
    }

private:
    std::size_t field(int column) const { return m_fields[static_cast<std::size_t>(column)]; }
    const QString& cell(int row, int column) const
    {
        return m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
    }
    QString& cell(int row, int column)
    {
        return m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
    }

    // The engine walks forward only: the line's record is found by its record number,
    // going on from the current record when it lies ahead, else from the first. Fine
    // for the few dozen courses of a school.
    void seek(int row)
    {
        const std::uint32_t target = m_records[static_cast<std::size_t>(row)];
        if (m_table.eof() || m_table.recordNumber() > target)
            m_table.first();
        while (!m_table.eof() && m_table.recordNumber() < target)
            m_table.next();
        if (m_table.eof() || m_table.recordNumber() != target)
            throw Error(ErrorCode::TableCorrupt, "La tabla CURSOST ha cambiado mientras se editaba.",
                "registro " + std::to_string(target) + " (línea " + std::to_string(row + 1)
                    + " del diálogo de cursos)");
    }

    dbf::DbfTable& m_table;
    FailureHandler m_onFailure;
    std::array<std::size_t, kColumns> m_fields;
    std::vector<std::array<QString, kColumns>> m_rows;
    std::vector<std::uint32_t> m_records; // record number of each line
    bool m_failed = false;
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
        editor->setMaxLength(maxLength(index.column()));
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
            for (int column : { kNivel, kCurso }) {
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
        const QModelIndex current = currentIndex();
        const int rows = model() ? model()->rowCount() : 0;
        if (rows == 0)
            return {};
        // Editable cells numbered line by line: (row, Nivel) = 2·row, (row, Curso) = 2·row + 1.
        int position = -1;
        if (current.isValid())
            position = current.column() == kDescripcion ? 2 * current.row() - 1
                                                        : 2 * current.row() + (current.column() - kNivel);
        const int target = action == MoveNext ? position + 1 : position - 1;
        if (target < 0 || target >= 2 * rows)
            return {};
        return model()->index(target / 2, kNivel + target % 2);
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

CourseLevelsDialog::CourseLevelsDialog(dbf::DbfTable& cursost, QWidget* parent)
    : QDialog(parent,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
            | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormCursos"));
    setWindowTitle(QStringLiteral("Cursos"));
    setFixedSize(514, 409);
    setSizeGripEnabled(false);

    m_label = new QLabel(
        QStringLiteral("Antes de continuar, debe escribir el nivel y el curso en todas las líneas."), this);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setGeometry(16, 8, 493, 16);
    QFont labelFont = m_label->font();
    labelFont.setPixelSize(13);
    labelFont.setBold(true);
    // The sentence was laid out for a narrow Windows font: where the system's font is
    // wider, a smaller size keeps all of it inside the label's place.
    while (labelFont.pixelSize() > 9
        && QFontMetrics(labelFont).horizontalAdvance(m_label->text()) > m_label->width())
        labelFont.setPixelSize(labelFont.pixelSize() - 1);
    m_label->setFont(labelFont);
    QPalette labelPalette = m_label->palette();
    labelPalette.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    m_label->setPalette(labelPalette);

    m_model = new CourseGridModel(
        cursost, [this](std::exception_ptr failure) { fail(std::move(failure)); }, this);

    m_grid = new CourseGrid(this);
    m_grid->setObjectName(QStringLiteral("wwDBGrid1"));
    m_grid->setGeometry(8, 40, 481, 321);
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
    const std::array<int, kColumns> widths { 56, 8, 6 };
    m_grid->resizeColumnsToContents();
    for (int column = 0; column < kColumns; ++column)
        m_grid->setColumnWidth(column,
            std::max(m_grid->columnWidth(column), widths[static_cast<std::size_t>(column)] * charWidth + 8));
    if (m_model->rowCount() > 0)
        m_grid->setCurrentIndex(m_model->index(0, kNivel));

    // The current cell keeps its colour only while the grid has the focus: once the
    // focus has gone on to "Continuar", the grid no longer looks as if typing would
    // reach it.
    QPalette gridPalette = m_grid->palette();
    gridPalette.setColor(
        QPalette::Inactive, QPalette::Highlight, gridPalette.color(QPalette::Inactive, QPalette::Button));
    gridPalette.setColor(
        QPalette::Inactive, QPalette::HighlightedText, gridPalette.color(QPalette::Inactive, QPalette::Text));
    m_grid->setPalette(gridPalette);

    m_continue = new QPushButton(QStringLiteral("Continuar"), this);
    m_continue->setObjectName(QStringLiteral("Button1"));
    m_continue->setGeometry(408, 376, 75, 25);
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
