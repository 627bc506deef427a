// NML text (titles, menu item texts, bodies of Journaline objects) to HTML
// fragments for the renderer's pages and ajax replies. Every broadcast
// character leaves escaped: below 128 as itself except the markup, quote and
// brace characters, everything else as a numeric reference, so the result is
// safe in HTML text, in quoted attributes and as a page template's value.
#ifndef ZOZ_NSJ_NML_TO_HTML_H
#define ZOZ_NSJ_NML_TO_HTML_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace NSJNml {

struct Image {
    std::string url;
    std::string caption;
};

struct Context {
    bool debug = false; // show the codes instead of interpreting them
    // Texts of nested-text sections by their key, shared by all texts of a page.
    std::map<uint8_t, std::string> *nestedTexts = nullptr;
    // Turns an image reference into an address; none leaves it empty.
    std::function<std::string(const std::string &reference)> resolveLink;
};

struct Options {
    bool inlineImages = false;            // images into the text, else into `images`
    std::vector<Image> *images = nullptr; // null: collected images are dropped
    bool raw = false;                     // pass one only, unescaped, markers as text
    uint8_t *imageCounter = nullptr;      // shared by the texts of one object
};

// Converts `text` of object `objectId`.
std::string toHtml(const Context &context, uint16_t objectId, const std::string &text, const Options &options = {});

// UTF-8 to escaped text; an open right-to-left embedding or override is
// closed at the end.
std::string escape(const std::string &utf8);

// The resource name of the n-th picture carried in object `objectId`.
std::string imageName(uint16_t objectId, unsigned n, const std::string &type);

struct ImageSection {
    uint8_t kind = 0;
    std::string first;   // reference (kinds 0-2) or picture bytes (kind 3)
    std::string type;    // kind 3: the picture's type text ("jpg")
    std::string caption;
};
// Reads an image data section (its bytes from the type byte on); false when
// it is too short for what it announces.
bool parseImageSection(const std::string &section, ImageSection &image);

} // namespace NSJNml

#endif
