'use strict';
// The service list: select a service, step to the next or previous one, mark
// favourites, sort and filter. The rows come rendered with the page; this
// script keeps the marks in step with the player and reloads the page when
// the player has rebuilt it.

// Constants
const SELECTOR_ID = 'selection';
const STANDALONE_POLL_MS = 1000;
const CYCLE_POLL_MS = 2000;
const SERVICE_MASK = 0xffff0000;
// The rebuild count a served page was built at, as its body carries it.
const BUILT_AT_PATTERN = /data-refresh-cycle="(\d+)"/;
// The programme guide is asked again when the player's SPI version moves, and
// at least this often, as programmes come and go with the clock.
const GUIDE_REFRESH_MS = 60000;

// State
const state = {
    selectedSid: -1,
    refreshCycle: NaN,
    checkingPage: false,
    info: null,
    slideUrl: '',
    slidePolling: false,
    guide: null,                // the last "spiGetInfo" answer
    guideVersion: -1,
    guideFetchedAt: 0,
    guideFetching: false,
};

// Pure helpers
function sameService(a, b) {
    return a !== -1 && b !== -1 && ((a & SERVICE_MASK) >>> 0) === ((b & SERVICE_MASK) >>> 0);
}

function findServiceEntry(info, sid) {
    const services = info && Array.isArray(info.services) ? info.services : [];
    return services.find(function (s) { return s && s.ID === sid; }) ||
        services.find(function (s) { return s && sameService(s.ID, sid); }) || null;
}

// The audio state's channel list holds one entry per audio service: its
// Dynamic Label text, DL Plus items and audio configuration.
function findChannel(info, sid) {
    const channels = info && info.audio && Array.isArray(info.audio.channels) ? info.audio.channels : [];
    return channels.find(function (c) { return c && c.SID === sid; }) ||
        channels.find(function (c) { return c && sameService(c.SID, sid); }) || null;
}

// The text of a DL Plus content type (1 title, 4 artist) while the programme item runs.
function dlPlusText(channel, type) {
    const groups = channel && Array.isArray(channel.dlPlusInfo) ? channel.dlPlusInfo : [];
    for (const group of groups) {
        for (const item of (group && Array.isArray(group.data) ? group.data : [])) {
            if (item && item.type === type && typeof item.content === 'string')
                return item.content;
        }
    }
    return '';
}

function stringOf(value) {
    return typeof value === 'string' ? value : '';
}

function signalText(info) {
    const signal = info && info.tuner && info.tuner.signal;
    if (!signal || !signal.present)
        return '';
    return 'Signal ' + Number(signal.quality) + ' %';
}

function parentZoz() {
    try {
        if (window.parent !== window && window.parent.zoz)
            return window.parent.zoz;
    } catch (e) {
        // Not inside our own index page.
    }
    return null;
}

// Rendering
function rows() {
    return Array.from(document.querySelectorAll('.service-row'));
}

function renderSelection(selectedSid) {
    for (const row of rows()) {
        const selected = sameService(Number(row.dataset.sid), selectedSid);
        row.classList.toggle('is-selected', selected);
        row.querySelector('.service-select').setAttribute('aria-current', selected ? 'true' : 'false');
    }
}

// Broadcast texts arrive HTML-escaped and go in as text, never as markup.
function setText(selector, text) {
    const element = document.querySelector(selector);
    element.textContent = window.zozText.decodeEntities(text);
    return element;
}

function setBadge(selector, text) {
    setText(selector, text).hidden = text === '';
}

function renderNowPlaying(info) {
    const entry = info.selectedSID === -1 ? null : findServiceEntry(info, info.selectedSID);
    const channel = entry ? findChannel(info, info.selectedSID) : null;
    setText('.now-playing-label', entry ? entry.label : '-');
    const row = entry ? document.querySelector('.service-row.is-selected .service-ensemble') : null;
    document.querySelector('.now-playing-ensemble').textContent = row ? row.textContent : '';
    setText('.now-playing-message', channel ? stringOf(channel.textMessage) : '');

    const title = dlPlusText(channel, 1);
    const artist = dlPlusText(channel, 4);
    setText('.item-title', title);
    setText('.item-artist', artist);
    document.querySelector('.item-title-name').hidden = title === '';
    document.querySelector('.item-artist-name').hidden = artist === '';
    document.querySelector('.now-playing-item').hidden = title === '' && artist === '';

    const details = channel && channel.info ? channel.info : {};
    const decoded = channel && channel.numChannels > 0;
    setBadge('.badge-codec', decoded ? stringOf(details.codec) : '');
    setBadge('.badge-bitrate', channel ? stringOf(details.bitrateNet) || stringOf(details.bitrate) : '');
    setBadge('.badge-channels', decoded ? stringOf(details.type) : '');
    setBadge('.badge-signal', entry ? signalText(info) : '');
}

// The path of the selected service's SlideShow, as its badge's preview names it.
function selectedSlideShowPath() {
    const preview = document.querySelector('.service-row.is-selected .service-app[data-app="sls"] img');
    if (!preview)
        return '';
    const source = preview.getAttribute('src') || '';
    return source.substring(0, source.indexOf('?') < 0 ? source.length : source.indexOf('?'));
}

function showSlide(url, path) {
    const image = document.querySelector('.now-playing-slide');
    const link = document.querySelector('.now-playing-slide-link');
    if (url !== state.slideUrl) {
        state.slideUrl = url;
        if (url)
            image.src = url;
        else
            image.removeAttribute('src');
    }
    link.hidden = !url;
    link.dataset.path = path;
}

// The selected service's current slide, asked of its SlideShow with each state poll.
async function renderSlide() {
    const path = selectedSlideShowPath();
    if (!path) {
        showSlide('', '');
        return;
    }
    if (state.slidePolling)
        return;
    state.slidePolling = true;
    try {
        const response = await fetch(path + '?getSlides', { cache: 'no-store' });
        const answer = await response.json();
        const url = answer && answer.active && answer.active.url ? '/' + answer.active.url : '';
        showSlide(path === selectedSlideShowPath() ? url : '', path);
    } catch (e) {
        // The next poll tries again.
    } finally {
        state.slidePolling = false;
    }
}

function setGuideLine(selector, programme) {
    const element = document.querySelector(selector);
    element.textContent = programme
        ? window.zozSpi.clock(programme.start) + ' ' + window.zozSpi.title(programme)
        : '';
    element.hidden = !programme;
    element.previousElementSibling.hidden = !programme;
}

// Now and next of the selected service, from the programme guide.
function renderGuide(info) {
    const service = state.guide ? window.zozSpi.findService(window.zozSpi.services(state.guide), info.selectedServiceId) : null;
    const entries = service && info.selectedSID !== -1
        ? window.zozSpi.nowAndNext(service, Math.floor(Date.now() / 1000))
        : { now: null, next: null };
    setGuideLine('.guide-now', entries.now);
    setGuideLine('.guide-next', entries.next);
    document.querySelector('.now-playing-guide').hidden = !entries.now && !entries.next;
}

async function refreshGuide(info) {
    const version = typeof info.spiVersion === 'number' ? info.spiVersion : 0;
    const due = version !== state.guideVersion || Date.now() - state.guideFetchedAt >= GUIDE_REFRESH_MS;
    if (!due || state.guideFetching)
        return;
    state.guideFetching = true;
    try {
        // Without any SPI service the player answers "success" false: no guide.
        const answer = await window.zozAjax.call('spiGetInfo', undefined, undefined, { quiet: true });
        state.guide = answer && answer.success === true ? answer : null;
        state.guideVersion = version;
        state.guideFetchedAt = Date.now();
        if (state.info)
            renderGuide(state.info);
    } catch (e) {
        // Reported by the ajax module; the next poll tries again.
        state.guideFetchedAt = Date.now();
    } finally {
        state.guideFetching = false;
    }
}

function renderFavourites(info) {
    for (const row of rows()) {
        const entry = findServiceEntry(info, Number(row.dataset.sid));
        if (!entry)
            continue;
        row.classList.toggle('is-favourite', !!entry.isFavourite);
        const toggle = row.querySelector('.favourite-toggle');
        if (toggle)
            setFavouriteButton(toggle, !!entry.isFavourite);
    }
    const filter = document.querySelector('.favourites-filter');
    if (filter)
        filter.setAttribute('aria-pressed', info.showFavouritesOnly ? 'true' : 'false');
}

function setFavouriteButton(toggle, favourite) {
    toggle.setAttribute('aria-pressed', favourite ? 'true' : 'false');
    const key = favourite ? 'TOOLTIPS.FAVOURITE_UNMARK' : 'TOOLTIPS.FAVOURITE_MARK';
    const label = window.zozText.text(key, favourite ? 'Remove from favourite list' : 'Mark as favourite').replace(/<br\s*\/?>/gi, ' ');
    toggle.title = label;
    toggle.setAttribute('aria-label', label);
}

function onServerInfo(info) {
    state.info = info;
    state.selectedSid = typeof info.selectedSID === 'number' ? info.selectedSID : -1;
    renderSelection(state.selectedSid);
    renderNowPlaying(info);
    renderSlide();
    renderGuide(info);
    refreshGuide(info);
    renderFavourites(info);
    renderFavouritesHint(info);
    renderAudio(info);
    const sort = document.querySelector('.sort-select');
    if (typeof info.sortOrder === 'number' && document.activeElement !== sort)
        sort.value = String(info.sortOrder >= 0 && info.sortOrder <= 4 ? info.sortOrder : 0);
}

// Mute and volume as the player reports them.
function renderAudio(info) {
    const config = info.audio && info.audio.config;
    if (!config)
        return;
    const mute = document.querySelector('.control-mute');
    mute.setAttribute('aria-pressed', config.muted ? 'true' : 'false');
    mute.classList.toggle('is-muted', !!config.muted);
    const volume = document.querySelector('.control-volume');
    if (document.activeElement !== volume && typeof config.level === 'number')
        volume.value = String(config.level);
}

// Actions
function switchMute() {
    const mute = document.querySelector('.control-mute');
    const muted = mute.getAttribute('aria-pressed') !== 'true';
    mute.setAttribute('aria-pressed', muted ? 'true' : 'false');
    window.zozAjax.call('setAudioMuted', muted ? 1 : 0).then(refreshState).catch(function () { refreshState(); });
}

function setVolume(value) {
    window.zozAjax.call('setAudioLevel', value).then(refreshState).catch(function () { refreshState(); });
}

function refreshState() {
    const zoz = parentZoz();
    if (zoz)
        zoz.refresh();
    else
        pollServerInfo();
}

function selectService(sid) {
    // A refusal (a recording runs) comes with a notification of the player.
    window.zozAjax.call('selectService', sid, { selectorID: SELECTOR_ID }, { quiet: true })
        .then(refreshState)
        .catch(function () { /* reported */ });
}

function selectDirected(direction) {
    window.zozAjax.call('selectServiceDirected', direction, { selectorID: SELECTOR_ID }, { quiet: true })
        .then(refreshState)
        .catch(function () { /* reported */ });
}

function toggleFavourite(toggle) {
    const favourite = toggle.getAttribute('aria-pressed') !== 'true';
    setFavouriteButton(toggle, favourite);
    window.zozAjax.call('setServiceFavourite', toggle.dataset.sid, { isFavourite: favourite ? 'true' : 'false' })
        .then(refreshState)
        .catch(function () { setFavouriteButton(toggle, !favourite); });
}

// Shown for as long as the list is filtered to favourites and there are none,
// so it survives the reload the switch brings.
function renderFavouritesHint(info) {
    const hint = document.querySelector('.favourites-hint');
    if (hint)
        hint.hidden = !(info && info.showFavouritesOnly && !info.hasFavourites);
}

function switchFavourites() {
    renderFavouritesHint(state.info ? Object.assign({}, state.info, { showFavouritesOnly: !state.info.showFavouritesOnly }) : null);
    window.zozAjax.call('switchFavourites').then(refreshState).catch(function () { /* reported */ });
}

function setSortType(value) {
    window.zozAjax.call('setSortType', value).then(refreshState).catch(function () { /* reported */ });
}

// The player counts its rebuilds; when the count moves, ask whether this page
// changed and reload only then. The count the page was built at tells it even
// when two rebuilds fall into the same second of its Last-Modified time.
async function checkRefreshCycle() {
    try {
        const answer = await window.zozAjax.call('getHttpRefreshCycle');
        const cycle = Number(answer.httpRefreshCycle);
        if (Number.isNaN(state.refreshCycle) || cycle === state.refreshCycle || state.checkingPage) {
            state.refreshCycle = Number.isNaN(state.refreshCycle) ? cycle : state.refreshCycle;
            return;
        }
        state.checkingPage = true;
        const response = await fetch(window.location.href, { cache: 'no-store' });
        const modified = Date.parse(response.headers.get('Last-Modified') || '');
        const shown = Date.parse(document.lastModified);
        const builtAt = BUILT_AT_PATTERN.exec(await response.text());
        state.refreshCycle = cycle;
        state.checkingPage = false;
        const rebuilt = builtAt !== null && Number(builtAt[1]) !== Number(document.body.dataset.refreshCycle);
        if (rebuilt || (!Number.isNaN(modified) && !Number.isNaN(shown) && Math.abs(modified - shown) >= 1000))
            window.location.reload();
    } catch (e) {
        state.checkingPage = false;
    } finally {
        setTimeout(checkRefreshCycle, CYCLE_POLL_MS);
    }
}

async function pollServerInfo() {
    try {
        onServerInfo(await window.zozAjax.call('getServerInfo'));
    } catch (e) {
        // Reported by the ajax module.
    }
}

// Event wiring
function moveFocus(current, step) {
    const buttons = Array.from(document.querySelectorAll('.service-select'));
    const index = buttons.indexOf(current);
    if (index < 0)
        return;
    const next = buttons[Math.max(0, Math.min(buttons.length - 1, index + step))];
    next.focus();
}

function openServicePage(path) {
    if (path)
        window.location.href = path;
}

function wireEvents() {
    const slide = document.querySelector('.now-playing-slide-link');
    slide.addEventListener('click', function () { openServicePage(slide.dataset.path); });
    const list = document.querySelector('.service-list');
    if (list) {
        list.addEventListener('click', function (event) {
            // The SlideShow, the Broadcast Website and the programme guide have pages of their own.
            const servicePage = event.target.closest(
                '.service-app[data-app="sls"], .service-app[data-app="bws"], .service-app[data-app="spi"]');
            if (servicePage) {
                const preview = servicePage.querySelector('img');
                openServicePage((preview.getAttribute('src') || '').split('?')[0]);
                return;
            }
            const favourite = event.target.closest('.favourite-toggle');
            if (favourite) {
                toggleFavourite(favourite);
                return;
            }
            const select = event.target.closest('.service-select');
            if (select)
                selectService(Number(select.dataset.sid));
        });
        list.addEventListener('keydown', function (event) {
            const select = event.target.closest('.service-select');
            if (!select)
                return;
            if (event.key === 'ArrowDown' || event.key === 'ArrowRight') {
                moveFocus(select, 1);
                event.preventDefault();
            } else if (event.key === 'ArrowUp' || event.key === 'ArrowLeft') {
                moveFocus(select, -1);
                event.preventDefault();
            }
        });
    }
    for (const button of document.querySelectorAll('.player-controls [data-direction]'))
        button.addEventListener('click', function () { selectDirected(Number(button.dataset.direction)); });
    document.querySelector('.sort-select').addEventListener('change', function (event) { setSortType(event.target.value); });
    document.querySelector('.control-mute').addEventListener('click', switchMute);
    document.querySelector('.control-volume').addEventListener('change', function (event) { setVolume(event.target.value); });
    const filter = document.querySelector('.favourites-filter');
    if (filter)
        filter.addEventListener('click', switchFavourites);
    const rescan = document.querySelector('.rescan');
    if (rescan) {
        rescan.addEventListener('click', function () {
            const zoz = parentZoz();
            if (zoz)
                zoz.showScanDialog();
            else
                window.zozAjax.call('scan', 'start').catch(function () { /* reported */ });
        });
    }
}

function applyTexts() {
    window.zozText.applyTexts(document);
    // The step buttons share one tooltip key; say which way each goes.
    document.querySelector('.control-previous').setAttribute('aria-label', window.zozText.text('TOOLTIPS.SELECT_SERVICE', 'Switch to service') + ' \u2190');
    document.querySelector('.control-next').setAttribute('aria-label', window.zozText.text('TOOLTIPS.SELECT_SERVICE', 'Switch to service') + ' \u2192');
    for (const toggle of document.querySelectorAll('.favourite-toggle'))
        setFavouriteButton(toggle, toggle.getAttribute('aria-pressed') === 'true');
    for (const select of document.querySelectorAll('.service-select')) {
        const label = select.querySelector('.service-label');
        select.title = window.zozText.text('TOOLTIPS.SELECT_SERVICE', 'Switch to service') + ': ' + label.textContent;
    }
}

function init() {
    state.refreshCycle = Number(document.body.dataset.refreshCycle);
    applyTexts();
    wireEvents();
    const zoz = parentZoz();
    if (zoz) {
        zoz.addServerInfoListener(onServerInfo);
        window.addEventListener('pagehide', function () { zoz.removeServerInfoListener(onServerInfo); });
    } else {
        pollServerInfo();
        setInterval(pollServerInfo, STANDALONE_POLL_MS);
    }
    setTimeout(checkRefreshCycle, CYCLE_POLL_MS);
}

init();
