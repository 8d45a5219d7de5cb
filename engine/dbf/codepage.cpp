#include "engine/dbf/codepage.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <unordered_map>

namespace abonex {

namespace {

// Byte tables generated from the two pages' Unicode mappings. A character that one page lacks is
// translated to a look-alike of the other page: single box-drawing lines to '-' and '|', double
// horizontal lines to '=', corners and junctions to '+', typographic quotes and dashes to their
// ASCII forms, the Ukrainian and Belarusian letters that 866 lacks to their Latin or Russian
// look-alikes; anything without a look-alike becomes '?'.
constexpr uint8_t kOemToAnsi[256] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    0x3F, 0x3F, 0x3F, 0x7C, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x7C, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B,
    0x2B, 0x2B, 0x2B, 0x2B, 0x2D, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x3D, 0x2B, 0x2B,
    0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
    0xA8, 0xB8, 0xAA, 0xBA, 0xAF, 0xBF, 0xA1, 0xA2, 0xB0, 0xB7, 0xB7, 0x76, 0xB9, 0xA4, 0x95, 0xA0,
};
constexpr uint8_t kAnsiToOem[256] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,
    0x3F, 0x3F, 0x2C, 0x3F, 0x22, 0x2E, 0x2B, 0x2B, 0x45, 0x25, 0x3F, 0x3C, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x27, 0x27, 0x22, 0x22, 0xF9, 0x2D, 0x2D, 0x3F, 0x54, 0x3F, 0x3E, 0x3F, 0x3F, 0x3F, 0x3F,
    0xFF, 0xF6, 0xF7, 0x4A, 0xFD, 0x83, 0x7C, 0x3F, 0xF0, 0x63, 0xF2, 0x3C, 0x2D, 0x2D, 0x52, 0xF4,
    0xF8, 0x2B, 0x49, 0x69, 0xA3, 0x75, 0x3F, 0xFA, 0xF1, 0xFC, 0xF3, 0x3E, 0x6A, 0x53, 0x73, 0xF5,
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F,
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
};
constexpr char16_t kOemUnicode[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0008, 0x0009, 0x000A, 0x000B,
    0x000C, 0x000D, 0x000E, 0x000F, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017,
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F, 0x0020, 0x0021, 0x0022, 0x0023,
    0x0024, 0x0025, 0x0026, 0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B,
    0x003C, 0x003D, 0x003E, 0x003F, 0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, 0x0050, 0x0051, 0x0052, 0x0053,
    0x0054, 0x0055, 0x0056, 0x0057, 0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067, 0x0068, 0x0069, 0x006A, 0x006B,
    0x006C, 0x006D, 0x006E, 0x006F, 0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F, 0x0410, 0x0411, 0x0412, 0x0413,
    0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B,
    0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566,
    0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x0440, 0x0441, 0x0442, 0x0443,
    0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E, 0x00B0, 0x2219, 0x00B7, 0x221A,
    0x2116, 0x00A4, 0x25A0, 0x00A0,
};
constexpr char16_t kAnsiUnicode[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0008, 0x0009, 0x000A, 0x000B,
    0x000C, 0x000D, 0x000E, 0x000F, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017,
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F, 0x0020, 0x0021, 0x0022, 0x0023,
    0x0024, 0x0025, 0x0026, 0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B,
    0x003C, 0x003D, 0x003E, 0x003F, 0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, 0x0050, 0x0051, 0x0052, 0x0053,
    0x0054, 0x0055, 0x0056, 0x0057, 0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067, 0x0068, 0x0069, 0x006A, 0x006B,
    0x006C, 0x006D, 0x006E, 0x006F, 0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F, 0x0402, 0x0403, 0x201A, 0x0453,
    0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A,
    0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433,
    0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F,
};

// The upper halves (0x80-0xFF) of the Western pages a table may name; the lower half is ASCII.
// Bytes a page leaves undefined stand for the C1 control of the same number.
constexpr char16_t kCp437Upper[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
constexpr char16_t kCp850Upper[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};
constexpr char16_t kCp1252Upper[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
    0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3,
    0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB,
    0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3,
    0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

// The byte of a page that stands for a code point, where the page has one. The code points
// below 0x500 (ASCII, Latin-1 and the Cyrillic block: nearly all a directory holds) are looked up
// in a table, the few others (box drawing, signs) in a map.
class ReverseMap {
  public:
    ReverseMap() = default;
    explicit ReverseMap(const char16_t (&table)[256]) {
        // From the top down, so that a code point two bytes share gets the lower one.
        for (int i = 255; i >= 0; --i) set(table[i], static_cast<uint8_t>(i));
    }
    // `byte` stands for `cp` from now on, whatever did before.
    void set(char32_t cp, uint8_t byte) {
        if (cp < kDirect) {
            m_direct[cp] = static_cast<uint16_t>(byte + 1);
        } else {
            m_rest[cp] = byte;
        }
    }
    std::optional<uint8_t> find(char32_t cp) const {
        if (cp < kDirect) {
            if (m_direct[cp] == 0) return std::nullopt;
            return static_cast<uint8_t>(m_direct[cp] - 1);
        }
        const auto found = m_rest.find(cp);
        if (found == m_rest.end()) return std::nullopt;
        return found->second;
    }

  private:
    static constexpr char32_t kDirect = 0x500;
    std::array<uint16_t, kDirect> m_direct{};  // byte + 1, 0 for none
    std::unordered_map<char32_t, uint8_t> m_rest;
};

const ReverseMap& unicodeToAnsiMap() {
    static const ReverseMap map(kAnsiUnicode);
    return map;
}

const ReverseMap& unicodeToOemMap() {
    static const ReverseMap map(kOemUnicode);
    return map;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 character at `pos`; false on a malformed sequence.
bool nextUtf8(std::string_view text, size_t& pos, char32_t& cp) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    uint8_t lead = byte(pos);
    int extra;
    if (lead < 0x80) {
        cp = lead;
        extra = 0;
    } else if ((lead & 0xE0) == 0xC0) {
        cp = lead & 0x1F;
        extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
        cp = lead & 0x0F;
        extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
        cp = lead & 0x07;
        extra = 3;
    } else {
        return false;
    }
    if (pos + static_cast<size_t>(extra) >= text.size()) return false;
    for (int i = 1; i <= extra; ++i) {
        uint8_t next = byte(pos + static_cast<size_t>(i));
        if ((next & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (next & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    pos += static_cast<size_t>(extra) + 1;
    return true;
}

// The sequence that is not UTF-8 at `start`: a byte that cannot lead one alone, else the lead
// byte and the continuation bytes it was followed by.
Utf8Fault badSequenceAt(std::string_view text, size_t start) {
    const auto lead = static_cast<uint8_t>(text[start]);
    const size_t wanted = lead >= 0xF0 && lead < 0xF8   ? 4
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xC0 && lead < 0xE0 ? 2
                                                        : 1;
    size_t end = start + 1;
    while (end < text.size() && end < start + wanted &&
           (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) {
        ++end;
    }
    return {start, end - start, true, 0};
}

std::optional<std::string> convertUtf8(std::string_view utf8, const ReverseMap& map,
                                       Utf8Fault* fault = nullptr) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        const size_t start = pos;
        char32_t cp = 0;
        if (!nextUtf8(utf8, pos, cp)) {
            if (fault != nullptr) *fault = badSequenceAt(utf8, start);
            return std::nullopt;
        }
        const std::optional<uint8_t> byte = map.find(cp);
        if (!byte) {
            if (fault != nullptr) *fault = {start, pos - start, false, cp};
            return std::nullopt;
        }
        out += static_cast<char>(*byte);
    }
    return out;
}

std::string translate(std::string_view text, const uint8_t (&table)[256]) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\0') break;  // the text counts as ending at its first NUL
        c = static_cast<char>(table[static_cast<uint8_t>(c)]);
    }
    return out;
}

// Code page 866 as the other family of dBASE programs numbers it.
constexpr uint8_t kLanguageDriverRussianDos = 0x65;

}  // namespace

bool languageDriverIsOem866(uint8_t driver) {
    return driver == kLanguageDriverOem866 || driver == kLanguageDriverRussianDos;
}

uint8_t oemToAnsiByte(uint8_t c) {
    return kOemToAnsi[c];
}
uint8_t ansiToOemByte(uint8_t c) {
    return kAnsiToOem[c];
}
std::string oemToAnsi(std::string_view oem) {
    return translate(oem, kOemToAnsi);
}
std::string ansiToOem(std::string_view ansi) {
    return translate(ansi, kAnsiToOem);
}
char32_t ansiToUnicode(uint8_t c) {
    return kAnsiUnicode[c];
}
char32_t oemToUnicode(uint8_t c) {
    return kOemUnicode[c];
}

std::string ansiToUtf8(std::string_view ansi) {
    std::string out;
    appendAnsiAsUtf8(out, ansi);
    return out;
}

Utf8Table::Utf8Table(const std::array<uint8_t, 256>& toAnsi) {
    for (size_t byte = 0; byte < 256; ++byte) {
        std::string one;
        appendUtf8(one, kAnsiUnicode[toAnsi[byte]]);
        m_length[byte] = static_cast<uint8_t>(one.size());
        std::copy(one.begin(), one.end(), m_bytes[byte].begin());
    }
}

void Utf8Table::append(std::string& out, std::string_view text) const {
    // A piece at a time through a buffer on the stack: each byte writes its padded sequence
    // and moves on by its length, without a branch on the kind of byte.
    constexpr size_t kPiece = 256;
    char buffer[kPiece * 3 + 4];
    for (size_t at = 0; at < text.size(); at += kPiece) {
        const size_t count = std::min(kPiece, text.size() - at);
        char* to = buffer;
        for (size_t i = 0; i < count; ++i) {
            const auto byte = static_cast<uint8_t>(text[at + i]);
            std::memcpy(to, m_bytes[byte].data(), 4);
            to += m_length[byte];
        }
        out.append(buffer, static_cast<size_t>(to - buffer));
    }
}

void appendAnsiAsUtf8(std::string& out, std::string_view ansi) {
    static const Utf8Table table(pageToAnsiTable(CodePage::Cp1251));
    table.append(out, ansi);
}

std::string oemToUtf8(std::string_view oem) {
    std::string out;
    out.reserve(oem.size() * 2);
    for (char c : oem) appendUtf8(out, kOemUnicode[static_cast<uint8_t>(c)]);
    return out;
}

std::optional<std::string> utf8ToAnsi(std::string_view utf8) {
    return convertUtf8(utf8, unicodeToAnsiMap());
}

std::optional<std::string> utf8ToOem(std::string_view utf8) {
    return convertUtf8(utf8, unicodeToOemMap());
}

// --- Pages named by a table's language driver byte ---

namespace {

struct LanguageDriver {
    uint8_t driver;
    CodePage page;
};

// The bytes dBASE, FoxPro and the programs that write their files use for these pages (see
// codePageOfLanguageDriver for the bytes left out).
constexpr LanguageDriver kLanguageDrivers[] = {
    {0x26, CodePage::Cp866},  {0x65, CodePage::Cp866},  {0xC9, CodePage::Cp1251},
    {0x57, CodePage::Cp1251}, {0x03, CodePage::Cp1252}, {0x58, CodePage::Cp1252},
    {0x59, CodePage::Cp1252},
};

struct PageNames {
    CodePage page;
    std::string_view names[4];  // the first is the one the tool prints
};

constexpr PageNames kPageNames[] = {
    {CodePage::Cp866, {"cp866", "866", "ibm866", "dos-866"}},
    {CodePage::Cp1251, {"cp1251", "1251", "windows-1251", "win1251"}},
    {CodePage::Cp437, {"cp437", "437", "ibm437", ""}},
    {CodePage::Cp850, {"cp850", "850", "ibm850", ""}},
    {CodePage::Cp1252, {"cp1252", "1252", "windows-1252", "latin1"}},
};

const char16_t* upperHalf(CodePage page) {
    switch (page) {
        case CodePage::Cp866:
            return kOemUnicode + 128;
        case CodePage::Cp1251:
            return kAnsiUnicode + 128;
        case CodePage::Cp437:
            return kCp437Upper;
        case CodePage::Cp850:
            return kCp850Upper;
        case CodePage::Cp1252:
            return kCp1252Upper;
    }
    return kAnsiUnicode + 128;
}

constexpr size_t kPageCount = std::size(kPageNames);

const ReverseMap& unicodeToPageMap(CodePage page) {
    static const std::array<ReverseMap, kPageCount> maps = [] {
        std::array<ReverseMap, kPageCount> all;
        for (size_t p = 0; p < kPageCount; ++p) {
            ReverseMap& map = all[p];
            for (int i = 0; i < 128; ++i) {
                map.set(static_cast<char32_t>(i), static_cast<uint8_t>(i));
            }
            const char16_t* upper = upperHalf(static_cast<CodePage>(p));
            for (int i = 127; i >= 0; --i) map.set(upper[i], static_cast<uint8_t>(128 + i));
        }
        return all;
    }();
    return maps[static_cast<size_t>(page)];
}

using ByteTable = std::array<uint8_t, 256>;

// Byte tables between a page and 1251: the exact character where 1251 has it, else the
// look-alike the 866 tables give (for 866 itself the tables above), else '?'.
struct AnsiTables {
    ByteTable toAnsi;
    ByteTable fromAnsi;
};

const AnsiTables& ansiTables(CodePage page) {
    static const std::array<AnsiTables, kPageCount> tables = [] {
        std::array<AnsiTables, kPageCount> all;
        for (size_t p = 0; p < kPageCount; ++p) {
            const auto each = static_cast<CodePage>(p);
            AnsiTables& t = all[p];
            for (int c = 0; c < 256; ++c) {
                const auto byte = static_cast<uint8_t>(c);
                if (each == CodePage::Cp866) {
                    t.toAnsi[byte] = kOemToAnsi[byte];
                    t.fromAnsi[byte] = kAnsiToOem[byte];
                    continue;
                }
                if (each == CodePage::Cp1251) {
                    t.toAnsi[byte] = t.fromAnsi[byte] = byte;
                    continue;
                }
                const auto& ansi = unicodeToAnsiMap();
                const auto& own = unicodeToPageMap(each);
                t.toAnsi[byte] = ansi.find(pageToUnicode(each, byte)).value_or('?');
                t.fromAnsi[byte] = own.find(kAnsiUnicode[byte]).value_or('?');
            }
        }
        return all;
    }();
    return tables[static_cast<size_t>(page)];
}

std::string translateBytes(std::string_view text, const ByteTable& table) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\0') break;  // the text counts as ending at its first NUL
        c = static_cast<char>(table[static_cast<uint8_t>(c)]);
    }
    return out;
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<CodePage> codePageOfLanguageDriver(uint8_t driver) {
    for (const LanguageDriver& entry : kLanguageDrivers) {
        if (entry.driver == driver) return entry.page;
    }
    return std::nullopt;
}

std::string_view codePageName(CodePage page) {
    return kPageNames[static_cast<size_t>(page)].names[0];
}

std::optional<CodePage> codePageNamed(std::string_view name) {
    for (const PageNames& entry : kPageNames) {
        for (std::string_view known : entry.names) {
            if (!known.empty() && sameNameIgnoringCase(known, name)) return entry.page;
        }
    }
    return std::nullopt;
}

TextCodePage casingOf(CodePage page) {
    return page == CodePage::Cp866 ? TextCodePage::Oem866 : TextCodePage::Ansi1251;
}

bool isUtf8(std::string_view text, Utf8Fault* fault) {
    for (size_t pos = 0; pos < text.size();) {
        const size_t start = pos;
        char32_t cp = 0;
        if (!nextUtf8(text, pos, cp)) {
            if (fault != nullptr) *fault = badSequenceAt(text, start);
            return false;
        }
    }
    return true;
}

bool nextUtf8Character(std::string_view text, size_t& pos, char32_t& c, Utf8Fault* fault) {
    if (pos >= text.size()) return false;
    if (nextUtf8(text, pos, c)) return true;
    if (fault != nullptr) *fault = badSequenceAt(text, pos);
    return false;
}

std::optional<uint8_t> pageByteOf(CodePage page, char32_t c) {
    return unicodeToPageMap(page).find(c);
}

char32_t pageToUnicode(CodePage page, uint8_t c) {
    return c < 128 ? c : upperHalf(page)[c - 128];
}

std::string pageToUtf8(CodePage page, std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) appendUtf8(out, pageToUnicode(page, static_cast<uint8_t>(c)));
    return out;
}

std::optional<std::string> utf8ToPage(CodePage page, std::string_view utf8, Utf8Fault* fault) {
    return convertUtf8(utf8, unicodeToPageMap(page), fault);
}

ByteTranslation::ByteTranslation(const std::array<uint8_t, 256>& table) : m_table(&table) {
    for (int row = 0; row < 16; ++row) {
        const int first = row * 16;
        const auto shift = static_cast<uint8_t>(table[static_cast<size_t>(first)] - first);
        bool constant = true;
        for (int b = first; b < first + 16 && constant; ++b) {
            constant = static_cast<uint8_t>(table[static_cast<size_t>(b)] - b) == shift;
        }
        const auto high = static_cast<uint8_t>(first);
        if (!constant) {
            m_otherRow[static_cast<size_t>(m_otherRows++)].bytes.fill(high);
        } else if (shift != 0) {
            m_shiftedRow[static_cast<size_t>(m_shiftedRows)].bytes.fill(high);
            m_shift[static_cast<size_t>(m_shiftedRows++)].bytes.fill(shift);
        }
    }
}

void ByteTranslation::apply(const uint8_t* in, size_t count, char* out) const {
    const std::array<uint8_t, 256>& table = *m_table;
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i highNibble = _mm_set1_epi8(static_cast<char>(0xF0));
    for (; i + 16 <= count; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i rows = _mm_and_si128(bytes, highNibble);
        const auto lanes = [](const Lanes& l) {
            return _mm_load_si128(reinterpret_cast<const __m128i*>(l.bytes.data()));
        };
        __m128i other = _mm_setzero_si128();
        for (int r = 0; r < m_otherRows; ++r) {
            other = _mm_or_si128(other,
                                 _mm_cmpeq_epi8(rows, lanes(m_otherRow[static_cast<size_t>(r)])));
        }
        if (_mm_movemask_epi8(other) != 0) {
            for (size_t k = i; k < i + 16; ++k) out[k] = static_cast<char>(table[in[k]]);
            continue;
        }
        __m128i result = bytes;
        for (int r = 0; r < m_shiftedRows; ++r) {
            const auto at = static_cast<size_t>(r);
            const __m128i inRow = _mm_cmpeq_epi8(rows, lanes(m_shiftedRow[at]));
            result = _mm_add_epi8(result, _mm_and_si128(inRow, lanes(m_shift[at])));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), result);
    }
#endif
    for (; i < count; ++i) out[i] = static_cast<char>(table[in[i]]);
}

const std::array<uint8_t, 256>& pageToAnsiTable(CodePage page) {
    return ansiTables(page).toAnsi;
}

std::string pageToAnsi(CodePage page, std::string_view text) {
    return translateBytes(text, ansiTables(page).toAnsi);
}

std::string ansiToPage(CodePage page, std::string_view ansi) {
    return translateBytes(ansi, ansiTables(page).fromAnsi);
}

std::string describeCharacter(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
        switch (c) {
            case 0x09:
                return std::string(code) + " (tab)";
            case 0x0A:
                return std::string(code) + " (line feed)";
            case 0x0D:
                return std::string(code) + " (carriage return)";
            default:
                return std::string(code) + " (a control character)";
        }
    }
    // Characters that show as nothing, or as a blank, are named instead.
    if (c == 0x00A0) return std::string(code) + " (no-break space)";
    if ((c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000) {
        return std::string(code) + " (a space)";
    }
    if (c == 0x00AD || (c >= 0x200B && c <= 0x200D) || c == 0x2060 || c == 0xFEFF) {
        return std::string(code) + " (an invisible character)";
    }
    std::string text = "\"";
    appendUtf8(text, c);
    return text + "\" (" + code + ")";
}

std::string describeBytes(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(static_cast<uint8_t>(c)));
        if (!out.empty()) out += ' ';
        out += hex;
    }
    return out;
}

std::string describeFault(std::string_view utf8, const Utf8Fault& fault, CodePage page) {
    if (fault.notUtf8) {
        const std::string bytes = describeBytes(utf8.substr(fault.offset, fault.length));
        return fault.length == 1 ? "holds the byte " + bytes + ", which is not UTF-8"
                                 : "holds the bytes " + bytes + ", which are not UTF-8";
    }
    std::string name(codePageName(page));
    return "holds " + describeCharacter(fault.character) + ", which code page " + name.substr(2) +
           " cannot hold";
}

}  // namespace abonex
