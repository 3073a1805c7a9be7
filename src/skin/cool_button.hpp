// TCoolButton: a windowless push button whose whole face is a cell of a glyph strip drawn
// through its mask over whatever lies below. It looks pressed while the left button is
// held on it, clicks when the press ends over it, and can belong to a group in which at
// most one button is down. Its visual State is public so that the owner can show it
// pressed or released from code.
#pragma once

#include "framework/controls.hpp"
#include "skin/button_glyph.hpp"

#include <cstdint>
#include <memory>
#include <span>

namespace skin {

class TCoolButton : public fw::TGraphicControl {
    FW_CLASS(TCoolButton, fw::TGraphicControl)
public:
    explicit TCoolButton(fw::TComponent* owner);
    ~TCoolButton() override;
    static void Describe(fw::TClassBuilder<TCoolButton>& c);

    bool AllowAllUp() const { return allow_all_up_; }
    void SetAllowAllUp(bool value);
    int GroupIndex() const { return group_index_; }
    void SetGroupIndex(int value);
    // Latched down; only a button in a group can be.
    bool Down() const { return down_; }
    void SetDown(bool value);
    fw::TBitmap& Glyph() const { return glyph_->Strip(); }
    void SetGlyph(const fw::TBitmap& value);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout value);
    // Pixels between the edge and the glyph; -1 computes it.
    int Margin() const { return margin_; }
    void SetMargin(int value);
    // Cells in the strip, 1 to 4.
    int NumGlyphs() const { return glyph_->CellCount(); }
    void SetNumGlyphs(int value);
    // Pixels between glyph and caption; -1 computes it.
    int Spacing() const { return spacing_; }
    void SetSpacing(int value);

    // The face shown at the next paint. Writing it changes nothing else and repaints
    // nothing.
    TCoolButtonState State = cbsUp;

    // A left press that began on the button is being followed.
    bool Tracking() const { return tracking_; }
    // Set by the tracking refresh while the pointer is away from the button.
    bool PointerFlag() const { return pointer_flag_; }
    const TButtonGlyph& GlyphHolder() const { return *glyph_; }
    // The strip's palette.
    std::span<const std::uint32_t> GetPalette() const { return Glyph().Palette(); }

protected:
    void Loaded() override;
    void Paint() override;
    void MouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) override;
    void MouseMove(fw::TShiftState shift, int x, int y) override;
    void MouseUp(fw::TMouseButton button, fw::TShiftState shift, int x, int y) override;
    void Dispatch(fw::TMessage& message) override;

private:
    bool Inside(int x, int y) const { return x >= 0 && x < Width() && y >= 0 && y < Height(); }
    void GlyphChanged(fw::TObject* sender);
    // Tells the other buttons of the group that this one went down or changed its rules.
    void UpdateExclusive();
    void ButtonPressed(fw::TMessage& message);
    // Looks whether the pointer is still over the button after a release or an enabled
    // change; when it is not, the button hears that the mouse left it.
    void UpdateTracking();
    void EnabledChanged();
    void MouseLeft(fw::TMessage& message);
    bool DialogChar(fw::TMessage& message);

    int group_index_ = 0;
    std::unique_ptr<TButtonGlyph> glyph_;
    bool down_ = false;
    bool tracking_ = false;
    bool allow_all_up_ = false;
    TButtonLayout layout_ = blGlyphLeft;
    int spacing_ = 4;
    int margin_ = -1;
    bool pointer_flag_ = false;
};

// Whether `key` is the accelerator of `caption`: the character after a single '&'.
bool IsAccel(std::uint16_t key, const std::string& caption);

} // namespace skin
