'use strict';
// The copyright and info pages: texts from the table; the licences open and close by themselves.
document.addEventListener('DOMContentLoaded', function () {
    window.zozText.applyTexts(document);
    for (const licence of document.querySelectorAll('.licence')) {
        licence.addEventListener('toggle', function () {
            const summary = licence.querySelector('summary');
            summary.title = window.zozText.text(licence.open ? 'CLICK_TO_CLOSE' : 'CLICK_TO_ENLARGE', summary.title);
        });
    }
});
