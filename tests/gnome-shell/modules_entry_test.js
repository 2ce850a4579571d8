// The extension's entry for GNOME Shell 45 and later, loaded as GNOME Shell
// loads it (an ES module importing the shell's modules, here stubs in a
// resource of their own) and driven over a private session bus: its service
// comes up, lists and activates, and goes away when disabled. Typing is the
// same service in both entries; the end-to-end test types through it.
// gjs -m modules_entry_test.js STUBS.gresource EXTENSION_DIR
// (GI_TYPELIB_PATH and LD_LIBRARY_PATH must reach mutter's Clutter and Meta.)
import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Meta from 'gi://Meta';
import System from 'system';

const [resource, extensionDir] = ARGV;
Gio.resources_register(Gio.Resource.load(resource));
const {fake} = await import('resource:///org/gnome/shell/ui/main.js');

// The compositor as far as the service sees it.
Clutter.get_default_backend = () => ({get_default_seat: () => ({create_virtual_device: () => ({})})});
const target = {
    get_id: () => 7, get_title: () => 'Target', get_wm_class: () => 'foot', get_pid: () => 42,
    is_override_redirect: () => false, get_window_type: () => Meta.WindowType.NORMAL, minimized: false,
    connect: () => 1, disconnect() {},
};
globalThis.global = {
    display: {
        list_all_windows: () => [target],
        sort_windows_by_stacking: windows => windows,
        get_current_time_roundtrip: () => 1,
        get focus_window() {
            return fake.focus;
        },
    },
    stage: {get_grab_actor: () => null, get_key_focus: () => null},
};

let failed = 0;
function check(what, ok) {
    print(`${ok ? 'ok' : 'FAILED'}: ${what}`);
    failed += ok ? 0 : 1;
}

const bus = Gio.DBus.session;
function call(method, args, type) {
    return new Promise(resolve => bus.call(bus.get_unique_name(), '/io/github/qm_pvx/Shell',
        'io.github.qm_pvx.Shell1', method, args, type ? new GLib.VariantType(type) : null,
        Gio.DBusCallFlags.NONE, 5000, null, (connection, result) => {
            try {
                resolve(connection.call_finish(result).deepUnpack());
            } catch (error) {
                resolve(error);
            }
        }));
}

const {default: QmPvxExtension} = await import(`file://${extensionDir}/extension.js`);
const self = GLib.file_read_link('/proc/self/exe');
const metadata = program => ({uuid: 'qm-pvx@qm-pvx.github.io', path: extensionDir, 'qm-pvx-program': program});

const extension = new QmPvxExtension(metadata(self));
extension.enable();
const [windows] = await call('ListWindows', null, '(a(tssu))');
check('the windows are listed with id, title, class and process',
    JSON.stringify(windows) === JSON.stringify([[7, 'Target', 'foot', 42]]));
check('the layout is the one the shell applied',
    JSON.stringify(await call('Layout', null, '(sss)')) === JSON.stringify(['us', '', 'compose:ralt']));
const activated = await call('Activate', new GLib.Variant('(t)', [7]), null);
check('the window is activated', !(activated instanceof GLib.Error) && fake.activated === 1);

extension.disable();
check('disabled, the extension answers no more',
    String(await call('ListWindows', null, '(a(tssu))')).includes('UnknownMethod'));

print(`${failed === 0 ? 'all' : failed} checks ${failed === 0 ? 'passed' : 'failed'}`);
System.exit(failed === 0 ? 0 : 1);
