'use strict';
// The recording scheduler's dialog on the index page: the planned recordings,
// each with a button that removes it, and a form that plans a new recording
// of a listed service. The player answers with notifications of its own
// (refused, collision, added); the list is read again after every change.
(function () {
    const MINUTE_MS = 60 * 1000;
    const HOUR_MS = 60 * MINUTE_MS;
    // A new plan starts at the next full five minutes and lasts an hour.
    const START_STEP_MS = 5 * MINUTE_MS;
    const state = { asked: null };

    function dialog() {
        return document.querySelector('.scheduler-dialog');
    }

    function text(path, fallback) {
        return window.zozText.text(path, fallback);
    }

    // The value of a datetime-local input for `date`, in local time.
    function inputValue(date) {
        const pad = function (n) { return String(n).padStart(2, '0'); };
        return date.getFullYear() + '-' + pad(date.getMonth() + 1) + '-' + pad(date.getDate()) + 'T' +
            pad(date.getHours()) + ':' + pad(date.getMinutes());
    }

    // The player's texts come HTML-escaped; they are shown as text.
    function plainText(value) {
        return window.zozText.decodeEntities(value || '');
    }

    function timeText(seconds) {
        return new Date(seconds * 1000).toLocaleString([], { dateStyle: 'short', timeStyle: 'short' });
    }

    function showStatus(markup) {
        const status = dialog().querySelector('.scheduler-status');
        window.zozText.setMarkup(status, markup || '');
        status.hidden = !markup;
    }

    function renderServices(services) {
        const select = dialog().querySelector('.scheduler-service');
        const chosen = select.value;
        select.replaceChildren();
        for (const service of services) {
            if (!service.isAudio)
                continue;
            const option = document.createElement('option');
            option.value = String(service.ID);
            option.textContent = plainText(service.label);
            select.append(option);
        }
        if (chosen && Array.from(select.options).some(function (o) { return o.value === chosen; }))
            select.value = chosen;
        dialog().querySelector('.scheduler-add').disabled = select.options.length === 0;
    }

    function renderItems(items) {
        const list = dialog().querySelector('.scheduler-list');
        list.replaceChildren();
        dialog().querySelector('.scheduler-empty').hidden = items.length > 0;
        for (const item of items) {
            const row = document.createElement('li');
            row.className = 'scheduler-item' + (item.recording ? ' recording' : '');
            const when = document.createElement('span');
            when.className = 'scheduler-when';
            when.textContent = timeText(item.timestamp) + ' – ' + timeText(item.timestamp + item.duration);
            const what = document.createElement('span');
            what.className = 'scheduler-what';
            const label = document.createElement('b');
            label.textContent = plainText(item.label);
            what.append(label);
            if (item.description)
                what.append(' – ' + plainText(item.description));
            const remove = document.createElement('button');
            remove.type = 'button';
            remove.className = 'button scheduler-remove';
            remove.textContent = '✕';
            remove.title = text('TOOLTIPS.SCHEDULER_REMOVE', 'Remove this scheduled recording');
            remove.setAttribute('aria-label', remove.title);
            remove.addEventListener('click', function () { removeItem(item); });
            row.append(when, what, remove);
            list.append(row);
        }
    }

    async function refresh() {
        try {
            const info = await window.zozAjax.call('getSchedulerInfo');
            renderServices(Array.isArray(info.services) ? info.services : []);
            renderItems(Array.isArray(info.scheduleItems) ? info.scheduleItems : []);
        } catch (e) {
            // Reported by the ajax module.
        }
    }

    function afterChange() {
        refresh();
        if (window.zoz && window.zoz.refresh)
            window.zoz.refresh();
    }

    // Asks in the dialog itself whether `item` goes; Yes removes it by its
    // identity: its service and its start.
    function removeItem(item) {
        const ask = dialog().querySelector('.scheduler-ask');
        let question = text('SCHEDULER.ASK_FOR_DELETION', '<b>Do you really want to remove this entry?</b>');
        if (item.recording)
            question += '<br/>' + text('SCHEDULER.WARN_RUNNING', 'Deleting this entry will stop the recording.');
        window.zozText.setMarkup(ask.querySelector('.scheduler-ask-text'), question);
        state.asked = item;
        ask.hidden = false;
        ask.querySelector('.scheduler-ask-no').focus();
    }

    function answer(yes) {
        const item = state.asked;
        state.asked = null;
        dialog().querySelector('.scheduler-ask').hidden = true;
        if (!yes || !item)
            return;
        window.zozAjax.call('schedule', item.SID, {
            eID: item.ensembleId,
            sID: item.serviceId,
            start: item.timestamp,
            duration: item.duration,
        }).then(afterChange).catch(function () { /* reported */ });
    }

    function addItem() {
        const form = dialog();
        const startInput = form.querySelector('.scheduler-start');
        const endInput = form.querySelector('.scheduler-end');
        const start = new Date(startInput.value);
        const end = new Date(endInput.value);
        if (isNaN(start.getTime())) {
            startInput.focus();
            return;
        }
        if (isNaN(end.getTime()) || end <= start) {
            endInput.value = inputValue(new Date(start.getTime() + HOUR_MS));
            showStatus(text('SCHEDULER.ERROR_ENDTIME_NEGATIVE',
                '<b>Invalid recording parameters</b><br/>The endtime has been reset to ensure correct values!'));
            return;
        }
        showStatus('');
        // Named by its selector id; the player fills in the service's identity.
        window.zozAjax.call('schedule', form.querySelector('.scheduler-service').value, {
            eID: -1,
            sID: -1,
            start: Math.floor(start.getTime() / 1000),
            duration: Math.round((end.getTime() - start.getTime()) / 1000),
            description: form.querySelector('.scheduler-description').value,
            add: true,
        }).then(afterChange).catch(function () { /* reported */ });
    }

    function show() {
        const d = dialog();
        const start = new Date(Math.ceil(Date.now() / START_STEP_MS) * START_STEP_MS);
        d.querySelector('.scheduler-start').value = inputValue(start);
        d.querySelector('.scheduler-end').value = inputValue(new Date(start.getTime() + HOUR_MS));
        showStatus('');
        answer(false);
        refresh();
        if (!d.open)
            d.showModal();
    }

    const d = dialog();
    window.zozText.setMarkup(d.querySelector('.scheduler-note'), text('SCHEDULER.NOTE', d.querySelector('.scheduler-note').textContent));
    d.querySelector('.scheduler-close').addEventListener('click', function () { d.close(); });
    d.querySelector('.scheduler-add').addEventListener('click', addItem);
    d.querySelector('.scheduler-ask-yes').addEventListener('click', function () { answer(true); });
    d.querySelector('.scheduler-ask-no').addEventListener('click', function () { answer(false); });
    document.querySelector('.nav-scheduler').addEventListener('click', show);
    // The program window's menu opens it too.
    window.zoz.showScheduler = show;
})();
