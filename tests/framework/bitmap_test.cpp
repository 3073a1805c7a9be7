// Bitmaps, icons and pictures: the transparent colour rule, pixel formats and palettes,
// change notices, assignment, and the stored records read and written byte for byte
// through form descriptions.
#include "../expect_error.hpp"
#include "framework/form_reader.hpp"
#include "framework/form_writer.hpp"
#include "framework/graphics/bits.hpp"
#include "framework/graphics/picture.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace fw;

namespace {

// A component that carries every graphics object a form description stores.
class TGraphicsHolder : public TComponent {
    FW_CLASS(TGraphicsHolder, TComponent)
public:
    explicit TGraphicsHolder(TComponent* owner) : TComponent(owner) {}
    static void Describe(TClassBuilder<TGraphicsHolder>& c) {
        c.Prop("Font", &TGraphicsHolder::GetFont);
        c.Prop("Glyph", &TGraphicsHolder::GetGlyph);
        c.Prop("Icon", &TGraphicsHolder::GetIcon);
        c.Prop("Picture", &TGraphicsHolder::GetPicture);
    }
    TFont* GetFont() const { return font.get(); }
    TBitmap* GetGlyph() const { return glyph.get(); }
    TIcon* GetIcon() const { return icon.get(); }
    TPicture* GetPicture() const { return picture.get(); }

    std::unique_ptr<TFont> font = std::make_unique<TFont>();
    std::unique_ptr<TBitmap> glyph = std::make_unique<TBitmap>();
    std::unique_ptr<TIcon> icon = std::make_unique<TIcon>();
    std::unique_ptr<TPicture> picture = std::make_unique<TPicture>();
};

// Counts the change notices of whatever it is bound to.
struct ChangeCounter : TObject {
    int count = 0;
    TObject* last = nullptr;
    void Changed(TObject* sender) {
        ++count;
        last = sender;
    }
    TNotifyEvent Event() { return Bind<&ChangeCounter::Changed>(this); }
};

const std::vector<std::uint32_t> kPalette = {0x000000, 0xFF0000, 0x00FF00,
                                             0x0000FF, 0x808080, 0xFFFFFF};

// A 6 x 4 8-bit image: each pixel's index is (x + y) mod 6, so the bottom-left is index 3.
DibImage PalettedImage() {
    DibImage image = DibImage::Paletted(6, 4, 8, kPalette);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            image.indices[static_cast<std::size_t>(y * 6 + x)] =
                static_cast<std::uint8_t>((x + y) % 6);
    return image;
}

IconFile SmallIcon() {
    IconImage image;
    image.color = DibImage::Paletted(16, 16, 4, StandardPalette(4));
    image.mask.assign(256, 0);
    for (int i = 0; i < 256; ++i) {
        image.color.indices[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i % 16);
        image.mask[static_cast<std::size_t>(i)] = (i / 16 + i % 16) % 3 == 0;
    }
    return IconFile{{image}};
}

std::string Hex(std::span<const std::byte> bytes, int indent) {
    std::string out;
    char buf[3];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 32 == 0) out += "\n" + std::string(static_cast<std::size_t>(indent), ' ');
        std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(bytes[i]));
        out += buf;
    }
    return out + "}";
}

std::vector<std::byte> Concat(std::initializer_list<std::span<const std::byte>> parts) {
    std::vector<std::byte> out;
    for (auto part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::vector<std::byte> LengthPrefixed(std::string_view text) {
    std::vector<std::byte> out{static_cast<std::byte>(text.size())};
    for (char c : text)
        out.push_back(static_cast<std::byte>(c));
    return out;
}

std::vector<std::byte> Count32(std::size_t n) {
    std::vector<std::byte> out;
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::byte>(n >> (8 * i)));
    return out;
}

using tests::ExpectError;

} // namespace

TEST(Bitmap, TransparentColorFollowsFixedThenMonochromeThenBottomLeft) {
    TBitmap bitmap;
    EXPECT_EQ(bitmap.TransparentColor(), clDefault); // nothing to take it from
    bitmap.SetImage(PalettedImage());
    // Bottom-left pixel: index 3, blue.
    EXPECT_EQ(bitmap.TransparentColor(), static_cast<TColor>(RGB(0, 0, 255)));
    EXPECT_EQ(bitmap.TransparentMode(), tmAuto);

    bitmap.SetTransparentColor(clOlive);
    EXPECT_EQ(bitmap.TransparentMode(), tmFixed);
    EXPECT_EQ(bitmap.TransparentColor(), clOlive);
    bitmap.SetTransparentColor(clDefault);
    EXPECT_EQ(bitmap.TransparentMode(), tmAuto);
    EXPECT_EQ(bitmap.TransparentColor(), static_cast<TColor>(RGB(0, 0, 255)));

    // Fixing the mode keeps the colour of the moment, even when the pixels change later.
    bitmap.SetTransparentMode(tmFixed);
    bitmap.Canvas().SetPixel(0, 3, clRed);
    EXPECT_EQ(bitmap.TransparentColor(), static_cast<TColor>(RGB(0, 0, 255)));
    bitmap.SetTransparentMode(tmAuto);
    EXPECT_EQ(bitmap.TransparentColor(), static_cast<TColor>(RGB(255, 0, 0)));

    // A monochrome bitmap is transparent in white, whatever its bottom-left pixel.
    bitmap.SetMonochrome(true);
    ASSERT_TRUE(bitmap.Monochrome());
    bitmap.Canvas().SetPixel(0, 3, clBlack);
    EXPECT_EQ(bitmap.Canvas().Pixels(0, 3), clBlack);
    EXPECT_EQ(bitmap.TransparentColor(), clWhite);
}

TEST(Bitmap, PixelFormatsAndPalettes) {
    TBitmap bitmap;
    bitmap.SetImage(PalettedImage());
    EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
    // Resizing and drawing keep 8 bits and the palette; new pixels are index 0.
    bitmap.SetSize(8, 5);
    EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
    EXPECT_EQ(std::vector<std::uint32_t>(bitmap.Palette().begin(), bitmap.Palette().end()),
              kPalette);
    EXPECT_EQ(bitmap.Image().indices[2 * 8 + 3], (3 + 2) % 6);
    EXPECT_EQ(bitmap.Image().indices[7], 0);
    bitmap.Canvas().SetPixel(7, 4, static_cast<TColor>(RGB(250, 250, 240)));
    EXPECT_EQ(bitmap.Image().indices[4 * 8 + 7], 5); // nearest: white

    // A palette that fits a smaller depth is kept with its indices.
    TBitmap four;
    four.SetImage(PalettedImage());
    four.SetPixelFormat(pf4bit);
    EXPECT_EQ(four.Image().bits_per_pixel, 4);
    EXPECT_EQ(four.Image().indices, PalettedImage().indices);

    // Through true colour and back: the colours survive, the palette becomes the standard one.
    TBitmap round;
    round.SetImage(PalettedImage());
    round.SetPixelFormat(pf24bit);
    EXPECT_TRUE(round.Palette().empty());
    EXPECT_EQ(round.Image().ColorAt(1, 0), 0xFF0000u);
    round.SetPixelFormat(pf8bit);
    EXPECT_EQ(round.Palette().size(), 256u);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(round.Image().ColorAt(x, y), PalettedImage().ColorAt(x, y));

    // A new palette keeps indices; those past its end take the nearest remaining colour.
    TBitmap repaletted;
    repaletted.SetImage(PalettedImage());
    repaletted.SetPalette({0x000000, 0xFFFFFF, 0x00FF00});
    EXPECT_EQ(repaletted.Image().indices[1], 1);                           // was red: index kept
    EXPECT_EQ(repaletted.Image().indices[static_cast<std::size_t>(5)], 1); // was white
    EXPECT_EQ(repaletted.Image().indices[static_cast<std::size_t>(3)], 0); // was blue
    ExpectError<EInvalidGraphicOperation>([&] { repaletted.SetPalette({}); }, "0 palette entries");
    ExpectError<EInvalidGraphicOperation>([&] { round.SetPixelFormat(pf16bit); },
                                          "pf16bit is not supported");
    TBitmap truecolor(2, 2);
    ExpectError<EInvalidGraphicOperation>([&] { truecolor.SetPalette({0}); }, "has no palette");
    ExpectError<EInvalidBitmap>([&] { truecolor.SetSize(-1, 3); }, "size -1 x 3 out of range");
}

TEST(Bitmap, ChangesNotifyAndDormantKeepsThePixels) {
    TBitmap bitmap;
    bitmap.SetImage(PalettedImage());
    ChangeCounter counter;
    bitmap.OnChange = counter.Event();
    bitmap.Canvas().FillRect({0, 0, 2, 2});
    EXPECT_EQ(counter.count, 1);
    EXPECT_EQ(counter.last, &bitmap);
    bitmap.SetTransparent(true);
    bitmap.SetTransparent(true);
    EXPECT_EQ(counter.count, 2);

    const DibImage before = bitmap.Image();
    bitmap.Canvas().TextWidth("warm up the face");
    bitmap.Dormant();
    EXPECT_EQ(bitmap.Image(), before);
    EXPECT_EQ(counter.count, 2);
    // Drawing after it works as before.
    bitmap.Canvas().SetPixel(5, 3, clLime);
    EXPECT_EQ(bitmap.Canvas().Pixels(5, 3), clLime);
}

TEST(Bitmap, AssignCopiesEverythingAndRefusesOtherGraphics) {
    TBitmap source;
    source.SetImage(PalettedImage());
    source.SetTransparentColor(clFuchsia);
    source.SetTransparent(true);
    TBitmap copy;
    ChangeCounter counter;
    copy.OnChange = counter.Event();
    copy.Assign(source);
    EXPECT_EQ(counter.count, 1);
    EXPECT_EQ(copy.Image(), source.Image());
    EXPECT_TRUE(copy.Transparent());
    EXPECT_EQ(copy.TransparentColor(), clFuchsia);
    // The copy is its own: drawing on it leaves the source alone.
    copy.Canvas().SetPixel(0, 0, clWhite);
    EXPECT_NE(copy.Image(), source.Image());

    TIcon icon;
    ExpectError<EConvertError>([&] { copy.Assign(icon); }, "Cannot assign a TIcon to a TBitmap");
    ExpectError<EConvertError>([&] { icon.Assign(copy); }, "Cannot assign a TBitmap to a TIcon");
}

TEST(Icon, AssignChangeNoticeFileImageAndSize) {
    TIcon icon;
    EXPECT_TRUE(icon.Empty());
    EXPECT_EQ(icon.Width(), 0);
    EXPECT_TRUE(icon.SaveToBytes().empty());

    const std::vector<std::byte> file = WriteIcon(SmallIcon());
    ChangeCounter counter;
    icon.OnChange = counter.Event();
    icon.LoadFromBytes(file);
    EXPECT_EQ(counter.count, 1);
    EXPECT_FALSE(icon.Empty());
    EXPECT_EQ(icon.Width(), 16);
    EXPECT_EQ(icon.Height(), 16);
    EXPECT_EQ(icon.SaveToBytes(), file);
    ASSERT_EQ(icon.Images().size(), 1u);
    EXPECT_EQ(icon.BestImage(32, 32), &icon.Images()[0]);

    TIcon copy;
    ChangeCounter copy_counter;
    copy.OnChange = copy_counter.Event();
    copy.Assign(icon);
    EXPECT_EQ(copy_counter.count, 1);
    EXPECT_EQ(copy.SaveToBytes(), file);
    icon.Clear();
    EXPECT_EQ(counter.count, 2);
    EXPECT_FALSE(copy.Empty()); // a copy, not a share

    ExpectError<EInvalidGraphicOperation>([&] { copy.SetWidth(32); },
                                          "Cannot change the size of an icon");
    std::vector<std::byte> bad = file;
    bad.resize(30);
    ExpectError<EInvalidIcon>([&] { copy.LoadFromBytes(bad); }, "ICO");
    EXPECT_FALSE(copy.Empty()); // a failed load leaves the icon as it was
}

TEST(Icon, PicksTheImageThatFitsTheSizeBest) {
    IconFile file = SmallIcon();
    IconImage big;
    big.color = DibImage::TrueColor(32, 32, 24);
    big.mask.assign(32 * 32, 0);
    IconImage small_deep = file.images[0];
    small_deep.color = DibImage::TrueColor(16, 16, 32);
    file.images.push_back(big);
    file.images.push_back(small_deep);
    TIcon icon;
    icon.SetImages(file.images);
    EXPECT_EQ(icon.BestImage(32, 32)->color.width, 32);
    EXPECT_EQ(icon.BestImage(16, 16)->color.bits_per_pixel, 32); // more colours win a tie
    EXPECT_EQ(icon.BestImage(20, 20)->color.width, 16);
    big.mask.pop_back();
    ExpectError<EInvalidIcon>([&] { icon.SetImages({big}); }, "1023 mask entries for 1024 pixels");
}

TEST(Picture, HoldsCopiesForcesTypesAndForwardsChanges) {
    TPicture picture;
    ChangeCounter counter;
    picture.OnChange = counter.Event();
    EXPECT_EQ(picture.Graphic(), nullptr);

    TBitmap bitmap;
    bitmap.SetImage(PalettedImage());
    picture.Assign(bitmap);
    EXPECT_EQ(counter.count, 1);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_NE(picture.Graphic(), &bitmap);
    EXPECT_EQ(picture.Width(), 6);
    EXPECT_EQ(&picture.Bitmap(), picture.Graphic()); // already a bitmap: kept
    // Drawing on the held bitmap is a change of the picture.
    picture.Bitmap().Canvas().SetPixel(0, 0, clWhite);
    EXPECT_EQ(counter.count, 2);
    EXPECT_EQ(counter.last, &picture);

    // Asking for an icon replaces the bitmap by an empty icon, without a notice.
    TIcon& icon = picture.Icon();
    EXPECT_TRUE(icon.Empty());
    EXPECT_EQ(counter.count, 2);
    icon.LoadFromBytes(WriteIcon(SmallIcon()));
    EXPECT_EQ(counter.count, 3);

    // A bitmap takes a picture's bitmap.
    picture.Bitmap().Assign(bitmap);
    TBitmap target;
    target.Assign(picture);
    EXPECT_EQ(target.Image(), bitmap.Image());
    picture.SetGraphic(nullptr);
    EXPECT_EQ(picture.Graphic(), nullptr);
    ExpectError<EConvertError>([&] { target.Assign(picture); }, "Cannot assign a TPicture");
}

TEST(Picture, StoredRecordsRoundTripByteForByteThroughAFormDescription) {
    const std::vector<std::byte> bmp = WriteBmp(PalettedImage());
    const std::vector<std::byte> ico = WriteIcon(SmallIcon());
    const std::vector<std::byte> glyph = Concat({Count32(bmp.size()), bmp});
    const std::vector<std::byte> picture =
        Concat({LengthPrefixed("TBitmap"), Count32(bmp.size()), bmp});
    const std::string text = "object Holder1: TGraphicsHolder\n"
                             "  Font.Charset = ANSI_CHARSET\n"
                             "  Font.Color = clBtnText\n"
                             "  Font.Height = -13\n"
                             "  Font.Name = 'Arial'\n"
                             "  Font.Style = [fsBold]\n"
                             "  Glyph.Data = {" +
                             Hex(glyph, 4) + "\n  Icon.Data = {" + Hex(ico, 4) +
                             "\n  Picture.Data = {" + Hex(picture, 4) + "\nend\n";

    TGraphicsHolder holder(nullptr);
    ReadComponent(text, holder);
    EXPECT_EQ(holder.glyph->Image(), PalettedImage());
    EXPECT_EQ(holder.icon->SaveToBytes(), ico);
    ASSERT_NE(dynamic_cast<TBitmap*>(holder.picture->Graphic()), nullptr);
    EXPECT_EQ(holder.picture->Bitmap().Image(), PalettedImage());
    EXPECT_EQ(holder.font->Style(), TFontStyles{fsBold});
    EXPECT_EQ(holder.font->Size(), 10);
    EXPECT_EQ(WriteComponent(holder), text);

    // An icon in a picture is its file, right after the class name.
    TGraphicsHolder icons(nullptr);
    const std::string icon_text = "object Holder1: TGraphicsHolder\n"
                                  "  Font.Charset = DEFAULT_CHARSET\n"
                                  "  Font.Color = clWindowText\n"
                                  "  Font.Height = -11\n"
                                  "  Font.Name = 'MS Sans Serif'\n"
                                  "  Font.Style = []\n"
                                  "  Picture.Data = {" +
                                  Hex(Concat({LengthPrefixed("TIcon"), ico}), 4) + "\nend\n";
    ReadComponent(icon_text, icons);
    EXPECT_EQ(icons.picture->Icon().SaveToBytes(), ico);
    EXPECT_EQ(WriteComponent(icons), icon_text);
}

TEST(Picture, BadRecordsAreRefusedWithTheirReason) {
    auto read = [](std::vector<std::byte> bytes) {
        TPicture picture;
        TMemoryStream stream(bytes);
        picture.ReadData(stream);
    };
    const std::vector<std::byte> bmp = WriteBmp(PalettedImage());
    ExpectError<EInvalidGraphic>([&] { read({}); }, "Picture data: no class name");
    // A length byte of 40, then only the five bytes of a shorter name.
    ExpectError<EInvalidGraphic>(
        [&] {
            read(Concat({std::vector<std::byte>{std::byte{40}}, LengthPrefixed("TBit")}));
        },
        "class name of 40 bytes, but only 5 follow");
    ExpectError<EInvalidGraphic>([&] { read(LengthPrefixed("TFont")); },
                                 "'TFont' is not a graphic class");
    ExpectError<EInvalidGraphic>([&] { read(LengthPrefixed("T Bit")); }, "is not an identifier");
    ExpectError<EInvalidBitmap>(
        [&] {
            read(Concat({LengthPrefixed("TBitmap"), std::vector{std::byte{2}, std::byte{0}}}));
        },
        "2 bytes, too few for the byte count");
    ExpectError<EInvalidBitmap>(
        [&] {
            read(Concat({LengthPrefixed("TBitmap"), Count32(bmp.size() + 1), bmp}));
        },
        "byte count " + std::to_string(bmp.size() + 1) + " beyond the " +
            std::to_string(bmp.size()) + " bytes that follow");
    std::vector<std::byte> cut = bmp;
    cut.resize(40);
    ExpectError<EInvalidBitmap>(
        [&] {
            read(Concat({LengthPrefixed("TBitmap"), Count32(40), cut}));
        },
        "BMP");

    // Inside a form description the error names the line, and bytes left unread are refused.
    TGraphicsHolder holder(nullptr);
    const std::vector<std::byte> extra =
        Concat({LengthPrefixed("TBitmap"), Count32(bmp.size()), bmp, Count32(0)});
    ExpectError<EReadError>(
        [&] {
            ReadComponent("object Holder1: TGraphicsHolder\n  Picture.Data = {" + Hex(extra, 4) +
                              "\nend\n",
                          holder);
        },
        "line 2");
}

TEST(Bits, GrowsOnDemandAndFindsTheFirstOpenBit) {
    TBits bits;
    EXPECT_EQ(bits.OpenBit(), 0);
    bits.SetBits(0, true);
    bits.SetBits(1, true);
    EXPECT_EQ(bits.Size(), 2);
    EXPECT_EQ(bits.OpenBit(), 2); // all set: the size
    bits.SetBits(5, true);
    EXPECT_EQ(bits.Size(), 6);
    EXPECT_EQ(bits.OpenBit(), 2);
    bits.SetBits(0, false);
    EXPECT_EQ(bits.OpenBit(), 0);
    EXPECT_FALSE(bits.Bits(4));
    ExpectError<EListError>([&] { (void)bits.Bits(6); }, "Bits index out of range (6)");
    ExpectError<EListError>([&] { bits.SetBits(-1, true); }, "(-1)");
}

TEST(Font, NotifiesRealChangesOnlyAndConvertsSizes) {
    TFont font;
    ChangeCounter counter;
    font.OnChange = counter.Event();
    EXPECT_EQ(font.Size(), 8); // -11 pixels at 96 per inch
    font.SetColor(clRed);
    font.SetColor(clRed);
    EXPECT_EQ(counter.count, 1);
    font.SetSize(12);
    EXPECT_EQ(font.Height(), -16);
    EXPECT_EQ(counter.count, 2);

    TFont other;
    other.SetName("DejaVu Sans");
    other.SetStyle({fsItalic});
    font.Assign(other);
    EXPECT_EQ(counter.count, 3);
    EXPECT_TRUE(font.SameAs(other));
    font.Assign(other);
    EXPECT_EQ(counter.count, 3);
    EXPECT_EQ(font.Key(), (FontKey{"DejaVu Sans", -11, false, true}));
}
