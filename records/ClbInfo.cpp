#include "records/ClbInfo.h"

namespace tovrin::records {

namespace {

void write_s16le(std::uint8_t* p, std::int16_t value)
{
    const auto v = static_cast<std::uint16_t>(value);
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void write_s32le(std::uint8_t* p, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    p[2] = static_cast<std::uint8_t>((v >> 16) & 0xFF);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::int16_t read_s16le(const std::uint8_t* p)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

std::int32_t read_s32le(const std::uint8_t* p)
{
    const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                            (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return static_cast<std::int32_t>(v);
}

// Block offsets.
constexpr std::size_t kOffLCam = 0;
constexpr std::size_t kOffRCam = 12;
constexpr std::size_t kOffX = 24;
constexpr std::size_t kOffEvalPt = 312;
constexpr std::size_t kOffRFix = 376;
static_assert(kOffRFix + 4 == StClbInfo::kSize);
static_assert(kOffEvalPt + 4 * StClbInfo::kEvalPoints == kOffRFix);
static_assert(kOffX + 4 * StClbInfo::kCells * StClbInfo::kCoefficients == kOffEvalPt);

// Camera part: Po_l4.x s16, Po_l4.y s16, L_A s32, L_Angle_fix s32.
void writeCam(std::uint8_t* p, const StCamInfo& cam)
{
    write_s16le(p + 0, cam.Po_l4.x);
    write_s16le(p + 2, cam.Po_l4.y);
    write_s32le(p + 4, cam.L_A);
    write_s32le(p + 8, cam.L_Angle_fix);
}

StCamInfo readCam(const std::uint8_t* p)
{
    StCamInfo cam;
    cam.Po_l4.x = read_s16le(p + 0);
    cam.Po_l4.y = read_s16le(p + 2);
    cam.L_A = read_s32le(p + 4);
    cam.L_Angle_fix = read_s32le(p + 8);
    return cam;
}

} // namespace

void StClbInfo::encode(std::span<std::uint8_t, kSize> out) const
{
    std::uint8_t* p = out.data();
    writeCam(p + kOffLCam, LCam);
    writeCam(p + kOffRCam, RCam);
    for (int c = 0; c < kCells; ++c)
        for (int k = 0; k < kCoefficients; ++k)
            write_s32le(p + kOffX + 4 * (c * kCoefficients + k), X[c][k]);
    for (int i = 0; i < kEvalPoints; ++i) {
        write_s16le(p + kOffEvalPt + 4 * i, EvalPt[i].x);
        write_s16le(p + kOffEvalPt + 4 * i + 2, EvalPt[i].y);
    }
    write_s32le(p + kOffRFix, r_fix);
}

StClbInfo::Bytes StClbInfo::encode() const
{
    Bytes bytes{};
    encode(std::span<std::uint8_t, kSize>(bytes));
    return bytes;
}

bool StClbInfo::decode(std::span<const std::uint8_t> in, StClbInfo& out)
{
    if (in.size() != kSize)
        return false;
    const std::uint8_t* p = in.data();
    StClbInfo block;
    block.LCam = readCam(p + kOffLCam);
    block.RCam = readCam(p + kOffRCam);
    for (int c = 0; c < kCells; ++c)
        for (int k = 0; k < kCoefficients; ++k)
            block.X[c][k] = read_s32le(p + kOffX + 4 * (c * kCoefficients + k));
    for (int i = 0; i < kEvalPoints; ++i) {
        block.EvalPt[i].x = read_s16le(p + kOffEvalPt + 4 * i);
        block.EvalPt[i].y = read_s16le(p + kOffEvalPt + 4 * i + 2);
    }
    block.r_fix = read_s32le(p + kOffRFix);
    out = block;
    return true;
}

bool StClbInfo::operator==(const StClbInfo& other) const
{
    return encode() == other.encode();
}

const PPosTable kPPosA = {
    10,  36,  62,  86,  110, 134, 157, 179, 201, 222, 242, 262, 282, 300, 318, 336, 354,
    370, 386, 402, 418, 434, 449, 464, 479, 494, 508, 522, 536, 550, 564, 578, 592, 606,
    620, 634, 648, 662, 676, 690, 705, 720, 735, 750, 765, 781, 797, 813, 830, 847, 865,
    883, 901, 920, 940, 960, 981, 1002, 1024, 1047, 1071, 1095, 1120, 1146, 1172, 1198, 1228, 1258,
};

const PPosTable kPPosB = {
    94,  112, 130, 148, 166, 183, 200, 217, 234, 251, 269, 286, 304, 321, 338, 355, 372,
    388, 405, 421, 438, 455, 471, 487, 503, 520, 536, 552, 568, 584, 600, 616, 633, 650,
    666, 682, 698, 714, 730, 747, 764, 780, 796, 812, 828, 844, 860, 877, 894, 911, 928,
    945, 962, 979, 996, 1013, 1030, 1048, 1065, 1082, 1100, 1118, 1136, 1153, 1170, 1188, 1206, 1224,
};

const PPosTable& pPosTable(int variantFlag)
{
    return variantFlag == 1 ? kPPosB : kPPosA;
}

} // namespace tovrin::records
