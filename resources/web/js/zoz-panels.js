'use strict';
// Pages of tabs over panels (settings, front end): the tab that shows, and
// the status line that gives the player's reason when it refused a value.
(function () {
    function showStatus(text) {
        const status = document.querySelector('.settings-status');
        status.textContent = text || '';
        status.hidden = !text;
    }

    // Shows the panel of `category`, or of `fallback` when no tab has it;
    // returns the one shown.
    function open(category, fallback) {
        const tabs = Array.from(document.querySelectorAll('.settings-tab'));
        const wanted = tabs.some(function (tab) { return tab.dataset.category === category; }) ? category : fallback;
        for (const tab of tabs) {
            const selected = tab.dataset.category === wanted;
            tab.setAttribute('aria-selected', selected ? 'true' : 'false');
            tab.tabIndex = selected ? 0 : -1;
            document.getElementById('panel-' + tab.dataset.category).hidden = !selected;
        }
        return wanted;
    }

    window.zozPanels = { showStatus: showStatus, open: open };
})();
