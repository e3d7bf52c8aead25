// For Tarv's tests only: brings the window of an app id to the front, as a user's click does,
// so that a test can follow what Tarv's own extension reports.
'use strict';

const {Gio, Meta} = imports.gi;
const Main = imports.ui.main;

const testInterface = `<node>
  <interface name="org.tarv.Test">
    <method name="Activate">
      <arg type="s" direction="in" name="appId"/>
      <arg type="b" direction="out" name="found"/>
    </method>
  </interface>
</node>`;

class TestWindows {
    enable() {
        this._dbus = Gio.DBusExportedObject.wrapJSObject(testInterface, this);
        this._dbus.export(Gio.DBus.session, '/org/tarv/Test');
    }

    disable() {
        this._dbus.unexport();
        this._dbus = null;
    }

    Activate(appId) {
        const window = global.display.get_tab_list(Meta.TabList.NORMAL, null)
            .find(candidate => candidate.get_wm_class() === appId);
        if (!window)
            return false;
        // Leaves the overview, which the Shell shows at its start, as a click does.
        Main.activateWindow(window);
        return true;
    }
}

/* exported init */
function init() {
    return new TestWindows();
}
