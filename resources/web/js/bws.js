'use strict';
// The Broadcast Website page: the site's start page in a sandboxed frame once
// it has arrived, and the list of the site's files with what has arrived.
// The site runs in a sandbox of its own and never sees the player's commands.

// Constants
const POLL_MS = 2000;

// State
const state = {
    answer: null,
    shown: '',
};

// Pure helpers
function basePath() {
    const path = window.location.pathname;
    return path.endsWith('/') ? path : path.substring(0, path.lastIndexOf('/') + 1);
}

function statusText(answer) {
    const objects = answer.objects || [];
    const received = objects.filter(function (o) { return o.received; }).length;
    if (answer.indexReceived)
        return received + ' of ' + objects.length + ' files received';
    if (objects.length === 0)
        return 'Waiting for the website';
    return 'Waiting for the start page (' + received + ' of ' + objects.length + ' files received)';
}

// Rendering
function show(url) {
    if (!url || url === state.shown)
        return;
    state.shown = url;
    document.querySelector('.bws-site').src = url;
}

function renderList(answer) {
    const list = document.querySelector('.bws-list');
    list.replaceChildren();
    for (const object of answer.objects || []) {
        const item = document.createElement('li');
        const button = document.createElement('button');
        button.type = 'button';
        button.className = 'bws-object';
        button.textContent = object.filename;
        button.dataset.filename = object.filename;
        button.setAttribute('aria-disabled', object.received ? 'false' : 'true');
        item.appendChild(button);
        list.appendChild(item);
    }
}

function render() {
    const answer = state.answer;
    if (!answer)
        return;
    document.querySelector('.bws-status').textContent = statusText(answer);
    const home = document.querySelector('.bws-home');
    home.disabled = !(answer.indexReceived && answer.indexFilename);
    if (answer.indexReceived && answer.indexFilename)
        show('/' + answer.indexFilename);
    renderList(answer);
}

async function poll() {
    try {
        const response = await fetch(basePath() + '?getObjectList', { cache: 'no-store' });
        const answer = await response.json();
        if (answer && answer.success) {
            state.answer = answer;
            render();
        }
    } catch (e) {
        // The next poll tries again.
    }
}

// Event wiring
function wireEvents() {
    document.querySelector('.bws-home').addEventListener('click', function () {
        if (state.answer && state.answer.indexFilename) {
            state.shown = '';
            show('/' + state.answer.indexFilename);
        }
    });
    document.querySelector('.bws-files').addEventListener('click', function (event) {
        const objects = document.querySelector('.bws-objects');
        objects.hidden = !objects.hidden;
        event.currentTarget.setAttribute('aria-expanded', objects.hidden ? 'false' : 'true');
    });
    document.querySelector('.bws-list').addEventListener('click', function (event) {
        const button = event.target.closest('.bws-object');
        if (!button || button.getAttribute('aria-disabled') === 'true')
            return;
        state.shown = '';
        show(basePath() + button.dataset.filename);
    });
}

function init() {
    wireEvents();
    poll();
    setInterval(poll, POLL_MS);
}

init();
