// The entry for GNOME Shell 43 and 44, which load extensions with their
// legacy imports; the service itself is an ES module shared with 45 and later.
/* exported init */
const {Clutter, Gio, GLib, Meta} = imports.gi;
const ExtensionUtils = imports.misc.extensionUtils;
const KeyboardManager = imports.misc.keyboardManager;
const Main = imports.ui.main;

class Entry {
    constructor(extension) {
        this._extension = extension;
        this._service = null;
        this._enabled = false;
    }

    enable() {
        this._enabled = true;
        // Before the first wait: the shell tells the extension from the caller's stack.
        const settings = ExtensionUtils.getSettings();
        const uri = this._extension.dir.get_child('service.js').get_uri();
        import(uri).then(({Service}) => {
            // Disabled again while the module loaded.
            if (!this._enabled || this._service)
                return;
            this._service = new Service({
                Clutter, Gio, GLib, Meta, Main, KeyboardManager,
                settings,
                program: this._extension.metadata['qm-pvx-program'],
            });
            this._service.enable();
        }).catch(error => logError(error, 'qm-pvx'));
    }

    disable() {
        this._enabled = false;
        this._service?.disable();
        this._service = null;
    }
}

function init(extension) {
    return new Entry(extension);
}
