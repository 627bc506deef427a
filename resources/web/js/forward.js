'use strict';
// Below a virtual address ("/0.12.3/index.html") this page waits until the
// player knows the service with that address and then moves to its page.

// Constants
const POLL_MS = 1000;
const VIRTUAL_ADDRESS = /^\d+(\.\d+){1,2}$/;
const REQUEST_PATH = /^[A-Za-z0-9_.-]+\/$/;

// Pure helpers
// "/0.12.3/index.html" -> "0.12.3"; "" when the path names no virtual address.
function virtualAddressOf(pathname) {
    const parts = pathname.split('/').filter(function (part) { return part.length > 0; });
    const candidate = parts.length >= 2 ? parts[parts.length - 2] : '';
    return VIRTUAL_ADDRESS.test(candidate) ? candidate : '';
}

// Rendering and polling
async function check(address) {
    try {
        const answer = await window.zozAjax.call('checkVirtualAddress', address);
        if (answer.available && typeof answer.requestPath === 'string' && REQUEST_PATH.test(answer.requestPath)) {
            window.location.replace('/' + answer.requestPath);
            return;
        }
    } catch (e) {
        // Reported by the ajax module; try again.
    }
    setTimeout(function () { check(address); }, POLL_MS);
}

function init() {
    window.zozText.applyTexts(document);
    const address = virtualAddressOf(window.location.pathname);
    document.querySelector('.forward-address-value').textContent = address || '-';
    if (address)
        check(address);
}

init();
