'use strict';
// The SPI scan's dialog on the index page: while it is open the player walks
// the SPI services of the heard ensemble and collects their programme
// guides; it shows which service is being read and how far. Closing the
// dialog or its stop button ends the scan.
(function () {
    const POLL_MS = 1000;
    const state = { timer: 0, polling: false };

    function dialog() {
        return document.querySelector('.spiscan-dialog');
    }

    function text(path, fallback) {
        return window.zozText.text(path, fallback);
    }

    // Percent of the expected time taken; the bar stays below 100 until the
    // service's carousel is complete.
    function percent(info) {
        if (info.isComplete)
            return 100;
        const estimated = Number(info.estimated) || 0;
        const taken = Number(info.taken) || 0;
        return estimated > 0 ? Math.max(0, Math.min(99, Math.floor(taken * 100 / estimated))) : 0;
    }

    function render(info) {
        const d = dialog();
        const scanning = info.name !== 'N/A';
        const count = Math.max(0, Number(info.count) || 0);
        d.querySelector('.spiscan-service').textContent =
            scanning ? window.zozText.decodeEntities(String(info.name)) : '-';
        d.querySelector('.spiscan-position').textContent =
            scanning ? String((Number(info.current) || 0) + 1) + ' / ' + String(count) : '-';
        d.querySelector('.spiscan-progress').value = scanning ? percent(info) : 0;
    }

    async function poll() {
        if (state.polling)
            return;
        state.polling = true;
        try {
            render(await window.zozAjax.call('spiGetScanInfo'));
        } catch (e) {
            // Reported by the ajax module; the next poll tries again.
        } finally {
            state.polling = false;
            if (dialog().open)
                state.timer = setTimeout(poll, POLL_MS);
        }
    }

    function stop() {
        clearTimeout(state.timer);
        window.zozAjax.call('spiStopScan').catch(function () { /* reported */ });
    }

    function show() {
        const d = dialog();
        render({ name: 'N/A' });
        if (!d.open)
            d.showModal();
        d.querySelector('.spiscan-stop').focus();
        window.zozAjax.call('spiStartScan').then(poll).catch(function () { /* reported */ });
    }

    const d = dialog();
    window.zozText.setMarkup(d.querySelector('.spiscan-description'),
        text('SPI.SCAN_DESCR', d.querySelector('.spiscan-description').textContent));
    d.querySelector('.spiscan-stop').addEventListener('click', function () { d.close(); });
    // However the dialog closes (the button, Escape), the scan ends with it.
    d.addEventListener('close', stop);
    // The program window's menu opens it.
    window.zoz.spiScan = show;
})();
