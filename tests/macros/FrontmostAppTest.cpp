#include "macros/WindowAppMatcher.h"
#include "macros/X11FrontmostAppSource.h"

#include "support/DesktopTestEnv.h"

#include <QSignalSpy>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

DesktopEntry entry(const char* id, const char* name, const char* exec = "true", const char* wmClass = "")
{
    DesktopEntry e;
    e.id = id;
    e.name = name;
    e.exec = exec;
    e.startupWMClass = wmClass;
    return e;
}

const QList<DesktopEntry> installed = {
    entry("org.gnome.Nautilus", "Files", "nautilus --new-window"),
    entry("code", "Visual Editor", "/usr/share/code/code --unity-launch %F", "Code"),
    entry("org.gimp.GIMP", "GNU Image Manipulation Program", "gimp-2.10 %U"),
    entry("firefox-esr", "Firefox ESR", "/usr/lib/firefox-esr/firefox-esr %u", "Firefox-esr"),
    entry("xterm", "XTerm", "xterm"),
};

WindowFacts facts(const char* gtk, const char* instance, const char* cls, const char* exe, bool own)
{
    WindowFacts f;
    f.gtkApplicationId = gtk;
    f.wmInstance = instance;
    f.wmClass = cls;
    f.executable = exe;
    f.ownProcess = own;
    return f;
}

FrontmostApp app(const char* id, const char* name) { return {QString(id), QString(name)}; }

TEST(WindowAppMatcher, RulesApplyInOrder)
{
    const WindowAppMatcher matcher("tarv", "Tarv");
    auto match = [&](const WindowFacts& f) { return matcher.match(f, installed); };

    EXPECT_EQ(match(facts("org.gnome.Nautilus", "", "xterm", "", false)),
              app("org.gnome.Nautilus", "Files"));
    EXPECT_EQ(match(facts("org.unknown", "code", "Code", "", false)),
              app("code", "Visual Editor"));
    EXPECT_EQ(match(facts("", "Navigator", "firefox-ESR", "", false)), app("firefox-esr", "Firefox ESR"))
        << "StartupWMClass ignoring case";
    EXPECT_EQ(match(facts("", "gimp-2.10", "Gimp", "", false)),
              app("org.gimp.GIMP", "GNU Image Manipulation Program"))
        << "the last part of a reverse-domain id";
    EXPECT_EQ(match(facts("", "", "XTerm", "", false)), app("xterm", "XTerm"));
    EXPECT_EQ(match(facts("", "", "Whatever", "nautilus", false)), app("org.gnome.Nautilus", "Files"))
        << "the process image against Exec";
    EXPECT_EQ(match(facts("", "", "Whatever", "", true)), app("tarv", "Tarv"));

    FrontmostApp unknown;
    unknown.name = "Mystery";
    EXPECT_EQ(match(facts("", "mystery", "Mystery", "mystery", false)), unknown);
    EXPECT_EQ(match(WindowFacts{}), FrontmostApp{});
}

// An Xvfb display of its own; the test plays the window manager and sets
// _NET_ACTIVE_WINDOW itself.
class X11SourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testGuiApp();
        savedDisplay = qgetenv("DISPLAY");
        ASSERT_TRUE(xvfb.started()) << "Xvfb (Debian package xvfb) did not start";
        qputenv("DISPLAY", xvfb.display());
        c = xcb_connect(xvfb.display().constData(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(c));
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        TempXdg::write(xdg.path("data") + "/applications/org.example.Mail.desktop",
                       "[Desktop Entry]\nType=Application\nName=Mail\nExec=mail\n");
        TempXdg::write(xdg.path("system") + "/applications/writer.desktop",
                       "[Desktop Entry]\nType=Application\nName=Writer\nExec=writer\nStartupWMClass=WriterApp\n");
    }
    void TearDown() override
    {
        if (c)
            xcb_disconnect(c);
        qputenv("DISPLAY", savedDisplay);
    }

    xcb_atom_t atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply->atom;
        free(reply);
        return a;
    }
    xcb_window_t window(const QByteArray& wmClass, const QByteArray& gtkId = {}, std::uint32_t pid = 0)
    {
        const xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        if (!wmClass.isEmpty())
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                                std::uint32_t(wmClass.size()), wmClass.constData());
        if (!gtkId.isEmpty())
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom("_GTK_APPLICATION_ID"), atom("UTF8_STRING"),
                                8, std::uint32_t(gtkId.size()), gtkId.constData());
        if (pid)
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_flush(c);
        return w;
    }
    void activate(xcb_window_t w)
    {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, 1, &w);
        xcb_flush(c);
    }

    TempXdg xdg;
    XvfbServer xvfb;
    QByteArray savedDisplay;
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
};

} // namespace

TEST_F(X11SourceTest, FollowsTheActiveWindowThroughPropertyEvents)
{
    X11FrontmostAppSource source;
    ASSERT_TRUE(source.isAvailable()) << source.unavailableReason().toStdString();
    EXPECT_EQ(source.frontmostApp(), std::nullopt) << "nothing active yet";

    QSignalSpy spy(&source, &X11FrontmostAppSource::activated);
    const xcb_window_t mail = window(QByteArray("mail\0Mail\0", 10), "org.example.Mail");
    const xcb_window_t mail2 = window(QByteArray("mail\0Mail\0", 10), "org.example.Mail");
    const xcb_window_t writer = window(QByteArray("writer\0WriterApp\0", 17));
    const xcb_window_t own = window(QByteArray("tarv-app\0Tarv-app\0", 19), {}, std::uint32_t(::getpid()));

    activate(mail);
    ASSERT_TRUE(waitUntil([&] { return spy.size() == 1; }));
    EXPECT_EQ(spy.at(0).at(0).value<FrontmostApp>(), (FrontmostApp{QString("org.example.Mail"), QString("Mail")}));

    activate(mail2); // another window of the same application
    activate(writer);
    ASSERT_TRUE(waitUntil([&] { return spy.size() == 2; }));
    EXPECT_EQ(spy.at(1).at(0).value<FrontmostApp>(), (FrontmostApp{QString("writer"), QString("Writer")}));

    activate(own);
    ASSERT_TRUE(waitUntil([&] { return spy.size() == 3; }));
    EXPECT_EQ(spy.at(2).at(0).value<FrontmostApp>(), (FrontmostApp{QString("tarv"), QString("Tarv")}));
    EXPECT_EQ(source.frontmostApp(), (FrontmostApp{QString("tarv"), QString("Tarv")}));
}

TEST(X11SourceAvailability, NoDisplayOrWaylandReportsNothingAndSaysWhy)
{
    TempXdg xdg;
    const QByteArray saved = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    {
        X11FrontmostAppSource source;
        EXPECT_FALSE(source.isAvailable());
        EXPECT_EQ(source.unavailableReason(), "There is no X11 display: the application in front cannot be followed.");
        EXPECT_EQ(source.frontmostApp(), std::nullopt);
    }
    qputenv("DISPLAY", ":99");
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    {
        X11FrontmostAppSource source;
        EXPECT_FALSE(source.isAvailable());
        EXPECT_EQ(source.unavailableReason(),
                  "This is a Wayland session: the application in front cannot be followed here.");
    }
    qputenv("DISPLAY", saved);
}
