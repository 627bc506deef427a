#include "http/ZOZHttpRequestParser.h"

#ifdef ZOZ_FUZZ_WITH_QT
#include "http/ZOZHttpUrl.h"
#endif

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Feeds the input as a receive buffer, whole and in two pieces as a slow client
// would send it, and checks what the parser promises about its results.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    ZOZ::HttpRequestHead head;
    const size_t split = size ? data[0] % (size + 1) : 0;
    for (size_t length : { size, split }) {
        const ZOZ::HttpParseResult result = ZOZ::parseHttpRequest(text, length, head);
        if (result == ZOZ::HttpParseResult::Complete || result == ZOZ::HttpParseResult::BadRequestLine) {
            if (head.totalBytes > length || head.headBytes > head.totalBytes || head.headBytes == 0)
                std::abort();
            if (head.headBytes > ZOZ::MaxRequestHeadBytes || head.contentLength > ZOZ::MaxRequestBodyBytes)
                std::abort();
            if (head.fields.size() > ZOZ::MaxRequestHeaderFields)
                std::abort();
            for (const ZOZ::HttpHeaderField &field : head.fields) {
                if (field.name.data() < text || field.value.data() + field.value.size() > text + head.headBytes)
                    std::abort();
            }
            if (head.method.empty() || head.target.empty() || head.minorVersion < 0 || head.minorVersion > 9)
                std::abort();
            head.field("Host");
#ifdef ZOZ_FUZZ_WITH_QT
            const ZOZ::HttpTarget target
                = ZOZ::splitRequestTarget(QString::fromLatin1(head.target.data(), qsizetype(head.target.size())));
            if (target.path.startsWith(QLatin1Char('/')))
                std::abort();
            ZOZ::isUnsafeRequestPath(target.path + target.file);
            const QMap<QString, QString> query = ZOZ::parseQuery(target.query);
            for (const QString &value : query)
                ZOZ::percentDecodeUtf8(value);
#endif
        }
    }
    return 0;
}
