'use strict';
// Texts for the pages: the UI string table of the index page, entity decoding
// of texts that the player sends HTML-escaped, and a safe renderer for the few
// formatting tags that the player's own texts use.
(function () {
    // Tags kept when showing the player's own formatted texts; every other
    // element is reduced to its text.
    const ALLOWED_TAGS = new Set(['B', 'STRONG', 'I', 'EM', 'BR', 'P', 'UL', 'LI', 'SPAN']);

    function readJsonBlock(doc, id) {
        const element = doc.getElementById(id);
        if (!element)
            return null;
        try {
            return JSON.parse(element.textContent);
        } catch (e) {
            console.error('zoz: data block "' + id + '" is not valid JSON');
            return null;
        }
    }

    let strings = null;
    function table() {
        if (strings)
            return strings;
        strings = readJsonBlock(document, 'zoz-strings');
        if (!strings) {
            try {
                if (window.parent !== window && window.parent.zozLang)
                    strings = window.parent.zozLang;
            } catch (e) {
                strings = null;
            }
        }
        if (!strings)
            strings = {};
        return strings;
    }

    const ENTITIES = { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'", nbsp: '\u00a0' };

    // Control characters other than white space (a broadcast label may carry
    // one) cannot be shown; the pages leave them out, as the player does.
    const UNSHOWN_CONTROLS = /[\u0000-\u0008\u000b\u000e-\u001f\u007f-\u009f]/g;

    // "&lt;b&gt;" -> "<b>". Only for putting the result in as text.
    function decodeEntities(text) {
        return String(text).replace(/&(#x[0-9a-fA-F]+|#[0-9]+|[a-zA-Z]+);/g, function (whole, name) {
            if (name[0] === '#') {
                const code = name[1] === 'x' || name[1] === 'X' ? parseInt(name.slice(2), 16) : parseInt(name.slice(1), 10);
                return Number.isFinite(code) && code > 0 && code <= 0x10ffff ? String.fromCodePoint(code) : whole;
            }
            return Object.prototype.hasOwnProperty.call(ENTITIES, name) ? ENTITIES[name] : whole;
        }).replace(UNSHOWN_CONTROLS, '');
    }

    // The text under a key path ("SCAN.TITLE"), decoded; `fallback` when absent.
    function text(path, fallback) {
        let node = table();
        for (const part of path.split('.')) {
            if (node === null || typeof node !== 'object' || !(part in node))
                return fallback === undefined ? path : fallback;
            node = node[part];
        }
        return typeof node === 'string' ? decodeEntities(node) : (fallback === undefined ? path : fallback);
    }

    const TAG = /<\s*(\/?)\s*([a-zA-Z][a-zA-Z0-9]*)\b[^>]*?(\/?)\s*>/g;
    const VOID_TAGS = new Set(['BR']);

    // Shows a formatted text of the player (a notification, a question) in
    // `element`. The text is never given to the HTML parser (which would
    // already look at handlers in it): a small scanner rebuilds the plain
    // formatting tags without any attribute, drops every other tag and puts
    // the rest in as text.
    function setMarkup(element, markup) {
        element.replaceChildren();
        const text = String(markup);
        const open = [element];
        let last = 0;
        const appendText = function (part) {
            if (part)
                open[open.length - 1].appendChild(document.createTextNode(decodeEntities(part)));
        };
        for (const match of text.matchAll(TAG)) {
            appendText(text.slice(last, match.index));
            last = match.index + match[0].length;
            const name = match[2].toUpperCase();
            if (!ALLOWED_TAGS.has(name))
                continue;
            if (match[1]) {
                for (let i = open.length - 1; i > 0; --i) {
                    if (open[i].tagName === name) {
                        open.length = i;
                        break;
                    }
                }
            } else {
                const created = document.createElement(name.toLowerCase());
                open[open.length - 1].appendChild(created);
                if (!VOID_TAGS.has(name) && !match[3])
                    open.push(created);
            }
        }
        appendText(text.slice(last));
    }

    // Sets every [data-text] element's text and every [data-title] element's
    // title and accessible name from the table.
    function applyTexts(root) {
        for (const element of root.querySelectorAll('[data-text]'))
            element.textContent = text(element.dataset.text, element.textContent);
        for (const element of root.querySelectorAll('[data-title]')) {
            const label = text(element.dataset.title, element.getAttribute('title') || '');
            element.title = label.replace(/<br\s*\/?>/gi, ' ');
            if (!element.hasAttribute('aria-label') || element.dataset.labelFromTitle !== undefined)
                element.setAttribute('aria-label', element.title);
        }
    }

    window.zozText = {
        table: table,
        text: text,
        decodeEntities: decodeEntities,
        setMarkup: setMarkup,
        applyTexts: applyTexts,
        readJsonBlock: readJsonBlock,
    };
})();
