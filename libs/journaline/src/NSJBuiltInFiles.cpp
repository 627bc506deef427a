// Files the renderer can serve without any style folder: they are the last
// place its templates and resources are looked up.
#include "NSJRenderer.h"

#include <cstring>

namespace {

// All built-in files carry the time of the renderer's release.
constexpr uint32_t BuiltInModified = 1587052681;

const char JournalineCss[] = R"css(/* Journaline pages: the shared look of objects, menus and links. */
.journaline { font-family: sans-serif; line-height: 1.4; margin: 0 auto; max-width: 60em; padding: 0.5em; }
.journaline h1 { font-size: 1.4em; margin: 0.2em 0 0.6em; }
.journaline .menu { list-style: none; margin: 0; padding: 0; }
.journaline .menu li { border-bottom: 1px solid rgba(128, 128, 128, 0.3); }
.journaline .menu a { display: block; padding: 0.6em 0.4em; text-decoration: none; color: inherit; }
.journaline .menu a:focus-visible, .journaline a:focus-visible { outline: 2px solid currentColor; }
.journaline .unavailable { opacity: 0.5; }
.journaline .error { border: 1px solid #c33; border-radius: 4px; padding: 0.6em; }
@media (prefers-color-scheme: dark) { .journaline { background: #111; color: #eee; } }
)css";

const NSJRenderer::BuiltInFile Files[] = {
    {"jourc/css/journaline.css", reinterpret_cast<const uint8_t *>(JournalineCss), sizeof JournalineCss - 1,
     BuiltInModified},
};

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
