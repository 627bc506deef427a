'use strict';
// The keys the settings page names for the pages: Space mutes or unmutes,
// the left and right arrows step the volume down and up, the up and down
// arrows select the previous and next service. A key acts only where it has
// no use of its own: in a field, a list, on a button or a tab it stays theirs.
(function () {
    // Constants
    const VOLUME_DOWN = 0;
    const VOLUME_UP = 1;
    const PREVIOUS_SERVICE = 0;
    const NEXT_SERVICE = 1;
    const KEY_OWNERS = 'input, select, textarea, button, a[href], summary, [contenteditable], [role], [tabindex]';

    // Pure helpers
    function keyHasOwner(target) {
        return target instanceof Element && target.closest(KEY_OWNERS) !== null;
    }

    // The index page polls the player's state for every page; after a key it
    // polls at once, so that the panel shows the change.
    function frameOfPages() {
        try {
            if (window.zoz)
                return window.zoz;
            if (window.parent !== window && window.parent.zoz)
                return window.parent.zoz;
        } catch (e) {
            // Not inside our own index page.
        }
        return null;
    }

    // Commands
    async function switchMute() {
        const info = await window.zozAjax.call('getServerInfo');
        const muted = !!(info.audio && info.audio.config && info.audio.config.muted);
        await window.zozAjax.call('setAudioMuted', muted ? 0 : 1);
    }

    const ACTIONS = {
        ' ': switchMute,
        ArrowLeft: function () { return window.zozAjax.call('adjustVolume', VOLUME_DOWN); },
        ArrowRight: function () { return window.zozAjax.call('adjustVolume', VOLUME_UP); },
        ArrowUp: function () { return window.zozAjax.call('selectServiceDirected', PREVIOUS_SERVICE, null, { quiet: true }); },
        ArrowDown: function () { return window.zozAjax.call('selectServiceDirected', NEXT_SERVICE, null, { quiet: true }); },
    };

    // Event wiring
    document.addEventListener('keydown', function (event) {
        if (event.defaultPrevented || event.altKey || event.ctrlKey || event.metaKey || event.shiftKey)
            return;
        // Held down, an arrow keeps stepping; Space would only flip back and forth.
        if (event.repeat && event.key === ' ')
            return;
        const action = ACTIONS[event.key];
        if (!action || keyHasOwner(event.target))
            return;
        event.preventDefault();
        action().then(function () {
            const pages = frameOfPages();
            if (pages && pages.refresh)
                pages.refresh();
        }).catch(function () { /* zozAjax reported it */ });
    });
})();
