// GNOME Shell's misc/keyboardManager.js: a US layout applied.
const manager = {
    currentLayout: {layout: 'us', variant: '', groupIndex: 0},
    _currentKeymap: {layouts: 'us,us', variants: ',', options: 'compose:ralt'},
};
export function getKeyboardManager() {
    return manager;
}
