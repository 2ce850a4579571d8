// The program's platform service inside GNOME Shell: lists the windows,
// activates one and types a planned key sequence into it, on request of the
// program only. Both entries (legacy imports for GNOME 43-44, ES modules for
// 45 and later) hand in the shell's modules, so this file imports nothing.
//
// What it changes it owns: every key it pressed is released and the keymap
// it swapped in is put back when a send ends, fails or is abandoned (the
// caller leaves the bus, the extension is disabled).

export const kVersion = 1;
const kPath = '/io/github/qm_pvx/Shell';
const kErrorPrefix = 'io.github.qm_pvx.Shell1.Error.';
const kInterface = `<node>
  <interface name="io.github.qm_pvx.Shell1">
    <property name="Version" type="u" access="read"/>
    <method name="ListWindows"><arg type="a(tssu)" name="windows" direction="out"/></method>
    <method name="Layout">
      <arg type="s" name="layout" direction="out"/><arg type="s" name="variant" direction="out"/>
      <arg type="s" name="options" direction="out"/>
    </method>
    <method name="Activate"><arg type="t" name="window" direction="in"/></method>
    <method name="Type">
      <arg type="t" name="window" direction="in"/>
      <arg type="s" name="layout" direction="in"/><arg type="s" name="variant" direction="in"/>
      <arg type="u" name="capsLockKey" direction="in"/><arg type="a(a(ssau)a(ubb))" name="segments" direction="in"/>
      <arg type="u" name="typed" direction="out"/><arg type="s" name="outcome" direction="out"/>
    </method>
    <method name="Cancel"/>
  </interface>
</node>`;

const kActivationTimeoutMs = 2000;
const kPollMs = 10;
// Keys go in short stretches, the focus checked before each once the shell
// has handled what was pending (a window that maps takes the focus): a key
// already on its way goes to whichever window has the focus when mutter
// passes it on, so a stretch is what another window can get at most. A
// client that does not report (Qt, foot, X11 ones) may read slower than keys
// come: after a first burst, no faster than one per kSustainedUs, so that
// what it has not read stays far below what its connection holds.
const kStretchTaps = 4;
const kStretchPauseMs = 3;
const kBurstTaps = 400;
const kSustainedUs = 1500;
// A client reporting its text (GTK) gets this far ahead of what it reported.
const kReportedLead = 16;
const kReportPollMs = 2;
const kReportWaitMs = 100;
// Before a swap and at the end: how long a reporting client is waited for.
const kCatchUpMs = 1000;
// A client reads a new keymap when it gets to the notice of it; keys typed
// within 50 ms of a swap came out garbled.
const kAfterSwapMs = 60;
// The keys before a swap must have been read with the keymap they were typed with.
const kBeforeSwapMs = 60;
// After the last key, the time the target gets before the send is reported done.
const kSettleMs = 50;
// Clients take a keyboard when the seat first has one; keys before are lost.
const kFreshKeyboardMs = 100;
const kMaxSegments = 2000;
const kMaxEvents = 200000;
const kSymbolsName = 'qmpvx';
const kKeyTypes = ['TWO_LEVEL', 'FOUR_LEVEL', 'FOUR_LEVEL_SEMIALPHABETIC'];

// Why a window did not get the keys, as the program's message says it.
const kReasons = {
    overview: 'the Overview stayed open',
    modal: 'a dialog of GNOME Shell holds the keyboard',
    grab: 'a menu or popup is open',
    shellFocus: 'a part of GNOME Shell has the keyboard focus',
    other: 'another window has the focus',
};

class Refusal extends Error {
    constructor(name, message) {
        super(message);
        this.errorName = name;
    }
}

export class Service {
    // shell: {GLib, Gio, Clutter, Meta, Main, KeyboardManager, settings, program}
    constructor(shell) {
        this._s = shell;
        this._allowedSenders = new Map();
        this._send = null;
    }

    enable() {
        this._removeSymbolsFiles();
        // One keyboard for the extension's life: on a seat without a real
        // one, each new keyboard would lose the first keys of a send.
        const {Clutter, GLib} = this._s;
        this.keyboard = Clutter.get_default_backend().get_default_seat()
            .create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
        this.keyboardReady = GLib.get_monotonic_time() + kFreshKeyboardMs * 1000;
        this._object = this._s.Gio.DBusExportedObject.wrapJSObject(kInterface, this);
        this._object.export(this._s.Gio.DBus.session, kPath);
    }

    disable() {
        this._send?.abandon(true);
        this._send = null;
        this._object?.unexport();
        this._object = null;
        this._allowedSenders.clear();
        this.keyboard = null;
    }

    get Version() {
        return kVersion;
    }

    ListWindowsAsync(params, invocation) {
        this._answer(invocation, async () => {
            const {Meta} = this._s;
            const typable = [Meta.WindowType.NORMAL, Meta.WindowType.DIALOG, Meta.WindowType.MODAL_DIALOG,
                Meta.WindowType.UTILITY];
            const windows = global.display.list_all_windows().filter(w =>
                !w.is_override_redirect() && typable.includes(w.get_window_type()));
            const topmostFirst = global.display.sort_windows_by_stacking(windows).reverse();
            return new this._s.GLib.Variant('(a(tssu))', [topmostFirst.map(w =>
                [w.get_id(), w.get_title() ?? '', w.get_wm_class() ?? '', Math.max(w.get_pid(), 0)])]);
        });
    }

    LayoutAsync(params, invocation) {
        this._answer(invocation, async () => {
            const [layout, variant, options] = this._layout();
            return new this._s.GLib.Variant('(sss)', [layout, variant, options]);
        });
    }

    ActivateAsync([id], invocation) {
        this._answer(invocation, async () => {
            const window = this._window(id);
            await this._leaveOverview();
            if (window.minimized)
                window.unminimize();
            this._s.Main.activateWindow(window, global.display.get_current_time_roundtrip());
            const deadline = this._s.GLib.get_monotonic_time() + kActivationTimeoutMs * 1000;
            for (;;) {
                await this._idle();
                if (this._window(id) !== window)
                    throw new Refusal('Closed', 'the window closed.');
                const lacking = this._lacksKeys(window);
                if (!lacking)
                    return null;
                if (this._s.GLib.get_monotonic_time() > deadline)
                    throw new Refusal('NotActivated',
                        `GNOME Shell did not give it the keyboard focus within 2 s (${kReasons[lacking]}).`);
                await this._sleep(kPollMs);
            }
        });
    }

    TypeAsync([id, layout, variant, capsLockKey, segments], invocation) {
        this._answer(invocation, async sender => {
            if (this._send)
                throw new Refusal('Busy', 'another send is being typed.');
            const plan = this._checkedPlan(segments);
            const [nowLayout, nowVariant] = this._layout();
            if (nowLayout !== layout || nowVariant !== variant)
                throw new Refusal('LayoutChanged', `the keyboard layout is now ${nowLayout}(${nowVariant}).`);
            const window = this._window(id);
            if (this._lacksKeys(window))
                return new this._s.GLib.Variant('(us)', [0, 'lost']);
            if (capsLockKey > 247)
                throw new Refusal('BadPlan', 'a key code is out of range.');
            const send = new Send(this, window, plan, capsLockKey, sender);
            this._send = send;
            try {
                const [typed, outcome] = await send.run();
                return new this._s.GLib.Variant('(us)', [typed, outcome]);
            } finally {
                this._send = null;
            }
        });
    }

    CancelAsync(params, invocation) {
        this._answer(invocation, async sender => {
            if (this._send?.sender === sender)
                this._send.cancel();
            return null;
        });
    }

    // Runs `work` for an allowed caller and answers with its result or refusal.
    _answer(invocation, work) {
        const sender = invocation.get_sender();
        this._checkCaller(sender)
            .then(() => work(sender))
            .then(result => invocation.return_value(result))
            .catch(error => {
                if (error instanceof Refusal) {
                    invocation.return_dbus_error(kErrorPrefix + error.errorName, error.message);
                } else {
                    logError(error, 'qm-pvx');
                    invocation.return_dbus_error(kErrorPrefix + 'Failed', String(error));
                }
            });
    }

    // A guard against mistakes, not a boundary: only the program's own
    // executable (installed, or a path the user added) may ask.
    async _checkCaller(sender) {
        const {Gio, GLib} = this._s;
        let executable = this._allowedSenders.get(sender);
        if (executable === undefined) {
            const reply = await new Promise((resolve, reject) => {
                Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
                    'GetConnectionUnixProcessID', new GLib.Variant('(s)', [sender]), new GLib.VariantType('(u)'),
                    Gio.DBusCallFlags.NONE, -1, null, (bus, result) => {
                        try {
                            resolve(bus.call_finish(result));
                        } catch (error) {
                            reject(error);
                        }
                    });
            });
            const [pid] = reply.deepUnpack();
            try {
                executable = GLib.file_read_link(`/proc/${pid}/exe`);
            } catch (error) {
                executable = '';
            }
            // Unique names are never used again; a long session makes many.
            if (this._allowedSenders.size >= 64)
                this._allowedSenders.clear();
            this._allowedSenders.set(sender, executable);
        }
        const allowed = [this._s.program, ...this._s.settings.get_strv('extra-callers')].map(resolvedPath);
        if (!executable || !allowed.includes(executable))
            throw new Refusal('NotAllowed', executable || 'an unknown program');

        function resolvedPath(path) {
            for (let hops = 0; hops < 16; ++hops) {
                try {
                    const target = GLib.file_read_link(path);
                    path = GLib.canonicalize_filename(target, GLib.path_get_dirname(path));
                } catch (error) {
                    return GLib.canonicalize_filename(path, null);
                }
            }
            return path;
        }
    }

    _window(id) {
        const window = global.display.list_all_windows().find(w => w.get_id() === id);
        if (!window)
            throw new Refusal('Closed', 'the window closed.');
        return window;
    }

    // The layout the keys are typed with: the current input source's, and
    // the keymap the shell applied (to put back after a swap).
    _layout() {
        const manager = this._s.KeyboardManager.getKeyboardManager();
        const current = manager.currentLayout;
        const applied = manager._currentKeymap;
        if (!current || !applied)
            throw new Refusal('NoLayout', 'GNOME Shell has applied no keyboard layout yet.');
        return [current.layout, current.variant, applied.options, applied, current.groupIndex];
    }

    // Why keys would not reach the window now, or null when they would.
    _lacksKeys(window) {
        const {Main} = this._s;
        if (Main.overview.visible)
            return 'overview';
        if (Main.modalCount > 0)
            return 'modal';
        if (global.stage.get_grab_actor() !== null)
            return 'grab';
        const focus = global.stage.get_key_focus();
        if (focus !== null && focus !== global.stage)
            return 'shellFocus';
        if (global.display.focus_window !== window)
            return 'other';
        return null;
    }

    // Keys typed while the Overview is open go into its search field; its
    // `hidden` signal is the moment it has let go of the keyboard.
    async _leaveOverview() {
        const {overview} = this._s.Main;
        if (!overview.visible)
            return;
        await new Promise(resolve => {
            const id = overview.connect('hidden', () => {
                overview.disconnect(id);
                resolve();
            });
            overview.hide();
        });
    }

    _checkedPlan(segments) {
        if (!Array.isArray(segments) || segments.length > kMaxSegments)
            throw new Refusal('BadPlan', 'the send has too many segments.');
        let events = 0;
        for (const [symbols, keys] of segments) {
            events += keys.length;
            for (const [name, type, keysyms] of symbols) {
                if (!/^[A-Za-z0-9_+-]{1,16}$/.test(name) || !kKeyTypes.includes(type) || keysyms.length < 1 ||
                    keysyms.length > 4 || !keysyms.every(k => k >= 0 && k < 0x2000000))
                    throw new Refusal('BadPlan', `the key <${name}> cannot carry those symbols.`);
            }
            if (!keys.every(([code]) => code > 0 && code <= 247))
                throw new Refusal('BadPlan', 'a key code is out of range.');
        }
        if (events > kMaxEvents)
            throw new Refusal('BadPlan', 'the send has too many keys.');
        return segments;
    }

    _symbolsFile(n) {
        const {GLib} = this._s;
        return GLib.build_filenamev([GLib.get_user_config_dir(), 'xkb', 'symbols', `${kSymbolsName}${n}`]);
    }

    _removeSymbolsFiles() {
        for (const n of [0, 1])
            this._s.Gio.File.new_for_path(this._symbolsFile(n)).delete_async(0, null, () => {});
    }

    _sleep(ms) {
        return new Promise(resolve => this._s.GLib.timeout_add(this._s.GLib.PRIORITY_DEFAULT, ms, () => {
            resolve();
            return this._s.GLib.SOURCE_REMOVE;
        }));
    }

    _idle() {
        return new Promise(resolve => this._s.GLib.idle_add(this._s.GLib.PRIORITY_DEFAULT_IDLE, () => {
            resolve();
            return this._s.GLib.SOURCE_REMOVE;
        }));
    }
}

// One send: the keys it holds and the keymap it swapped in. Ends by run()
// resolving with [typed taps, outcome].
class Send {
    constructor(service, window, segments, capsLockKey, sender) {
        this._service = service;
        this._capsLockKey = capsLockKey;
        this._capsSwitchedOff = false;
        this._s = service._s;
        this._window = window;
        this._segments = segments;
        this.sender = sender;
        this._pressed = new Set();
        this._saved = null;
        this._swaps = 0;
        this._stop = null;
        this._typed = 0;
        this._reports = {seen: false, count: 0, last: 0};
        this._tokens = kBurstTaps;
        this._refilled = service._s.GLib.get_monotonic_time();
    }

    async run() {
        const {Gio, GLib} = this._s;
        this._keyboard = this._service.keyboard;
        const closed = this._window.connect('unmanaged', () => this._end('closed'));
        const {inputMethod} = this._s.Main;
        const reported = inputMethod.connect('surrounding-text-set', () => {
            this._reports.seen = true;
            this._reports.count++;
            this._reports.last = GLib.get_monotonic_time();
        });
        // The caller's connection gone (killed, crashed): nobody waits for the rest.
        const watch = Gio.bus_watch_name_on_connection(Gio.DBus.session, this.sender,
            Gio.BusNameWatcherFlags.NONE, null, () => this._end('abandoned'));
        try {
            const fresh = this._service.keyboardReady - GLib.get_monotonic_time();
            if (fresh > 0)
                await this._wait(Math.ceil(fresh / 1000));
            // The keys are planned for Caps Lock off.
            const {Clutter} = this._s;
            if (this._capsLockKey && Clutter.get_default_backend().get_default_seat().get_keymap().get_caps_lock_state()) {
                this._tap(this._capsLockKey);
                this._capsSwitchedOff = true;
            }
            let typedSinceSwap = false;
            for (const [symbols, keys] of this._segments) {
                if (symbols.length > 0) {
                    if (typedSinceSwap) {
                        await this._caughtUp();
                        await this._wait(kBeforeSwapMs);
                    }
                    this._swap(symbols);
                    await this._wait(kAfterSwapMs);
                    typedSinceSwap = false;
                }
                typedSinceSwap = await this._typeKeys(keys) || typedSinceSwap;
            }
            await this._caughtUp();
            await this._wait(this._saved ? kBeforeSwapMs : kSettleMs);
            return [this._typed, ''];
        } catch (stop) {
            if (!(stop instanceof Stop))
                throw stop;
            return [this._typed, stop.outcome];
        } finally {
            this._releaseAll();
            if (this._stop !== 'disabled' && this._saved)
                await this._service._sleep(kBeforeSwapMs);
            this._restore();
            this._restoreCapsLock();
            this._window.disconnect(closed);
            inputMethod.disconnect(reported);
            Gio.bus_unwatch_name(watch);
            this._keyboard = null;
        }
    }

    cancel() {
        this._end('cancelled');
    }

    // The extension going away: everything is put back at once.
    abandon() {
        this._end('disabled');
        this._releaseAll();
        this._restore();
        this._restoreCapsLock();
    }

    _restoreCapsLock() {
        if (this._capsSwitchedOff && this._keyboard)
            this._tap(this._capsLockKey);
        this._capsSwitchedOff = false;
    }

    _tap(code) {
        const {Clutter, GLib} = this._s;
        this._keyboard.notify_key(GLib.get_monotonic_time(), code, Clutter.KeyState.PRESSED);
        this._keyboard.notify_key(GLib.get_monotonic_time(), code, Clutter.KeyState.RELEASED);
    }

    _end(outcome) {
        this._stop ??= outcome;
    }

    async _wait(ms) {
        await this._service._sleep(ms);
        if (this._stop)
            throw new Stop(this._stop);
    }

    // Stretches of taps, the focus checked before each. A client that tells
    // the input method what its text is now (GTK) reports every key it has
    // handled: it gets at most kReportedLead keys ahead, since one that reads
    // slower than the keys come is dropped when its connection overflows.
    async _typeKeys(keys) {
        const {GLib, Clutter} = this._s;
        let i = 0;
        let typedHere = 0;
        while (i < keys.length) {
            if (this._stop)
                throw new Stop(this._stop);
            if (this._service._lacksKeys(this._window))
                throw new Stop('lost');
            const now = GLib.get_monotonic_time();
            this._tokens = Math.min(kBurstTaps, this._tokens + (now - this._refilled) / kSustainedUs);
            this._refilled = now;
            let allowed = Math.min(kStretchTaps, Math.floor(this._tokens));
            if (this._reports.seen) {
                const lead = kReportedLead - (this._typed - this._reports.count);
                // A key that changes no text is reported by nobody.
                allowed = Math.min(allowed, lead > 0 || now - this._reports.last < kReportWaitMs * 1000 ? lead : 1);
            }
            let stretch = 0;
            for (; stretch < allowed && i < keys.length; ++stretch) {
                for (; i < keys.length; ++i) {
                    const [code, press, endsTap] = keys[i];
                    this._keyboard.notify_key(GLib.get_monotonic_time(), code,
                        press ? Clutter.KeyState.PRESSED : Clutter.KeyState.RELEASED);
                    if (press)
                        this._pressed.add(code);
                    else
                        this._pressed.delete(code);
                    if (endsTap) {
                        ++i;
                        ++typedHere;
                        ++this._typed;
                        break;
                    }
                }
            }
            this._tokens -= stretch;
            await this._service._sleep(stretch > 0 ? kStretchPauseMs : kReportPollMs);
            await this._service._idle();
        }
        return typedHere > 0;
    }

    // Until a reporting client has handled every key typed, for a while at most.
    async _caughtUp() {
        const {GLib} = this._s;
        const deadline = GLib.get_monotonic_time() + kCatchUpMs * 1000;
        while (this._reports.seen && this._reports.count < this._typed && GLib.get_monotonic_time() < deadline)
            await this._wait(kReportPollMs);
    }

    // The current layout with the keys of the segment put in (symbols on
    // keycodes it leaves empty, or on free levels of its keys), as one
    // keymap of a single group.
    _swap(symbols) {
        const {GLib} = this._s;
        const [layout, variant, options, applied, groupIndex] = this._service._layout();
        this._saved ??= {layouts: applied.layouts, variants: applied.variants, options: applied.options, groupIndex};
        const include = variant ? `${layout}(${variant})` : layout;
        const keys = symbols.map(([name, type, keysyms]) => `    key <${name}> { type[Group1] = "${type}", ` +
            `symbols[Group1] = [ ${keysyms.map(k => k ? `0x${k.toString(16)}` : 'NoSymbol').join(', ')} ] };`);
        const text = `default partial alphanumeric_keys\nxkb_symbols "typing" {\n    include "${include}"\n` +
            `${keys.join('\n')}\n};\n`;
        // Alternating names: the keymap is compiled afresh whatever the shell remembers of the last one.
        const n = this._swaps++ % 2;
        const file = this._service._symbolsFile(n);
        GLib.mkdir_with_parents(GLib.path_get_dirname(file), 0o700);
        GLib.file_set_contents(file, text);
        global.backend.set_keymap(`${kSymbolsName}${n}`, '', options);
        global.backend.lock_layout_group(0);
    }

    _restore() {
        if (!this._saved)
            return;
        const saved = this._saved;
        this._saved = null;
        global.backend.set_keymap(saved.layouts, saved.variants, saved.options);
        global.backend.lock_layout_group(saved.groupIndex);
        this._service._removeSymbolsFiles();
    }

    _releaseAll() {
        if (!this._keyboard)
            return;
        for (const code of this._pressed)
            this._keyboard.notify_key(this._s.GLib.get_monotonic_time(), code, this._s.Clutter.KeyState.RELEASED);
        this._pressed.clear();
    }
}

class Stop {
    constructor(outcome) {
        this.outcome = outcome;
    }
}
