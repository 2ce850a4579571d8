// The entry for GNOME Shell 45 and later, which load extensions as ES modules.
import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Meta from 'gi://Meta';
import * as KeyboardManager from 'resource:///org/gnome/shell/misc/keyboardManager.js';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

import {Service} from './service.js';

export default class QmPvxExtension extends Extension {
    enable() {
        this._service = new Service({
            Clutter, Gio, GLib, Meta, Main, KeyboardManager,
            settings: this.getSettings(),
            program: this.metadata['qm-pvx-program'],
        });
        this._service.enable();
    }

    disable() {
        this._service.disable();
        this._service = null;
    }
}
