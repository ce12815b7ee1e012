#pragma once
// Scaling a single-precision value by a power of ten in integers, exactly enough to round it: a
// 64-bit multiplier per power of ten and a product rounded to odd; and the digits of the result.
// Shared by the number texts of singles (the recorder's seven digits, the export's shortest
// text); both are checked over every bit pattern by marlin_single_text_exhaustive.

#include <cstdint>

namespace marlin::decimal {

// g(e) = floor(10^e * 2^(63 - floor(log2 10^e))) + 1 for e = -32 .. 51: every power of ten that
// brings a single to the digits either text needs.
inline constexpr int kMinPow10 = -32;
// Not inline: each file that uses it has a copy of its own, read without a trip through the
// symbol table of the shared library it may end up in.
constexpr std::uint64_t kPow10Multiplier[] = {
    0xCFB11EAD453994BBull, 0x81CEB32C4B43FCF5ull, 0xA2425FF75E14FC32ull, 0xCAD2F7F5359A3B3Full,
    0xFD87B5F28300CA0Eull, 0x9E74D1B791E07E49ull, 0xC612062576589DDBull, 0xF79687AED3EEC552ull,
    0x9ABE14CD44753B53ull, 0xC16D9A0095928A28ull, 0xF1C90080BAF72CB2ull, 0x971DA05074DA7BEFull,
    0xBCE5086492111AEBull, 0xEC1E4A7DB69561A6ull, 0x9392EE8E921D5D08ull, 0xB877AA3236A4B44Aull,
    0xE69594BEC44DE15Cull, 0x901D7CF73AB0ACDAull, 0xB424DC35095CD810ull, 0xE12E13424BB40E14ull,
    0x8CBCCC096F5088CCull, 0xAFEBFF0BCB24AAFFull, 0xDBE6FECEBDEDD5BFull, 0x89705F4136B4A598ull,
    0xABCC77118461CEFDull, 0xD6BF94D5E57A42BDull, 0x8637BD05AF6C69B6ull, 0xA7C5AC471B478424ull,
    0xD1B71758E219652Cull, 0x83126E978D4FDF3Cull, 0xA3D70A3D70A3D70Bull, 0xCCCCCCCCCCCCCCCDull,
    0x8000000000000001ull, 0xA000000000000001ull, 0xC800000000000001ull, 0xFA00000000000001ull,
    0x9C40000000000001ull, 0xC350000000000001ull, 0xF424000000000001ull, 0x9896800000000001ull,
    0xBEBC200000000001ull, 0xEE6B280000000001ull, 0x9502F90000000001ull, 0xBA43B74000000001ull,
    0xE8D4A51000000001ull, 0x9184E72A00000001ull, 0xB5E620F480000001ull, 0xE35FA931A0000001ull,
    0x8E1BC9BF04000001ull, 0xB1A2BC2EC5000001ull, 0xDE0B6B3A76400001ull, 0x8AC7230489E80001ull,
    0xAD78EBC5AC620001ull, 0xD8D726B7177A8001ull, 0x878678326EAC9001ull, 0xA968163F0A57B401ull,
    0xD3C21BCECCEDA101ull, 0x84595161401484A1ull, 0xA56FA5B99019A5C9ull, 0xCECB8F27F4200F3Bull,
    0x813F3978F8940985ull, 0xA18F07D736B90BE6ull, 0xC9F2C9CD04674EDFull, 0xFC6F7C4045812297ull,
    0x9DC5ADA82B70B59Eull, 0xC5371912364CE306ull, 0xF684DF56C3E01BC7ull, 0x9A130B963A6C115Dull,
    0xC097CE7BC90715B4ull, 0xF0BDC21ABB48DB21ull, 0x96769950B50D88F5ull, 0xBC143FA4E250EB32ull,
    0xEB194F8E1AE525FEull, 0x92EFD1B8D0CF37BFull, 0xB7ABC627050305AEull, 0xE596B7B0C643C71Aull,
    0x8F7E32CE7BEA5C70ull, 0xB35DBF821AE4F38Cull, 0xE0352F62A19E306Full, 0x8C213D9DA502DE46ull,
    0xAF298D050E4395D7ull, 0xDAF3F04651D47B4Dull, 0x88D8762BF324CD10ull, 0xAB0E93B6EFEE0054ull,
};

constexpr std::uint64_t pow10Multiplier(int e) {
    return kPow10Multiplier[e - kMinPow10];
}

// floor(log10 2^q), floor(log10 (3/4 * 2^q)) and floor(log2 10^e) over the exponents of singles.
constexpr int floorLog10Pow2(int q) {
    return (q * 1262611) >> 22;
}
constexpr int floorLog10ThreeQuartersPow2(int q) {
    return (q * 1262611 - 524031) >> 22;
}
constexpr int floorLog2Pow10(int e) {
    return (e * 1741647) >> 19;
}

// The integer part of g * x / 2^64 with its lowest bit set when the rest is not zero; the
// multiplier's rounding up shows as at most 1 in the fraction's upper word. For
// x = c << (F + h), h = q + floorLog2Pow10(-k) + 1, it is c * 2^q * 10^-k with F bits after the
// point, the lowest of them sticky. One wide product where the compiler has the type, two
// 64-bit ones elsewhere.
inline std::uint32_t roundToOdd(std::uint64_t g, std::uint32_t x) {
#ifdef __SIZEOF_INT128__
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(g) * x;
    const auto low = static_cast<std::uint64_t>(product);
    return static_cast<std::uint32_t>(product >> 64) | ((low >> 32) > 1);
#else
    const std::uint64_t low = (g & 0xFFFFFFFFu) * x;
    const std::uint64_t middle = (g >> 32) * x + (low >> 32);
    return static_cast<std::uint32_t>(middle >> 32) | (static_cast<std::uint32_t>(middle) > 1);
#endif
}

// The eight decimal digits of a value below 10^8 (zeros in front) as numbers 0 .. 9 in the bytes
// of one word, the first digit in the lowest byte: each step splits every lane of the word in two
// at once. Adding 0x3030303030303030 makes them text.
inline std::uint64_t eightDigits(std::uint32_t value) {
    std::uint64_t lanes = (value / 10000) | (static_cast<std::uint64_t>(value % 10000) << 32);
    std::uint64_t high = ((lanes * 5243) >> 19) & 0x0000007F0000007Full;  // lane / 100
    lanes = high | ((lanes - high * 100) << 16);
    high = ((lanes * 103) >> 10) & 0x000F000F000F000Full;  // lane / 10
    return high | ((lanes - high * 10) << 8);
}

// "00", "01" … "99": an exponent's two digits.
inline constexpr char kTwoDigits[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
    "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";

}  // namespace marlin::decimal
