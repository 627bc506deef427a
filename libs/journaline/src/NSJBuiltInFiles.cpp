// Files the renderer can serve without any style folder: they are the last
// place its templates and resources are looked up.
#include "NSJRenderer.h"

#include <cstring>

namespace {

// All built-in files carry the time of the renderer's release.
constexpr uint32_t BuiltInModified = 1587052681;

const char JournalineCss[] = R"zoz(/* Journaline pages: the shared look of objects, menus and links. */
.journaline { font-family: system-ui, sans-serif; line-height: 1.4; margin: 0 auto; max-width: 60em; padding: 0.5em; }
.journaline h1 { font-size: 1.4em; margin: 0.2em 0 0.6em; }
.journaline .menu { list-style: none; margin: 0; padding: 0; }
.journaline .menu li { border-bottom: 1px solid rgba(128, 128, 128, 0.3); }
.journaline .menu a { display: block; padding: 0.6em 0.4em; text-decoration: none; color: inherit; }
.journaline .menu a:focus-visible, .journaline a:focus-visible { outline: 2px solid currentColor; }
.journaline .unavailable { opacity: 0.5; }
.journaline img.icon { width: 1.1em; height: 1.1em; vertical-align: -0.2em; }
.journaline .menu a.came-from { background: rgba(128, 128, 128, 0.15); }
.journaline .debug { font-family: monospace; font-size: 0.85em; opacity: 0.8; }
.journaline .error { border: 1px solid #c33; border-radius: 4px; padding: 0.6em; }
.journaline nav.bar { display: flex; flex-wrap: wrap; gap: 0.4em; align-items: center; margin-bottom: 0.6em; }
.journaline nav.bar a, .journaline button { border: 1px solid rgba(128, 128, 128, 0.5); border-radius: 6px; padding: 0.3em 0.7em; color: inherit; background: none; text-decoration: none; font: inherit; cursor: pointer; }
.journaline .trail { font-size: 0.9em; opacity: 0.8; margin-bottom: 0.4em; }
.journaline .trail a { color: inherit; }
.journaline intro { display: block; font-weight: bold; margin-bottom: 0.6em; }
.journaline category { display: block; font-size: 0.85em; opacity: 0.8; }
.journaline njImageBox { display: block; margin: 0.6em 0; }
.journaline figure img, .journaline njImageBox img { max-width: 100%; height: auto; }
.journaline table { border-collapse: collapse; }
.journaline td { border: 1px solid rgba(128, 128, 128, 0.4); padding: 0.2em 0.5em; }
.journaline .infobox { border-top: 1px solid rgba(128, 128, 128, 0.4); margin-top: 1em; padding-top: 0.5em; }
.journaline footer { font-size: 0.8em; opacity: 0.7; margin-top: 1.5em; }
.journaline fieldset { border: 1px solid rgba(128, 128, 128, 0.4); border-radius: 6px; margin: 0.6em 0; }
.journaline dl { display: grid; grid-template-columns: auto auto; gap: 0.1em 1em; margin: 0; }
.journaline dd { margin: 0; text-align: right; font-variant-numeric: tabular-nums; }
@media (prefers-color-scheme: dark) { .journaline { background: #111; color: #eee; } }
)zoz";

const char JournalineJs[] = R"zoz(// Journaline page: follows the object it shows. A new version of the object
// (or of a menu target it waits for) or a restarted server reloads the page;
// a running autoplay moves to its next page. Images carried as elements of
// their own become pictures.
'use strict';

const page = document.body.dataset;

// The player's refresh cycle when the host gives one.
const POLL_MS = Number(page.refresh) > 0 ? Number(page.refresh) : 2000;

function ajax(query) {
    return fetch('ajax?' + query, { cache: 'no-store' }).then((reply) => reply.json());
}

function showImages() {
    for (const image of document.querySelectorAll('njImage')) {
        const picture = document.createElement('img');
        picture.src = image.getAttribute('src') || '';
        picture.alt = image.getAttribute('caption') || '';
        const caption = document.createElement('figcaption');
        caption.textContent = image.getAttribute('caption') || '';
        const figure = document.createElement('figure');
        figure.append(picture, caption);
        image.replaceWith(figure);
    }
}

function poll() {
    ajax('getUpdate=' + encodeURIComponent(page.objectId))
        .then((reply) => {
            if (!reply.success)
                return;
            if (reply.serverId !== page.serverId || String(reply.version) !== page.version) {
                location.reload();
                return;
            }
            if (reply.apUrl && !location.href.includes(reply.apUrl))
                location.href = reply.apUrl + '&apMode=true';
        })
        .catch(() => {})
        .finally(() => setTimeout(poll, POLL_MS));
}

function wireAutoplay() {
    const button = document.getElementById('autoplay');
    if (!button)
        return;
    button.addEventListener('click', () => {
        const active = button.dataset.active === 'true';
        const target = active ? '65535' : page.objectId;
        ajax('hist=' + encodeURIComponent(page.autoplayHistory) + '&setAutoPlay=' + target).then((reply) => {
            if (reply.apUrl)
                location.href = reply.apUrl + '&apMode=true';
            else
                location.href = page.pageUrl;
        });
    });
}

function init() {
    showImages();
    wireAutoplay();
    setTimeout(poll, POLL_MS);
}

init();
)zoz";

const char HeaderHtml[] = R"zoz(<nav class="bar" aria-label="Journaline">
<a href="{PAGE-HOME-URL}"><img class="icon" src="jourc/img/journaline.svg" alt=""> Main menu</a>
<a href="{PAGE-URL-NAV-UP}" rel="up"><img class="icon" src="jourc/img/nav-up.svg" alt=""> Up</a>
<a href="{PAGE-URL-NAV-PREV}" rel="prev"><img class="icon" src="jourc/img/nav-previous.svg" alt=""> Previous</a>
<a href="{PAGE-URL-NAV-NEXT}" rel="next">Next <img class="icon" src="jourc/img/nav-next.svg" alt=""></a>
<if AUTOPLAY_SHOW_BUTTON><button id="autoplay" type="button" data-active="{AUTOPLAY_ACTIVE}"><if AUTOPLAY_ACTIVE><img class="icon" src="jourc/img/autoplay-stop.svg" alt=""> Stop autoplay</if AUTOPLAY_ACTIVE><ifnot AUTOPLAY_ACTIVE><img class="icon" src="jourc/img/autoplay-play.svg" alt=""> Autoplay</ifnot AUTOPLAY_ACTIVE></button></if AUTOPLAY_SHOW_BUTTON>
</nav>
<if HISTORY><div class="trail"><!-- begin:HISTORY --><a href="{link}">{label}</a> &#8250; <!-- end:HISTORY --></div></if HISTORY>
)zoz";

const char FooterHtml[] = R"zoz(<footer><img class="icon" src="jourc/img/journaline.svg" alt=""> ZOZ Journaline &#183; <a href="statistics">Statistics</a></footer>
)zoz";

const char IndexHtml[] = R"zoz(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{PAGE-TITLE}</title>
<link rel="stylesheet" href="jourc/css/journaline.css">
<!-- begin:STYLE --><link rel="stylesheet" href="jourc/css/{id}.css">
<!-- end:STYLE -->
<script src="jourc/js/journaline.js" defer></script>
</head>
<body class="journaline" data-object-id="{OBJECT_ID}" data-version="{VERSION}" data-server-id="{SERVER_ID}" data-page-url="{PAGE-URL}" data-autoplay-history="{AUTOPLAY_HISTORY}"<if PAGE-REFRESH> data-refresh="{PAGE-REFRESH}"</if PAGE-REFRESH>>
<!-- #include "/templates/services/journaline/header.html" -->
<main>
<!-- begin:GENERALINFORMATION --><p class="debug">available: {available} id: {objectId} type: {objectType} result: {errorCode}</p><!-- end:GENERALINFORMATION -->
<!-- begin:OBJ_ERROR --><h1>{title}</h1>
<div class="error" role="status"><img class="icon" src="jourc/img/warning.svg" alt=""> {description}</div>
<!-- end:OBJ_ERROR -->
<!-- begin:OBJ_MENU --><h1>{title}</h1>
<if imageUrl><figure><img src="{imageUrl}" alt="{imageCaption}"><figcaption>{imageCaption}</figcaption></figure></if imageUrl>
<ul class="menu">
<!-- begin:ITEMS --><li<ifnot available> class="unavailable"</ifnot available>><a href="{link}"<if highlight> class="came-from"</if highlight>>{label}</a><if debugInfo> <span class="debug">{debugInfo}</span></if debugInfo></li>
<!-- end:ITEMS --></ul>
<!-- end:OBJ_MENU -->
<!-- begin:OBJ_TEXT --><h1>{title}</h1>
<if imageUrl><figure><img src="{imageUrl}" alt="{imageCaption}"><figcaption>{imageCaption}</figcaption></figure></if imageUrl>
<article>{content}</article>
<!-- end:OBJ_TEXT -->
<!-- begin:OBJ_TICKER --><h1>{title}</h1>
<!-- end:OBJ_TICKER -->
<!-- begin:OBJ_LIST --><h1>{title}</h1>
<if imageUrl><figure><img src="{imageUrl}" alt="{imageCaption}"><figcaption>{imageCaption}</figcaption></figure></if imageUrl>
<article>{content}</article>
<!-- end:OBJ_LIST -->
<if INFOBOX_VISIBLE><section class="infobox">
<!-- begin:OBJ_LINKS --><ul class="links">
<!-- begin:LINKS0 --><li><img class="icon" src="jourc/img/link-journaline.svg" alt=""> <a href="{url}">{label}</a></li>
<!-- end:LINKS0 --><!-- begin:LINKS1 --><li><img class="icon" src="jourc/img/link-service.svg" alt=""> <a href="{url}">{label}</a></li>
<!-- end:LINKS1 --><!-- begin:LINKS2 --><li><img class="icon" src="jourc/img/link-<if type>{type}</if type><ifnot type>web</ifnot type>.svg" alt=""> <a href="{url}" title="{description}" target="_blank" rel="noopener noreferrer">{label}</a></li>
<!-- end:LINKS2 --><!-- begin:LINKS3 --><li><img class="icon" src="jourc/img/link-phone.svg" alt=""> <a href="{url}">{label}</a></li>
<!-- end:LINKS3 --><!-- begin:LINKS4 --><li><img class="icon" src="jourc/img/link-sms.svg" alt=""> <a href="{url}">{label}</a></li>
<!-- end:LINKS4 --></ul>
<!-- end:OBJ_LINKS -->
<!-- begin:ADDITIONALINFO --><!-- begin:MANAGEMENT --><dl class="debug">
<if MANAGEMENT:absoluteTimeout><dt>Expires</dt><dd>{MANAGEMENT:absoluteTimeout}</dd></if MANAGEMENT:absoluteTimeout>
<if MANAGEMENT:relativeTimeout><dt>Valid for</dt><dd>{MANAGEMENT:relativeTimeout}</dd></if MANAGEMENT:relativeTimeout>
<if MANAGEMENT:defaultLanguage><dt>Language</dt><dd>{MANAGEMENT:defaultLanguage}</dd></if MANAGEMENT:defaultLanguage>
</dl>
<!-- end:MANAGEMENT --><if POSITION_OR_REGION><p><img class="icon" src="jourc/img/link-google_earth.svg" alt=""> <a href="{objectId}.kml">Places (KML)</a></p>
<ul class="places">
<!-- begin:POSITIONS --><li><a href="{url}" target="_blank" rel="noopener noreferrer">{label}</a>: {value}<if debugInfo><span class="debug">{debugInfo}</span></if debugInfo></li>
<!-- end:POSITIONS --><!-- begin:REGIONS --><li>{label}: <!-- begin:ITEMS -->{position}<if debugInfo><span class="debug">{debugInfo}</span></if debugInfo>; <!-- end:ITEMS --></li>
<!-- end:REGIONS --></ul></if POSITION_OR_REGION>
<!-- end:ADDITIONALINFO -->
</section></if INFOBOX_VISIBLE>
</main>
<!-- #include "/templates/services/journaline/footer.html" -->
<!-- #TEMPLATE_INSTRUCTIONS -->
</body>
</html>
)zoz";

const char StatisticsHtml[] = R"zoz(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Journaline statistics</title>
<link rel="stylesheet" href="jourc/css/journaline.css">
</head>
<body class="journaline">
<nav class="bar"><a href="{PAGE-HOME-URL}">Main menu</a></nav>
<h1>Journaline statistics</h1>
<!-- begin:FIELDSETS --><fieldset><legend>{label}</legend><dl>
<!-- begin:ITEMS --><dt>{name}</dt><dd>{value}</dd>
<!-- end:ITEMS --></dl></fieldset>
<!-- end:FIELDSETS -->
<!-- #include "/templates/services/journaline/footer.html" -->
</body>
</html>
)zoz";

const char DefaultKml[] = R"zoz(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2">
<Document>
<!-- begin:PLACEMARKS --><Placemark>
<name>{name}</name>
<description><![CDATA[{CDATA}]]></description>
<Point><coordinates>{coordinates}</coordinates></Point>
</Placemark>
<!-- end:PLACEMARKS --><!-- begin:PLACEMARKS2 --><Placemark>
<name>{name}</name>
<description><![CDATA[{CDATA}]]></description>
<Polygon><outerBoundaryIs><LinearRing><coordinates>
{coordinates}</coordinates></LinearRing></outerBoundaryIs></Polygon>
</Placemark>
<!-- end:PLACEMARKS2 --></Document>
</kml>
)zoz";

// Icons of the pages: navigation, autoplay, the kinds of links, a warning,
// favourites and the Journaline logo; one colour that reads on light and
// dark pages.
const char IconAutoplayPlay[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><circle cx="12" cy="12" r="10"/><path d="M10 8l6 4-6 4z" fill="#3a7fd0"/></svg>
)zoz";
const char IconAutoplayStop[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><circle cx="12" cy="12" r="10"/><rect x="9" y="9" width="6" height="6" fill="#3a7fd0"/></svg>
)zoz";
const char IconFavouriteOff[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M12 3l2.8 5.7 6.2.9-4.5 4.4 1.1 6.2L12 17.3 6.4 20.2l1.1-6.2L3 9.6l6.2-.9z"/></svg>
)zoz";
const char IconFavouriteOn[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M12 3l2.8 5.7 6.2.9-4.5 4.4 1.1 6.2L12 17.3 6.4 20.2l1.1-6.2L3 9.6l6.2-.9z" fill="#c77700" stroke="#c77700"/></svg>
)zoz";
const char IconJournaline[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><rect x="2" y="2" width="20" height="20" rx="4" fill="#8a4fb0" stroke="#8a4fb0"/><path d="M7 8h10M7 12h10M7 16h6" stroke="#fff"/></svg>
)zoz";
const char IconLinkBase[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M10 14a4 4 0 0 0 5.7 0l3-3a4 4 0 0 0-5.7-5.7l-1 1"/><path d="M14 10a4 4 0 0 0-5.7 0l-3 3a4 4 0 0 0 5.7 5.7l1-1"/></svg>
)zoz";
const char IconLinkGoogleEarth[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M12 21s-7-6.2-7-11.5a7 7 0 0 1 14 0C19 14.8 12 21 12 21z"/><circle cx="12" cy="9.5" r="2.5"/></svg>
)zoz";
const char IconLinkJournaline[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><rect x="4" y="3" width="16" height="18" rx="2"/><path d="M8 8h8M8 12h8M8 16h5"/></svg>
)zoz";
const char IconLinkMail[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><rect x="3" y="5" width="18" height="14" rx="2"/><path d="M3 7l9 6 9-6"/></svg>
)zoz";
const char IconLinkPhone[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M5 3h4l2 5-2.5 1.5a11 11 0 0 0 6 6L16 13l5 2v4a2 2 0 0 1-2 2A16 16 0 0 1 3 5a2 2 0 0 1 2-2z"/></svg>
)zoz";
const char IconLinkService[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M5 12a7 7 0 0 1 14 0"/><path d="M8.5 12a3.5 3.5 0 0 1 7 0"/><path d="M12 12v9"/></svg>
)zoz";
const char IconLinkSms[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M4 4h16a1 1 0 0 1 1 1v11a1 1 0 0 1-1 1H9l-5 4V5a1 1 0 0 1 1-1z"/><path d="M8 9h8M8 13h5"/></svg>
)zoz";
const char IconLinkWeb[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><circle cx="12" cy="12" r="9"/><path d="M3 12h18M12 3a14 14 0 0 1 0 18M12 3a14 14 0 0 0 0 18"/></svg>
)zoz";
const char IconNavNext[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M9 5l7 7-7 7"/></svg>
)zoz";
const char IconNavNextGrey[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M9 5l7 7-7 7" stroke="#9aa0aa"/></svg>
)zoz";
const char IconNavPrevious[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M15 5l-7 7 7 7"/></svg>
)zoz";
const char IconNavUp[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M5 15l7-7 7 7"/></svg>
)zoz";
const char IconRefresh[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M20 12a8 8 0 1 1-2.3-5.7"/><path d="M20 4v5h-5"/></svg>
)zoz";
const char IconWarning[] = R"zoz(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24" fill="none" stroke="#3a7fd0" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"><path d="M12 3L2 20h20z" stroke="#c77700"/><path d="M12 10v4M12 17h.01" stroke="#c77700"/></svg>
)zoz";

#define ZOZ_BUILT_IN(name, text) \
    {name, reinterpret_cast<const uint8_t *>(text), sizeof text - 1, BuiltInModified}

const NSJRenderer::BuiltInFile Files[] = {
    ZOZ_BUILT_IN("jourc/css/journaline.css", JournalineCss),
    ZOZ_BUILT_IN("jourc/js/journaline.js", JournalineJs),
    ZOZ_BUILT_IN("jourc/img/autoplay-play.svg", IconAutoplayPlay),
    ZOZ_BUILT_IN("jourc/img/autoplay-stop.svg", IconAutoplayStop),
    ZOZ_BUILT_IN("jourc/img/favourite-off.svg", IconFavouriteOff),
    ZOZ_BUILT_IN("jourc/img/favourite-on.svg", IconFavouriteOn),
    ZOZ_BUILT_IN("jourc/img/journaline.svg", IconJournaline),
    ZOZ_BUILT_IN("jourc/img/link-base.svg", IconLinkBase),
    ZOZ_BUILT_IN("jourc/img/link-google_earth.svg", IconLinkGoogleEarth),
    ZOZ_BUILT_IN("jourc/img/link-journaline.svg", IconLinkJournaline),
    ZOZ_BUILT_IN("jourc/img/link-mail.svg", IconLinkMail),
    ZOZ_BUILT_IN("jourc/img/link-phone.svg", IconLinkPhone),
    ZOZ_BUILT_IN("jourc/img/link-service.svg", IconLinkService),
    ZOZ_BUILT_IN("jourc/img/link-sms.svg", IconLinkSms),
    ZOZ_BUILT_IN("jourc/img/link-web.svg", IconLinkWeb),
    ZOZ_BUILT_IN("jourc/img/nav-next.svg", IconNavNext),
    ZOZ_BUILT_IN("jourc/img/nav-next-grey.svg", IconNavNextGrey),
    ZOZ_BUILT_IN("jourc/img/nav-previous.svg", IconNavPrevious),
    ZOZ_BUILT_IN("jourc/img/nav-up.svg", IconNavUp),
    ZOZ_BUILT_IN("jourc/img/refresh.svg", IconRefresh),
    ZOZ_BUILT_IN("jourc/img/warning.svg", IconWarning),
    ZOZ_BUILT_IN("jourc/templates/services/journaline/index.html", IndexHtml),
    ZOZ_BUILT_IN("jourc/templates/services/journaline/header.html", HeaderHtml),
    ZOZ_BUILT_IN("jourc/templates/services/journaline/footer.html", FooterHtml),
    ZOZ_BUILT_IN("jourc/templates/services/journaline/statistics.html", StatisticsHtml),
    ZOZ_BUILT_IN("jourc/templates/services/journaline/default.kml", DefaultKml),
};

#undef ZOZ_BUILT_IN

} // namespace

const NSJRenderer::BuiltInFile *NSJRenderer::builtInFile(const std::string &name)
{
    for (const BuiltInFile &file : Files)
        if (name.size() == std::strlen(file.name) && std::memcmp(name.data(), file.name, name.size()) == 0)
            return &file;
    return nullptr;
}

const uint8_t *NSJRenderer::builtInFileContent(const std::string &name)
{
    const BuiltInFile *file = builtInFile(name);
    return file ? file->content : nullptr;
}

uint32_t NSJRenderer::builtInFileSize(const std::string &name)
{
    const BuiltInFile *file = builtInFile(name);
    return file ? file->size : 0;
}

uint32_t NSJRenderer::builtInFileModified(const std::string &name)
{
    const BuiltInFile *file = builtInFile(name);
    return file ? file->modified : 0;
}
