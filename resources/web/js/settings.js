'use strict';
// The settings page: tabs, and every control sends its command at once. A
// control shows the player's value: the page comes filled with it, and the
// values that change elsewhere are read again when the page opens. A refused
// value shows the player's reason and the control returns to its old value.

// Constants
const CATEGORY_KEY = 'zoz.settings.category';
const CATEGORIES = ['GENERAL', 'AUDIO', 'INFO'];
const PERCENT = 100;
// The named DAB announcement types are bits 0 to 10 of the masks; "DAB" says
// which are heard, "DABapps" for which the service's Journaline or SlideShow
// is shown as well.
const ANNOUNCEMENT_TYPES = 11;
const FLAG_LISTEN_AND_VIEW = 'd';
const FLAG_LISTEN = 'a';
const FLAG_IGNORE = 'i';

// State
// The masks as the player last reported them.
const announcementMasks = { DAB: 0, DABapps: 0 };

// Pure helpers
function withBit(mask, bit, on) {
    const value = (1 << bit) >>> 0;
    return (on ? (mask | value) : (mask & ~value)) >>> 0;
}

function announcementFlag(bit) {
    const value = (1 << bit) >>> 0;
    if (!(announcementMasks.DAB & value))
        return FLAG_IGNORE;
    return (announcementMasks.DABapps & value) ? FLAG_LISTEN_AND_VIEW : FLAG_LISTEN;
}

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

function buildAnnouncementFlags() {
    const box = document.getElementById('settings-announcement-flags');
    if (!box)
        return;
    for (let bit = 0; bit < ANNOUNCEMENT_TYPES; ++bit) {
        const row = document.createElement('fieldset');
        row.className = 'announcement-flag';
        const name = document.createElement('legend');
        name.textContent = window.zozText.text('ANNOUNCEMENTS.TYPES.DAB.' + bit, String(bit));
        row.append(name);
        for (const flag of [FLAG_LISTEN_AND_VIEW, FLAG_LISTEN, FLAG_IGNORE]) {
            const label = document.createElement('label');
            label.className = 'settings-row';
            const radio = document.createElement('input');
            radio.type = 'radio';
            radio.name = 'announcement-' + bit;
            radio.value = flag;
            radio.dataset.bit = String(bit);
            const text = document.createElement('span');
            text.textContent = box.dataset['text' + flag.toUpperCase()] || flag;
            label.append(radio, ' ', text);
            row.append(label);
        }
        box.append(row);
    }
}

function showAnnouncementFlags() {
    for (let bit = 0; bit < ANNOUNCEMENT_TYPES; ++bit)
        checkRadio('announcement-' + bit, announcementFlag(bit));
}

// The active decoder mode says so in its tooltip.
function markActiveDecoderMode() {
    const box = document.getElementById('settings-decoder');
    if (!box)
        return;
    for (const radio of box.querySelectorAll('input[type=radio]')) {
        const label = radio.closest('label');
        const name = label.querySelector('span').textContent;
        label.title = radio.checked ? name + ' (' + box.dataset.activeNote + ')' : name;
    }
}

function setValue(id, value) {
    const input = document.getElementById(id);
    if (input && value !== undefined && value !== null && document.activeElement !== input)
        input.value = String(value);
}

// The output devices the player found, the default first.
function showDevices(devices) {
    const select = document.getElementById('zoz-setting-device');
    if (!select || !Array.isArray(devices) || devices.length === 0 || document.activeElement === select)
        return;
    select.replaceChildren();
    for (const device of devices) {
        const option = document.createElement('option');
        option.value = String(device.deviceID);
        option.textContent = window.zozText.decodeEntities(String(device.name));
        option.selected = !!device.selected;
        select.appendChild(option);
    }
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
    markActiveDecoderMode();
    setValue('zoz-setting-rec-timelimit', update.audioRecordingTimelimit);
    setValue('zoz-setting-binaural', update.audioBinauralPreset);
    const folder = document.querySelector('.settings-folder-name');
    if (folder && typeof update.audioRecordingDirectory === 'string')
        folder.textContent = window.zozText.decodeEntities(update.audioRecordingDirectory.replace(/\\\\/g, '\\'));
    if (update.audioSystem) {
        showDevices(update.audioSystem.devices);
        setValue('zoz-setting-device', update.audioSystem.device);
        setChecked('zoz-setting-test-mode', update.audioSystem.testMode);
        if (update.audioSystem.testMode)
            setValue('zoz-setting-test-channel', update.audioSystem.testChannels);
    }
    setChecked('zoz-setting-spokenlabels', info.spokenLabels);
    if (info.announcements && info.announcements.Epilog !== undefined)
        checkRadio('epilog', info.announcements.Epilog);
    if (info.announcements && typeof info.announcements.DAB === 'number' && typeof info.announcements.DABapps === 'number') {
        announcementMasks.DAB = info.announcements.DAB >>> 0;
        announcementMasks.DABapps = info.announcements.DABapps >>> 0;
        showAnnouncementFlags();
    }
    const config = info.audio && info.audio.config;
    if (config) {
        setChecked('zoz-setting-muted', config.muted);
        setValue('zoz-setting-level', config.level);
        setValue('zoz-setting-max-volume', config.maxVolume);
        setValue('zoz-setting-balance', config.balance);
        setValue('zoz-setting-shift', config.shift);
        (Array.isArray(config.levelChannels) ? config.levelChannels : []).forEach(function (level, channel) {
            setValue('zoz-setting-level-' + channel, level);
        });
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

// One choice of an announcement type changes a bit of both masks; the
// player's masks are read back afterwards, so that the page shows what holds.
async function sendAnnouncementFlag(radio) {
    const bit = Number(radio.dataset.bit);
    const wanted = {
        DAB: withBit(announcementMasks.DAB, bit, radio.value !== FLAG_IGNORE),
        DABapps: withBit(announcementMasks.DABapps, bit, radio.value === FLAG_LISTEN_AND_VIEW),
    };
    for (const type of ['DAB', 'DABapps']) {
        // The player takes a mask as a signed 32-bit number.
        if (wanted[type] !== announcementMasks[type])
            await send(radio, 'setAnnouncements', wanted[type] | 0, { type: type }, function () {});
    }
    await loadValues();
}

function bindControls() {
    for (const radio of document.querySelectorAll('#settings-announcement-flags input[type=radio]')) {
        radio.addEventListener('change', function () {
            sendAnnouncementFlag(radio).catch(function (error) { showStatus(error.message); });
        });
    }
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
            if (control.dataset.channel)
                params.channel = control.dataset.channel;
            send(control, control.dataset.command, control.value, params, function () {
                // A refused choice: show again what the player holds.
                if (isRadio)
                    loadValues().catch(function (error) { showStatus(error.message); });
                else
                    control.value = previous;
            }).then(function () {
                previous = control.value;
                markActiveDecoderMode();
            });
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
    for (const select of document.querySelectorAll('select[data-current]')) {
        if (select.dataset.current)
            select.value = select.dataset.current;
    }
    buildAnnouncementFlags();
    bindControls();
    const preselected = document.body.dataset.category;
    openCategory(CATEGORIES.includes(preselected) ? preselected : storedCategory());
    loadValues().catch(function (error) { showStatus(error.message); });
}

document.addEventListener('DOMContentLoaded', start);
