'use strict';
// Drives the real player's pages in headless Chromium: the start-up scan
// question is answered through the page, the settings page opens every tab and
// keeps a change across a reload and a restart, the selection page lists every
// audio service with its label, a click selects a service and the player
// reports it, mute and volume reach the output, broadcast text stays text, and
// no page logs an error or opens a dialog, the selected service's slides show
// and change in the now-playing panel. The generated ensemble also carries
// a Journaline service: its badge opens the service's own pages, whose menu
// leads to an article; and a programme guide service, whose page lists the
// generated programmes, with now and next and the logo on the selection page.
//
//   node run-pages-test.js --player <zoz> --rtkdab-dir <dir> --scenario generated|slovenia
//        [--ensemble-tool <zoz-ensemble>] [--testdata <dir>] [--artifacts <dir>]
//
// Exit code 77 means skipped (no browser, no recording).

const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');

const SKIP = 77;
const CHROMIUM = process.env.ZOZ_CHROMIUM || '/usr/bin/chromium';
const SERVICES_TIMEOUT_MS = 30000;
// Every wait ends as soon as its condition holds; the limits are stretched so
// that a machine under heavy load (Chromium, the player and a build sharing the
// cores) fails only on a real fault.
const PATIENCE = Number(process.env.ZOZ_TEST_PATIENCE || 4);
function patient(ms) {
    return ms * PATIENCE;
}

// Labels of at most 16 characters, as a DAB label is; the second would run
// script if it were ever inserted as HTML.
const HOSTILE_LABEL = '<svg onload=a()>';
const HOSTILE_TEXT = '<img src=x onerror=alert(1)>';
// Journaline objects as broadcast (ETSI TS 102 979): the object id, a header
// byte with the object type in its upper three bits, then the NML elements:
// 0x01 the title, 0x02 a menu item (target id and text), 0x03 a message body.
const NML_MENU = 1;
const NML_PLAIN = 2;
function utf8(text) {
    return Array.from(Buffer.from(text, 'utf8'));
}
function nmlObject(id, type, title, elements) {
    return [id >> 8, id & 0xFF, type << 5, 0x01].concat(utf8(title), elements);
}
function menuItem(target, text) {
    return [0x02, target >> 8, target & 0xFF].concat(utf8(text));
}
function hex(bytes) {
    return Buffer.from(bytes).toString('hex');
}
// Body codes: 0x10 a line break, 0x12 and 0x13 bold on and off. The hostile
// part is broadcast text and must show as text.
const ARTICLE_TITLE = 'Weather & Sea';
const ARTICLE_BODY = [].concat(utf8('Sunny and warm.'), [0x10, 0x12], utf8('Calm sea'), [0x13],
    utf8(' all day. ' + HOSTILE_TEXT + ' 5 < 6'));
const JOURNALINE_MENU = hex(nmlObject(0, NML_MENU, 'ZOZ Journal', [].concat(menuItem(1, 'Weather today'))));
const JOURNALINE_ARTICLE = hex(nmlObject(1, NML_PLAIN, ARTICLE_TITLE, [0x03].concat(ARTICLE_BODY)));
// What each scenario's Journaline service shows: the generated one a menu
// with an article; the recording carries only its main menu (object 0,
// repeated), so its one item leads to the page that waits for the object.
const GENERATED_JOURNALINE = { label: 'ZOZ Info', menuTitle: 'ZOZ Journal', item: 'Weather today', article: true };
const SLOVENIA_JOURNALINE = { label: 'Info', menuTitle: 'Journaline Service', item: 'journal', article: false };
// The first service's Dynamic Label changes every two seconds of the recording.
const DYNAMIC_LABELS = ['Plain text', 'Second text & more'];
// The first service shows two slides in turn, each triggered "now".
const SLIDES = ['zoz-classic.png', 'zoz-classic-2.png'].map(function (name) {
    return path.join(__dirname, '..', '..', 'tools', 'ensemble', 'demo', name);
});
// A Broadcast Website in MOT directory mode (ETSI EN 301 234): a directory
// naming the start page, and the site's files, each in one segment. The start
// page's script reports whether it can reach the player: its page, through
// the frame's parent, or its commands, through fetch.
const WEBSITE_LABEL = 'ZOZ Web';
const WEBSITE_FILES = [
    { name: '/index.html', body: '<!DOCTYPE html><html><head><title>ZOZ Web</title></head><body>' +
        '<h1>ZOZ Web site</h1><img id="logo" src="/img/logo.svg" alt="logo"><p id="probe">running</p><script>' +
        'var found = [];' +
        'try { window.parent.document.querySelector("body"); found.push("parent-readable"); }' +
        ' catch (e) { found.push("parent-isolated"); }' +
        'fetch("/ajax?getServerInfo").then(function () { found.push("fetch-allowed"); },' +
        ' function () { found.push("fetch-blocked"); }).then(function () {' +
        ' document.getElementById("probe").textContent = found.join(" "); });' +
        '</script></body></html>' },
    { name: '/img/logo.svg', body: '<svg xmlns="http://www.w3.org/2000/svg" width="40" height="40">' +
        '<rect width="40" height="40" fill="#06c"/></svg>' },
];
function segmentField(bytes) {
    return [(bytes.length >> 8) & 0x1F, bytes.length & 0xFF].concat(bytes);
}
function websiteGroups(address) {
    const startPage = [0x01].concat(utf8('/index.html')); // profile byte, then the name
    const directoryExtension = [0xC0 | 0x22, startPage.length].concat(startPage);
    let entries = [];
    WEBSITE_FILES.forEach(function (file, i) {
        entries = entries.concat([0, i + 1], motHeader(Buffer.byteLength(file.body), 1, 0, file.name));
    });
    const size = 13 + directoryExtension.length + entries.length;
    const directory = [(size >> 24) & 0x3F, (size >> 16) & 0xFF, (size >> 8) & 0xFF, size & 0xFF,
        0, WEBSITE_FILES.length, 0, 0, 10, 0x04, 0x00, 0, directoryExtension.length].concat(directoryExtension, entries);
    const groups = [{ address: address, type: 6, segment: 0, transportId: 0, hex: hex(segmentField(directory)) }];
    WEBSITE_FILES.forEach(function (file, i) {
        groups.push({ address: address, type: 4, segment: 0, transportId: i + 1, hex: hex(segmentField(utf8(file.body))) });
    });
    return groups;
}
// The programme guide of the generated ensemble, a MOT carousel with a
// directory on packet address 2: service information naming "ZOZ Alpha" with
// its logo, and its schedule around the time the test runs. The documents are
// in the binary form of ETSI TS 102 371: a tag, a length (0xFE and 0xFF start
// the 16- and 24-bit forms), then attributes, children and character data.
function bitWriter() {
    const bits = [];
    return {
        put: function (value, count) {
            for (let i = count - 1; i >= 0; --i)
                bits.push(Math.floor(value / Math.pow(2, i)) % 2);
        },
        bytes: function () {
            const out = [];
            for (let i = 0; i < bits.length; i += 8)
                out.push(bits.slice(i, i + 8).reduce(function (byte, bit) { return byte * 2 + bit; }, 0));
            return out;
        },
    };
}
function spiBlock(tag, content) {
    const n = content.length;
    const length = n < 0xFE ? [n] : n <= 0xFFFF ? [0xFE, n >> 8, n & 0xFF] : [0xFF, n >> 16, (n >> 8) & 0xFF, n & 0xFF];
    return [tag].concat(length, content);
}
function spiText(tag, text) {
    return spiBlock(tag, spiBlock(0x01, utf8(text)));
}
function be16(value) {
    return [(value >> 8) & 0xFF, value & 0xFF];
}
// UTC seconds as a DAB time with seconds: validity, MJD, UTC flag, hours, minutes, seconds, milliseconds.
function dabTime(seconds) {
    const writer = bitWriter();
    const day = Math.floor(seconds / 86400);
    const rest = seconds - day * 86400;
    writer.put(1, 1);
    writer.put(day + 40587, 17);
    writer.put(0, 2);
    writer.put(1, 1);
    writer.put(Math.floor(rest / 3600), 5);
    writer.put(Math.floor(rest / 60) % 60, 6);
    writer.put(rest % 60, 6);
    writer.put(0, 10);
    return writer.bytes();
}
// A content ID of a 16-bit SId in the ensemble of the carrying service.
function contentId(sid) {
    return [0x00].concat(be16(sid));
}
function spiProgramme(programme) {
    const time = spiBlock(0x2C, spiBlock(0x80, dabTime(programme.start)).concat(spiBlock(0x81, be16(programme.stop - programme.start))));
    let content = spiText(0x11, programme.name).concat(spiBlock(0x19, time));
    if (programme.description)
        content = content.concat(spiBlock(0x13, spiText(0x1B, programme.description)));
    return spiBlock(0x1C, content);
}
function guideDocuments(sid, ensembleId, programmes) {
    const logo = spiBlock(0x2B, spiBlock(0x80, utf8('image/png')).concat(spiBlock(0x82, utf8('alpha-logo.png')),
        spiBlock(0x83, [2]), spiBlock(0x84, be16(128)), spiBlock(0x85, be16(128))));
    const service = spiBlock(0x28, spiText(0x11, 'Alpha Radio').concat(
        spiBlock(0x13, spiText(0x1B, 'Music\nand news')), spiBlock(0x13, logo), spiBlock(0x29, spiBlock(0x80, contentId(sid)))));
    const ensemble = spiBlock(0x26, spiBlock(0x80, ensembleId).concat(spiText(0x11, 'ZOZ Test'), service));
    const si = spiBlock(0x03, spiBlock(0x80, be16(1)).concat(ensemble));
    let schedule = spiBlock(0x80, be16(1));
    for (const programme of programmes)
        schedule = schedule.concat(spiProgramme(programme));
    const pi = spiBlock(0x02, spiBlock(0x05, contentId(sid)).concat(spiBlock(0x21, schedule)));
    return { si: si, pi: pi };
}
// MOT: a header core (body size, header size, content type and subtype) with
// the ContentName; a directory (size, object count, carousel period, segment
// size, no extension) of transport ids and headers; each object one segment.
function motHeader(bodySize, type, subType, name) {
    const nameBytes = [15 << 4].concat(utf8(name));
    const extension = [0xC0 | 12, nameBytes.length].concat(nameBytes);
    const writer = bitWriter();
    writer.put(bodySize, 28);
    writer.put(7 + extension.length, 13);
    writer.put(type, 6);
    writer.put(subType, 9);
    return writer.bytes().concat(extension);
}
function motCarousel(address, directoryId, objects) {
    let entries = [];
    objects.forEach(function (object, index) {
        entries = entries.concat(be16(directoryId + 1 + index), motHeader(object.body.length, object.type, object.subType, object.name));
    });
    const writer = bitWriter();
    writer.put(0, 2);
    writer.put(13 + entries.length, 30);
    writer.put(objects.length, 16);
    writer.put(100, 24);
    writer.put(0, 3);
    writer.put(4000, 13);
    writer.put(0, 16);
    const groups = [{ address: address, type: 6, segment: 0, transportId: directoryId, hex: hex(segmentField(writer.bytes().concat(entries))) }];
    objects.forEach(function (object, index) {
        groups.push({ address: address, type: 4, segment: 0, transportId: directoryId + 1 + index, hex: hex(segmentField(object.body)) });
    });
    return groups;
}
const GUIDE_SID = 0xE1D1;
// Whole minutes around now: one programme on air, the next, and one tomorrow.
const GUIDE_NOW = Math.floor(Date.now() / 60000) * 60;
const GUIDE_PROGRAMMES = [
    { name: 'Morning Show', start: GUIDE_NOW - 1200, stop: GUIDE_NOW + 2400, description: 'Wake up\nwith us' },
    { name: HOSTILE_TEXT, start: GUIDE_NOW + 2400, stop: GUIDE_NOW + 4200 },
    { name: 'Late Night Jazz', start: GUIDE_NOW + 86400, stop: GUIDE_NOW + 86400 + 3600 },
];
const GUIDE_DOCUMENTS = guideDocuments(GUIDE_SID, [0xE1, 0xE0, 0xC7], GUIDE_PROGRAMMES);
const GUIDE_GROUPS = motCarousel(2, 40, [
    { name: 'si.bin', type: 7, subType: 0, body: GUIDE_DOCUMENTS.si },
    { name: 'pi.bin', type: 7, subType: 1, body: GUIDE_DOCUMENTS.pi },
    { name: 'alpha-logo.png', type: 2, subType: 3, body: Array.from(fs.readFileSync(SLIDES[0])) },
]);
const GENERATED_GUIDE = { label: 'ZOZ Guide', service: 'ZOZ Alpha', programmes: GUIDE_PROGRAMMES };
const GENERATED = {
    seconds: 12, // long enough to carry both slides whole before the recording loops
    time: '2026-06-21T10:00:00',
    ensemble: { eid: '0xE0C7', ecc: '0xE1', label: 'ZOZ Test & Co', shortLabelFlags: '0xE000', localTimeOffset: 2 },
    subChannels: [
        { id: 1, bitRate: 64, protection: 'EEP-3A', content: { type: 'mp2', tone: [440.0], labels: DYNAMIC_LABELS, labelSeconds: 2,
            slides: SLIDES.map(function (file) { return { file: file, trigger: 'now' }; }) } },
        { id: 2, bitRate: 64, protection: 'EEP-3A', content: { type: 'mp2', tone: [330.0], labels: [HOSTILE_TEXT], labelSeconds: 2 } },
        { id: 3, bitRate: 64, protection: 'EEP-3A', content: { type: 'mp2', tone: [220.0], labels: ['Third'], labelSeconds: 2 } },
        { id: 4, bitRate: 16, protection: 'EEP-3A', content: { type: 'packet', groups: [
            { address: 1, type: 0, hex: JOURNALINE_MENU },
            { address: 1, type: 0, hex: JOURNALINE_ARTICLE },
        ].concat(websiteGroups(2)) } },
        // The guide on a sub-channel of its own: it arrives only once the guide service is selected.
        { id: 5, bitRate: 16, protection: 'EEP-3A', content: { type: 'packet', groups: GUIDE_GROUPS } },
    ],
    services: [
        { sid: '0xE1D1', label: 'ZOZ Alpha', shortLabelFlags: '0xF000', programmeType: 10, components: [
            { kind: 'audio', subChannel: 1, type: 0, applications: [{ type: 2, data: '0c3c' }] },
        ] },
        { sid: '0xE1D2', label: HOSTILE_LABEL, shortLabelFlags: '0xF000', programmeType: 4, components: [{ kind: 'audio', subChannel: 2, type: 0 }] },
        { sid: '0xE1D3', label: 'ZOZ Gamma', shortLabelFlags: '0xF000', programmeType: 13, components: [{ kind: 'audio', subChannel: 3, type: 0 }] },
        { sid: '0xE1D10004', data: true, label: GENERATED_JOURNALINE.label, shortLabelFlags: '0xF000', components: [
            { kind: 'packet', subChannel: 4, type: 5, scId: 0x104, packetAddress: 1, applications: [{ type: 0x44A }] },
        ] },
        { sid: '0xE1D10005', data: true, label: WEBSITE_LABEL, shortLabelFlags: '0xF000', components: [
            { kind: 'packet', subChannel: 4, type: 60, scId: 0x105, packetAddress: 2, applications: [{ type: 3 }] },
        ] },
        // ECC E1 and country E, as the ensemble's and the audio services' identifiers say.
        { sid: '0xE1E10005', data: true, label: GENERATED_GUIDE.label, shortLabelFlags: '0xF000', components: [
            { kind: 'packet', subChannel: 5, type: 60, scId: 0x106, packetAddress: 2, applications: [{ type: 7 }] },
        ] },
    ],
};
const SLOVENIA_AUDIO_SERVICES = 13;

function parseArguments(argv) {
    const options = {};
    for (let i = 2; i < argv.length; i += 2) {
        if (!argv[i].startsWith('--') || i + 1 >= argv.length)
            throw new Error('bad argument ' + argv[i]);
        options[argv[i].slice(2)] = argv[i + 1];
    }
    return options;
}

function freePort() {
    return new Promise(function (resolve, reject) {
        const server = net.createServer();
        server.on('error', reject);
        server.listen(0, '127.0.0.1', function () {
            const port = server.address().port;
            server.close(function () { resolve(port); });
        });
    });
}

function sleep(ms) {
    return new Promise(function (resolve) { setTimeout(resolve, ms); });
}

async function waitFor(what, condition, timeoutMs) {
    const end = Date.now() + patient(timeoutMs);
    let last;
    while (Date.now() < end) {
        try {
            last = await condition();
            if (last)
                return last;
        } catch (e) {
            last = e;
        }
        await sleep(200);
    }
    throw new Error('timed out waiting for ' + what + (last instanceof Error ? ': ' + last.message : ''));
}

async function httpUp(port) {
    const response = await fetch('http://127.0.0.1:' + port + '/ajax?getHttpRefreshCycle');
    return response.ok;
}

function writeConfig(folder, channel) {
    const file = path.join(folder, 'zoz.cfg');
    fs.writeFileSync(file, '<?xml version="1.0"?>\n<zoz>\n  <scanFrequencies>\n    <dab>\n' +
        '      <frequency frequencyOrId="' + channel + '" label="' + channel + '"/>\n' +
        '    </dab>\n  </scanFrequencies>\n</zoz>\n');
    return file;
}

function prepareSource(options, work) {
    if (options.scenario === 'generated') {
        const sources = path.join(work, 'sources');
        fs.mkdirSync(sources);
        const description = path.join(work, 'ensemble.json');
        fs.writeFileSync(description, JSON.stringify(GENERATED, null, 2));
        execFileSync(options['ensemble-tool'], [description, path.join(sources, '5C.eti')], { stdio: 'inherit' });
        const labels = GENERATED.services.filter(function (s) {
            return s.components.some(function (c) { return c.kind === 'audio'; });
        }).map(function (s) { return s.label; });
        return { source: sources, channel: '5C', labels: labels, count: labels.length, journaline: GENERATED_JOURNALINE,
            guide: GENERATED_GUIDE, website: WEBSITE_LABEL };
    }
    const recording = path.join(options.testdata || '', 'slovenia-r1.eti');
    if (!options.testdata || !fs.existsSync(recording))
        return null;
    return { source: recording + '@5C', channel: '5C', labels: null, count: SLOVENIA_AUDIO_SERVICES, journaline: SLOVENIA_JOURNALINE };
}

function startPlayer(options, work, source, port) {
    const home = path.join(work, 'home');
    fs.mkdirSync(home, { recursive: true });
    const env = Object.assign({}, process.env, {
        HOME: home,
        RTKDAB_SOURCE: source.source,
        RTKDAB_SPEED: '2',
        QT_QPA_PLATFORM: 'offscreen',
        LD_LIBRARY_PATH: options['rtkdab-dir'] + (process.env.LD_LIBRARY_PATH ? ':' + process.env.LD_LIBRARY_PATH : ''),
    });
    delete env.DISPLAY;
    delete env.WAYLAND_DISPLAY;
    const config = writeConfig(work, source.channel);
    const log = fs.openSync(path.join(work, 'player.log'), 'a');
    const player = spawn(options.player, ['-cfg', config, '-hp', String(port)], { env: env, stdio: ['ignore', log, log] });
    player.on('exit', function (code, signal) { player.exited = { code: code, signal: signal }; });
    return player;
}

async function stopPlayer(player) {
    if (player.exited)
        return;
    player.kill('SIGTERM');
    for (let i = 0; i < 50 && !player.exited; ++i)
        await sleep(100);
    if (!player.exited)
        player.kill('SIGKILL');
}

async function serverInfo(page) {
    return page.evaluate(async function () {
        const response = await fetch('/ajax?getServerInfo', { cache: 'no-store' });
        return response.json();
    });
}

async function settingsUpdate(page) {
    return page.evaluate(async function () {
        const response = await fetch('/ajax?getSettingsUpdate', { cache: 'no-store' });
        return response.json();
    });
}

function reloadFrame(page) {
    return page.evaluate(function () { document.getElementById('content-frame').contentWindow.location.reload(); });
}

// Every tab of the settings page opens; a change goes to the player, a value
// it refuses is explained and undone.
async function changeSettings(page, problems) {
    const frame = page.frameLocator('#content-frame');
    await page.locator('.nav-settings').click();
    await frame.locator('.settings-page').waitFor({ timeout: patient(10000) });
    for (const category of ['AUDIO', 'INFO', 'GENERAL']) {
        await frame.locator('#tab-' + category).click();
        await frame.locator('#panel-' + category).waitFor({ state: 'visible', timeout: patient(5000) });
    }
    await frame.locator('#zoz-setting-notify-2').check();
    await waitFor('the notify mode to be stored', async function () {
        return (await settingsUpdate(page)).notifyMode === 2;
    }, 5000);
    // Traffic news (bit 1) heard without its data service: the bit stays in
    // the listening mask and leaves the one of the shown applications.
    await frame.locator('input[name="announcement-1"][value="a"]').check();
    await waitFor('the announcement choice to be stored', async function () {
        const masks = (await serverInfo(page)).announcements;
        return (masks.DAB & 2) !== 0 && (masks.DABapps & 2) === 0 && (masks.DABapps & 1) !== 0;
    }, 5000);
    const timestep = frame.locator('#zoz-setting-jou-timestep');
    await timestep.fill('45');
    await timestep.press('Tab');
    await waitFor('the autoplay step to be stored', async function () {
        return (await settingsUpdate(page)).jou.apTimestep === 45;
    }, 5000);
    await timestep.fill('0');
    await timestep.press('Tab');
    await waitFor('the refusal to be shown', async function () {
        return await frame.locator('.settings-status').isVisible() &&
            /jouSetApTimestep/.test(await frame.locator('.settings-status').innerText()) &&
            (await timestep.inputValue()) === '45';
    }, 5000);
    if ((await settingsUpdate(page)).jou.apTimestep !== 45)
        problems.push('a refused autoplay step was stored');
    await reloadFrame(page);
    await checkSettingsKept(page, 'after a reload');
    await frame.locator('#tab-AUDIO').click();
    await waitFor('the audio tab to open', async function () {
        return frame.locator('#panel-AUDIO').isVisible();
    }, 5000);
    // The decoder mode chosen is stored and named the active one.
    await frame.locator('#zoz-setting-decoder-0').check();
    await waitFor('the decoder mode to be stored', async function () {
        return (await settingsUpdate(page)).audioDecoderMode === 0 &&
            /\(currently active\)$/.test(await frame.locator('label:has(#zoz-setting-decoder-0)').getAttribute('title'));
    }, 5000);
}

// The front-end, copyright and info pages open with their texts; a licence
// opens on a click.
async function otherPages(page, problems) {
    const frame = page.frameLocator('#content-frame');
    const show = function (url) {
        return page.evaluate(function (target) { document.getElementById('content-frame').src = target; }, url);
    };
    await show('/?frontend=ADVANCED');
    await frame.locator('#panel-ADVANCED').waitFor({ state: 'visible', timeout: patient(10000) });
    if (!(await frame.locator('#zoz-fe-agc').isVisible()))
        problems.push('the front-end page shows no AGC switch');
    await show('/?copyright');
    const licence = frame.locator('#licence-zlib');
    await licence.waitFor({ timeout: patient(10000) });
    await licence.locator('summary').click();
    await waitFor('the zlib licence to open', async function () {
        return /Jean-loup Gailly and Mark Adler/.test(await licence.locator('pre').innerText());
    }, 5000);
    await show('/?info&isZOZ');
    await frame.locator('.info-page').waitFor({ timeout: patient(10000) });
    if (!/Version/.test(await frame.locator('.info-table').first().innerText()))
        problems.push('the info page shows no version');
}

async function checkSettingsKept(page, when) {
    const frame = page.frameLocator('#content-frame');
    await waitFor('the settings ' + when, async function () {
        return await frame.locator('#zoz-setting-notify-2').isChecked() &&
            await frame.locator('input[name="announcement-1"][value="a"]').isChecked() &&
            (await frame.locator('#zoz-setting-jou-timestep').inputValue()) === '45';
    }, 10000);
}

// Mute and volume on the now-playing panel reach the audio output.
async function muteAndVolume(page) {
    const frame = page.frameLocator('#content-frame');
    const mute = frame.locator('.control-mute');
    await mute.click();
    await waitFor('the output to be muted', async function () {
        const info = await serverInfo(page);
        return info.audio.config.muted === true && (await mute.getAttribute('aria-pressed')) === 'true';
    }, 5000);
    await mute.click();
    await waitFor('the output to be open again', async function () {
        return (await serverInfo(page)).audio.config.muted === false;
    }, 5000);
    await frame.locator('.control-volume').evaluate(function (slider) {
        slider.value = '40';
        slider.dispatchEvent(new Event('change', { bubbles: true }));
    });
    await waitFor('the volume to be set', async function () {
        return (await serverInfo(page)).audio.config.level === 40;
    }, 5000);

    // The keys the settings page names: with no control focused, the right
    // arrow steps the volume up and Space mutes; on a button Space stays the
    // button's.
    await frame.locator('body').evaluate(function () { document.activeElement.blur(); });
    await page.keyboard.press('ArrowRight');
    await waitFor('the volume to step up', async function () {
        return (await serverInfo(page)).audio.config.level === 50;
    }, 5000);
    await page.keyboard.press(' ');
    await waitFor('the output to be muted by its key', async function () {
        return (await serverInfo(page)).audio.config.muted === true && (await mute.getAttribute('aria-pressed')) === 'true';
    }, 5000);
    await mute.focus();
    await page.keyboard.press(' ');
    await waitFor('the mute button to take its own key', async function () {
        return (await serverInfo(page)).audio.config.muted === false &&
            (await mute.getAttribute('aria-pressed')) === 'false';
    }, 5000);
}

// The recording scheduler's dialog: an end before the start is put right, a
// planned recording shows in the list and in the player, and its remove
// button takes it out of both.
async function planRecording(page, problems) {
    const schedulerItems = async function () {
        return page.evaluate(async function () {
            return (await window.zozAjax.call('getSchedulerInfo')).scheduleItems;
        });
    };
    const dialog = page.locator('.scheduler-dialog');
    await page.locator('.nav-scheduler').click();
    await waitFor('the scheduler to list the services', async function () {
        return (await dialog.locator('.scheduler-service option').count()) > 0;
    }, 5000);
    const start = await dialog.locator('.scheduler-start').inputValue();
    await dialog.locator('.scheduler-end').fill(start);
    await dialog.locator('.scheduler-add').click();
    await waitFor('the end time to be put right', async function () {
        return (await dialog.locator('.scheduler-status').isVisible()) &&
            (await dialog.locator('.scheduler-end').inputValue()) !== start;
    }, 5000);
    await dialog.locator('.scheduler-description').fill('<i>Evening</i> news');
    await dialog.locator('.scheduler-add').click();
    await waitFor('the planned recording in the list', async function () {
        return (await dialog.locator('.scheduler-item').count()) === 1;
    }, 5000);
    const items = await schedulerItems();
    if (items.length !== 1 || items[0].duration !== 3600 || items[0].ensembleId === -1)
        problems.push('planned recording in the player: ' + JSON.stringify(items));
    if ((await dialog.locator('.scheduler-what').textContent()).indexOf('<i>Evening</i> news') < 0)
        problems.push('the description is not shown as text');
    await dialog.locator('.scheduler-remove').click();
    await dialog.locator('.scheduler-ask-yes').click();
    await waitFor('the list to be empty again', async function () {
        return (await dialog.locator('.scheduler-item').count()) === 0 && (await schedulerItems()).length === 0;
    }, 5000);
    await dialog.locator('.scheduler-close').click();
}

// The SPI scan's dialog, as the window's menu opens it: the scan starts with
// it, its progress shows, and its stop button closes it and ends the scan.
async function spiScanDialog(page, problems) {
    const dialog = page.locator('.spiscan-dialog');
    await page.evaluate(function () { window.zoz.spiScan(); });
    await waitFor('the SPI scan dialog', async function () { return dialog.isVisible(); }, 5000);
    const info = await page.evaluate(async function () { return window.zozAjax.call('spiGetScanInfo'); });
    if (typeof info.count !== 'number' || typeof info.name !== 'string' || info.success !== true)
        problems.push('SPI scan progress: ' + JSON.stringify(info));
    await waitFor('the scanned service or none to show', async function () {
        return (await dialog.locator('.spiscan-service').innerText()).trim() !== '';
    }, 5000);
    if ((await dialog.locator('.spiscan-description').innerText()).indexOf('SPI services') < 0)
        problems.push('the SPI scan dialog lacks its description');
    await dialog.locator('.spiscan-stop').click();
    await waitFor('the SPI scan dialog to close', async function () { return !(await dialog.isVisible()); }, 5000);
}

// The record button records the playing service in WAVE: the file's name and
// the running time show beside the button, and a second press ends it.
async function recordButton(page) {
    await page.evaluate(async function () {
        for (const type of [1, 2])
            await window.zozAjax.call('setAudioRecordingFormat', 1, { 'class': type });
    });
    const button = page.locator('.nav-record');
    await button.click();
    await waitFor('the recording to be written', async function () {
        const config = (await serverInfo(page)).audio.config;
        return config.isRecording === true && /\.wav$/.test(config.recordingFile) &&
            (await button.getAttribute('aria-pressed')) === 'true' &&
            /\.wav$/.test(await page.locator('.record-file').innerText());
    }, 15000);
    await waitFor('the recording time to run', async function () {
        return /^0:0[1-9]$/.test(await page.locator('.record-time').innerText());
    }, 15000);
    await button.click();
    await waitFor('the recording to end', async function () {
        const config = (await serverInfo(page)).audio.config;
        return config.isRecording === false && config.recordingFile === '' &&
            await page.locator('.record-status').isHidden();
    }, 10000);
}

// The now-playing panel follows the selected service's Dynamic Label as it
// changes and shows its audio configuration; a label or text with markup in
// it shows as text.
async function checkNowPlaying(page, frame, problems) {
    const rows = frame.locator('.service-row:has(.kind-audio)');
    const message = frame.locator('.now-playing-message');
    const select = async function (label) {
        const row = rows.filter({ has: frame.locator('.service-label', { hasText: label }) }).first();
        const sid = Number(await row.getAttribute('data-sid'));
        await row.locator('.service-select').click();
        await waitFor('the selection of ' + label, async function () {
            return (await serverInfo(page)).selectedSID === sid;
        }, 10000);
    };
    await select('ZOZ Alpha');
    const seen = new Set();
    await waitFor('both Dynamic Label texts in the panel', async function () {
        seen.add(await message.innerText());
        return DYNAMIC_LABELS.every(function (text) { return seen.has(text); });
    }, 20000);
    await waitFor('the audio badges', async function () {
        return /Layer 2/.test(await frame.locator('.badge-codec').innerText()) &&
            /kBit\/s/.test(await frame.locator('.badge-bitrate').innerText()) &&
            (await frame.locator('.badge-channels').innerText()) !== '';
    }, 10000);
    if ((await frame.locator('.now-playing-ensemble').innerText()) !== GENERATED.ensemble.label)
        problems.push('the panel shows the ensemble as "' + (await frame.locator('.now-playing-ensemble').innerText()) + '"');

    await checkSlides(page, frame, problems);

    await select(HOSTILE_LABEL);
    await waitFor('the hostile Dynamic Label as text', async function () {
        return (await message.innerText()) === HOSTILE_TEXT;
    }, 20000);
    if ((await frame.locator('.now-playing-label').innerText()) !== HOSTILE_LABEL)
        problems.push('the hostile service label is not shown as text');
    if ((await frame.locator('.now-playing-text img, .now-playing-text svg').count()) !== 0)
        problems.push('a broadcast text in the now-playing panel was inserted as markup');
}

// The selected service's slide shows in the panel and changes with the
// broadcast; the panel's slide opens the SlideShow's page with the slides
// received so far.
async function checkSlides(page, frame, problems) {
    const slide = frame.locator('.now-playing-slide');
    const seen = new Set();
    await waitFor('two slides in turn in the now-playing panel', async function () {
        if (await frame.locator('.now-playing-slide-link').isVisible() &&
            await slide.evaluate(function (image) { return image.complete && image.naturalWidth > 0; }))
            seen.add(await slide.getAttribute('src'));
        return seen.size >= 2;
    }, 30000);
    await frame.locator('.now-playing-slide-link').click();
    await waitFor('the SlideShow page with its slides', async function () {
        return (await frame.locator('body.sls-page .sls-thumb').count()) === 2 &&
            await frame.locator('.sls-image').evaluate(function (image) { return image.complete && image.naturalWidth > 0; });
    }, 15000);
    if (!(await frame.locator('.sls-link').isHidden()))
        problems.push('a slide without click-through link offers one');
    await page.locator('.nav-selection').click();
    await waitFor('the selection page again', async function () {
        return (await frame.locator('.service-row').count()) > 0;
    }, 10000);
}

// Selects the Journaline service, follows its badge to the service's own
// pages and, where there is one, from the menu to the article; the article's
// markup codes become formatting and its broadcast text stays text.
async function checkJournaline(page, frame, expected, problems, options) {
    const row = serviceRow(frame, expected.label);
    const sid = Number(await row.getAttribute('data-sid'));
    await row.locator('.service-select').click();
    await waitFor('the player to select ' + expected.label, async function () {
        return (await serverInfo(page)).selectedSID === sid;
    }, 10000);
    const badge = row.locator('a.service-app[data-app="journaline"]');
    if ((await badge.count()) !== 1) {
        problems.push('the Journaline badge of ' + expected.label + ' is no link');
        return;
    }
    await badge.click();
    // The page waits for the main menu and reloads itself when it arrives.
    const heading = frame.locator('body.journaline h1');
    await waitFor('the Journaline main menu', async function () {
        return (await frame.locator('body.journaline .menu li').count()) > 0 &&
            (await heading.innerText()).trim() === expected.menuTitle;
    }, 30000);
    if (options.artifacts) {
        fs.mkdirSync(options.artifacts, { recursive: true });
        await page.screenshot({ path: path.join(options.artifacts, 'journaline-menu-' + options.scenario + '.png') });
    }
    const item = frame.locator('body.journaline .menu a', { hasText: expected.item });
    await item.click();
    if (!expected.article) {
        await waitFor('the page of an object not on air', async function () {
            return (await frame.locator('body.journaline .error').count()) === 1 &&
                (await heading.innerText()).trim() === 'Object currently not available';
        }, 30000);
        return;
    }
    const article = frame.locator('body.journaline article');
    await waitFor('the Journaline article', async function () { return (await article.count()) === 1; }, 30000);
    const title = await heading.innerText();
    if (title.trim() !== ARTICLE_TITLE)
        problems.push('the article is titled "' + title + '"');
    const text = await article.innerText();
    if (!text.includes(HOSTILE_TEXT + ' 5 < 6'))
        problems.push('the article\'s broadcast text is not shown as text: ' + text);
    if (!/Sunny and warm\.\s*\nCalm sea all day\./.test(text))
        problems.push('the article\'s line break is lost: ' + text);
    if ((await article.locator('img, svg, script').count()) !== 0)
        problems.push('the article\'s broadcast text was inserted as markup');
    if ((await article.locator('b', { hasText: 'Calm sea' }).count()) !== 1)
        problems.push('the article\'s bold code is not shown in bold');
    if (options.artifacts)
        await page.screenshot({ path: path.join(options.artifacts, 'journaline-article-' + options.scenario + '.png') });
    // Up leads back to the menu, which marks the item the user came from.
    await frame.locator('body.journaline nav.bar a[rel="up"]').click();
    await waitFor('the menu marking the article', async function () {
        const marked = frame.locator('body.journaline .menu a.came-from');
        return (await marked.count()) === 1 && (await marked.innerText()).trim() === expected.item;
    }, 30000);
}

function serviceRow(frame, label) {
    const exactly = new RegExp('^\\s*' + label.replace(/[.*+?^${}()|[\]\\]/g, '\\$&') + '\\s*$');
    return frame.locator('.service-row', { has: frame.locator('.service-label', { hasText: exactly }) }).first();
}

// Selects the guide service and opens the programme guide from the menu bar:
// it lists today's programmes of the service with the one on air marked and
// tomorrow's on the next day; a title stays text. The selected audio
// service's panel shows now and next, and its row the logo the guide named.
async function checkGuide(page, frame, expected, problems, options) {
    await page.locator('.nav-selection').click();
    const guideRow = serviceRow(frame, expected.label);
    const guideSid = Number(await guideRow.getAttribute('data-sid'));
    await guideRow.locator('.service-select').click();
    await waitFor('the player to select ' + expected.label, async function () {
        return (await serverInfo(page)).selectedSID === guideSid;
    }, 10000);
    await page.locator('.nav-guide').click();
    const names = frame.locator('.spi-page .spi-programme .spi-name');
    const [first, second, tomorrow] = expected.programmes;
    await waitFor('the guide to list the programmes', async function () {
        const shown = await names.allTextContents();
        return shown.includes(first.name) && shown.includes(second.name);
    }, 60000);
    const title = (await frame.locator('.spi-title').innerText()).trim();
    if (title !== 'Alpha Radio')
        problems.push('the guide is titled "' + title + '"');
    const onAir = frame.locator('.spi-programme.is-now .spi-name');
    if ((await onAir.count()) !== 1 || (await onAir.innerText()).trim() !== first.name)
        problems.push('the programme on air is not marked');
    if ((await frame.locator('.spi-programmes img, .spi-programmes svg, .spi-programmes script').count()) !== 0)
        problems.push('a programme title was inserted as markup');
    const description = await frame.locator('.spi-programme.is-now .spi-description').innerText();
    if (!/Wake up\s*\nwith us/.test(description))
        problems.push('the description\'s line break is lost: ' + description);
    await frame.locator('.spi-day', { hasText: 'Tomorrow' }).click();
    await waitFor('tomorrow\'s programmes', async function () {
        return (await names.allTextContents()).join('|') === tomorrow.name;
    }, 5000);
    if (options.artifacts)
        await page.screenshot({ path: path.join(options.artifacts, 'guide-' + options.scenario + '.png') });

    await page.locator('.nav-selection').click();
    const row = serviceRow(frame, expected.service);
    await row.locator('.service-select').click();
    await waitFor('now and next of ' + expected.service, async function () {
        return (await frame.locator('.guide-now').innerText()).includes(first.name) &&
            (await frame.locator('.guide-next').innerText()).includes(second.name);
    }, 30000);
    await waitForLogo(frame, expected.service);
}

// The logo the guide named shows in the service's row.
async function waitForLogo(frame, label) {
    await waitFor('the logo of ' + label, async function () {
        const logo = serviceRow(frame, label).locator('img.service-logo');
        return (await logo.count()) === 1 && await logo.evaluate(function (image) {
            return image.complete && image.naturalWidth > 0;
        });
    }, 60000);
}

// Selects the Broadcast Website, follows its badge to the service's page and
// sees the site's start page in its frame: its image loads from the player,
// and its script can neither read the player's page nor call its commands.
async function checkWebsite(page, frame, label, problems, options) {
    await page.locator('.nav-selection').click();
    await waitFor('the selection page to list ' + label, async function () {
        return (await frame.locator('.service-row .service-label', { hasText: label }).count()) === 1;
    }, SERVICES_TIMEOUT_MS);
    const row = frame.locator('.service-row', { has: frame.locator('.service-label', { hasText: label }) }).first();
    const sid = Number(await row.getAttribute('data-sid'));
    await row.locator('.service-select').click();
    await waitFor('the player to select ' + label, async function () {
        return (await serverInfo(page)).selectedSID === sid;
    }, 10000);
    const badge = row.locator('.service-app[data-app="bws"]');
    await waitFor('the Broadcast Website badge', async function () { return (await badge.count()) === 1; }, 30000);
    await badge.click();
    await waitFor('the Broadcast Website page', async function () {
        return (await frame.locator('body.bws-page').count()) === 1;
    }, 10000);
    const site = frame.frameLocator('iframe.bws-site');
    await waitFor('the site\'s start page in its frame', async function () {
        return (await site.locator('h1').count()) === 1 && (await site.locator('#probe').innerText()).includes('fetch');
    }, 60000);
    const logo = site.locator('#logo');
    await waitFor('the site\'s image', async function () {
        return await logo.evaluate(function (image) { return image.complete && image.naturalWidth > 0; });
    }, 10000).catch(async function () {
        problems.push('the site\'s image did not load from ' + await logo.evaluate(function (image) { return image.src; }));
    });
    const probe = (await site.locator('#probe').innerText()).trim();
    if (probe !== 'parent-isolated fetch-blocked')
        problems.push('the site\'s script reached the player: ' + probe);
    if (options.artifacts) {
        fs.mkdirSync(options.artifacts, { recursive: true });
        await page.screenshot({ path: path.join(options.artifacts, 'website-' + options.scenario + '.png') });
    }
}

async function run(options) {
    if (!fs.existsSync(CHROMIUM)) {
        console.log('skipped: no Chromium at ' + CHROMIUM);
        return SKIP;
    }
    let playwright;
    try {
        playwright = require('playwright-core');
    } catch (e) {
        console.log('skipped: playwright-core is not installed (npm ci in tests/browser)');
        return SKIP;
    }
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'zoz-pages-'));
    const source = prepareSource(options, work);
    if (!source) {
        console.log('skipped: slovenia-r1.eti not found in ' + options.testdata);
        return SKIP;
    }
    let port = await freePort();
    let player = startPlayer(options, work, source, port);
    const problems = [];
    let context;
    const waitForPlayer = function () {
        return waitFor('the player\'s HTTP server', function () {
            if (player.exited)
                throw new Error('the player ended: ' + JSON.stringify(player.exited));
            return httpUp(port);
        }, 15000);
    };
    try {
        await waitForPlayer();

        context = await playwright.chromium.launchPersistentContext(path.join(work, 'browser'), {
            executablePath: CHROMIUM,
            headless: true,
            chromiumSandbox: false,
            args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
                '--disable-component-update', '--disable-sync'],
            viewport: { width: 1280, height: 800 },
        });
        const page = context.pages()[0] || await context.newPage();
        page.on('console', function (message) {
            // The broadcast website's probe is refused on purpose; checkWebsite reads what it found.
            if (message.type() === 'error' && !/\/bws-[0-9]+\//.test(message.location().url || ''))
                problems.push('console error: ' + message.text() + ' at ' + JSON.stringify(message.location()));
        });
        page.on('pageerror', function (error) { problems.push('page error: ' + error.message); });
        page.on('dialog', function (dialog) {
            problems.push('dialog opened: ' + dialog.message());
            dialog.dismiss().catch(function () {});
        });

        await page.goto('http://127.0.0.1:' + port + '/');

        // A fresh player has no ensemble yet and asks whether to scan.
        const question = page.locator('.confirm-dialog:not(.scan-dialog)');
        await question.waitFor({ state: 'visible', timeout: patient(15000) });
        const questionText = await page.locator('#confirm-text').innerText();
        if (!/Scan required/.test(questionText))
            problems.push('unexpected start-up question: ' + questionText);
        await page.locator('.confirm-yes').click();
        await question.waitFor({ state: 'hidden', timeout: patient(5000) });
        await waitFor('the scan to start', async function () {
            return (await serverInfo(page)).receiver.scanning === true;
        }, 5000);
        // The main page itself shows the scan: which channel, how far, what was found.
        await waitFor('the scan on the main page', async function () {
            return await page.locator('.scan-banner').isVisible() &&
                /^[0-9]+[A-Z]$/.test(await page.locator('.scan-banner-channel').innerText());
        }, 10000);
        const bannerText = await page.locator('.scan-banner').innerText();
        if (!/services appear in the list when the scan ends/.test(bannerText))
            problems.push('the scan banner does not say when services appear: ' + bannerText);

        // A scan walks every channel of the band, which takes most of a minute;
        // the recording's channel comes first and goes into the ensemble cache
        // at once. A second start reads that cache and needs no scan.
        const cache = path.join(work, 'home', '.zoz', 'DAB.default.zoz');
        await waitFor('the ensemble cache', function () { return fs.existsSync(cache); }, 10000);
        await changeSettings(page, problems);
        await otherPages(page, problems);
        await sleep(1000);
        // The page leaves first: its poll of a player that is gone on purpose is no fault.
        await page.goto('about:blank');
        await stopPlayer(player);
        port = await freePort();
        player = startPlayer(options, work, source, port);
        await waitForPlayer();
        await page.goto('http://127.0.0.1:' + port + '/');

        // The changed settings outlive the player.
        await page.locator('.nav-settings').click();
        await checkSettingsKept(page, 'after a restart');
        await page.locator('.nav-selection').click();

        const frame = page.frameLocator('#content-frame');
        // Data services have rows of their own; every audio service is listed.
        const rows = frame.locator('.service-row:has(.kind-audio)');
        await waitFor(source.count + ' audio services on the selection page', async function () {
            return (await rows.count()) === source.count;
        }, SERVICES_TIMEOUT_MS);

        // A data service's application is attached when the ensemble's
        // application data has come in, which rebuilds the list once more; the
        // page reloads then, and a click at that moment would be lost.
        if (source.journaline) {
            await waitFor('the Journaline badge on the selection page', async function () {
                return (await frame.locator('a.service-app[data-app="journaline"]').count()) > 0;
            }, SERVICES_TIMEOUT_MS);
        }

        const shownLabels = await rows.locator('.service-label').allTextContents();
        if (source.labels) {
            const expected = source.labels.slice().sort().join('|');
            const shown = shownLabels.slice().sort().join('|');
            if (expected !== shown)
                problems.push('labels differ: expected ' + expected + ', shown ' + shown);
            if ((await frame.locator('.service-label svg, .service-label img').count()) !== 0)
                problems.push('a broadcast label was inserted as markup');
        }
        if (shownLabels.some(function (label) { return label.trim().length === 0; }))
            problems.push('a service is listed without a label');

        // Select the second listed service and see the player report it.
        const target = rows.nth(1);
        const sid = Number(await target.getAttribute('data-sid'));
        await target.locator('.service-select').click();
        await waitFor('the player to report the selection', async function () {
            const info = await serverInfo(page);
            return info.selectedSID === sid;
        }, 10000);
        await waitFor('the selected mark', async function () {
            return (await target.getAttribute('class')).includes('is-selected');
        }, 5000);
        const nowPlaying = await frame.locator('.now-playing-label').innerText();
        if (nowPlaying.trim() !== (await target.locator('.service-label').innerText()).trim())
            problems.push('now playing shows "' + nowPlaying + '"');

        await muteAndVolume(page);
        await recordButton(page);

        // Keyboard: the list is reachable and moves with the arrow keys.
        const allButtons = frame.locator('.service-select');
        const sids = (await allButtons.evaluateAll(function (buttons) {
            return buttons.map(function (b) { return Number(b.dataset.sid); });
        }));
        const position = sids.indexOf(sid);
        await target.locator('.service-select').focus();
        await page.keyboard.press('ArrowDown');
        const focused = Number(await frame.locator('.service-select:focus').getAttribute('data-sid'));
        if (position + 1 < sids.length && focused !== sids[position + 1])
            problems.push('arrow down did not move the focus to the next service');

        if (source.labels)
            await checkNowPlaying(page, frame, problems);

        // Favourite, favourites view and order go to the player and come back
        // in its state; the rebuilt page still lists every audio service.
        const star = rows.nth(0).locator('.favourite-toggle');
        await star.click();
        await waitFor('the favourite to be stored', async function () {
            return (await serverInfo(page)).hasFavourites === true && (await star.getAttribute('aria-pressed')) === 'true';
        }, 5000);
        // A marked star is filled, not only outlined.
        await waitFor('the marked star to be filled', async function () {
            return await star.locator('.icon').evaluate(function (icon) {
                return getComputedStyle(icon).fill !== 'none';
            });
        }, 5000);
        await frame.locator('.sort-select').selectOption('2');
        await waitFor('the new order', async function () { return (await serverInfo(page)).sortOrder === 2; }, 5000);
        await frame.locator('.favourites-filter').click();
        await waitFor('the favourites view', async function () {
            return (await serverInfo(page)).showFavouritesOnly === true &&
                (await frame.locator('.favourites-filter').getAttribute('aria-pressed')) === 'true';
        }, 5000);
        await waitFor('the favourites-only list', async function () { return (await rows.count()) === 1; }, 10000);
        // The filtered list rebuilds the page once more; a click that lands
        // while it reloads is lost, so the switch is clicked until the player
        // reports it.
        await waitFor('the favourites view to be switched off', async function () {
            if ((await serverInfo(page)).showFavouritesOnly === false)
                return true;
            await frame.locator('.favourites-filter').click();
            await sleep(500);
            return (await serverInfo(page)).showFavouritesOnly === false;
        }, 10000);
        await waitFor('the full list again', async function () { return (await rows.count()) === source.count; }, 10000);

        // A badge links only to a page of its own, never to the player again.
        const badgeLinks = await frame.locator('a.service-app').evaluateAll(function (links) {
            return links.map(function (link) { return link.href; });
        });
        for (const href of badgeLinks) {
            const body = await page.evaluate(async function (url) {
                return (await fetch(url, { cache: 'no-store' })).text();
            }, href);
            if (/class="index-page"/.test(body))
                problems.push('badge link ' + href + ' answers with the player itself');
        }

        // At phone width nothing runs past the right edge and the title is whole.
        await page.setViewportSize({ width: 390, height: 844 });
        const fits = async function () {
            const outer = await page.evaluate(function () {
                const title = document.querySelector('.app-title');
                return document.documentElement.scrollWidth <= window.innerWidth && title.scrollWidth <= title.clientWidth;
            });
            const inner = await frame.locator('body').evaluate(function (body) {
                return body.ownerDocument.documentElement.scrollWidth <= body.ownerDocument.defaultView.innerWidth;
            });
            return outer && inner;
        };
        try {
            await waitFor('the page to fit 390 px', fits, 5000);
        } catch (e) {
            problems.push(e.message);
        }
        await page.setViewportSize({ width: 1280, height: 800 });

        // The player's own formatted texts keep plain formatting and lose
        // everything that could run.
        const rendered = await page.evaluate(function (hostile) {
            const target = document.createElement('div');
            window.zozText.setMarkup(target, '<b>Scan</b><br/>' + hostile + '<a href="javascript:alert(2)">x</a>');
            return { html: target.innerHTML, text: target.textContent };
        }, HOSTILE_TEXT);
        if (rendered.html !== '<b>Scan</b><br>x')
            problems.push('formatted text rendered as ' + rendered.html);

        if (options.artifacts) {
            fs.mkdirSync(options.artifacts, { recursive: true });
            await page.screenshot({ path: path.join(options.artifacts, 'selection-' + options.scenario + '.png') });
            await page.setViewportSize({ width: 390, height: 844 });
            await sleep(300);
            await page.screenshot({ path: path.join(options.artifacts, 'selection-' + options.scenario + '-phone.png') });
        }
        await planRecording(page, problems);
        await spiScanDialog(page, problems);
        if (source.journaline)
            await checkJournaline(page, frame, source.journaline, problems, options);
        if (source.website)
            await checkWebsite(page, frame, source.website, problems, options);
        if (source.guide)
            await checkGuide(page, frame, source.guide, problems, options);

        // Let a poll or two run after the last action, so late errors show.
        await sleep(1500);
    } catch (error) {
        problems.push(error.message);
    } finally {
        if (context)
            await context.close().catch(function () {});
        await stopPlayer(player);
    }
    if (problems.length) {
        console.error('FAILED (' + options.scenario + '):\n  ' + problems.join('\n  '));
        console.error('player log: ' + path.join(work, 'player.log'));
        return 1;
    }
    fs.rmSync(work, { recursive: true, force: true });
    console.log('passed (' + options.scenario + ')');
    return 0;
}

run(parseArguments(process.argv)).then(function (code) { process.exit(code); }, function (error) {
    console.error(error);
    process.exit(1);
});
