'use strict';
// The front-end page: tuning and the tuner's switches. Each control sends its
// command; the values come from the player's state poll.

const POLL_MS = 2000;

const showStatus = window.zozPanels.showStatus;

function openCategory(category) {
    window.zozPanels.open(category, 'TUNING');
}

function show(id, value, isBox) {
    const control = document.getElementById(id);
    if (!control || document.activeElement === control || value === undefined)
        return;
    if (isBox)
        control.checked = !!value;
    else
        control.value = String(value);
}

async function poll() {
    const info = await window.zozAjax.call('getServerInfo');
    const tuner = info.tuner || {};
    show('zoz-fe-frequency', tuner.frequency);
    show('zoz-fe-agc', tuner.agc, true);
    show('zoz-fe-filter', tuner.filter, true);
    show('zoz-fe-lna', tuner.lna, true);
    show('zoz-fe-mixer', tuner.mixer, true);
    show('zoz-fe-swapiq', tuner.swapIq, true);
    show('zoz-fe-dacauto', tuner.dacAuto, true);
    show('zoz-fe-gain', tuner.gain);
    show('zoz-fe-dac', tuner.dacValue);
    const signal = tuner.signal;
    document.querySelector('.frontend-signal').textContent = signal && signal.present ? String(signal.strength) : '-';
}

async function send(command, value) {
    showStatus('');
    const answer = await window.zozAjax.call(command, value, null, { quiet: true });
    if (answer.success !== true)
        showStatus(answer.error ? window.zozText.decodeEntities(answer.error) : command);
    await poll();
}

function start() {
    for (const tab of document.querySelectorAll('.settings-tab'))
        tab.addEventListener('click', function () { openCategory(tab.dataset.category); });
    for (const box of document.querySelectorAll('input[data-bool]')) {
        box.addEventListener('change', function () {
            send(box.dataset.bool, box.checked ? 'true' : 'false').catch(function (error) { showStatus(error.message); });
        });
    }
    for (const control of document.querySelectorAll('[data-command]')) {
        control.addEventListener('change', function () {
            send(control.dataset.command, control.value).catch(function (error) { showStatus(error.message); });
        });
    }
    openCategory(document.body.dataset.category);
    const run = function () { poll().catch(function (error) { showStatus(error.message); }); };
    run();
    setInterval(run, POLL_MS);
}

document.addEventListener('DOMContentLoaded', start);
