// Code tables of the DAB country, language and programme type codes.
#ifndef ZOZ_DAB_CODE_TABLES_DATA_H
#define ZOZ_DAB_CODE_TABLES_DATA_H

namespace ZOZ {
namespace {

struct CountryRow {
    unsigned ecc;             // extended country code
    const char *names[16];    // by country id; null: not assigned
};

// Country names by extended country code and country id.
const CountryRow CountryTable[] = {
    {0xA0, {nullptr, "United States of America", "United States of America", "United States of America", "United States of America", "United States of America", "United States of America", "United States of America", "United States of America", "United States of America", "United States of America", nullptr, nullptr, "United States of America", "United States of America", nullptr}},
    {0xA1, {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "Canada", nullptr, nullptr, "Greenland"}},
    {0xA2, {nullptr, "Anguilla", "Antigua and Barbuda", "Ecuador", "Falkland Islands", "Barbados", "Belize", "Cayman Islands", "Costa Rica", "Cuba", "Argentina", "Brazil", "Bermuda", "Netherlands Antilles", "Guadeloupe", "Bahamas"}},
    {0xA3, {nullptr, "Bolivia", "Colombia", "Jamaica", "Martinique", nullptr, "Paraguay", "Nicaragua", "Puerto Rico", "Panama", "Dominica", "Dominican Republic", "Chile", "Grenada", "Turks and Caicos islands", "Guyana"}},
    {0xA4, {nullptr, "Guatemala", "Honduras", "Aruba", nullptr, "Montserrat", "Trinidad and Tobago", "Peru", "Surinam", "Uruguay", "St. Kitts", "St. Lucia", "El Salvador", "Haiti", "Venezuela", "Mexico"}},
    {0xA5, {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "St. Vincent", nullptr, nullptr, "Virgin islands"}},
    {0xA6, {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "St. Pierre and Miquelon"}},
    {0xD0, {nullptr, "Cameroon", "Central African Republic", "Djibouti", "Madagascar", "Mali", "Angola", "Equatorial Guinea", "Gabon", "Republic of Guinea", "South Africa", "Burkina Faso", "Congo", "Togo", "Benin", "Malawi"}},
    {0xD1, {nullptr, "Namibia", "Liberia", "Ghana", "Mauritania", "Sao Tome and Principe", "Cape Verde", "Senegal", "Gambia", "Burundi", "Ascension Island", "Botswana", "Comoros", "Tanzania", "Ethiopia", "Nigeria"}},
    {0xD2, {nullptr, "Sierra Leone", "Zimbabwe", "Mozambique", "Uganda", "Swaziland", "Kenya", "Somalia", "Niger", "Chad", "Guinea-Bissau", "Zaire", "Cote d'Ivoire", "Zanzibar", "Zambia", nullptr}},
    {0xD3, {nullptr, nullptr, nullptr, "Western Sahara", nullptr, "Rwanda", "Lesotho", nullptr, "Seychelles", nullptr, "Mauritius", nullptr, "Sudan", nullptr, nullptr, nullptr}},
    {0xE0, {nullptr, "Germany", "Algeria", "Andorra", "Israel", "Italy", "Belgium", "Russian Federation", "Azores (Portugal)", "Albania", "Austria", "Hungary", "Malta", "Germany", "Canaries (Spain)", "Egypt"}},
    {0xE1, {nullptr, "Greece", "Cyprus", "San Marino", "Switzerland", "Jordan", "Finland", "Luxembourg", "Bulgaria", "Denmark", "Gibraltar (UK)", "Iraq", "United Kingdom", "Libya", "Romania", "France"}},
    {0xE2, {nullptr, "Morocco", "Czech Republic", "Poland", "Vatican", "Slovakia", "Syria", "Tunisia", "Madeira", "Liechtenstein", "Iceland", "Monaco", "Lithuania", "Serbia", "Spain", "Norway"}},
    {0xE3, {nullptr, "Montenegro", "Ireland", "Turkey", nullptr, "Tajikistan", nullptr, nullptr, "Netherlands", "Latvia", "Lebanon", "Azerbaijan", "Croatia", "Kazakhstan", "Sweden", "Belarus"}},
    {0xE4, {nullptr, "Moldova", "Estonia", "Kyrgyzstan", nullptr, nullptr, "Ukraine", "Kosovo", "Portugal", "Slovenia", "Armenia", "Uzbekistan", "Georgia", nullptr, "Turkmenistan", "Bosnia Herzegovina"}},
    {0xF0, {nullptr, "Australia", "Australia", "Australia", "Australia", "Australia", "Australia", "Australia", "Australia", "Saudi Arabia", "Afghanistan", "Myanmar (Burma)", "China", "Korea (North)", "Bahrain", "Malaysia"}},
    {0xF1, {nullptr, "Kiribati", "Bhutan", "Bangladesh", "Pakistan", "Fiji", "Oman", "Nauru", "Iran", "New Zealand", "Solomon Islands", "Brunei Darussalam", "Sri Lanka", "Taiwan", "Korea (South)", "Hong Kong"}},
    {0xF2, {nullptr, "Kuwait", "Qatar", "Cambodia", "Western Samoa", "India", "Macau", "Vietnam", "Philippines", "Japan", "Singapore", "Maldives", "Indonesia", "United Arab Emirates", "Nepal", "Vanuatu"}},
    {0xF3, {nullptr, "Laos", "Thailand", "Tonga", nullptr, nullptr, nullptr, nullptr, nullptr, "Papua New Guinea", nullptr, "Yemen", nullptr, nullptr, "Micronesia", "Mongolia"}},
};

// Language names by DAB language code (0-126); null: no name.
const char *const LanguageNames[127] = {
    "Unknown/not applicable", // 0
    "Albanian", // 1
    "Breton", // 2
    "Catalan", // 3
    "Croatian", // 4
    "Welsh", // 5
    "Czech", // 6
    "Danish", // 7
    "German", // 8
    "English", // 9
    "Spanish", // 10
    "Esperanto", // 11
    "Estonian", // 12
    "Basque", // 13
    "Faroese", // 14
    "French", // 15
    "Frisian", // 16
    "Irish", // 17
    "Gaelic", // 18
    "Galician", // 19
    "Icelandic", // 20
    "Italian", // 21
    "Lappish", // 22
    "Latin", // 23
    "Latvian", // 24
    "Luxembourgian", // 25
    "Lithuanian", // 26
    "Hungarian", // 27
    "Maltese", // 28
    "Dutch", // 29
    "Norwegian", // 30
    "Occitan", // 31
    "Polish", // 32
    "Portuguese", // 33
    "Romanian", // 34
    "Romansh", // 35
    "Serbian", // 36
    "Slovak", // 37
    "Slovene", // 38
    "Finnish", // 39
    "Swedish", // 40
    "Turkish", // 41
    "Flemish", // 42
    "Walloon", // 43
    "rfu", // 44
    "rfu", // 45
    "rfu", // 46
    "rfu", // 47
    nullptr, // 48
    nullptr, // 49
    nullptr, // 50
    nullptr, // 51
    nullptr, // 52
    nullptr, // 53
    nullptr, // 54
    nullptr, // 55
    nullptr, // 56
    nullptr, // 57
    nullptr, // 58
    nullptr, // 59
    nullptr, // 60
    nullptr, // 61
    nullptr, // 62
    nullptr, // 63
    "Background sound/clean feed", // 64
    "rfu", // 65
    "rfu", // 66
    "rfu", // 67
    "rfu", // 68
    "Zulu", // 69
    "Vietnamese", // 70
    "Uzbek", // 71
    "Urdu", // 72
    "Ukranian", // 73
    "Thai", // 74
    "Telugu", // 75
    "Tatar", // 76
    "Tamil", // 77
    "Tadzhik", // 78
    "Swahili", // 79
    "Sranan Tongo", // 80
    "Somali", // 81
    "Sinhalese", // 82
    "Shona", // 83
    "Serbo-Croat", // 84
    "Ruthenian", // 85
    "Russian", // 86
    "Quechua", // 87
    "Pushtu", // 88
    "Punjabi", // 89
    "Persian", // 90
    "Papamiento", // 91
    "Oriya", // 92
    "Nepali", // 93
    "Ndebele", // 94
    "Marathi", // 95
    "Moldavian", // 96
    "Malaysian", // 97
    "Malagasay", // 98
    "Macedonian", // 99
    "Laotian", // 100
    "Korean", // 101
    "Khmer", // 102
    "Kazakh", // 103
    "Kannada", // 104
    "Japanese", // 105
    "Indonesian", // 106
    "Hindi", // 107
    "Hebrew", // 108
    "Hausa", // 109
    "Gurani", // 110
    "Gujurati", // 111
    "Greek", // 112
    "Georgian", // 113
    "Fulani", // 114
    "Dari", // 115
    "Churash", // 116
    "Chinese", // 117
    "Burmese", // 118
    "Bulgarian", // 119
    "Bengali", // 120
    "Belorussian", // 121
    "Bambora", // 122
    "Azerbijani", // 123
    "Assamese", // 124
    "Armenian", // 125
    "Arabic", // 126
};

// International programme type names by code (0-30).
const char *const ProgrammeTypeNames[31] = {
    "", // 0
    "News", // 1
    "Current Affairs", // 2
    "Information", // 3
    "Sport", // 4
    "Education", // 5
    "Drama", // 6
    "Culture", // 7
    "Science", // 8
    "Varied", // 9
    "Pop Music", // 10
    "Rock Music", // 11
    "Easy Listening Music", // 12
    "Light Classical", // 13
    "Serious Classical", // 14
    "Other Music", // 15
    "Weather/meteorology", // 16
    "Finance/Business", // 17
    "Children's programmes", // 18
    "Social Affairs", // 19
    "Religion", // 20
    "Phone In", // 21
    "Travel", // 22
    "Leisure", // 23
    "Jazz Music", // 24
    "Country Music", // 25
    "National Music", // 26
    "Oldies Music", // 27
    "Folk Music", // 28
    "Documentary", // 29
    "Not Used", // 30
};

} // namespace
} // namespace ZOZ

#endif
