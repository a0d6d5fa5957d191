// SPDX-License-Identifier: GPL-3.0-or-later
// Takes the pictures of the help: the main window and the course-level grid, drawn
// over a small timetable directory of its own. Usage: tramazel_help_screenshots OUTDIR
#include "CourseLevelsDialog.h"
#include "MainWindow.h"
#include "QtInteraction.h"
#include "ZelvanoTables.h"
#include "centre_import/CourseLevelGrid.h"
#include "dbf/DbfTable.h"
#include "shell/HostIni.h"
#include "text/Cp1252.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <string>

using namespace tramazel;

namespace {

struct Course {
    const char* codi;
    const char* descripcio; // UTF-8
    const char* nivel;
    const char* curso;
};

// A secondary school as a secretary would see it, half filled in.
constexpr Course courses[] = {
    { "1ESO", "1º Educación Secundaria Obligatoria", "ESO", "1" },
    { "2ESO", "2º Educación Secundaria Obligatoria", "ESO", "2" },
    { "3ESO", "3º Educación Secundaria Obligatoria", "ESO", "3" },
    { "4ESO", "4º Educación Secundaria Obligatoria", "", "" },
    { "1BAT", "1º Bachillerato", "", "" },
    { "2BAT", "2º Bachillerato", "", "" },
    { "1CFGM", "1º Ciclo Formativo de Grado Medio", "", "" },
};

bool save(QWidget& widget, const QString& file)
{
    QCoreApplication::processEvents();
    QTest::qWait(200);
    const QPixmap picture = widget.grab();
    if (!picture.save(file, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s (%dx%d)\n", qPrintable(file), picture.width(), picture.height());
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tramazel_help_screenshots OUTDIR\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    QApplication::setApplicationName(ui::QtInteraction::applicationTitle);

    QTemporaryDir qtemp;
    const std::filesystem::path dir = qtemp.path().toStdString();
    {
        namespace t = zelvano::cursost;
        dbf::DbfTable table = dbf::DbfTable::create(dir, t::kTable, t::fields());
        for (const Course& c : courses) {
            table.append();
            table.setText(t::kCodi, c.codi);
            table.setText(t::kDescripcio, text::utf8ToCp1252(c.descripcio));
            table.setText(t::kNivel, c.nivel);
            table.setText(t::kCurso, c.curso);
            table.post();
        }
    }

    bool ok = true;
    {
        shell::MainForm::Settings settings;
        settings.qtempDir = dir;
        settings.iniFile = shell::hostIniPath(dir);
        ui::MainWindow window(settings);
        window.show();
        ok = save(window, outDir + QStringLiteral("/ventana_principal.png")) && ok;
    }
    {
        dbf::DbfTable table = dbf::DbfTable::open(dir, zelvano::cursost::kTable, dbf::Access::Exclusive);
        centre_import::CourseLevelGrid grid(table);
        ui::CourseLevelsDialog dialog(grid);
        dialog.show();
        ok = save(dialog, outDir + QStringLiteral("/cursos.png")) && ok;
        dialog.reject();
    }
    return ok ? 0 : 1;
}
