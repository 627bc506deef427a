'use strict';
// The frame around every page: it holds the UI texts, polls the player's state,
// shows notifications and the one pending question, and offers the functions
// that the program window calls (window.zoz).

// Constants
const MIN_POLL_MS = 500;
const MAX_POLL_MS = 10000;
const DEFAULT_POLL_MS = 1000;
const DEFAULT_TOAST_SECONDS = 5;
const VIRTUAL_ADDRESS = /^\d+(\.\d+){1,2}$/;

// State
const state = {
    config: {},
    pollMs: DEFAULT_POLL_MS,
    pollTimer: 0,
    polling: false,
    lastInfo: null,
    listeners: [],
    toasts: new Map(),          // notification ID -> { element, message, timer }
    pendingQuestion: '',        // the question on screen
    answeredQuestion: '',       // answered, until the player stops asking it
    ending: false,              // the user declined a question that ends the player
    ended: false,               // ... and the player is gone: polling has stopped
};

// Questions whose No ends the player.
const ENDS_PLAYER = /(quit|terminate) the application/i;
// Long enough to stay until the page is closed.
const ENDED_TOAST_SECONDS = 24 * 3600;

// Pure helpers
function pollPeriod(configured) {
    const ms = Number(configured);
    if (!Number.isFinite(ms) || ms <= 0)
        return DEFAULT_POLL_MS;
    return Math.min(MAX_POLL_MS, Math.max(MIN_POLL_MS, ms));
}

function toastSeconds(duration) {
    const seconds = Number(duration);
    return Number.isFinite(seconds) && seconds > 0 ? seconds : DEFAULT_TOAST_SECONDS;
}

// The first page of the frame: the forward page below a virtual address, the
// service selection otherwise.
function startPage(virtualAddress) {
    return VIRTUAL_ADDRESS.test(virtualAddress) ? '/' + virtualAddress + '/index.html' : '/?selection';
}

// Only pages of this server are shown in the frame.
function isOwnPage(url) {
    try {
        return new URL(url, window.location.href).origin === window.location.origin;
    } catch (e) {
        return false;
    }
}

// The page of an SPI service, the selected service's own first: every SPI
// service shows the whole programme guide.
function guidePath(info) {
    const services = info && Array.isArray(info.services) ? info.services : [];
    const selected = services.filter(function (s) { return s && s.ID === info.selectedSID; });
    for (const service of selected.concat(services)) {
        for (const app of (service && Array.isArray(service.apps) ? service.apps : [])) {
            if (app && app.shortName === 'spi' && typeof app.requestPath === 'string' && app.requestPath)
                return '/' + app.requestPath;
        }
    }
    return '';
}

// Rendering
function frame() {
    return document.getElementById('content-frame');
}

function removeToast(id) {
    const toast = state.toasts.get(id);
    if (!toast)
        return;
    clearTimeout(toast.timer);
    toast.element.remove();
    state.toasts.delete(id);
}

function dismissToast(id) {
    const toast = state.toasts.get(id);
    const local = toast && toast.local;
    removeToast(id);
    if (!local)
        window.zozAjax.call('clearNotify', id).catch(function () { /* reported by the ajax module */ });
}

function showToast(entry) {
    const id = String(entry.ID);
    const known = state.toasts.get(id);
    if (known && known.message === entry.message)
        return;
    removeToast(id);
    const element = document.createElement('div');
    element.className = 'toast';
    if (entry.type === 'error' || entry.type === 'warning')
        element.classList.add(entry.type);
    element.setAttribute('role', entry.type === 'error' ? 'alert' : 'status');
    const text = document.createElement('div');
    text.className = 'toast-text';
    window.zozText.setMarkup(text, entry.message);
    if (entry.detail) {
        const detail = document.createElement('span');
        detail.className = 'toast-detail';
        detail.textContent = entry.detail;
        text.append(document.createElement('br'), detail);
    }
    const close = document.createElement('button');
    close.type = 'button';
    close.className = 'button toast-close';
    close.textContent = '\u00d7';
    close.setAttribute('aria-label', window.zozText.text('CLOSE', 'Close'));
    close.addEventListener('click', function () { dismissToast(id); });
    element.append(text, close);
    if (entry.clickable)
        text.addEventListener('click', function () { dismissToast(id); });
    document.querySelector('.toasts').appendChild(element);
    const timer = setTimeout(function () { dismissToast(id); }, toastSeconds(entry.duration) * 1000);
    state.toasts.set(id, { element: element, message: entry.message, timer: timer, local: !!entry.local });
}

function renderNotifications(list) {
    const present = new Set();
    for (const entry of Array.isArray(list) ? list : []) {
        if (!entry || entry.ID === undefined || !entry.message)
            continue;
        present.add(String(entry.ID));
        showToast(entry);
    }
    // Entries the player no longer holds were cleared elsewhere.
    for (const [id, toast] of Array.from(state.toasts.entries())) {
        if (!toast.local && !present.has(id))
            removeToast(id);
    }
}

function confirmDialog() {
    return document.querySelector('.confirm-dialog:not(.scan-dialog)');
}

function renderQuestion(question) {
    const dialog = confirmDialog();
    if (!question) {
        state.answeredQuestion = '';
        if (state.pendingQuestion) {
            state.pendingQuestion = '';
            if (dialog.open)
                dialog.close();
        }
        return;
    }
    if (question === state.answeredQuestion || question === state.pendingQuestion)
        return;
    state.pendingQuestion = question;
    window.zozText.setMarkup(document.getElementById('confirm-text'), question);
    if (!dialog.open)
        dialog.showModal();
    dialog.querySelector('.confirm-yes').focus();
}

function answerQuestion(yes) {
    const question = state.pendingQuestion;
    const dialog = confirmDialog();
    if (dialog.open)
        dialog.close();
    if (!question)
        return;
    state.pendingQuestion = '';
    state.answeredQuestion = question;
    if (!yes && ENDS_PLAYER.test(question))
        state.ending = true;
    window.zozAjax.call('confirmed', question, { yes: yes, no: !yes }).catch(function () { /* reported */ });
}

function scanDialog() {
    return document.querySelector('.scan-dialog');
}

// The scan on the main page itself: a first scan takes a while, and an empty
// list alone looks like a failure.
function renderScanBanner(receiver) {
    const banner = document.querySelector('.scan-banner');
    banner.hidden = !receiver.scanning;
    if (!receiver.scanning)
        return;
    const progress = Math.max(0, Math.min(100, Number(receiver.progress) || 0));
    banner.querySelector('.scan-banner-channel').textContent = receiver.currentEnsemble ? window.zozText.decodeEntities(receiver.currentEnsemble) : '-';
    banner.querySelector('.scan-banner-progress').textContent = String(progress);
    banner.querySelector('.scan-banner-ensembles').textContent = String(receiver.numEnsembles || 0);
    banner.querySelector('.scan-banner-services').textContent = String(receiver.numServices || 0);
    banner.querySelector('.scan-banner-bar').value = progress;
}

function renderScan(receiver) {
    if (!receiver)
        return;
    renderScanBanner(receiver);
    const dialog = scanDialog();
    dialog.querySelector('.scan-ensemble').textContent = receiver.currentEnsemble ? window.zozText.decodeEntities(receiver.currentEnsemble) : '-';
    dialog.querySelector('.scan-ensembles').textContent = String(receiver.numEnsembles || 0);
    dialog.querySelector('.scan-services').textContent = String(receiver.numServices || 0);
    dialog.querySelector('.scan-progress').value = Math.max(0, Math.min(100, Number(receiver.progress) || 0));
    const start = dialog.querySelector('.scan-start');
    start.textContent = receiver.scanning ? window.zozText.text('SPI.SCAN_STOP', 'Stop Scan') : window.zozText.text('SCAN.START_SCAN', 'Start Scan');
    start.dataset.scanning = receiver.scanning ? 'true' : 'false';
}

function clockText(seconds) {
    const total = Math.max(0, Math.floor(Number(seconds) || 0));
    const h = Math.floor(total / 3600);
    const m = Math.floor(total / 60) % 60;
    const s = String(total % 60).padStart(2, '0');
    return h > 0 ? h + ':' + String(m).padStart(2, '0') + ':' + s : m + ':' + s;
}

// The record button shows whether a recording runs; its file and time show beside it.
function renderRecording(config) {
    if (!config)
        return;
    const recording = !!config.isRecording;
    const button = document.querySelector('.nav-record');
    button.setAttribute('aria-pressed', recording ? 'true' : 'false');
    button.textContent = recording ? 'Stop recording' : 'Record';
    const status = document.querySelector('.record-status');
    const file = typeof config.recordingFile === 'string' ? config.recordingFile : '';
    status.hidden = !recording;
    status.querySelector('.record-time').textContent = clockText(config.recordingTime);
    status.querySelector('.record-file').textContent = file ? file.split(/[\\/]/).pop() : 'waiting for audio';
    status.querySelector('.record-file').title = file;
}

function switchRecording() {
    const config = state.lastInfo && state.lastInfo.audio ? state.lastInfo.audio.config : null;
    const recording = config ? !!config.isRecording : false;
    return window.zozAjax.call('switchRecording', recording ? 'false' : 'true').then(pollNow).catch(function () { /* reported */ });
}

function publishInfo(info) {
    state.lastInfo = info;
    renderNotifications(info.notify);
    renderRecording(info.audio ? info.audio.config : null);
    renderQuestion(typeof info.confirm === 'string' ? info.confirm : '');
    renderScan(info.receiver);
    for (const listener of state.listeners.slice()) {
        try {
            listener(info);
        } catch (e) {
            console.error('zoz: server information listener failed', e);
        }
    }
}

async function poll() {
    if (state.polling || state.ended)
        return;
    state.polling = true;
    try {
        publishInfo(await window.zozAjax.call('getServerInfo'));
    } catch (e) {
        // Reported by the ajax module; the next poll tries again.
    } finally {
        state.polling = false;
        if (!state.ended)
            state.pollTimer = setTimeout(poll, state.pollMs);
    }
}

function pollNow() {
    clearTimeout(state.pollTimer);
    poll();
}

// The functions the program window and the pages in the frame call.
const zoz = {
    redirectTo: function (url) {
        if (!isOwnPage(url)) {
            console.error('zoz: refusing to show a foreign page', url);
            return;
        }
        frame().src = url;
    },
    showServiceSelection: function () {
        frame().src = '/?selection';
    },
    // The programme guide, when an SPI service is on air.
    showSpiDialog: function () {
        const path = guidePath(state.lastInfo);
        if (path) {
            frame().src = path;
            return;
        }
        showToast({
            ID: 'no-guide',
            message: window.zozText.text('SPI.NO_GUIDE', 'No programme guide is on air'),
            duration: DEFAULT_TOAST_SECONDS,
            local: true,
        });
    },
    showScanDialog: function () {
        const dialog = scanDialog();
        if (state.lastInfo)
            renderScan(state.lastInfo.receiver);
        if (!dialog.open)
            dialog.showModal();
        dialog.querySelector('.scan-start').focus();
    },
    switchMuter: function () {
        const muted = state.lastInfo && state.lastInfo.audio && state.lastInfo.audio.config ? !!state.lastInfo.audio.config.muted : false;
        return window.zozAjax.call('setAudioMuted', muted ? 0 : 1).then(pollNow).catch(function () { /* reported */ });
    },
    // Pages in the frame follow the player's state through the index page's poll.
    addServerInfoListener: function (listener) {
        state.listeners.push(listener);
        if (state.lastInfo)
            listener(state.lastInfo);
    },
    removeServerInfoListener: function (listener) {
        state.listeners = state.listeners.filter(function (l) { return l !== listener; });
    },
    refresh: pollNow,
    lastServerInfo: function () {
        return state.lastInfo;
    },
};

// Event wiring
function wireEvents() {
    const dialog = confirmDialog();
    dialog.querySelector('.confirm-yes').addEventListener('click', function () { answerQuestion(true); });
    dialog.querySelector('.confirm-no').addEventListener('click', function () { answerQuestion(false); });
    // Escape closes the dialog without an answer; the question comes back with the next poll.
    dialog.addEventListener('cancel', function () { state.pendingQuestion = ''; });

    const scan = scanDialog();
    scan.querySelector('.scan-close').addEventListener('click', function () { scan.close(); });
    scan.querySelector('.scan-start').addEventListener('click', function (event) {
        const scanning = event.currentTarget.dataset.scanning === 'true';
        window.zozAjax.call('scan', scanning ? 'stop' : 'start').then(pollNow).catch(function () { /* reported */ });
    });

    document.querySelector('.nav-selection').addEventListener('click', zoz.showServiceSelection);
    document.querySelector('.nav-scan').addEventListener('click', zoz.showScanDialog);
    document.querySelector('.nav-settings').addEventListener('click', function () { frame().src = '/?settings'; });
    document.querySelector('.nav-guide').addEventListener('click', zoz.showSpiDialog);
    document.querySelector('.nav-record').addEventListener('click', switchRecording);

    window.zozAjax.onFailure(function (command, error) {
        if (state.ending) {
            // Not a lost connection: the player ended as the user asked.
            state.ended = true;
            clearTimeout(state.pollTimer);
            document.body.classList.add('player-ended');
            showToast({
                ID: 'player-ended',
                message: window.zozText.text('PLAYER_ENDED', '<b>ZOZ has ended</b><br/>You answered No, so the player quit. Start zoz again to continue.'),
                type: 'warning',
                duration: ENDED_TOAST_SECONDS,
                local: true,
            });
            return;
        }
        showToast({
            ID: 'ajax-' + command,
            message: window.zozText.text('ERROR.SPAWN_REDIRECT_NO_SERVER_CONNECTION', 'Server connection unavailable'),
            detail: command + ': ' + error.message,
            type: 'error',
            duration: DEFAULT_TOAST_SECONDS,
            clickable: true,
            local: true,
        });
    });
}

function init() {
    window.zozLang = window.zozText.table();
    window.zoz = zoz;
    state.config = window.zozText.readJsonBlock(document, 'zoz-config') || {};
    state.pollMs = pollPeriod(state.config.refreshMs);
    window.zozText.applyTexts(document);
    wireEvents();
    frame().src = startPage(document.body.dataset.virtualAddress || '');
    poll();
}

init();
