// SPDX-License-Identifier: GPL-3.0-or-later
// Host mode on a real X server: the test plays the host. It creates a window of its
// own with xcb, starts a copy of the `tramazel` program with a mode word and that
// window's id, and watches what happens on the server. Skipped without a display.
#include "TestSupport.h"
#include "shell/WindowLayouts.h"

#include <QImage>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tramazel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace layout = shell::main_window;

constexpr auto patience = 15s;
constexpr auto ourWidth = static_cast<std::uint16_t>(layout::kClientSize.width);
constexpr auto ourHeight = static_cast<std::uint16_t>(layout::kClientSize.height);

// Polls `done` until it holds or `patience` runs out.
bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

class X11 {
public:
    X11()
    {
        m_conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_conn))
            return;
        m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        m_wmProtocols = atom("WM_PROTOCOLS");
        m_wmDelete = atom("WM_DELETE_WINDOW");
        m_netWmName = atom("_NET_WM_NAME");
        m_utf8 = atom("UTF8_STRING");
    }
    ~X11() { xcb_disconnect(m_conn); }
    bool ok() const { return m_screen != nullptr; }
    xcb_connection_t* conn() const { return m_conn; }
    xcb_window_t root() const { return m_screen->root; }

    xcb_window_t createHost(std::uint16_t width, std::uint16_t height)
    {
        const xcb_window_t id = xcb_generate_id(m_conn);
        const std::uint32_t values[] = { 0x404040 };
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, id, root(), 40, 40, width, height, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual, XCB_CW_BACK_PIXEL, values);
        xcb_map_window(m_conn, id);
        xcb_flush(m_conn);
        return id;
    }

    // An id from our own range that names no window: nobody else can reuse it.
    xcb_window_t deadId()
    {
        const xcb_window_t id = createHost(10, 10);
        destroy(id);
        return id;
    }

    void destroy(xcb_window_t id)
    {
        xcb_destroy_window(m_conn, id);
        xcb_flush(m_conn);
    }

    std::vector<xcb_window_t> children(xcb_window_t parent)
    {
        std::vector<xcb_window_t> result;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, parent), nullptr);
        if (!tree)
            return result;
        const xcb_window_t* begin = xcb_query_tree_children(tree);
        result.assign(begin, begin + xcb_query_tree_children_length(tree));
        std::free(tree);
        return result;
    }

    std::optional<std::pair<std::uint16_t, std::uint16_t>> size(xcb_window_t id)
    {
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, id), nullptr);
        if (!g)
            return std::nullopt;
        std::pair<std::uint16_t, std::uint16_t> result { g->width, g->height };
        std::free(g);
        return result;
    }

    bool viewable(xcb_window_t id)
    {
        auto* a = xcb_get_window_attributes_reply(m_conn, xcb_get_window_attributes(m_conn, id), nullptr);
        const bool result = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(a);
        return result;
    }

    // The child of `parent` that has our window's size, if any.
    std::optional<xcb_window_t> ourWindowIn(xcb_window_t parent)
    {
        for (xcb_window_t child : children(parent)) {
            const auto s = size(child);
            if (s && s->first == ourWidth && s->second == ourHeight && viewable(child))
                return child;
        }
        return std::nullopt;
    }

    std::string title(xcb_window_t id)
    {
        auto* reply = xcb_get_property_reply(
            m_conn, xcb_get_property(m_conn, 0, id, m_netWmName, m_utf8, 0, 1024), nullptr);
        std::string result;
        if (reply) {
            result.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                static_cast<std::size_t>(xcb_get_property_value_length(reply)));
            std::free(reply);
        }
        return result;
    }

    std::optional<xcb_window_t> transientFor(xcb_window_t id)
    {
        auto* reply = xcb_get_property_reply(m_conn,
            xcb_get_property(m_conn, 0, id, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1), nullptr);
        std::optional<xcb_window_t> result;
        if (reply && xcb_get_property_value_length(reply) == 4)
            result = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        std::free(reply);
        return result;
    }

    // A viewable top-level window captioned `caption`.
    std::optional<xcb_window_t> topLevel(const std::string& caption)
    {
        for (xcb_window_t child : children(root()))
            if (viewable(child) && title(child) == caption)
                return child;
        return std::nullopt;
    }

    // What the close box of a window manager sends.
    void requestClose(xcb_window_t id)
    {
        xcb_client_message_event_t event {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = id;
        event.type = m_wmProtocols;
        event.data.data32[0] = m_wmDelete;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_conn, 0, id, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(m_conn);
    }

    QImage grab(xcb_window_t id, std::uint16_t width, std::uint16_t height)
    {
        auto* image = xcb_get_image_reply(
            m_conn, xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, id, 0, 0, width, height, ~0u), nullptr);
        if (!image)
            return {};
        QImage result;
        if (image->depth == 24 && xcb_get_image_data_length(image) == width * height * 4)
            result = QImage(xcb_get_image_data(image), width, height, QImage::Format_RGB32).copy();
        std::free(image);
        return result;
    }

private:
    xcb_atom_t atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(
            m_conn, xcb_intern_atom(m_conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t { XCB_ATOM_NONE };
        std::free(reply);
        return result;
    }

    xcb_connection_t* m_conn = nullptr;
    xcb_screen_t* m_screen = nullptr;
    xcb_atom_t m_wmProtocols = 0, m_wmDelete = 0, m_netWmName = 0, m_utf8 = 0;
};

// A copy of the program in a folder of its own, started from another folder: the
// INI file must land beside the copy, never in the current directory.
class Converter {
public:
    Converter(const TempDir& dir, const std::vector<std::string>& params)
        : m_program(dir / "bin" / "tramazel")
        , m_cwd(dir / "elsewhere")
    {
        fs::create_directories(dir / "bin");
        fs::create_directories(m_cwd);
        fs::create_directories(dir / "qtemp" / "saga");
        fs::copy_file(fs::path(TRAMAZEL_BIN_DIR) / "tramazel", m_program);
        const std::string qtemp = "TRAMAZEL_QTEMP=" + (dir / "qtemp").string();

        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry(*e);
            if (entry.rfind("QT_QPA_PLATFORM=", 0) != 0 && entry.rfind("TRAMAZEL_QTEMP=", 0) != 0)
                env.push_back(entry);
        }
        env.push_back(qtemp);
        std::vector<std::string> args { m_program.string() };
        args.insert(args.end(), params.begin(), params.end());

        m_pid = fork();
        if (m_pid == 0) {
            std::vector<char*> argv, envp;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            for (auto& e : env)
                envp.push_back(e.data());
            envp.push_back(nullptr);
            if (chdir(m_cwd.c_str()) != 0)
                _exit(126);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }

    ~Converter()
    {
        if (running()) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

    bool running()
    {
        if (m_pid <= 0 || m_exited)
            return false;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exited = true;
            m_status = status;
            return false;
        }
        return true;
    }

    bool exitedNormally() const { return m_exited && WIFEXITED(m_status); }

    std::optional<std::string> iniValue() const
    {
        const fs::path ini = m_program.parent_path() / "Zelvano.ini";
        if (!fs::exists(ini))
            return std::nullopt;
        std::smatch match;
        const std::string text = readFile(ini);
        if (!std::regex_search(
                text, match, std::regex(R"(\[Transformadores\][^\[]*Transformado\s*=\s*(-?\d+))")))
            return std::string("(no key)");
        return match[1].str();
    }

    bool iniInWorkingDirectory() const { return fs::exists(m_cwd / "Zelvano.ini"); }

private:
    fs::path m_program;
    fs::path m_cwd;
    pid_t m_pid = -1;
    bool m_exited = false;
    int m_status = 0;
};

std::string hex(xcb_window_t id)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", id);
    return text;
}

class HostEmbeddingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "needs an X server (./scripts/test starts Xvfb)";
        if (!m_x.ok())
            GTEST_SKIP() << "cannot connect to the X server";
    }
    X11 m_x;
    TempDir m_dir;
};

TEST_F(HostEmbeddingTest, BecomesChildOfTheHostAndFollowsItsEnd)
{
    const xcb_window_t host = m_x.createHost(800, 400);
    Converter converter(m_dir, { "ninguno", hex(host) });

    std::optional<xcb_window_t> ours;
    ASSERT_TRUE(waitFor([&] { return (ours = m_x.ourWindowIn(host)).has_value(); }))
        << "our window never became a child of the host";
    EXPECT_TRUE(converter.running());

    // What a user sees inside the host, kept for a look in the build folder.
    std::this_thread::sleep_for(300ms);
    const QImage shot = m_x.grab(host, ourWidth, ourHeight);
    ASSERT_FALSE(shot.isNull());
    shot.save(QStringLiteral(TRAMAZEL_UI_SHOTS_DIR "/host-embedded.png"));
    // The top of each panel's gradient, a few pixels inside its visible part.
    for (const shell::PanelSpec* panel :
        { &layout::kImportPanel, &layout::kExportPanel, &layout::kFooterPanel }) {
        const int x = std::max(panel->place.left, 0) + 3;
        const int y = std::max(panel->place.top, 0) + 1;
        const QRgb pixel = shot.pixel(x, y);
        const shell::Rgb expected = panel->gradient.top;
        EXPECT_TRUE(std::abs(qRed(pixel) - expected.red) < 24 && std::abs(qGreen(pixel) - expected.green) < 24
            && std::abs(qBlue(pixel) - expected.blue) < 24)
            << panel->name << " at (" << x << ", " << y << "): " << std::hex << pixel;
    }

    // The host goes away: the converter writes its result code and ends.
    m_x.destroy(host);
    ASSERT_TRUE(waitFor([&] { return !converter.running(); })) << "the converter outlived its host";
    EXPECT_TRUE(converter.exitedNormally());
    EXPECT_EQ(converter.iniValue(), "0");
    EXPECT_FALSE(converter.iniInWorkingDirectory());
}

TEST_F(HostEmbeddingTest, CancelledImportReportsMinusOneAndCloses)
{
    const xcb_window_t host = m_x.createHost(800, 400);
    Converter converter(m_dir, { "Exportar", hex(host) });

    ASSERT_TRUE(waitFor([&] { return m_x.ourWindowIn(host).has_value(); }));
    std::optional<xcb_window_t> dialog;
    ASSERT_TRUE(waitFor([&] { return (dialog = m_x.topLevel("Archivo XML")).has_value(); }))
        << "the file dialog never came up";
    EXPECT_EQ(m_x.transientFor(*dialog), host) << "the dialog belongs to the host's window";

    m_x.requestClose(*dialog);
    std::optional<xcb_window_t> box;
    ASSERT_TRUE(waitFor([&] { return (box = m_x.topLevel("Tramazel")).has_value(); }))
        << "no \"No existe archivo\" box";
    m_x.requestClose(*box);

    ASSERT_TRUE(waitFor([&] { return !converter.running(); })) << "host mode must end after the run";
    EXPECT_TRUE(converter.exitedNormally());
    EXPECT_EQ(converter.iniValue(), "-1");
    EXPECT_TRUE(m_x.children(host).empty());
    m_x.destroy(host);
}

// The host goes while the import's file dialog is open: the run ends as nothing
// done (-1), the directory stays as it was, and the program ends.
TEST_F(HostEmbeddingTest, HostGoneDuringTheFileDialogEndsAsNothingDone)
{
    fs::create_directories(m_dir / "qtemp" / "saga");
    writeFile(m_dir / "qtemp" / "saga" / "centre.xml", "<CENTRE/>");
    const auto before = snapshot(m_dir / "qtemp");
    const xcb_window_t host = m_x.createHost(800, 400);
    Converter converter(m_dir, { "Exportar", hex(host) });

    ASSERT_TRUE(waitFor([&] { return m_x.topLevel("Archivo XML").has_value(); }))
        << "the file dialog never came up";
    m_x.destroy(host);
    ASSERT_TRUE(waitFor([&] { return !converter.running(); })) << "the converter outlived its host";
    EXPECT_TRUE(converter.exitedNormally());
    EXPECT_EQ(converter.iniValue(), "-1");
    EXPECT_FALSE(m_x.topLevel("Archivo XML").has_value());
    EXPECT_TRUE(snapshot(m_dir / "qtemp") == before) << "the timetable directory changed";
}

TEST_F(HostEmbeddingTest, UnusableHandleGivesANormalWindowAndKeepsHostMode)
{
    Converter converter(m_dir, { "ninguno", hex(m_x.deadId()) });
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(waitFor([&] { return (window = m_x.topLevel(std::string(layout::kCaption))).has_value(); }))
        << "no top-level window";
    EXPECT_TRUE(converter.running());

    m_x.requestClose(*window);
    ASSERT_TRUE(waitFor([&] { return !converter.running(); }));
    EXPECT_TRUE(converter.exitedNormally());
    EXPECT_EQ(converter.iniValue(), "0") << "host mode still answers the host";
}

} // namespace
} // namespace tramazel::test
