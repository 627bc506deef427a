'use strict';
// The SlideShow page: the slide the broadcaster shows now, or, in interactive
// mode, the one the listener picked from the slides received. Click-through
// links open only through the player, which allows a few schemes.

// Constants
const POLL_MS = 1000;

// State
const state = {
    follow: true,
    shownUrl: '',
    picked: null,
    answer: null,
};

// Pure helpers
function basePath() {
    const path = window.location.pathname;
    return path.endsWith('/') ? path : path.substring(0, path.lastIndexOf('/') + 1);
}

function allSlides(answer) {
    const slides = [];
    for (const category of answer.categories || [])
        for (const slide of category.slides || [])
            slides.push(slide);
    return slides;
}

function shownSlide(answer) {
    if (!state.follow && state.picked) {
        const picked = allSlides(answer).find(function (s) { return s.md5 === state.picked; });
        if (picked)
            return picked;
    }
    return answer.active && answer.active.url ? answer.active : null;
}

// Rendering
function renderCurrent(answer) {
    const slide = shownSlide(answer);
    const image = document.querySelector('.sls-image');
    const url = slide ? '/' + slide.url : '';
    if (url !== state.shownUrl) {
        state.shownUrl = url;
        if (url)
            image.src = url;
        else
            image.removeAttribute('src');
    }
    image.hidden = !url;
    document.querySelector('.sls-empty').hidden = !!url;
    document.querySelector('.sls-old').hidden = !(slide && slide.isOld);
    const link = document.querySelector('.sls-link');
    link.hidden = !(slide && slide.link);
    link.dataset.link = slide && slide.link ? slide.link : '';
}

function renderHistory(answer) {
    const history = document.querySelector('.sls-history');
    const shown = state.shownUrl;
    history.replaceChildren();
    for (const category of answer.categories || []) {
        if (!category.slides || category.slides.length === 0)
            continue;
        const section = document.createElement('div');
        section.className = 'sls-category';
        const title = document.createElement('h2');
        title.textContent = category.CID === 0 ? 'Slides' : category.title;
        const list = document.createElement('ul');
        list.className = 'sls-thumbs';
        for (const slide of category.slides) {
            const item = document.createElement('li');
            const button = document.createElement('button');
            button.type = 'button';
            button.className = 'sls-thumb';
            button.dataset.md5 = slide.md5;
            button.setAttribute('aria-current', '/' + slide.url === shown ? 'true' : 'false');
            const image = document.createElement('img');
            image.src = '/' + slide.url;
            image.alt = '';
            image.loading = 'lazy';
            button.appendChild(image);
            item.appendChild(button);
            list.appendChild(item);
        }
        section.append(title, list);
        history.appendChild(section);
    }
}

function render() {
    if (!state.answer)
        return;
    renderCurrent(state.answer);
    renderHistory(state.answer);
    const mode = document.querySelector('.sls-mode');
    mode.setAttribute('aria-pressed', state.follow ? 'true' : 'false');
    mode.textContent = state.follow ? 'SlideShow' : 'Interactive';
}

async function poll() {
    try {
        const response = await fetch(basePath() + '?getSlides', { cache: 'no-store' });
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
    document.querySelector('.sls-history').addEventListener('click', function (event) {
        const thumb = event.target.closest('.sls-thumb');
        if (!thumb)
            return;
        state.follow = false;
        state.picked = thumb.dataset.md5;
        render();
    });
    document.querySelector('.sls-mode').addEventListener('click', function () {
        state.follow = !state.follow;
        state.picked = null;
        render();
    });
    document.querySelector('.sls-link').addEventListener('click', function (event) {
        const link = event.currentTarget.dataset.link;
        if (link)
            window.zozAjax.call('openBlank', link).catch(function () { /* reported */ });
    });
}

function init() {
    wireEvents();
    poll();
    setInterval(poll, POLL_MS);
}

init();
