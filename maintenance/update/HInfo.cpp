#include "HInfo.h"

#include "ByteOrder.h"

namespace tovrin::update {

std::array<uint8_t, kHInfoSize> encodeHInfo(uint32_t firmwareVersion)
{
    std::array<uint8_t, kHInfoSize> b{};
    uint8_t* p = b.data();
    writeU32le(p + 0, kHInfoMagic);
    p[4] = 1;
    p[5] = 0;
    writeU32le(p + 6, 0x11111111);
    writeU32le(p + 10, firmwareVersion);
    writeU32le(p + 14, 0);
    writeU32le(p + 18, 0x7E00);
    writeU32le(p + 22, 0x22222222);
    writeU32le(p + 26, 1);
    writeU32le(p + 30, 0x8000);
    writeU32le(p + 34, 0x7E00);
    return b;
}

HInfo decodeHInfo(std::span<const uint8_t, kHInfoSize> bytes)
{
    const uint8_t* p = bytes.data();
    HInfo h;
    h.magic = readU32le(p);
    h.b4 = p[4];
    h.b5 = p[5];
    h.w6 = readU32le(p + 6);
    h.version = readU32le(p + 10);
    h.w14 = readU32le(p + 14);
    h.w18 = readU32le(p + 18);
    h.w22 = readU32le(p + 22);
    h.w26 = readU32le(p + 26);
    h.w30 = readU32le(p + 30);
    h.w34 = readU32le(p + 34);
    return h;
}

} // namespace tovrin::update
