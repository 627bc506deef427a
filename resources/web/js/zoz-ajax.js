'use strict';
// Every request a page sends to the player goes through here. State-changing
// commands carry the process's access token; an answer that is not JSON with
// "success" true is a failure that is reported, never silently dropped.
(function () {
    const TOKEN_HEADER = 'X-ZOZ-Token';
    const AJAX_PATH = '/ajax';
    // Commands that only read; everything else changes state and needs the token.
    const READ_ONLY = new Set([
        'getServerInfo', 'getHttpRefreshCycle', 'checkVirtualAddress', 'getSettingsUpdate',
        'getCredits', 'getServiceList', 'getSchedulerInfo', 'spiGetScanInfo', 'spiGetInfo',
    ]);

    const failureListeners = [];

    function ownToken() {
        const meta = document.querySelector('meta[name="zoz-token"]');
        return meta ? meta.getAttribute('content') : '';
    }

    function findToken() {
        const own = ownToken();
        if (own)
            return own;
        try {
            if (window.parent !== window && window.parent.zozAjax)
                return window.parent.zozAjax.token();
        } catch (e) {
            // A parent of another origin is no source of our token.
        }
        return '';
    }

    let cachedToken = null;
    function token() {
        if (cachedToken === null)
            cachedToken = findToken();
        return cachedToken;
    }

    const PLAIN_VALUE = /^[A-Za-z0-9._-]*$/;
    const ENCODED_MARKER = '__UTF8__';

    // The player takes a query value as it is, unless it starts with the
    // marker: then "%XX" stands for a character up to 255 and "%uXXXX" for
    // any other UTF-16 unit.
    function encodeValue(value) {
        const text = String(value);
        if (PLAIN_VALUE.test(text))
            return text;
        let out = ENCODED_MARKER;
        for (let i = 0; i < text.length; ++i) {
            const ch = text[i];
            const code = text.charCodeAt(i);
            if (/[A-Za-z0-9._-]/.test(ch))
                out += ch;
            else if (code < 256)
                out += '%' + code.toString(16).toUpperCase().padStart(2, '0');
            else
                out += '%u' + code.toString(16).toUpperCase().padStart(4, '0');
        }
        return out;
    }

    function buildUrl(command, value, params) {
        const parts = [encodeURIComponent(command) + (value === undefined || value === null ? '' : '=' + encodeValue(value))];
        if (params) {
            for (const [key, v] of Object.entries(params)) {
                if (v === undefined || v === null || v === false)
                    continue;
                parts.push(encodeURIComponent(key) + (v === true ? '' : '=' + encodeValue(v)));
            }
        }
        return AJAX_PATH + '?' + parts.join('&');
    }

    function reportFailure(command, error) {
        console.error('zoz: command "' + command + '" failed:', error.message);
        for (const listener of failureListeners) {
            try {
                listener(command, error);
            } catch (e) {
                console.error('zoz: failure listener threw', e);
            }
        }
    }

    // Sends one command. `value` is the command's own argument (or undefined);
    // `params` further keys: true adds a bare key, false or null leaves it out.
    // Resolves with the parsed answer; rejects (after reporting) on any failure.
    // With options.quiet a refusal ("success": false) resolves instead, for
    // commands whose refusal the page explains itself.
    async function call(command, value, params, options) {
        const headers = { 'Accept': 'application/json' };
        if (!READ_ONLY.has(command)) {
            const t = token();
            if (t)
                headers[TOKEN_HEADER] = t;
        }
        let answer;
        try {
            const response = await fetch(buildUrl(command, value, params), {
                method: 'GET',
                headers: headers,
                cache: 'no-store',
                credentials: 'same-origin',
            });
            if (!response.ok)
                throw new Error('HTTP status ' + response.status);
            const text = await response.text();
            try {
                answer = JSON.parse(text);
            } catch (e) {
                throw new Error('answer is not JSON');
            }
            if (!answer || typeof answer !== 'object')
                throw new Error('answer is not an object');
            if (answer.success !== true && !(options && options.quiet))
                throw new Error('the player refused the command');
        } catch (error) {
            reportFailure(command, error);
            throw error;
        }
        return answer;
    }

    function onFailure(listener) {
        failureListeners.push(listener);
    }

    window.zozAjax = { call: call, token: token, onFailure: onFailure, buildUrl: buildUrl, encodeValue: encodeValue };
})();
