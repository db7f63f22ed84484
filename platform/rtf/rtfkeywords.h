#pragma once
// The control words the reader acts on.

#include <string_view>

namespace rt::rtfdetail {

enum class Kw : unsigned char {
    Unknown,
    // document
    Rtf,
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    Uc,
    U,
    // destinations
    FontTable,
    ColorTable,
    StyleSheet,
    Field,
    FldInst,
    FldRslt,
    Pict,
    ShpPict,
    Skip,
    ListTable,
    ListOverrideTable,
    ListLevel,
    LevelText,
    ListText,
    Pn,      // \pn: the old paragraph numbering
    PnTxtA,  // its text after the number
    PnTxtB,  // and before it
    Footnote,
    // lists
    ListId,
    Ls,
    Ilvl,
    LevelNfc,
    LevelStartAt,
    PnLvl,
    PnLvlBlt,
    PnLvlBody,
    PnLvlCont,
    PnStart,
    // Each run of numbering words below (\pndec.., \ftnnar.., \aftnnar..) is in
    // the order of the NumberFormat codes 0..4 it names, from kDecimal.
    PnDec,
    PnUcRm,
    PnLcRm,
    PnUcLtr,
    PnLcLtr,
    PnF,
    // notes
    ChFtn,
    FtnAlt,
    Fet,
    FtnStart,
    AftnStart,
    FtnNar,  // footnotes numbered 1 2 3
    FtnNruc,
    FtnNrlc,
    FtnNauc,
    FtnNalc,
    AftnNar,  // endnotes numbered 1 2 3
    AftnNruc,
    AftnNrlc,
    AftnNauc,
    AftnNalc,
    // font and colour tables, styles
    F,
    FCharset,
    Cpg,
    Red,
    Green,
    Blue,
    S,
    Cs,
    Ds,
    Ts,
    SBasedOn,
    // character formatting
    Plain,
    Fs,
    B,
    I,
    Ul,
    UlNone,
    UlD,
    UlDash,
    UlDashD,
    UlDashDD,
    UlWave,
    Strike,
    StrikeD,
    Cf,
    Highlight,
    Cb,
    ChCbPat,
    Super,
    Sub,
    NoSuperSub,
    Up,
    Dn,
    V,
    Caps,
    SCaps,
    // paragraph formatting and breaks
    Pard,
    Ql,
    Qc,
    Qr,
    Qj,
    Qd,
    Li,
    Ri,
    Fi,
    Lin,
    Rin,
    Sb,
    Sa,
    Sl,
    SlMult,
    PageBb,
    Tx,
    Tb,
    InTbl,
    Itap,
    OutlineLevel,
    Par,
    Line,
    Tab,
    Page,
    Sect,
    Cell,
    NestCell,
    Row,
    NestRow,
    LBr,
    // tables
    Trowd,
    Cellx,
    TrLeft,
    TrGaph,
    TrQl,
    TrQc,
    TrQr,
    ClMgf,
    ClMrg,
    ClVmgf,
    ClVmrg,
    ClCbPat,
    ClBrdrT,
    ClBrdrL,
    ClBrdrB,
    ClBrdrR,
    // pictures
    PngBlip,
    JpegBlip,
    PicW,
    PicH,
    PicWGoal,
    PicHGoal,
    PicScaleX,
    PicScaleY,
    Bin,
    // special characters
    EmDash,
    EnDash,
    EmSpace,
    EnSpace,
    QmSpace,
    Bullet,
    LQuote,
    RQuote,
    LDblQuote,
    RDblQuote,
    Zwj,
    Zwnj,
    LtrMark,
    RtlMark,
};

Kw keyword(std::string_view word);

// How a list level, \pn numbering or notes are numbered: \levelnfc's codes.
// Other codes are kept as read and count in decimal.
enum NumberFormat : int {
    kDecimal = 0,
    kUpperRoman = 1,
    kLowerRoman = 2,
    kUpperLetter = 3,
    kLowerLetter = 4,
    kLeadingZero = 22,
    kBullet = 23,
    kNoNumber = 255,
};

// The format a word of one of the numbering runs names, `first` being the
// run's decimal word.
constexpr int runFormat(Kw kw, Kw first) {
    return int(kw) - int(first);
}
static_assert(runFormat(Kw::PnLcLtr, Kw::PnDec) == kLowerLetter);
static_assert(runFormat(Kw::FtnNalc, Kw::FtnNar) == kLowerLetter);
static_assert(runFormat(Kw::AftnNalc, Kw::AftnNar) == kLowerLetter);

// The character a special-character word stands for (\emdash, \bullet, ...);
// 0 for other words.
char16_t specialCharacter(Kw kw);

}  // namespace rt::rtfdetail
