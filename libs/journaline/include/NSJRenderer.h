// NSJRenderer: the request frame between the web front end and a concrete
// Journaline renderer. It parses the HTTP request line it is handed, fills
// the query map, applies the navigation path of a "hist" query, calls the
// concrete renderer and can put an HTTP/1.0 header in front of the body.
// It also holds the renderer's text functions, its options and the table of
// built-in files.
#ifndef ZOZ_NSJ_RENDERER_H
#define ZOZ_NSJ_RENDERER_H

#include "NSJAPIProvider.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class HtmlTemplate;

class NSJRenderer : public NSJAPIProvider {
public:
    struct Request {
        std::string text;      // as received
        std::string uri;
        std::string directory; // up to and including the last "/"
        std::string file;      // after the last "/", without the query
    };

    using TemplateCallback = void (*)(HtmlTemplate *page, void *context);

    // What the concrete renderer is asked to do with its pages.
    struct Options {
        bool extEnabled = true;
        bool apShowButton = false;
        bool apIncRoot = false;
        uint32_t apTimestepMs = 15000;
        bool renderOption = false; // render templates with the table of their variables
        bool loadOption = false;   // read templates again on every use
        TemplateCallback templateCallback = nullptr;
        void *templateContext = nullptr;
    };

    struct BuiltInFile {
        const char *name;
        const uint8_t *content;
        uint32_t size;
        uint32_t modified; // seconds since 1970
    };

    enum class ResponseHeader { Off, On };

    static constexpr const char *ProductName = "ZOZ-Journaline";
    static constexpr const char *VersionText = "2020-04-16_v1.5.49";

    NSJRenderer();
    ~NSJRenderer() override;

    // Clears the debug flag and initialises the provider.
    virtual int start(bool crcCheck, uint32_t extHeaderLength);
    // Each returns true when the value changed.
    virtual bool setStyleOption(const std::string &style);
    virtual bool setSecondOption(const std::string &option);
    // Answers a parsed request into `output`; positive when answered.
    virtual int Handle_HttpRequest(const Request &request, std::string &output) = 0;

    // The entry of the service: -1 for a malformed request (reported on the
    // standard error stream), else the concrete renderer's result.
    int Handle_HttpRequest(const std::string &request, std::string &output);

    // Fills the request and the query map; returns "" or the error text.
    std::string parse(const std::string &requestText, Request &request);
    // Sets the content type and, with the header on, puts the header in
    // front of `output`. Returns the bytes in `output`.
    int writeResponse(std::string &output, const std::string &contentType);

    static std::string percentDecode(const std::string &text);
    // NML text to what a page shows: line breaks become "<br/>\n", data
    // sections and formatting codes go.
    static std::string nmlToDisplay(const std::string &nml);
    // Code points of UTF-8 text; 0xFFFF for each broken sequence.
    static std::vector<uint32_t> utf8ToCodePoints(const std::string &text);
    // Each character's code in two hexadecimal digits (0 above 255), joined by `separator`.
    static std::string textToHex(const std::string &text, const std::string &separator);

    static const BuiltInFile *builtInFile(const std::string &name);
    static const uint8_t *builtInFileContent(const std::string &name);
    static uint32_t builtInFileSize(const std::string &name);
    static uint32_t builtInFileModified(const std::string &name);

    void setExtEnabled(bool enabled) { m_options.extEnabled = enabled; }
    void setAutoplayButtonShown(bool shown) { m_options.apShowButton = shown; }
    void setAutoplayIncludesRoot(bool included) { m_options.apIncRoot = included; }
    void setAutoplayStep(uint32_t seconds) { m_options.apTimestepMs = seconds * 1000; }
    void setRenderOption(bool withInstructions) { m_options.renderOption = withInstructions; }
    void setLoadOption(bool reload) { m_options.loadOption = reload; }
    void setTemplateCallback(TemplateCallback callback, void *context);
    void setResponseHeader(ResponseHeader header) { m_header = header; }

    const Options &options() const { return m_options; }
    const std::map<std::string, std::string> &query() const { return m_query; }
    bool isDebug() const { return m_debug; }
    uint32_t lastModified() const { return m_lastModified; }
    const std::string &requestText() const { return m_requestText; }
    const std::string &contentType() const { return m_contentType; }
    const std::string &styleOption() const { return m_styleOption; }
    const std::string &secondOption() const { return m_secondOption; }
    int64_t creationTime() const { return m_creationTime; }

    // Collects the service links (data sections 0xC1) of an object into the
    // link list of `slot`, resolving each through the provider; sets the
    // links-seen flag when there is one.
    void collectServiceLinks(NSJ_ObjectRecord *record, size_t slot);
    const std::vector<std::string> &serviceLinks(size_t slot) const;
    bool linksSeen() const { return m_linksSeen; }

protected:
    bool m_debug = false;
    uint32_t m_lastModified = 0;       // of the answer, seconds since 1970; 0 = none
    int64_t m_creationTime = 0;        // seconds since 1970
    std::string m_rootPrefix;          // the path prefix the requests arrive under ("jour/")
    std::string m_styleOption = "style";
    std::string m_secondOption;
    std::map<std::string, std::string> m_query;
    std::string m_requestText;         // handed to the front end with the answer
    ResponseHeader m_header = ResponseHeader::On;
    std::string m_contentType = "text/html";
    Options m_options;
    bool m_linksSeen = false;
    std::vector<std::vector<std::string>> m_linkLists;
};

#endif
