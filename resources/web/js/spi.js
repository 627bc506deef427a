'use strict';
// The programme guide page of an SPI service: per service, today and the
// coming days, each programme with its time, name and description; the one on
// air now is marked. The guide is asked of the service's own path and asked
// again now and then, as new schedules arrive.

// Constants
const POLL_MS = 10000;

// State
const state = {
    answerText: '',
    answer: null,
    serviceKey: '',
    day: NaN,
    onAir: '',
};

// Pure helpers
function basePath() {
    const path = window.location.pathname;
    return path.endsWith('/') ? path : path.substring(0, path.lastIndexOf('/') + 1);
}

function nowSeconds() {
    return Math.floor(Date.now() / 1000);
}

function serviceKey(service) {
    return Number(service.ECC) + '-' + Number(service.serviceIdentifier);
}

function serviceName(service) {
    return window.zozSpi.shortTitle(service) || 'Service ' + Number(service.serviceIdentifier).toString(16).toUpperCase();
}

// The service the player has selected, when the page runs inside the player.
function selectedServiceIdentifier() {
    try {
        const zoz = window.parent !== window ? window.parent.zoz : null;
        const info = zoz && zoz.lastServerInfo ? zoz.lastServerInfo() : null;
        return info && typeof info.selectedServiceId === 'number' ? info.selectedServiceId : -1;
    } catch (e) {
        return -1;
    }
}

function dayName(start, today) {
    const date = new Date(start * 1000);
    const tomorrow = new Date(today * 1000);
    tomorrow.setDate(tomorrow.getDate() + 1);
    if (start === today)
        return 'Today';
    if (date.toDateString() === tomorrow.toDateString())
        return 'Tomorrow';
    return date.toLocaleDateString(undefined, { weekday: 'long', day: 'numeric', month: 'long' });
}

// Rendering
function currentService(list) {
    return list.find(function (s) { return serviceKey(s) === state.serviceKey; }) || null;
}

function chooseService(list) {
    if (currentService(list))
        return;
    const selected = window.zozSpi.findService(list, selectedServiceIdentifier());
    const withSchedule = list.find(function (s) { return window.zozSpi.programmes(s).length > 0; });
    const service = selected || withSchedule || list[0];
    state.serviceKey = service ? serviceKey(service) : '';
}

function renderServices(list) {
    const select = document.querySelector('.spi-service');
    const options = list.map(function (service) {
        const option = document.createElement('option');
        option.value = serviceKey(service);
        option.textContent = serviceName(service);
        option.selected = option.value === state.serviceKey;
        return option;
    });
    select.replaceChildren.apply(select, options);
    document.querySelector('.spi-service-choice').hidden = list.length === 0;
}

function renderHeader(service) {
    const logo = document.querySelector('.spi-logo');
    const url = service && typeof service.logo === 'string' && service.logo ? '/' + service.logo : '';
    if (url && logo.getAttribute('src') !== url)
        logo.src = url;
    logo.hidden = !url;
    const description = document.querySelector('.spi-service-description');
    window.zozSpi.setText(description, service ? service.description : '');
    description.hidden = !description.textContent;
    document.querySelector('.spi-title').textContent = service ? window.zozSpi.title(service) || serviceName(service) : 'Programme Guide';
}

function renderDays(days, today) {
    if (days.indexOf(state.day) < 0)
        state.day = today;
    const nav = document.querySelector('.spi-days');
    const buttons = days.map(function (start) {
        const button = document.createElement('button');
        button.type = 'button';
        button.className = 'button spi-day';
        button.dataset.day = String(start);
        button.textContent = dayName(start, today);
        button.setAttribute('aria-pressed', start === state.day ? 'true' : 'false');
        return button;
    });
    nav.replaceChildren.apply(nav, buttons);
    nav.hidden = days.length < 2;
}

function programmeItem(programme, now) {
    const item = document.createElement('li');
    item.className = 'spi-programme';
    const onAir = programme.start <= now && now < programme.stop;
    item.classList.toggle('is-now', onAir);
    if (onAir)
        item.setAttribute('aria-current', 'time');
    const time = document.createElement('time');
    time.className = 'spi-time';
    time.dateTime = new Date(programme.start * 1000).toISOString();
    time.textContent = window.zozSpi.clock(programme.start) + '\u2013' + window.zozSpi.clock(programme.stop);
    const name = document.createElement('h2');
    name.className = 'spi-name';
    name.textContent = window.zozSpi.title(programme);
    item.append(time, name);
    if (onAir) {
        const mark = document.createElement('span');
        mark.className = 'badge spi-on-air';
        mark.textContent = 'On air';
        item.appendChild(mark);
    }
    const description = document.createElement('p');
    description.className = 'spi-description';
    window.zozSpi.setText(description, programme.description);
    if (description.textContent)
        item.appendChild(description);
    return item;
}

// What the page shows as on air: the day and the running programme.
function onAirKey() {
    const now = nowSeconds();
    const running = window.zozSpi.nowAndNext(currentService(window.zozSpi.services(state.answer)), now).now;
    return window.zozSpi.dayStart(now) + '/' + (running ? running.start : '');
}

function render() {
    const list = window.zozSpi.services(state.answer);
    chooseService(list);
    renderServices(list);
    const service = currentService(list);
    renderHeader(service);
    const now = nowSeconds();
    const today = window.zozSpi.dayStart(now);
    const programmes = window.zozSpi.programmes(service);
    renderDays(window.zozSpi.days(programmes, now), today);
    const shown = window.zozSpi.onDay(programmes, state.day);
    const listElement = document.querySelector('.spi-programmes');
    listElement.replaceChildren.apply(listElement, shown.map(function (p) { return programmeItem(p, now); }));
    const empty = document.querySelector('.spi-empty');
    empty.textContent = list.length === 0 ? 'No programme information received yet' : 'No programmes known for this day';
    empty.hidden = shown.length > 0;
    state.onAir = onAirKey();
}

// Actions
async function poll() {
    try {
        const response = await fetch(basePath() + '?getServices', { cache: 'no-store' });
        const text = await response.text();
        if (text !== state.answerText) {
            const answer = JSON.parse(text);
            if (answer && answer.success === true) {
                state.answerText = text;
                state.answer = answer;
                render();
            }
        } else if (onAirKey() !== state.onAir) {
            // The mark of the programme on air moves with the clock.
            render();
        }
    } catch (e) {
        // The service may be gone for a moment; the next poll tries again.
    } finally {
        setTimeout(poll, POLL_MS);
    }
}

// Event wiring
function wireEvents() {
    document.querySelector('.spi-service').addEventListener('change', function (event) {
        state.serviceKey = event.target.value;
        state.day = NaN;
        render();
    });
    document.querySelector('.spi-days').addEventListener('click', function (event) {
        const button = event.target.closest('.spi-day');
        if (!button)
            return;
        state.day = Number(button.dataset.day);
        render();
    });
}

function init() {
    wireEvents();
    poll();
}

init();
