#include "ZozTestAacEncoder.h"

#include <string>

namespace ZozTestAac {

namespace {

// Big-endian box writer: boxes nest by remembering where their size goes.
class BoxWriter {
public:
    void u8(uint32_t v) { m_bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v)
    {
        u8(v >> 8);
        u8(v);
    }
    void u32(uint32_t v)
    {
        u16(v >> 16);
        u16(v & 0xFFFF);
    }
    void tag(const char *fourcc)
    {
        for (int i = 0; i < 4; ++i)
            u8(static_cast<uint8_t>(fourcc[i]));
    }
    void zeros(int n)
    {
        for (int i = 0; i < n; ++i)
            u8(0);
    }
    void bytes(const std::vector<uint8_t> &b) { m_bytes.insert(m_bytes.end(), b.begin(), b.end()); }
    void open(const char *fourcc)
    {
        m_open.push_back(m_bytes.size());
        u32(0);
        tag(fourcc);
    }
    // A full box: version 0 and the flags.
    void openFull(const char *fourcc, uint32_t flags = 0)
    {
        open(fourcc);
        u32(flags);
    }
    void close()
    {
        const size_t start = m_open.back();
        m_open.pop_back();
        const uint32_t size = static_cast<uint32_t>(m_bytes.size() - start);
        for (int i = 0; i < 4; ++i)
            m_bytes[start + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
    }
    // An MPEG-4 descriptor whose length is written in the four-byte form.
    void openDescriptor(uint8_t descriptorTag)
    {
        u8(descriptorTag);
        m_open.push_back(m_bytes.size());
        zeros(4);
    }
    void closeDescriptor()
    {
        const size_t start = m_open.back();
        m_open.pop_back();
        const uint32_t size = static_cast<uint32_t>(m_bytes.size() - start - 4);
        for (int i = 0; i < 4; ++i)
            m_bytes[start + i] = static_cast<uint8_t>(((size >> (21 - 7 * i)) & 0x7F) | (i < 3 ? 0x80 : 0));
    }
    void matrix()
    {
        const uint32_t unity[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
        for (uint32_t v : unity)
            u32(v);
    }
    const std::vector<uint8_t> &data() const { return m_bytes; }
    size_t size() const { return m_bytes.size(); }

private:
    std::vector<uint8_t> m_bytes;
    std::vector<size_t> m_open;
};

std::vector<uint8_t> movie(const EncoderOptions &options, const std::vector<std::vector<uint8_t>> &units,
                           uint32_t chunkOffset)
{
    const uint32_t rate = static_cast<uint32_t>(options.sampleRate);
    const uint32_t duration = static_cast<uint32_t>(units.size() * options.frameLength);
    BoxWriter w;
    w.open("moov");
    w.openFull("mvhd");
    w.u32(0); // creation time
    w.u32(0); // modification time
    w.u32(rate);
    w.u32(duration);
    w.u32(0x00010000); // rate 1.0
    w.u16(0x0100);     // volume 1.0
    w.zeros(10);
    w.matrix();
    w.zeros(24);
    w.u32(2); // next track id
    w.close();
    w.open("trak");
    w.openFull("tkhd", 7); // enabled, in movie, in preview
    w.u32(0);
    w.u32(0);
    w.u32(1); // track id
    w.u32(0);
    w.u32(duration);
    w.zeros(8);
    w.u16(0); // layer
    w.u16(0); // alternate group
    w.u16(0x0100);
    w.u16(0);
    w.matrix();
    w.u32(0); // width
    w.u32(0); // height
    w.close();
    w.open("mdia");
    w.openFull("mdhd");
    w.u32(0);
    w.u32(0);
    w.u32(rate);
    w.u32(duration);
    w.u16(0x55C4); // language "und"
    w.u16(0);
    w.close();
    w.openFull("hdlr");
    w.u32(0);
    w.tag("soun");
    w.zeros(12);
    w.bytes({'S', 'o', 'u', 'n', 'd', 0});
    w.close();
    w.open("minf");
    w.openFull("smhd");
    w.u32(0);
    w.close();
    w.open("dinf");
    w.openFull("dref");
    w.u32(1);
    w.openFull("url ", 1); // the data are in this file
    w.close();
    w.close();
    w.close();
    w.open("stbl");
    w.openFull("stsd");
    w.u32(1);
    w.open("mp4a");
    w.zeros(6);
    w.u16(1); // data reference index
    w.zeros(8);
    w.u16(static_cast<uint32_t>(options.channels));
    w.u16(16); // sample size
    w.u32(0);
    w.u32(rate << 16);
    w.openFull("esds");
    w.openDescriptor(0x03); // ES descriptor
    w.u16(1);               // ES id
    w.u8(0);
    w.openDescriptor(0x04); // decoder configuration
    w.u8(0x40);             // MPEG-4 audio
    w.u8(0x15);             // audio stream
    w.zeros(3);             // buffer size
    w.u32(0);               // maximum bit rate
    w.u32(0);               // average bit rate
    w.openDescriptor(0x05); // decoder-specific information
    w.bytes(audioSpecificConfig(options));
    w.closeDescriptor();
    w.closeDescriptor();
    w.openDescriptor(0x06); // sync layer configuration
    w.u8(0x02);
    w.closeDescriptor();
    w.closeDescriptor();
    w.close();
    w.close();
    w.close();
    w.openFull("stts");
    w.u32(1);
    w.u32(static_cast<uint32_t>(units.size()));
    w.u32(static_cast<uint32_t>(options.frameLength));
    w.close();
    w.openFull("stsc");
    w.u32(1);
    w.u32(1);
    w.u32(static_cast<uint32_t>(units.size()));
    w.u32(1);
    w.close();
    w.openFull("stsz");
    w.u32(0);
    w.u32(static_cast<uint32_t>(units.size()));
    for (const auto &u : units)
        w.u32(static_cast<uint32_t>(u.size()));
    w.close();
    w.openFull("stco");
    w.u32(1);
    w.u32(chunkOffset);
    w.close();
    w.close(); // stbl
    w.close(); // minf
    w.close(); // mdia
    w.close(); // trak
    w.close(); // moov
    return w.data();
}

} // namespace

std::vector<uint8_t> mp4File(const EncoderOptions &options, const std::vector<std::vector<uint8_t>> &units)
{
    BoxWriter file;
    file.open("ftyp");
    file.tag("M4A ");
    file.u32(0);
    file.tag("M4A ");
    file.tag("mp42");
    file.tag("isom");
    file.close();
    // The movie's size does not depend on the offset it records.
    const size_t movieSize = movie(options, units, 0).size();
    file.bytes(movie(options, units, static_cast<uint32_t>(file.size() + movieSize + 8)));
    file.open("mdat");
    for (const auto &u : units)
        file.bytes(u);
    file.close();
    return file.data();
}

} // namespace ZozTestAac
