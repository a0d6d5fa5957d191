// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

/// What each window of the program looks like, described once: texts, places,
/// colours, fonts by role and help contexts. The Qt window and the Win32 window lay
/// themselves out from these values and their tests compare against them. Places
/// are in pixels at 96 dots per inch (left, top, width, height), relative to the
/// client area or panel a control sits on; texts are UTF-8.
namespace tramazel::shell {

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    constexpr int right() const noexcept { return left + width; }
    constexpr int bottom() const noexcept { return top + height; }
    constexpr bool operator==(const Rect&) const = default;
};

struct Size {
    int width = 0;
    int height = 0;
    constexpr bool operator==(const Size&) const = default;
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    constexpr bool operator==(const Rgb&) const = default;
};

/// Three colours a panel's gradient passes through, top to bottom.
struct Gradient {
    Rgb top;
    Rgb middle;
    Rgb bottom;
};

/// The fonts the windows use, by what they are for.
enum class FontRole {
    Window, ///< every control's default: MS Sans Serif, 8 points
    PanelTitle, ///< the main window's half titles: Arial, bold, 16 pixels
    VersionLabel, ///< the window font in bold
    GridNotice, ///< the course-level window's notice: MS Sans Serif, bold, 13 pixels
};

/// A font: the family the layout was drawn with, its size either in points or in
/// pixels (the other is 0), and its weight.
struct FontSpec {
    std::string_view family;
    int points = 0;
    int pixels = 0;
    bool bold = false;
};

constexpr FontSpec fontFor(FontRole role) noexcept
{
    switch (role) {
    case FontRole::PanelTitle:
        return { "Arial", 0, 16, true };
    case FontRole::VersionLabel:
        return { "MS Sans Serif", 8, 0, true };
    case FontRole::GridNotice:
        return { "MS Sans Serif", 0, 13, true };
    case FontRole::Window:
        break;
    }
    return { "MS Sans Serif", 8, 0, false };
}

/// A static text. `place` is relative to the panel (or client area) it sits on.
struct LabelSpec {
    std::string_view name; ///< the control's name in the layout, e.g. "Label3"
    std::string_view text;
    Rect place;
    FontRole font = FontRole::Window;
    Rgb colour;
    bool wordWrap = false;
};

/// The glyph drawn beside a button's caption.
enum class ButtonGlyph { None, CheckMark, Close };

/// A push button. "&" in the caption marks its access key.
struct ButtonSpec {
    std::string_view name;
    std::string_view caption;
    Rect place;
    ButtonGlyph glyph = ButtonGlyph::None;
};

/// A gradient panel of the main window, in the window's client area.
struct PanelSpec {
    std::string_view name;
    Rect place;
    Gradient gradient;
};

/// The help contexts of the program's windows: F1 there opens that topic of IB.chm.
namespace help_context {
inline constexpr int kMainWindow = 1;
inline constexpr int kCourseLevels = 2;
inline constexpr int kSubjectLines = 3;
/// The file dialog of the centre import and of the solution export: the topic that
/// says which file to choose.
inline constexpr int kImportFile = 4;
inline constexpr int kExportFile = 5;
} // namespace help_context

/// The converter's one main window: a fixed-size dialog-style window, centred on the
/// screen, with three panels (import on the left, export on the right, a band at the
/// bottom) and four buttons.
namespace main_window {

inline constexpr std::string_view kName = "MForm";
inline constexpr std::string_view kCaption = "Exportar e importar datos entre Zelvano y GestIB";
inline constexpr Size kClientSize { 632, 266 };
inline constexpr int kHelpContext = help_context::kMainWindow;

inline constexpr Gradient kWarm { { 0xF9, 0xD3, 0x7D }, { 0xFF, 0xFF, 0xFF }, { 0xFF, 0xEE, 0xDD } };
inline constexpr Gradient kCool { { 0xC2, 0xCD, 0xFE }, { 0xCF, 0xF2, 0xFE }, { 0xCC, 0xD8, 0xE6 } };

inline constexpr PanelSpec kImportPanel { "Draw3D2", { 0, -1, 315, 169 }, kWarm };
inline constexpr PanelSpec kExportPanel { "Draw3D3", { 315, 0, 317, 169 }, kWarm };
inline constexpr PanelSpec kFooterPanel { "Draw3D1", { 0, 168, 633, 97 }, kCool };

/// On kImportPanel. The trailing blank is part of the text.
inline constexpr LabelSpec kImportTitle { "Label3", "Transformar datos desde GestIB hacia Zelvano ",
    { 24, 24, 265, 57 }, FontRole::PanelTitle, {}, true };
/// On kExportPanel.
inline constexpr LabelSpec kExportTitle { "Label4", "Transformar datos desde Zelvano hacia GestIB",
    { 8, 24, 305, 57 }, FontRole::PanelTitle, {}, true };
/// On kFooterPanel, in red.
inline constexpr LabelSpec kVersionLabel { "Label1", "Tramazel para ZN9 V-1.2", { 8, 72, 189, 13 },
    FontRole::VersionLabel, { 0xFF, 0x00, 0x00 }, false };

/// On kImportPanel: the centre import.
inline constexpr ButtonSpec kImportButton { "BExportar", "Aceptar", { 96, 120, 89, 25 },
    ButtonGlyph::CheckMark };
/// On kExportPanel: the solution export.
inline constexpr ButtonSpec kExportButton { "BImportar", "Aceptar", { 96, 120, 89, 25 },
    ButtonGlyph::CheckMark };
/// On kFooterPanel: closes the window (Alt+S).
inline constexpr ButtonSpec kCloseButton { "BClose", "&Salir", { 256, 32, 89, 25 }, ButtonGlyph::Close };
/// On kFooterPanel: the help file's contents.
inline constexpr ButtonSpec kHelpButton { "Button1", "F1 AYUDA", { 265, 67, 75, 18 }, ButtonGlyph::None };

} // namespace main_window

/// The course-level window: a fixed-size dialog, centred on the screen, with a close
/// box, a notice, the grid (centre_import::CourseLevelGrid gives its columns and
/// rows) and "Continuar". Its client area is kClientSize.
namespace course_levels_window {

inline constexpr std::string_view kName = "FormCursos";
inline constexpr std::string_view kCaption = "Cursos";
inline constexpr Size kClientSize { 514, 409 };
inline constexpr int kHelpContext = help_context::kCourseLevels;

/// Maroon. Where the system's font is wider than the one the sentence was laid out
/// with, a window may take a smaller size to keep it inside its place.
inline constexpr LabelSpec kNotice { "Label1",
    "Antes de continuar, debe escribir el nivel y el curso en todas las líneas.", { 16, 8, 493, 16 },
    FontRole::GridNotice, { 0x80, 0x00, 0x00 }, false };
/// The grid's name and place.
inline constexpr std::string_view kGridName = "wwDBGrid1";
inline constexpr Rect kGridPlace { 8, 40, 481, 321 };
/// Closes the window; the import goes on (as it does after the close box).
inline constexpr ButtonSpec kContinueButton { "Button1", "Continuar", { 408, 376, 75, 25 },
    ButtonGlyph::None };

} // namespace course_levels_window

/// The subject-lines question: the question box of the centre import (its caption
/// and text come with the question), with one check box under the text.
namespace subject_lines_question {

inline constexpr int kHelpContext = help_context::kSubjectLines;
/// The check box: lines only for the groups a subject's name designates.
inline constexpr std::string_view kNamedGroupsCaption
    = "Solo para los grupos indicados en el nombre de la materia";
/// Where the check box's last state is remembered for the user: the group and key
/// of the user's settings (QSettings "SubjectLines/NamedGroupsOnly"; on Windows the
/// registry value "NamedGroupsOnly" under HKEY_CURRENT_USER\Software\Tramazel\SubjectLines).
inline constexpr std::string_view kSettingsGroup = "SubjectLines";
inline constexpr std::string_view kSettingsKey = "NamedGroupsOnly";

} // namespace subject_lines_question

/// The review before a centre import replaces the tables: what changes, two buttons
/// and a check box that skips the review from then on (except when the import would
/// empty a table that holds records).
namespace replace_tables_question {

inline constexpr std::string_view kAcceptCaption = "Reemplazar las tablas";
inline constexpr std::string_view kRejectCaption = "Cancelar";
inline constexpr std::string_view kDontAskAgainCaption = "No volver a preguntar";
/// Where the check box's answer is remembered for the user (QSettings
/// "ImportReview/DontAskAgain"; on Windows the registry value "DontAskAgain" under
/// HKEY_CURRENT_USER\Software\Tramazel\ImportReview).
inline constexpr std::string_view kSettingsGroup = "ImportReview";
inline constexpr std::string_view kSettingsKey = "DontAskAgain";

} // namespace replace_tables_question

} // namespace tramazel::shell
