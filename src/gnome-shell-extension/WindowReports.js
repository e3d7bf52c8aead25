// Tells Tarv, over the session bus, which window has the focus and which windows are open,
// so that Tarv's keys can follow the application in front. GNOME Shell tells other programs
// neither, and it offers nothing that acts on windows.
//
// Both variants of the extension (GNOME Shell 43 and 44, and 45 and later) are made from this
// file; raise the extension's version in CMakeLists.txt whenever it changes, so that Tarv's
// Settings can tell an older installed copy.

const reportsPath = '/org/tarv/WindowReports';
const reportsInterface = `<node>
  <interface name="org.tarv.WindowReports">
    <method name="ListWindows">
      <arg type="aa{sv}" direction="out" name="windows"/>
    </method>
    <signal name="FocusChanged">
      <arg type="a{sv}" name="window"/>
    </signal>
  </interface>
</node>`;

function text(value) {
    return new GLib.Variant('s', typeof value === 'string' ? value : '');
}

class WindowReports {
    enable() {
        this._tracker = Shell.WindowTracker.get_default();
        this._dbus = Gio.DBusExportedObject.wrapJSObject(reportsInterface, this);
        this._dbus.export(Gio.DBus.session, reportsPath);
        this._focusHandler = global.display.connect('notify::focus-window', () => this._reportFocus());
        // A Tarv that asked before this was switched on learns from this that it is.
        this._reportFocus();
    }

    disable() {
        global.display.disconnect(this._focusHandler);
        this._dbus.unexport();
        this._dbus = null;
        this._tracker = null;
    }

    // The open windows as the window switcher lists them, on every workspace.
    ListWindows() {
        const focus = global.display.focus_window;
        return global.display.get_tab_list(Meta.TabList.NORMAL, null)
            .filter(window => !window.is_skip_taskbar())
            .map(window => this._facts(window, window === focus));
    }

    _reportFocus() {
        const window = global.display.focus_window;
        // Nothing has the focus: an empty report, which leaves the profile as it is.
        const facts = window ? this._facts(window, true) : {};
        this._dbus.emit_signal('FocusChanged', new GLib.Variant('(a{sv})', [facts]));
    }

    _facts(window, focused) {
        const app = this._tracker.get_window_app(window);
        // A window the Shell ties to no desktop entry gets an app of its own, whose id names
        // no entry.
        const appId = app && !app.is_window_backed() ? app.get_id() : '';
        return {
            app: text(appId),
            wmClass: text(window.get_wm_class()),
            wmClassInstance: text(window.get_wm_class_instance()),
            gtkApplicationId: text(window.get_gtk_application_id()),
            sandboxedAppId: text(window.get_sandboxed_app_id()),
            pid: new GLib.Variant('i', window.get_pid() > 0 ? window.get_pid() : 0),
            focused: new GLib.Variant('b', focused),
        };
    }
}
