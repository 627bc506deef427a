'use strict';
// The programme guide as the player sends it ("services" of "spiGetInfo" or
// of an SPI service's "?getServices"): finding a service, what runs now and
// next, the days a schedule covers, and its texts put into the page. Every
// text is broadcast data: it arrives HTML-escaped with "<br/>" for a line
// break, and goes in as text nodes only.
(function () {
    const DAY_SECONDS = 86400;
    const LINE_BREAK = /<br\s*\/?>/i;

    function services(answer) {
        return answer && Array.isArray(answer.services) ? answer.services.filter(function (s) {
            return s && typeof s === 'object';
        }) : [];
    }

    function programmes(service) {
        const list = service && Array.isArray(service.programmes) ? service.programmes : [];
        return list.filter(function (p) {
            return p && Number.isFinite(p.start) && Number.isFinite(p.stop) && p.stop > p.start;
        }).sort(function (a, b) { return a.start - b.start; });
    }

    // A service by its SId (the audio service's identifier); the first with
    // a schedule wins when several countries share the number.
    function findService(list, serviceIdentifier) {
        const sid = Number(serviceIdentifier);
        if (!Number.isFinite(sid) || sid < 0)
            return null;
        const matching = list.filter(function (s) { return Number(s.serviceIdentifier) === sid; });
        return matching.find(function (s) { return programmes(s).length > 0; }) || matching[0] || null;
    }

    // The programme running at `now` (UTC seconds) and the one after it.
    function nowAndNext(service, now) {
        const list = programmes(service);
        let current = null;
        let next = null;
        for (const programme of list) {
            if (programme.start <= now && now < programme.stop)
                current = programme;
            else if (programme.start > now && !next)
                next = programme;
        }
        return { now: current, next: next };
    }

    function decoded(text) {
        return typeof text === 'string' ? window.zozText.decodeEntities(text) : '';
    }

    // The fullest name given.
    function title(item) {
        if (!item)
            return '';
        for (const key of ['nameLong', 'nameMedium', 'nameShort']) {
            const text = decoded(item[key]).replace(LINE_BREAK, ' ').trim();
            if (text)
                return text;
        }
        return '';
    }

    // The shortest name given, for tight places.
    function shortTitle(item) {
        if (!item)
            return '';
        for (const key of ['nameMedium', 'nameShort', 'nameLong']) {
            const text = decoded(item[key]).replace(LINE_BREAK, ' ').trim();
            if (text)
                return text;
        }
        return '';
    }

    // Puts a broadcast text into `element`: text nodes, and a <br> where the
    // text had its line breaks.
    function setText(element, text) {
        element.replaceChildren();
        const parts = decoded(text).split(new RegExp(LINE_BREAK.source, 'gi'));
        parts.forEach(function (part, index) {
            if (index > 0)
                element.appendChild(document.createElement('br'));
            if (part)
                element.appendChild(document.createTextNode(part));
        });
    }

    function pad(n) {
        return String(n).padStart(2, '0');
    }

    function localDate(seconds) {
        return new Date(seconds * 1000);
    }

    // "HH:MM" in the listener's time zone.
    function clock(seconds) {
        const date = localDate(seconds);
        return pad(date.getHours()) + ':' + pad(date.getMinutes());
    }

    // Local midnight of the day holding `seconds`.
    function dayStart(seconds) {
        const date = localDate(seconds);
        date.setHours(0, 0, 0, 0);
        return Math.floor(date.getTime() / 1000);
    }

    function nextDayStart(start) {
        // Not start + 86400: a day may have 23 or 25 hours.
        const date = localDate(start + DAY_SECONDS / 2);
        date.setDate(date.getDate() + 1);
        date.setHours(0, 0, 0, 0);
        return Math.floor(date.getTime() / 1000);
    }

    // Today and every later day on which a programme of the list runs.
    function days(list, now) {
        const today = dayStart(now);
        const result = [today];
        for (const programme of list) {
            if (programme.stop <= today)
                continue;
            let day = Math.max(today, dayStart(programme.start));
            while (day < programme.stop) {
                if (result.indexOf(day) < 0)
                    result.push(day);
                day = nextDayStart(day);
                if (result.length > 31)
                    break;
            }
        }
        return result.sort(function (a, b) { return a - b; });
    }

    // The programmes that run on the day starting at `start`.
    function onDay(list, start) {
        const end = nextDayStart(start);
        return list.filter(function (p) { return p.start < end && p.stop > start; });
    }

    window.zozSpi = {
        services: services,
        programmes: programmes,
        findService: findService,
        nowAndNext: nowAndNext,
        title: title,
        shortTitle: shortTitle,
        setText: setText,
        clock: clock,
        dayStart: dayStart,
        days: days,
        onDay: onDay,
    };
})();
