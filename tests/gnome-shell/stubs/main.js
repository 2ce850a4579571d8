// GNOME Shell's ui/main.js as far as the extension uses it; the test
// drives it through `fake`.
export const fake = {focus: null, activated: 0};
export let modalCount = 0;
export const overview = {visible: false, connect: () => 1, disconnect() {}, hide() {}};
export const inputMethod = {connect: () => 1, disconnect() {}};
export function activateWindow(window) {
    fake.activated++;
    fake.focus = window;
}
