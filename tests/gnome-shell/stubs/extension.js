// GNOME Shell 45's extensions/extension.js: the base class of an extension.
export class Extension {
    constructor(metadata) {
        this.metadata = metadata;
    }

    getSettings() {
        return {get_strv: () => []};
    }
}
