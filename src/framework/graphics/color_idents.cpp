// Identifier tables for colours and character sets in form descriptions.
#include "framework/graphics/color_idents.hpp"

#include "framework/graphics/colors.hpp"

namespace fw {

const TEnumInfo& ColorIdents() {
    static const TEnumInfo info{
        {
            {"clBlack", clBlack},
            {"clMaroon", clMaroon},
            {"clGreen", clGreen},
            {"clOlive", clOlive},
            {"clNavy", clNavy},
            {"clPurple", clPurple},
            {"clTeal", clTeal},
            {"clGray", clGray},
            {"clSilver", clSilver},
            {"clRed", clRed},
            {"clLime", clLime},
            {"clYellow", clYellow},
            {"clBlue", clBlue},
            {"clFuchsia", clFuchsia},
            {"clAqua", clAqua},
            {"clWhite", clWhite},
            {"clMoneyGreen", 0xC0DCC0},
            {"clSkyBlue", 0xF0CAA6},
            {"clCream", 0xF0FBFF},
            {"clMedGray", 0xA4A0A0},
            {"clNone", clNone},
            {"clDefault", clDefault},
            {"clScrollBar", clScrollBar},
            {"clBackground", clBackground},
            {"clActiveCaption", clActiveCaption},
            {"clInactiveCaption", clInactiveCaption},
            {"clMenu", clMenu},
            {"clWindow", clWindow},
            {"clWindowFrame", clWindowFrame},
            {"clMenuText", clMenuText},
            {"clWindowText", clWindowText},
            {"clCaptionText", clCaptionText},
            {"clActiveBorder", clActiveBorder},
            {"clInactiveBorder", clInactiveBorder},
            {"clAppWorkSpace", clAppWorkSpace},
            {"clHighlight", clHighlight},
            {"clHighlightText", clHighlightText},
            {"clBtnFace", clBtnFace},
            {"clBtnShadow", clBtnShadow},
            {"clGrayText", clGrayText},
            {"clBtnText", clBtnText},
            {"clInactiveCaptionText", clInactiveCaptionText},
            {"clBtnHighlight", clBtnHighlight},
            {"cl3DDkShadow", cl3DDkShadow},
            {"cl3DLight", cl3DLight},
            {"clInfoText", clInfoText},
            {"clInfoBk", clInfoBk},
            {"clHotLight", SystemColor(COLOR_HOTLIGHT)},
            {"clGradientActiveCaption", SystemColor(COLOR_GRADIENTACTIVECAPTION)},
            {"clGradientInactiveCaption", SystemColor(COLOR_GRADIENTINACTIVECAPTION)},
            {"clMenuHighlight", SystemColor(COLOR_MENUHILIGHT)},
            {"clMenuBar", SystemColor(COLOR_MENUBAR)},
        },
        TEnumInfo::IntegerLike};
    return info;
}

const TEnumInfo& CharsetIdents() {
    static const TEnumInfo info{
        {
            {"ANSI_CHARSET", 0},      {"DEFAULT_CHARSET", 1},    {"SYMBOL_CHARSET", 2},
            {"MAC_CHARSET", 77},      {"SHIFTJIS_CHARSET", 128}, {"HANGEUL_CHARSET", 129},
            {"JOHAB_CHARSET", 130},   {"GB2312_CHARSET", 134},   {"CHINESEBIG5_CHARSET", 136},
            {"GREEK_CHARSET", 161},   {"TURKISH_CHARSET", 162},  {"VIETNAMESE_CHARSET", 163},
            {"HEBREW_CHARSET", 177},  {"ARABIC_CHARSET", 178},   {"BALTIC_CHARSET", 186},
            {"RUSSIAN_CHARSET", 204}, {"THAI_CHARSET", 222},     {"EASTEUROPE_CHARSET", 238},
            {"OEM_CHARSET", 255},
        },
        TEnumInfo::IntegerLike};
    return info;
}

} // namespace fw
