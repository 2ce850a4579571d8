// The extension's entry for GNOME Shell 45 and later, loaded as GNOME Shell
// loads it (an ES module importing the shell's modules, here stubs in a
// resource of their own) and driven over a private session bus: it answers
// the program only, lists, activates and types, swaps the keymap for
// characters the layout lacks and puts it back, and goes away when disabled.
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
const keys = [];
const keymaps = [];
const seat = {capsLock: true};
Clutter.get_default_backend = () => ({
    get_default_seat: () => ({
        get_keymap: () => ({get_caps_lock_state: () => seat.capsLock}),
        create_virtual_device: () => ({
            notify_key: (time, code, state) => keys.push([code, state === Clutter.KeyState.PRESSED]),
        }),
    }),
});
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
    backend: {
        set_keymap: (layouts, variants, options) => keymaps.push([layouts, variants, options]),
        lock_layout_group() {},
    },
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

// A caller that is not the program: refused, with its executable named.
const other = new QmPvxExtension(metadata('/usr/bin/qm-pvx'));
other.enable();
const refused = await call('ListWindows', null, '(a(tssu))');
check(`a caller that is not the program is refused (got: ${refused})`,
    refused instanceof GLib.Error && String(refused).includes(`NotAllowed: ${self}`));
other.disable();

const extension = new QmPvxExtension(metadata(self));
extension.enable();
const [windows] = await call('ListWindows', null, '(a(tssu))');
check('the windows are listed with id, title, class and process',
    JSON.stringify(windows) === JSON.stringify([[7, 'Target', 'foot', 42]]));
check('the layout is the one the shell applied',
    JSON.stringify(await call('Layout', null, '(sss)')) === JSON.stringify(['us', '', 'compose:ralt']));
const activated = await call('Activate', new GLib.Variant('(t)', [7]), null);
check('the window is activated', !(activated instanceof GLib.Error) && fake.activated === 1);

// "aж": a key of the layout, then a character on a borrowed keycode, typed
// with a temporary keymap; Caps Lock, on, is switched off for the send.
const segments = [[[['AB11', 'FOUR_LEVEL', [0x6c6, 0, 0, 0]]],
    [[30, true, false], [30, false, true], [89, true, false], [89, false, true]]]];
const typed = await call('Type', new GLib.Variant('(tssua(a(ssau)a(ubb)))', [7, 'us', '', 58, segments]), '(us)');
check(`every key is typed (got: ${typed})`, JSON.stringify(typed) === JSON.stringify([2, '']));
check(`each key pressed and released in order, inside Caps Lock off and on again (got: ${JSON.stringify(keys)})`,
    JSON.stringify(keys) === JSON.stringify([[58, true], [58, false], [30, true], [30, false], [89, true], [89, false],
        [58, true], [58, false]]));
check(`the temporary keymap is swapped in, then the shell's put back (got: ${JSON.stringify(keymaps)})`,
    JSON.stringify(keymaps) === JSON.stringify([['qmpvx0', '', 'compose:ralt'], ['us,us', ',', 'compose:ralt']]));
const changed = await call('Type', new GLib.Variant('(tssua(a(ssau)a(ubb)))', [7, 'de', '', 58, segments]), '(us)');
check('a send planned for another layout is refused', String(changed).includes('LayoutChanged'));
const bad = [[[['AB11"} include "x', 'FOUR_LEVEL', [0x6c6]]], []]];
check('a key name that is not one is refused',
    String(await call('Type', new GLib.Variant('(tssua(a(ssau)a(ubb)))', [7, 'us', '', 58, bad]), '(us)')).includes('BadPlan'));

extension.disable();
check('disabled, the extension answers no more',
    String(await call('ListWindows', null, '(a(tssu))')).includes('UnknownMethod'));

print(`${failed === 0 ? 'all' : failed} checks ${failed === 0 ? 'passed' : 'failed'}`);
System.exit(failed === 0 ? 0 : 1);
