'use strict';
// The settings page: tabs, and every control sends its command at once. A
// control shows the player's value: the page comes filled with it, and the
// values that change elsewhere are read again when the page opens. A refused
// value shows the player's reason and the control returns to its old value.

// Constants
const CATEGORY_KEY = 'zoz.settings.category';
const CATEGORIES = ['GENERAL', 'AUDIO', 'INFO'];
const PERCENT = 100;

// Rendering
const showStatus = window.zozPanels.showStatus;

function openCategory(category) {
    const shown = window.zozPanels.open(category, 'GENERAL');
    try {
        window.localStorage.setItem(CATEGORY_KEY, shown);
    } catch (e) {
        // A browser without storage opens the general tab next time.
    }
}

function storedCategory() {
    try {
        return window.localStorage.getItem(CATEGORY_KEY) || 'GENERAL';
    } catch (e) {
        return 'GENERAL';
    }
}

function checkRadio(name, value) {
    const radio = document.querySelector('input[type=radio][name="' + name + '"][value="' + String(value) + '"]');
    if (radio)
        radio.checked = true;
}

function setChecked(id, on) {
    const box = document.getElementById(id);
    if (box)
        box.checked = !!on;
}

function setValue(id, value) {
    const input = document.getElementById(id);
    if (input && value !== undefined && value !== null && document.activeElement !== input)
        input.value = String(value);
}

// The player's values
async function loadValues() {
    const update = await window.zozAjax.call('getSettingsUpdate');
    const info = await window.zozAjax.call('getServerInfo');
    if (update.jou) {
        setChecked('zoz-setting-jou-ext', update.jou.extEnabled);
        setChecked('zoz-setting-jou-button', update.jou.apShowButton);
        setChecked('zoz-setting-jou-root', update.jou.apIncRoot);
        setValue('zoz-setting-jou-timestep', update.jou.apTimestep);
    }
    if (update.sls) {
        setChecked('zoz-setting-sls-cache', update.sls.hasPermaCache);
        setChecked('zoz-setting-sls-alt', update.sls.hasAltImages);
    }
    if (update.http)
        setValue('zoz-setting-remote-clients', update.http.numRemoteClients);
    checkRadio('bubble', update.bubbleMode);
    checkRadio('notify', update.notifyMode);
    checkRadio('crash', update.crashHandlingType);
    checkRadio('decoder', update.audioDecoderMode);
    setValue('zoz-setting-rec-timelimit', update.audioRecordingTimelimit);
    setValue('zoz-setting-binaural', update.audioBinauralPreset);
    const folder = document.querySelector('.settings-folder-name');
    if (folder && typeof update.audioRecordingDirectory === 'string')
        folder.textContent = window.zozText.decodeEntities(update.audioRecordingDirectory.replace(/\\\\/g, '\\'));
    if (update.audioSystem)
        setValue('zoz-setting-device', update.audioSystem.device);
    setChecked('zoz-setting-spokenlabels', info.spokenLabels);
    if (info.announcements && info.announcements.Epilog !== undefined)
        checkRadio('epilog', info.announcements.Epilog);
    const config = info.audio && info.audio.config;
    if (config) {
        setChecked('zoz-setting-muted', config.muted);
        setValue('zoz-setting-level', config.level);
    }
}

// Sending
async function send(control, command, value, params, restore) {
    showStatus('');
    control.disabled = true;
    try {
        const answer = await window.zozAjax.call(command, value, params, { quiet: true });
        if (answer.success !== true) {
            showStatus(answer.error ? window.zozText.decodeEntities(answer.error) : window.zozText.text('ERROR', 'The setting was not changed'));
            restore();
        }
    } catch (error) {
        showStatus(error.message);
        restore();
    } finally {
        control.disabled = false;
    }
}

function bindControls() {
    for (const box of document.querySelectorAll('input[data-switch]')) {
        box.addEventListener('change', function () {
            send(box, box.dataset.switch, undefined, null, function () { box.checked = !box.checked; });
        });
    }
    for (const box of document.querySelectorAll('input[data-bool]')) {
        box.addEventListener('change', function () {
            send(box, box.dataset.bool, box.checked ? 'true' : 'false', null, function () { box.checked = !box.checked; });
        });
    }
    for (const box of document.querySelectorAll('input[data-flag]')) {
        box.addEventListener('change', function () {
            send(box, box.dataset.flag, box.checked ? 1 : 0, null, function () { box.checked = !box.checked; });
        });
    }
    for (const control of document.querySelectorAll('[data-command]')) {
        const isRadio = control.type === 'radio';
        let previous = control.value;
        control.addEventListener('focus', function () { previous = control.value; });
        control.addEventListener('change', function () {
            const params = {};
            if (control.dataset.class)
                params['class'] = control.dataset.class;
            if (control.dataset.type)
                params.type = control.dataset.type;
            send(control, control.dataset.command, control.value, params, function () {
                // A refused choice: show again what the player holds.
                if (isRadio)
                    loadValues().catch(function (error) { showStatus(error.message); });
                else
                    control.value = previous;
            }).then(function () { previous = control.value; });
        });
    }
    for (const button of document.querySelectorAll('button[data-action]')) {
        button.addEventListener('click', function () {
            send(button, button.dataset.action, undefined, null, function () {});
        });
    }
    for (const tab of document.querySelectorAll('.settings-tab')) {
        tab.addEventListener('click', function () { openCategory(tab.dataset.category); });
        tab.addEventListener('keydown', function (event) {
            if (event.key !== 'ArrowRight' && event.key !== 'ArrowLeft')
                return;
            const tabs = Array.from(document.querySelectorAll('.settings-tab'));
            const next = tabs[(tabs.indexOf(tab) + (event.key === 'ArrowRight' ? 1 : tabs.length - 1)) % tabs.length];
            openCategory(next.dataset.category);
            next.focus();
        });
    }
}

// Start
function start() {
    window.zozText.applyTexts(document);
    const link = document.querySelector('.settings-local-address');
    if (link) {
        link.href = window.location.origin + '/';
        link.textContent = window.location.origin + '/';
    }
    // The values the page came with; the player's current ones follow.
    for (const box of document.querySelectorAll('[data-current]'))
        checkRadio(box.querySelector('input[type=radio]') ? box.querySelector('input[type=radio]').name : '', box.dataset.current);
    const binaural = document.getElementById('zoz-setting-binaural');
    if (binaural && binaural.dataset.current)
        binaural.value = binaural.dataset.current;
    bindControls();
    const preselected = document.body.dataset.category;
    openCategory(CATEGORIES.includes(preselected) ? preselected : storedCategory());
    loadValues().catch(function (error) { showStatus(error.message); });
}

document.addEventListener('DOMContentLoaded', start);
